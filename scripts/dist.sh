#!/usr/bin/env bash
# make dist: every package a user installs without cloning, in one folder,
# all from the version the public header states:
#   the Debian packages (CPack) and Python wheels for this machine and arm64,
#   the sdist, the npm tarball, Windows zips for x64 and x86, the
#   playground's static zip, the source archive, and SHA256SUMS.
# SOURCE_DATE_EPOCH (default: the last commit's time) dates what they hold,
# so two runs from the same commit give the same bytes where formats allow.
# Usage: dist.sh [OUT_DIR [BUILD_DIR]]   (default: dist and build-dist)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-dist}") build=$(realpath -m "${2:-build-dist}")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
jobs=$(nproc 2>/dev/null || echo 2)
rm -rf "$out"
mkdir -p "$out" "$build"

echo "== Debian packages"
cmake -S . -B "$build/deb" -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build/deb" -j "$jobs" >/dev/null
rm -rf "$build/deb/packages"
(cd "$build/deb" && cpack -G DEB >/dev/null)
cp "$build/deb/packages/"*.deb "$out/"
# The version, as the build read it from the public header.
version=$("$build/deb/midicompose" --version | sed 's/^midicompose //')

echo "== Python wheel and sdist (Debian's python3-build)"
rm -rf build/python
# In a folder of their own: the sdist's name would be the source archive's.
/usr/bin/python3 -m build --no-isolation --outdir "$out/python" . >"$build/python-build.log" 2>&1 ||
  { cat "$build/python-build.log"; exit 1; }

# setuptools stamps the sdist with the files' times and its own: packed again
# with SOURCE_DATE_EPOCH's, in name order, so two runs give the same bytes.
/usr/bin/python3 - "$out/python/midicompose-$version.tar.gz" <<'PY'
import gzip, io, os, sys, tarfile
path, epoch = sys.argv[1], int(os.environ["SOURCE_DATE_EPOCH"])
with tarfile.open(path) as source:
    members = [(m, source.extractfile(m).read() if m.isfile() else None) for m in source.getmembers()]
packed = io.BytesIO()
with tarfile.open(fileobj=packed, mode="w", format=tarfile.PAX_FORMAT) as target:
    for member, data in sorted(members, key=lambda entry: entry[0].name):
        member.mtime, member.uid, member.gid, member.uname, member.gname = epoch, 0, 0, "root", "root"
        member.pax_headers = {}
        target.addfile(member, io.BytesIO(data) if data is not None else None)
with open(path, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", mtime=epoch, filename="") as out:
    out.write(packed.getvalue())
PY

echo "== npm package"
make --no-print-directory wasm >/dev/null
npm pack ./build-wasm/npm --pack-destination "$out" --loglevel=error >/dev/null

echo "== the playground as static files, with its font slices"
scripts/web-zip.sh build-wasm/web "$out/midicompose-$version-web.zip" >/dev/null

# A Windows zip: the DLL and the command, the header, a .def, import
# libraries for MinGW (.dll.a) and for MSVC's linker (.lib), a README.
windows_zip() {  # windows_zip TOOLCHAIN_ARCH ZIP_NAME DLLTOOL_MACHINE
  local arch=$1 name=$2 machine=$3 dir="$build/win-$1"
  cmake --no-warn-unused-cli -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir" -j "$jobs" --target midicompose midicompose_cli >/dev/null
  local stage="$dir/midicompose-$version-$name"
  rm -rf "$stage"
  mkdir -p "$stage/bin" "$stage/include" "$stage/lib"
  cp "$dir/midicompose.dll" "$dir/midicompose.exe" "$stage/bin/"
  cp include/midicompose.h "$stage/include/"
  cp "$dir/src/libmidicompose.dll.a" "$stage/lib/"
  { echo "LIBRARY midicompose.dll"; echo "EXPORTS"
    sed 's/^/    /' "$dir/midicompose.exports"; } > "$stage/lib/midicompose.def"
  llvm-dlltool -m "$machine" -d "$stage/lib/midicompose.def" -D midicompose.dll -l "$stage/lib/midicompose.lib"
  sed "s/@VERSION@/$version/; s/@ARCH@/$name/" cmake/windows-README.txt.in > "$stage/README.txt"
  cp LICENSE "$stage/LICENSE.txt"
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$dir" && find "midicompose-$version-$name" | LC_ALL=C sort | zip -X -q -@ "$out/midicompose-$version-$name.zip")
}
echo "== Windows zips"
windows_zip x86_64 win64 i386:x86-64
windows_zip i686 win32 i386
echo "midicompose-audio.dll: not built (Debian packages no FluidSynth for mingw-w64)"

# arm64 (Raspberry Pi OS 64-bit, Graviton): the Debian packages and a wheel,
# cross-built with Debian's g++-aarch64-linux-gnu against its arm64
# libraries (multiarch); make check-dist runs them under qemu-aarch64.
arm64=$PWD/cmake/toolchains/aarch64-linux-gnu.cmake
echo "== arm64 Debian packages"
cmake -S . -B "$build/deb-arm64" -DCMAKE_TOOLCHAIN_FILE="$arm64" -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build/deb-arm64" -j "$jobs" >/dev/null
rm -rf "$build/deb-arm64/packages"
(cd "$build/deb-arm64" && cpack -G DEB >/dev/null)
cp "$build/deb-arm64/packages/"*.deb "$out/"
echo "== arm64 Python wheel"
rm -rf build/python
CMAKE_TOOLCHAIN_FILE=$arm64 _PYTHON_HOST_PLATFORM=linux-aarch64 OBJDUMP=aarch64-linux-gnu-objdump \
  /usr/bin/python3 -m build --wheel --no-isolation --outdir "$out/python" . >"$build/python-arm64.log" 2>&1 ||
  { cat "$build/python-arm64.log"; exit 1; }
rm -rf build/python

echo "== source archive"
git archive --format=tar --prefix="midicompose-$version/" HEAD | gzip -9n > "$out/midicompose-$version.tar.gz"

(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)
echo "== dist/ ($out)"
(cd "$out" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs stat -c '  %-50n %9s bytes')
