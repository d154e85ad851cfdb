#!/usr/bin/env bash
# The playground as static files: one zip with the page, the engine, the
# synthesizer and the font slices under midicompose-VERSION-web/, which any
# static server serves as it is. Dated SOURCE_DATE_EPOCH (default: the last
# commit's time), in name order, so the same build gives the same bytes.
# Usage: web-zip.sh WEB_DIR ZIP
set -euo pipefail
web=$(realpath "$1") zip=$(realpath -m "$2")
version=$(sed -n "s/^const CACHE = 'midicompose-\(.*\)';$/\1/p" "$web/sw.js")
[ -n "$version" ] || { echo "web-zip.sh: $web/sw.js names no release" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "$0")" log -1 --format=%ct)}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -r "$web" "$stage/midicompose-$version-web"
find "$stage" -exec touch -h -d "@$epoch" {} +
rm -f "$zip"
(cd "$stage" && find "midicompose-$version-web" | LC_ALL=C sort | zip -X -q -@ "$zip")
echo "$zip"
