# Sourced by the Wine test scripts, with $wine and $work set: the MinGW
# compiler, the wineserver beside wine64, a fresh work folder (made
# absolute), and a quiet Wine.
cc=${MINGW_X64_CC:-x86_64-w64-mingw32-gcc}
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

export WINEDEBUG=-all WINEARCH=win64
# No desktop integration, no .NET or Gecko installers, and no sound driver,
# so that winmm has no MIDI devices on any machine.
plain="mscoree,mshtml=;winemenubuilder.exe=d;winealsa.drv=d"
export WINEDLLOVERRIDES=$plain

# Windows without a display, in the prefix WINEPREFIX names: the null
# graphics driver. It takes effect once the prefix's first session has ended.
null_graphics() {
  timeout 180 "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
}
