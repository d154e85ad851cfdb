#!/usr/bin/env bash
# Installs the Python package from this repository into a fresh venv, the way
# a user would offline (pip install --no-build-isolation .), and runs its
# tests against the native command of the same build.
# Usage: check-python.sh BUILD_DIR [--install-only]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "$1")
python=/usr/bin/python3  # Debian's, which has mido and pytest
[ -x "$python" ] || { scripts/skip-part.sh "no /usr/bin/python3 (Debian package python3)"; exit $?; }
for module in venv ensurepip setuptools wheel pytest mido numpy distributed; do
  if ! "$python" -c "import $module" 2>/dev/null; then
    package=python3-$module
    case $module in ensurepip) package=python3-venv ;; esac
    scripts/skip-part.sh "Python module $module is missing (Debian package $package)"; exit $?
  fi
done

venv=$build/python-venv
rm -rf "$venv"
"$python" -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --quiet --no-build-isolation --no-index --disable-pip-version-check .
[ "${2:-}" = --install-only ] && exit 0
# From outside the repository, so the installed package is the one imported.
cd "$build"
MIDICOMPOSE_CLI=$build/midicompose "$venv/bin/python" -m pytest -q -p no:cacheprovider "$OLDPWD/tests/python" |
  tee "$build/python-tests.log"
echo "summary: pip install . into a fresh venv; pytest $(tail -1 "$build/python-tests.log" | sed 's/=//g; s/^ *//; s/ *$//')"
