#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need; does
# nothing when they are all there already.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin libgl1-mesa-dev
  libgtest-dev libbenchmark-dev libsodium-dev libsystemd-dev libcurl4-openssl-dev ca-certificates openssl
  dbus-daemon dbus-bin polkitd pkexec
  xvfb xauth x11-utils fonts-dejavu-core fonts-liberation2 netbase nginx-light
  dbus-daemon dbus-bin at-spi2-core
  dpkg-dev lintian desktop-file-utils appstream adduser
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
