#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs the unit and gui
# tests under them (the engine's end-to-end tests are left out: the engine is not ours);
# then the tests of work on other threads (the proxy, the download, the index) under
# ThreadSanitizer.
# Run before resolving; it takes longer than CI allows for every run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize "$@"
cmake --preset threads >/dev/null
cmake --build --preset threads
ctest --preset threads
