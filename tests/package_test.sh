#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs a small
# consumer against it twice: through find_package and through pkg-config.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/midicompose"
"$prefix/bin/midicompose" --version | grep -q '^midicompose '

cmake -S "$source/tests/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer" "$work/find_package.mid" >/dev/null
test "$(wc -c < "$work/find_package.mid")" -eq 35

libdir=$(dirname "$(find "$prefix" -name midicompose.pc)")
export PKG_CONFIG_PATH=$libdir
# shellcheck disable=SC2046
cc -std=c99 -o "$work/pkg-consumer" "$source/tests/consumer/consumer.c" $(pkg-config --cflags --libs midicompose) \
   -Wl,-rpath,"$(pkg-config --variable=libdir midicompose)"
"$work/pkg-consumer" "$work/pkg-config.mid" >/dev/null
cmp "$work/find_package.mid" "$work/pkg-config.mid"
echo "installed package found through find_package and pkg-config"
