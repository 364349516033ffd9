#!/usr/bin/env bash
# Installs what is needed, builds, and starts the browser on the sample program folder
# (build/). Arguments go to the browser: "PARENT" enables Parent Setup.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/wenlow "$@"
fi
shot="${WENLOW_SCREENSHOT:-/tmp/wenlow-screenshot.png}"
echo "No display: starting under xvfb-run; once the first list page is shown, a screenshot"
echo "of the window is saved to $shot and the browser ends."
exec xvfb-run -a -s "-screen 0 1024x768x24" env WENLOW_SCREENSHOT="$shot" build/wenlow "$@" 2> >(grep -v -E '^\s*\*|qt.webengine|^(GL|Surface|QSG|Using|Init)|^$' >&2)
