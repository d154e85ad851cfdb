#!/usr/bin/env bash
# make check's packaging part: make dist twice from the same commit (the two
# must be byte-identical), then each package installed where nothing else
# is, as a user would install it:
#   the .debs with dpkg -i on this machine, used (the command, its man page
#   and completion, --wav, a C program through pkg-config and find_package),
#   then removed with nothing left behind;
#   the wheel in a fresh venv with no cmake or compiler on the PATH;
#   the npm tarball offline in an empty folder, with an empty npm cache;
#   the ecosystems' own checks: twine on the wheel and sdist, the wheel's
#   manylinux tag against the glibc versions its libraries ask for, publint
#   and arethetypeswrong on the tarball, tsc --strict and mypy --strict on a
#   user's module and script;
#   the Windows zip's DLL under wine through its MinGW import library, and
#   the MSVC import libraries naming exactly the header's functions;
#   arm64 under qemu-aarch64 (Debian's qemu-user, no kernel help): the unit
#   and API tests built for it, its .debs' command composing the chord and
#   rendering the x86-64 sound, its wheel composing in Debian's arm64 Python.
# Usage: check-dist.sh BUILD_DIR
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD build=$(realpath -m "$1")
font=/usr/share/sounds/sf3/FluidR3Mono_GM.sf3
for tool in dpkg-deb dpkg-shlibdeps lintian help2man llvm-nm zip unzip wine man x86_64-w64-mingw32-gcc i686-w64-mingw32-gcc emcc npm \
            twine mypy objdump aarch64-linux-gnu-g++ aarch64-linux-gnu-objdump qemu-aarch64; do
  command -v "$tool" >/dev/null || { scripts/skip-part.sh "no $tool (make deps-check installs it)"; exit $?; }
done
[ "$(id -u)" -eq 0 ] || { scripts/skip-part.sh "installing the .debs with dpkg -i needs root"; exit $?; }
for package in libfluidsynth-dev:arm64 libgtest-dev:arm64 libpython3.11-stdlib:arm64; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    { scripts/skip-part.sh "no $package (make deps-check adds the arm64 architecture and installs it)"; exit $?; }
done

failures=0
check() {  # check WHAT COMMAND...: runs it, says ok or FAILED
  local what=$1; shift
  if "$@" >"$build/check.out" 2>&1; then echo "ok: $what"; else
    echo "FAILED: $what"; sed 's/^/    /' "$build/check.out" | tail -20; failures=$((failures + 1)); fi
}

export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
scripts/dist.sh "$build/one" "$build/first" || exit 1
scripts/dist.sh "$build/two" "$build/second" >/dev/null || exit 1
dist=$build/one
wheel=$(ls "$dist"/python/*_"$(uname -m)".whl)  # this machine's
version=$(ls "$dist"/libmidicompose1_*_"$(dpkg --print-architecture)".deb | sed 's/.*_\(.*\)_.*/\1/')
check "two runs of make dist give byte-identical packages" diff -r "$dist" "$build/two"
check "SHA256SUMS verifies" sh -c "cd '$dist' && sha256sum --quiet -c SHA256SUMS"
lintian --fail-on error "$dist"/*.deb > "$build/lintian.txt" 2>&1
check "lintian reports no errors" test $? -eq 0
lintian_warnings=$(grep -c '^W:' "$build/lintian.txt")
sed 's/^/    /' "$build/lintian.txt" | grep -v '^    I:'

work=$(mktemp -d)
trap 'rm -rf "$work"; dpkg -P midicompose libmidicompose-dev libmidicompose1 >/dev/null 2>&1' EXIT

echo "== the .debs, installed with dpkg -i"
dpkg -P midicompose libmidicompose-dev libmidicompose1 >/dev/null 2>&1
check "dpkg -i installs the three packages" dpkg -i "$dist"/*_"$(dpkg --print-architecture)".deb
dpkg -L libmidicompose1 libmidicompose-dev midicompose | sort -u > "$work/files"
check "the installed command composes the chord byte for byte" \
  sh -c "cd '$work' && /usr/bin/midicompose 'C:2 E:1 G:1 C5:2' chord.mid violin 1.0 && cmp chord.mid '$root/tests/golden/chord.mid'"
check "man midicompose renders, with its examples" sh -c "MANWIDTH=80 man midicompose 2>/dev/null | grep -q '^EXAMPLES'"
check "the man page has every option of --help" sh -c "man midicompose 2>/dev/null > '$work/man.txt'
  for option in \$(/usr/bin/midicompose --help | grep -o -- '--[a-z-]*' | sort -u); do grep -q -- \"\$option\" '$work/man.txt' || exit 1; done"
check "bash completes instrument names" bash -c "source /usr/share/bash-completion/completions/midicompose
  COMP_WORDS=(midicompose C x.mid vio); COMP_CWORD=3; _midicompose; [[ \" \${COMPREPLY[*]} \" == *' violin '* ]]"
check "the installed command renders --wav through the installed audio library" \
  sh -c "cd '$work' && /usr/bin/midicompose --wav chord.wav --soundfont '$font' 'C D' x.mid >/dev/null && head -c 4 chord.wav | grep -q RIFF"
check "a C program builds through pkg-config" sh -c "cc -std=c99 -o '$work/pkg' '$root/tests/consumer/consumer.c' \$(pkg-config --cflags --libs midicompose) && '$work/pkg' '$work/pkg.mid'"
check "a C program builds through find_package" sh -c "cmake -S '$root/tests/consumer' -B '$work/cmake' >/dev/null && cmake --build '$work/cmake' >/dev/null && '$work/cmake/consumer' '$work/cmake.mid'"
check "dpkg -P removes them" dpkg -P midicompose libmidicompose-dev libmidicompose1
check "and leaves nothing behind" sh -c "while read -r f; do [ -d \"\$f\" ] || [ ! -e \"\$f\" ] || { echo \"left: \$f\"; exit 1; }; done < '$work/files'"

echo "== the wheel, where there is no cmake or compiler"
/usr/bin/python3 -m venv "$work/venv"
check "cmake and g++ are not on the PATH" sh -c "PATH='$work/venv/bin'; ! command -v cmake && ! command -v g++"
check "pip installs the wheel with no index" env PATH="$work/venv/bin" python -m pip install --quiet --no-index \
  --disable-pip-version-check "$wheel"
check "pip refuses nothing in the installed wheel" env PATH="$work/venv/bin" python -m pip check --disable-pip-version-check
check "the wheel composes the chord byte for byte" env PATH="$work/venv/bin" python -c "
import midicompose, sys
sys.exit(midicompose.compose('C:2 E:1 G:1 C5:2', instrument='violin').data != open('$root/tests/golden/chord.mid', 'rb').read())"

echo "== the npm tarball, offline"
mkdir "$work/app" && echo '{"name": "app", "private": true, "type": "module"}' > "$work/app/package.json"
check "npm installs the tarball offline, with an empty cache" sh -c "cd '$work/app' &&
  npm_config_cache='$work/npm-cache' npm install --offline --no-audit --no-fund --loglevel=error '$dist/midicompose-$version.tgz'"
check "the npm package composes the chord byte for byte and renders it" \
  sh -c "cp '$root/tests/packaging/chord.mjs' '$work/app/' && cd '$work/app' && node chord.mjs '$root/tests/golden/chord.mid' '$font'"

echo "== the ecosystems' own checks"
check "twine check --strict passes the wheel and the sdist" twine check --strict "$dist"/python/*
mkdir "$work/wheel" && (cd "$work/wheel" && unzip -q "$wheel")
glibc=$(objdump -T "$work"/wheel/midicompose/*.so | grep -o 'GLIBC_2\.[0-9]*' | sort -uV | tail -1)
check "the wheel's tag is manylinux for $glibc, the newest glibc its libraries ask for" \
  test "$(basename "$wheel")" = "midicompose-$version-py3-none-manylinux_2_${glibc#GLIBC_2.}_x86_64.whl"
check "that is manylinux_2_34 or older, so RHEL 9 and Amazon Linux 2023 (glibc 2.34) install it" test "${glibc#GLIBC_2.}" -le 34
check "its libraries need no C++ runtime and no library but glibc's (and the system's FluidSynth for sound)" sh -c "
  ! objdump -T '$work'/wheel/midicompose/*.so | grep -qE 'GLIBCXX|CXXABI' &&
  [ -z \"\$(objdump -p '$work'/wheel/midicompose/*.so | sed -n 's/^ *NEEDED *//p' | sort -u |
           grep -vxE 'lib(c|m)\.so\.6|libgcc_s\.so\.1|ld-linux-x86-64\.so\.2|libfluidsynth\.so\.3')\" ]"
# The checkers in a folder of their own: npm ci would empty the app's node_modules.
mkdir "$work/checkers" && cp "$root"/tests/packaging/package{,-lock}.json "$work/checkers/"
cp "$root"/tests/packaging/{user.ts,tsconfig.json,user.py} "$work/app/"
check "the npm checkers install from their lock file" sh -c "cd '$work/checkers' && npm ci --no-audit --no-fund --loglevel=error"
check "publint --strict finds nothing in the tarball" "$work/checkers/node_modules/.bin/publint" --strict "$dist/midicompose-$version.tgz"
# The package is ESM only: that require() cannot load it is expected, and the
# esm-only profile leaves that one warning out of the verdict.
check "arethetypeswrong finds no problem in the tarball (ESM only)" \
  "$work/checkers/node_modules/.bin/attw" --profile esm-only "$dist/midicompose-$version.tgz"
check "tsc --strict (module nodenext) types a user module that imports both entries" \
  "$work/checkers/node_modules/.bin/tsc" -p "$work/app/tsconfig.json"
check "mypy --strict types the installed package, and a user script against it" sh -c "
  mypy --strict --no-incremental --python-executable '$work/venv/bin/python' -p midicompose &&
  mypy --strict --no-incremental --python-executable '$work/venv/bin/python' '$work/app/user.py'"

echo "== the playground's static zip"
check "the web zip holds the page, its worker and manifest, the engine, the synthesizer, the engraver with its licences and 129 slices" sh -c "
  unzip -Z1 '$dist/midicompose-$version-web.zip' > '$work/web.list' &&
  for f in index.html app.js sw.js manifest.webmanifest midicompose/midicompose.mjs midicompose/audio.js fonts-$version/index.json \\
           engraver/opensheetmusicdisplay.min.js engraver/LICENSES.txt; do
    grep -qx \"midicompose-$version-web/\$f\" '$work/web.list' || { echo \"no \$f\"; exit 1; }; done &&
  [ \$(grep -c '\\.sf3\$' '$work/web.list') -eq 129 ]"

echo "== the Windows zips"
declared=$(sort "$build/first/deb/midicompose.exports" | tr '\n' ' ')  # the header's, as the build read them
for name in win64 win32; do
  unzip -q "$dist/midicompose-$version-$name.zip" -d "$work/$name"
  z="$work/$name/midicompose-$version-$name"
  prefix=$([ $name = win32 ] && echo _ || true)
  check "$name: the MSVC import library names exactly the header's functions" sh -c "
    [ \"\$(llvm-nm '$z/lib/midicompose.lib' | grep -v ' T __imp_' | sed -n 's/.* T $prefix\([A-Za-z0-9_]*\)\$/\1/p' | sort | tr '\n' ' ')\" = '$declared' ]"
  check "$name: llvm-readobj reads the import library's members as midicompose.dll's" sh -c "llvm-readobj '$z/lib/midicompose.lib' | grep -q 'midicompose.dll'"
done
z="$work/win64/midicompose-$version-win64"
check "win64: a C program links through the MinGW import library and composes under wine" sh -c "
  x86_64-w64-mingw32-gcc -o '$z/bin/consumer.exe' '$root/tests/windows/wine_consumer.c' -I'$z/include' -L'$z/lib' -lmidicompose -ladvapi32 -static-libgcc &&
  cd '$z/bin' && WINEDEBUG=-all WINEPREFIX='$build/wineprefix' wine consumer.exe 2>&1 | tr -d '\r' | grep -E '^wine consumer: ([0-9]+) of \1 checks passed'"
echo "not run: the win32 DLL under wine (Debian's 32-bit wine needs the i386 architecture added)"

echo "== arm64, under qemu-aarch64"
arm64_start=$SECONDS
cmake -S . -B "$build/arm64-tests" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=ON >/dev/null &&
  cmake --build "$build/arm64-tests" -j "$(nproc)" --target midicompose_unit_tests midicompose_api_tests >/dev/null
for suite in unit api; do
  check "arm64: the $suite tests pass" qemu-aarch64 -L / "$build/arm64-tests/tests/midicompose_${suite}_tests" --gtest_brief=1
done
for deb in "$dist"/*_arm64.deb; do dpkg -x "$deb" "$work/arm64"; done
check "arm64: the .deb's command composes the chord byte for byte" sh -c "cd '$work' &&
  qemu-aarch64 -L / '$work/arm64/usr/bin/midicompose' 'C:2 E:1 G:1 C5:2' arm64.mid violin 1.0 && cmp arm64.mid '$root/tests/golden/chord.mid'"
# FluidSynth's arm64 build rounds a float to a 16-bit step the other way now
# and then (fused multiply-adds): the sound is held to within one step.
check "arm64: its --wav renders the x86-64 sound, every sample within one step" sh -c "cd '$work' &&
  MIDICOMPOSE_AUDIO_LIBRARY='$work/arm64/usr/lib/libmidicompose-audio.so.1' qemu-aarch64 -L / '$work/arm64/usr/bin/midicompose' \
    --wav arm64.wav --soundfont '$font' 'C:2 E:1 G:1 C5:2' arm64.mid violin >/dev/null &&
  '$build/first/deb/midicompose' --wav x86.wav --soundfont '$font' 'C:2 E:1 G:1 C5:2' x86.mid violin >/dev/null &&
  /usr/bin/python3 '$root/scripts/wav-steps.py' x86.wav arm64.wav | tee '$work/wav-steps.txt'"
(cd "$work" && apt-get download -qq python3.11-minimal:arm64 2>/dev/null && dpkg -x python3.11-minimal_*_arm64.deb "$work/python-arm64")
mkdir "$work/wheel-arm64" && (cd "$work/wheel-arm64" && unzip -q "$dist"/python/*_aarch64.whl)
check "arm64: its wheel is manylinux_2_34 or older, and composes the chord byte for byte in Debian's arm64 Python" sh -c "
  case '$(ls "$dist"/python/*_aarch64.whl)' in *manylinux_2_3[0-4]_aarch64.whl|*manylinux_2_[12][0-9]_aarch64.whl) ;; *) exit 1 ;; esac &&
  PYTHONHOME=/usr PYTHONPATH='$work/wheel-arm64' qemu-aarch64 -L / '$work/python-arm64/usr/bin/python3.11' -c \"
import midicompose, platform, sys
sys.exit(platform.machine() != 'aarch64' or midicompose.compose('C:2 E:1 G:1 C5:2', instrument='violin').data != open('$root/tests/golden/chord.mid', 'rb').read())\""
arm64_seconds=$((SECONDS - arm64_start))

sizes=$(cd "$dist" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs stat -c '%n %s' | paste -sd, | sed 's/,/, /g')
if [ "$failures" -eq 0 ]; then
  echo "summary: $(($(wc -l < "$dist/SHA256SUMS"))) artifacts, identical twice; lintian: no errors, $lintian_warnings warnings; debs installed and removed clean; wheel ($(basename "$wheel" | sed 's/.*-none-//; s/\.whl$//')), npm and win64 zip used, web zip listed; twine, publint, attw, tsc and mypy clean; arm64 under qemu in $arm64_seconds s: tests, chord, sound ($(cat "$work/wav-steps.txt")), wheel ($(ls "$dist"/python/*_aarch64.whl | sed 's/.*-none-//; s/\.whl$//'))"
  echo "artifacts: $sizes"
fi
[ "$failures" -eq 0 ]
