#!/usr/bin/env bash
# Builds every variant and runs every test: the release build with its unit,
# integration and Windows tests, the 32-bit build, the sanitizer builds, and
# the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
# JACK keeps a registry of servers in shared memory; servers killed earlier
# (an interrupted run) leave entries that refuse new test servers.
pgrep -x jackd >/dev/null || rm -rf /dev/shm/jack*

cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
# The installed tree, the .deb and .tar.gz, and the Windows zips.
bash scripts/check-install.sh build

# The Python package against the library just built (the system python3,
# with Debian's pytest and numpy).
MICROTUNE_LIBRARY="$PWD/build/lib/libmicrotune.so" PYTHONPATH="$PWD/bindings/python" \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider bindings/python/tests
# Its types: the package and its examples (pyproject.toml's [tool.mypy]).
(cd bindings/python && mypy)

# 32-bit code: the core and the unit tests under qemu-i386.
cmake --preset linux-i386
cmake --build --preset linux-i386 -j "$jobs"
ctest --preset linux-i386 -j "$jobs"

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

# Every export called from several threads at once: no race may be reported.
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
seconds=${MICROTUNE_FUZZ_SECONDS:-40}
for fuzzer in build-fuzz/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  corpus=$(mktemp -d)
  # Real files to start from, where a fuzzer has them (fuzz/corpus/NAME).
  seeds=fuzz/corpus/$(basename "$fuzzer")
  if [ -d "$seeds" ]; then cp "$seeds"/* "$corpus"/; fi
  echo "== $fuzzer for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
echo "== all tests passed"
