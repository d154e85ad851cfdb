#!/usr/bin/env bash
# The npm package (node --test) or the playground in headless Chromium, on the
# WebAssembly build; figures: the playground's first visit on a slow network
# alone, for make bench. Skipped, or failed in CI, without the tools.
# Usage: check-js.sh package|browser|figures NATIVE_BUILD_DIR WASM_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
part=$1 native=$(realpath "$2") wasm=$(realpath "$3")
command -v node >/dev/null || { scripts/skip-part.sh "no node (Debian package nodejs)"; exit $?; }
command -v npm >/dev/null || { scripts/skip-part.sh "no npm (Debian package npm)"; exit $?; }
export MIDICOMPOSE_CLI=$native/midicompose
export MIDICOMPOSE_SOUNDFONT=/usr/share/sounds/sf3/FluidR3Mono_GM.sf3  # Debian's fluidr3mono-gm-soundfont
[ -r "$MIDICOMPOSE_SOUNDFONT" ] || { scripts/skip-part.sh "no $MIDICOMPOSE_SOUNDFONT (Debian package fluidr3mono-gm-soundfont)"; exit $?; }
case $part in
  package)
    MIDICOMPOSE_NPM_DIR=$wasm/npm MIDICOMPOSE_GOLDEN=$PWD/tests/golden node --test js/test/ | tee "$wasm/js-tests.log"
    wasm_bytes=$(node -e "
      const text = require('fs').readFileSync('$wasm/npm/midicompose.mjs', 'utf8');
      const base64 = text.match(/data:application\/octet-stream;base64,([A-Za-z0-9+\/=]+)/)[1];
      console.log(Buffer.from(base64, 'base64').length)")
    echo "summary: $(grep -E '^# pass' "$wasm/js-tests.log" | sed 's/# //') node tests; .wasm $wasm_bytes bytes inside midicompose.mjs ($(wc -c < "$wasm/npm/midicompose.mjs") bytes)"
    ;;
  browser|figures)
    chromium=${CHROMIUM:-/usr/bin/chromium}
    [ -x "$chromium" ] || { scripts/skip-part.sh "no $chromium (Debian package chromium)"; exit $?; }
    # The driver from the lock file; it downloads no browser.
    (cd web/test && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    # The static zip make dist ships, which the first-visit test serves with python3 -m http.server.
    zip=$(scripts/web-zip.sh "$wasm/web" "$wasm/midicompose-web.zip")
    # figures (make bench): the first visit on the slow network alone.
    tests=web/test/
    [ "$part" = figures ] && tests=web/test/first-visit.test.js
    MIDICOMPOSE_WEB_DIR=$wasm/web MIDICOMPOSE_WEB_ZIP=$zip MIDICOMPOSE_NPM_DIR=$wasm/npm \
      MIDICOMPOSE_SCREENSHOT=$wasm/playground.png CHROMIUM=$chromium \
      node --test $tests > "$wasm/browser-tests.log" || { cat "$wasm/browser-tests.log"; exit 1; }
    figures=$(grep -E '^# (first visit|instrument change|score view|places)' "$wasm/browser-tests.log" | sed 's/^# //')
    if [ "$part" = figures ]; then echo "$figures"; exit 0; fi
    cat "$wasm/browser-tests.log"
    echo "summary: $(grep -E '^# pass' "$wasm/browser-tests.log" | sed 's/# //') in $("$chromium" --version 2>/dev/null | head -1); $(echo "$figures" | paste -sd ';' | sed 's/;/; /g'); screenshot $wasm/playground.png"
    ;;
  *) echo "usage: $0 package|browser|figures NATIVE_BUILD_DIR WASM_BUILD_DIR" >&2; exit 2 ;;
esac
