#!/usr/bin/env bash
# Installs everything the build and the tests need (Debian; run as root).
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config clang clang-format
  libgtest-dev libbenchmark-dev valgrind
  librtmidi-dev libasound2-dev jackd2 libjack-jackd2-dev
  libfluidsynth-dev fluid-soundfont-gm timgm6mb-soundfont libsndfile1-dev libfftw3-dev
  libglib2.0-dev
  libcli11-dev locales-all
  python3-mido fluidsynth hyperfine
  python3-pytest python3-numpy python3-setuptools python3-wheel python3-pip mypy
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64
  g++-multilib qemu-user googletest
  help2man dpkg-dev fakeroot file lintian llvm lld unzip
  debootstrap
)
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${PACKAGES[@]}"
