#!/usr/bin/env bash
# Installs the Debian packages a make target needs, where it can (as root or
# through sudo); otherwise names the command to run.
# Usage: install-deps.sh build|check|bench|dist|audio
#   build  what make run needs: the library and the command, nothing more
#   check  what every part of make check needs
#   bench  what make bench needs
#   dist   what make dist needs
#   audio  what make audio needs (midicompose-audio and a font)
# An entry "command:package" is wanted only when the command is missing (Node.js
# may come from elsewhere than Debian).
set -euo pipefail

build_packages=(cmake make g++)
check_packages=("${build_packages[@]}" libgtest-dev pkg-config clang libclang-rt-14-dev locales abigail-tools
                python3 python3-mido midicsv timidity fluid-soundfont-gm
                libfluidsynth-dev fluidr3mono-gm-soundfont sox python3-numpy
                g++-mingw-w64-x86-64 wine strace
                python3-venv python3-setuptools python3-wheel python3-pytest python3-distributed mypy
                emscripten esbuild chromium node:nodejs npm:npm gcovr python3-coverage lilypond libxml2-utils
                pulseaudio pulseaudio-utils)
audio_packages=("${build_packages[@]}" pkg-config libfluidsynth-dev fluid-soundfont-gm)
dist_packages=("${build_packages[@]}" libfluidsynth-dev pkg-config file dpkg-dev help2man python3 python3-build python3-venv
               python3-setuptools python3-wheel emscripten esbuild node:nodejs npm:npm g++-mingw-w64-x86-64 g++-mingw-w64-i686
               llvm zip git g++-aarch64-linux-gnu qemu-user)
check_packages+=("${dist_packages[@]}" lintian twine wine unzip man-db)
bench_packages=("${check_packages[@]}" libbenchmark-dev hyperfine python3-midiutil fluidsynth)

# arm64's own libraries through multiarch (the architecture is added first),
# for make dist's arm64 build and the checks that run it under qemu-user.
arm64_packages=()
case "${1:-build}" in
  check|ci|bench|dist) arm64_packages=(libfluidsynth-dev:arm64 libgtest-dev:arm64 libpython3.11-stdlib:arm64 libffi8:arm64) ;;
esac

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  check|ci) wanted=("${check_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  dist) wanted=("${dist_packages[@]}") ;;
  audio) wanted=("${audio_packages[@]}") ;;
  *) echo "usage: $0 build|check|bench|dist|audio" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
  exit 0  # not Debian: the build itself will say what is missing
fi

missing=()
for entry in "${wanted[@]}"; do
  package=${entry#*:}
  if [ "$package" != "$entry" ]; then
    command -v "${entry%%:*}" >/dev/null 2>&1 && continue
  fi
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
for package in "${arm64_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  sudo=(sudo -n)
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  # make run cannot go on without them; make check runs what it can, and
  # each part that lacks a tool says so in the summary.
  [ "${1:-build}" = check ] && exit 0
  exit 1
fi

echo "Installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if [ ${#arm64_packages[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${sudo[@]}" dpkg --add-architecture arm64
fi
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
