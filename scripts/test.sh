#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite (unit, gui, e2e) on a
# virtual display. Arguments go to ctest, e.g. -L unit.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
export QTWEBENGINE_DISABLE_SANDBOX=1
exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build --output-on-failure "$@"
