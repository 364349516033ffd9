#!/usr/bin/env bash
# Builds the Debian package into build-package/ and checks it: lintian, the desktop entry
# and the AppStream metainfo. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DWENLOW_TESTS=OFF >/dev/null
cmake --build build-package --target wenlow wenlow-check wenlow-update wenlow-lists wenlow-write compressed_docs
(cd build-package && cpack -G DEB >/dev/null)
deb=$(ls build-package/wenlow_*.deb)
desktop-file-validate packaging/wenlow.desktop
appstreamcli validate --no-net build-package/packaging/net.wenlow.Explorer.metainfo.xml >/dev/null
lintian --fail-on error "$deb" >&2
echo "$deb"
