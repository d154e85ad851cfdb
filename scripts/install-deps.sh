#!/usr/bin/env bash
# Installs the Debian packages a make target needs, where it can (as root or
# through sudo); otherwise names the command to run.
# Usage: install-deps.sh build|check|ci
#   build  what make run needs
#   check  what make check needs; it skips the Windows part without the extras
#   ci     check, plus the mingw-w64 cross compiler and wine for that part
set -euo pipefail

build_packages=(cmake make g++)
bench_packages=("${build_packages[@]}" libbenchmark-dev hyperfine python3)
check_packages=("${build_packages[@]}" libgtest-dev pkg-config clang libclang-rt-14-dev locales
                python3 python3-mido midicsv timidity fluid-soundfont-gm)
ci_packages=("${check_packages[@]}" g++-mingw-w64-x86-64 wine64 hyperfine libbenchmark-dev)

case "${1:-build}" in
  build) wanted=("${build_packages[@]}") ;;
  check) wanted=("${check_packages[@]}") ;;
  ci) wanted=("${ci_packages[@]}") ;;
  bench) wanted=("${bench_packages[@]}") ;;
  *) echo "usage: $0 build|check|ci|bench" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1; then
  exit 0  # not Debian: the build itself will say what is missing
fi

missing=()
for package in "${wanted[@]}"; do
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
  exit 1
fi

echo "Installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
