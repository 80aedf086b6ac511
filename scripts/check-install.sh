#!/usr/bin/env bash
# Checks microtune as its users get it, away from the build tree: installs
# the default build into a temporary root and moves it to another prefix,
# builds the README's C example there with pkg-config and with
# find_package and runs both, runs the installed program from an unrelated
# folder, measures the first note of a program with an empty user cache
# (the installed calibration must make it in tune at once), builds and
# inspects the .deb (lintian errors fail) and the .tar.gz, installs the .deb
# into a clean Debian root and runs the demo there as a new user (when
# debootstrap can run here), and builds the two Windows zips, checks their
# files, links a host against their import libraries and runs the 64-bit one
# and microtune.exe under Wine.
# Usage: check-install.sh [BUILD_DIR]   (default: build, already built)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$src/build}" && pwd)
version=$(sed -n 's/^project(microtune VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
# lib/x86_64-linux-gnu on Debian.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d "${TMPDIR:-/tmp}/microtune-install.XXXXXX")
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
[ "$libdir" = "lib/$multiarch" ] || fail "libraries install to $libdir, not lib/$multiarch"
step() { echo "== $* (${SECONDS}s)"; }
# The user's calibration cache stays empty: the installed one must do.
export XDG_CACHE_HOME=$work/cache
unset MICROTUNE_SOUNDFONT MICROTUNE_SYNTH_WAV MICROTUNE_SYNTH_CLOCK MICROTUNE_SYNTH_CALIBRATE

# A WAV file with sound in it (16-bit or float samples).
not_silent() {
  python3 - "$1" <<'PY' || fail "$1 is silent or unreadable"
import array, struct, sys
data = open(sys.argv[1], "rb").read()
at, kind, samples = 12, None, None
while at + 8 <= len(data):
    tag, size = struct.unpack("<4sI", data[at:at + 8])
    if tag == b"fmt ":
        kind = struct.unpack("<H", data[at + 8:at + 10])[0]
    elif tag == b"data":
        samples = array.array("f" if kind == 3 else "h", data[at + 8:at + 8 + size])
    at += 8 + size + (size & 1)
peak = max((abs(s) for s in samples), default=0) if samples else 0
sys.exit(0 if peak > (0.01 if kind == 3 else 300) else 1)
PY
}

step "install into a temporary root, move it to another prefix"
DESTDIR=$work/root cmake --install "$build" --prefix /usr/local >/dev/null
prefix=$work/moved/opt
mkdir -p "$work/moved"
mv "$work/root/usr/local" "$prefix"
if grep -rlF "$build" "$prefix" || grep -rlF "$src/" "$prefix"; then
  fail "installed files name the build tree"
fi
(cd "$prefix" && find . \( -type f -o -type l \) ! -path './share/microtune/calibration/*' | sort)
echo "   + $(ls "$prefix/share/microtune/calibration" | wc -l) calibration files in share/microtune/calibration"
for font in FluidR3_GM TimGM6mb; do
  [ -f "/usr/share/sounds/sf2/$font.sf2" ] || fail "$font.sf2 missing (scripts/setup.sh installs it)"
done
[ "$(ls "$prefix/share/microtune/calibration" | wc -l)" -eq 256 ] ||
  fail "the installed calibration is not 128 programs of two fonts"
readelf -d "$prefix/$libdir/libmicrotune.so.$version" | grep "SONAME.*\[libmicrotune.so.0\]" >/dev/null ||
  fail "soname is not libmicrotune.so.0"
readelf -d "$prefix/bin/microtune" | grep -F "RUNPATH)            Library runpath: [\$ORIGIN/../$libdir]" >/dev/null ||
  fail "bin/microtune has no \$ORIGIN-relative RUNPATH"
[ "$("$prefix/bin/microtune" --version)" = "microtune $version" ] || fail "--version"
page=$prefix/share/man/man1/microtune.1.gz
for command in devices voices scale play demo keys relay retune calibrate; do
  zcat "$page" | grep "^\.SS \"microtune $command\"" >/dev/null || fail "microtune.1 lacks $command"
done

step "the README's C example, with pkg-config and with find_package"
elsewhere=$work/elsewhere
mkdir -p "$elsewhere"
cd "$elsewhere"
examples=$prefix/share/doc/microtune/examples
awk '/^```c( runnable)?$/{on=1; next} /^```$/{on=0} on' "$src/README.md" > readme-host.c
awk '/^```cmake$/{on=1; next} /^```$/{on=0} on' "$src/docs/c-library.md" > readme-CMakeLists.txt
diff -u readme-host.c "$examples/host.c" || fail "README's C example differs from examples/host.c"
diff -u readme-CMakeLists.txt "$examples/CMakeLists.txt" ||
  fail "README's CMake example differs from examples/CMakeLists.txt"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
cc "$examples/host.c" $(pkg-config --cflags --libs microtune) \
  -Wl,-rpath,"$(pkg-config --variable=libdir microtune)" -o host-pkg-config
MICROTUNE_SYNTH_WAV=pkg-config.wav ./host-pkg-config
not_silent pkg-config.wav
cp "$examples/host.c" "$examples/CMakeLists.txt" .
cmake -S . -B cmake-build -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build cmake-build >/dev/null
MICROTUNE_SYNTH_WAV=find-package.wav ./cmake-build/host
not_silent find-package.wav

step "the installed microtune from an unrelated folder"
"$prefix/bin/microtune" demo >/dev/null
not_silent demo.wav
"$prefix/bin/microtune" play -v --scale just12.scl 0,4,7 --wav x.wav | tee play.txt
grep -qF "read $prefix/share/microtune/scales/just12.scl" play.txt || fail "just12.scl not found"
not_silent x.wav
# A file of that name in the current folder wins over the installed one.
printf 'mine\n1\n3/1\n' > just12.scl
"$prefix/bin/microtune" play -v --scale just12.scl 0 --wav y.wav > mine.txt
grep -qF "read just12.scl" mine.txt ||
  fail "a just12.scl in the current folder did not win"

# The relay's inputs come from the program's ports module, found in the tree.
"$prefix/bin/microtune" relay --list-inputs > inputs.txt 2>&1 ||
  fail "relay --list-inputs: $(cat inputs.txt)"

step "the Python package from the installed tree"
[ -f "$prefix/lib/python3/dist-packages/microtune/py.typed" ] || fail "the Python package is not installed"
MICROTUNE_LIBRARY="$prefix/$libdir/libmicrotune.so.0" PYTHONPATH="$prefix/lib/python3/dist-packages" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider "$src/bindings/python/tests"
# Found by the package itself, with nothing set.
PYTHONPATH="$prefix/lib/python3/dist-packages" /usr/bin/python3 -c \
  'import microtune, sys; sys.exit(0 if microtune.version() == sys.argv[1] else 1)' "$version" ||
  fail "the installed Python package does not find its library"

step "the first note of a program, with an empty user cache, on both fonts"
c++ -std=c++17 -O2 -o first-note-pitch "$src/tests/install/first_note_pitch.cpp" \
  "$src/tests/support/audio_analysis.cpp" -I"$src/tests/support" \
  $(pkg-config --cflags --libs microtune sndfile fftw3) -Wl,-rpath,"$prefix/$libdir"
for font in /usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/share/sounds/sf2/TimGM6mb.sf2; do
  read -r cents opening < <(./first-note-pitch "$font" 74 300 pitch.wav)
  echo "   $font: recorder at 300 Hz sounds ${cents} cents off; device opened in ${opening} s"
  awk -v c="$cents" 'BEGIN { exit !(c <= 1.5 && c >= -1.5) }' || fail "$font: ${cents} cents off"
done
[ -z "$(ls -A "$XDG_CACHE_HOME" 2>/dev/null)" ] || fail "the user cache was written to"

step "the Debian package and the tarball"
(cd "$build" && cpack -G "DEB;TGZ" >/dev/null)
deb=$build/microtune_${version}-1_$(dpkg --print-architecture).deb
tgz=$build/microtune-${version}-Linux.tar.gz
[ -f "$deb" ] && [ -f "$tgz" ] || fail "cpack made no .deb or .tar.gz"
dpkg-deb -x "$deb" "$work/deb"
dpkg-deb -f "$deb" > control.txt
cat control.txt
for field in Package:\ microtune Section:\ sound Maintainer: Description: "Depends:.*libc6" \
  "Depends:.*libfluidsynth" "Depends:.*librtmidi"; do
  grep -q "^$field" control.txt || fail "control lacks $field"
done
for file in usr/bin/microtune usr/$libdir/libmicrotune.so.0 usr/$libdir/microtune/libTembrelLib.so \
  usr/$libdir/microtune/libmicrotune-devices.so usr/$libdir/microtune/libmicrotune-ports.so \
  usr/include/microtune.h \
  usr/$libdir/pkgconfig/microtune.pc usr/share/microtune/scales/just12.scl \
  usr/share/man/man1/microtune.1.gz usr/share/doc/microtune/copyright; do
  [ -e "$work/deb/$file" ] || fail ".deb lacks $file"
done
tar -tzf "$tgz" > tgz.txt
grep -q "bin/microtune$" tgz.txt || fail ".tar.gz lacks bin/microtune"
lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges" | tee lintian.txt
! grep -q "^E:" lintian.txt || fail "lintian reports errors"
grep -qx "prefix=/usr" "$work/deb/usr/$libdir/pkgconfig/microtune.pc" ||
  fail "the package's microtune.pc does not name /usr"

step "the .deb in a clean Debian root, as a new user"
# A minimal bootstrap, nothing cached between runs: the package must bring
# what it needs.
root=$work/debian
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if ! command -v debootstrap >/dev/null; then
  echo "   skipped: debootstrap is not installed (scripts/setup.sh installs it)"
elif [ "$(id -u)" -ne 0 ]; then
  echo "   skipped: debootstrap and chroot need root"
elif [ -z "$suite" ]; then
  echo "   skipped: this system names no Debian release"
elif ! debootstrap --variant=minbase "$suite" "$root" > debootstrap.log 2>&1; then
  echo "   skipped: debootstrap could not bootstrap $suite here: $(tail -n 1 debootstrap.log)"
else
  in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
  as_user() { chroot --userspec=newcomer:newcomer "$root" env -i PATH=/usr/bin:/bin HOME=/home/newcomer \
    sh -c "cd && $1"; }
  cp "$deb" "$root/tmp/microtune.deb"
  in_root apt-get install -y --no-install-recommends /tmp/microtune.deb > apt.log 2>&1 ||
    { tail -n 20 apt.log; fail "the .deb does not install into a clean $suite root"; }
  in_root useradd -m newcomer
  [ -e "$root/usr/$libdir/libmicrotune.so.0" ] || fail "the library is not in /usr/$libdir"
  [ -z "$(ls "$root"/usr/lib/libmicrotune* 2>/dev/null)" ] || fail "the library is in /usr/lib"
  pc=$root/usr/$libdir/pkgconfig/microtune.pc
  flags=$(PKG_CONFIG_PATH= PKG_CONFIG_LIBDIR=$(dirname "$pc") pkg-config --cflags --libs microtune | xargs)
  [ "$flags" = "-lmicrotune" ] || fail "pkg-config prints '$flags' in the clean root, not -lmicrotune"
  # Debian's FluidSynth library brings a General MIDI font with it, so the
  # demo sounds straight after the package is installed.
  as_user "microtune demo" | tail -n 2
  not_silent "$root/home/newcomer/demo.wav"
  as_user "python3 -c 'import microtune; print(microtune.version())'" | grep -qx "$version" ||
    fail "Python does not find the library in the clean root"
fi

step "the Windows zips"
export WINEDEBUG=-all WINEARCH=win64 WINEPREFIX=$work/wine
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winealsa.drv=d"
wine=/usr/lib/wine/wine64
for arch in i686 x64; do
  case $arch in
    i686) triple=i686-w64-mingw32 target=i686 system=win32 seh=/safeseh:no ;;
    x64) triple=x86_64-w64-mingw32 target=x86_64 system=win64 seh= ;;
  esac
  dir=$src/build-mingw-$arch
  (cd "$src" && cmake --preset "mingw-$arch" >/dev/null && cmake --build "$dir" -j2 >/dev/null)
  (cd "$dir" && rm -f ./*.zip && cpack -G ZIP >/dev/null)
  zip=$dir/microtune-$version-$system.zip
  name=microtune-$version-$system
  expected=$(cd "$src/include" && ls ./*.h | sed "s|^\./|$name/|"
    echo "$name/scales/"
    cd "$src/tools/microtune/scales" && ls | sed "s|^|$name/scales/|"
    printf '%s\n' "$name/README.md" "$name/libmicrotune.dll.a" "$name/microtune.def" \
      "$name/microtune.dll" "$name/microtune.lib" "$name/microtune.exe")
  diff -u <(echo "$expected" | sort) <(unzip -Z1 "$zip" | sort) || fail "$zip holds other files"
  rm -rf "$work/$arch"
  mkdir -p "$work/$arch"
  unzip -q "$zip" -d "$work/$arch"
  z=$work/$arch/$name
  # MinGW links libmicrotune.dll.a; lld-link, a linker of Microsoft's kind,
  # links microtune.lib into a host without a C library.
  "$triple-gcc" -std=c11 -Wall -Wextra -Werror -I"$z" "$src/tests/install/import_host.c" \
    "$z/libmicrotune.dll.a" -o "$z/host-gnu.exe"
  clang --target="$target-pc-windows-msvc" -O1 -c "$src/tests/install/msvc_host.c" -o "$z/msvc_host.obj"
  lld-link /nologo /entry:start /subsystem:console /nodefaultlib $seh "$z/msvc_host.obj" \
    "$z/microtune.lib" /out:"$z/host-msvc.exe"
  if [ "$arch" = x64 ]; then
    # microtune.exe from the zip, from another folder: its own DLL and scales.
    (cd "$work" && timeout 300 "$wine" "$z/microtune.exe" scale just12.scl) > exe.txt ||
      fail "microtune.exe from the zip failed"
    grep -q "^Five-limit just intonation" exe.txt || fail "microtune.exe did not find its scales"
    (cd "$z" && timeout 300 "$wine" host-gnu.exe) | tee wine.txt
    grep -q "^ok:" wine.txt || fail "the host linked with libmicrotune.dll.a failed under Wine"
    status=0
    (cd "$z" && timeout 120 "$wine" host-msvc.exe) || status=$?
    [ "$status" -eq 28 ] || fail "the host linked with microtune.lib answered $status, not 28"
  fi
done
step "installed, packaged and zipped"
