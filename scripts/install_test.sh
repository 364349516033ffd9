#!/usr/bin/env bash
# Installs the Debian package as a family would, checks what a parent and a child get,
# and purges it again. Needs root and apt; elsewhere it says so and skips.
set -uo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ] || ! command -v apt-get > /dev/null; then
  echo "install test: skipped (it needs root and apt-get)"
  exit 0
fi
deb=$(bash scripts/package.sh | tail -n 1) || { echo "install test: the package was not made"; exit 1; }
work=$(mktemp -d)
chmod 755 "$work"
passed=0 failed=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@" > "$work/out" 2>&1; then passed=$((passed + 1)); echo "ok: $name"
  else failed=$((failed + 1)); echo "FAILED: $name"; sed 's/^/    /' "$work/out" | tail -n 5; fi
}
not() { ! "$@"; }

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" > "$work/apt.log" 2>&1
check "the package installs" dpkg -s wenlow
check "the four programs, their manual pages, the menu entry, icon and metainfo" test -x /usr/bin/wenlow -a \
  -x /usr/bin/wenlow-check -a -x /usr/bin/wenlow-update -a -x /usr/bin/wenlow-lists -a \
  -f /usr/share/man/man1/wenlow.1.gz -a -f /usr/share/man/man1/wenlow-lists.1.gz -a \
  -f /usr/share/applications/wenlow.desktop -a -f /usr/share/icons/hicolor/scalable/apps/wenlow.svg -a \
  -f /usr/share/metainfo/net.wenlow.Explorer.metainfo.xml -a -f /lib/systemd/system/wenlow-update.timer
check "the system folder belongs to the parents' group, set-group, writable by it only" \
  test "$(stat -c '%U:%G %a' /var/lib/wenlow)" = "root:wenlow-parents 2775"
check "it holds the supplied files" test -f /var/lib/wenlow/setup.dat -a -f /var/lib/wenlow/list1.html
check "the browser answers --version without a display" env -u DISPLAY wenlow --version
shot="$work/shot.png"
check "the installed browser opens its first list page from the system folder" bash -c \
  "QTWEBENGINE_DISABLE_SANDBOX=1 WENLOW_SCREENSHOT=$shot timeout 120 xvfb-run -a wenlow 2>/dev/null |
   grep -q 'first list page loaded after .* ms: file:///var/lib/wenlow/list1.html' && test -s $shot"
check "wenlow-check decides for a child's account on the system folder" bash -c \
  "runuser -u nobody -- wenlow-check http://www.badsite.example/games | grep -q '^refuse refuse '"
for file in /var/lib/wenlow/*; do
  check "a child's account cannot change ${file##*/}" not runuser -u nobody -- test -w "$file"
done
check "the parents' helper, its polkit action and rules are there" test -x /usr/lib/wenlow/wenlow-write -a \
  -f /usr/share/polkit-1/actions/net.wenlow.Explorer.policy -a -f /usr/share/polkit-1/rules.d/10-wenlow.rules
check "the helper has no privilege of its own: a child's account changes nothing with it" not runuser -u nobody -- \
  sh -c 'printf "pardata.dat 0\n" | /usr/lib/wenlow/wenlow-write'
check "a child's account cannot add a file" not runuser -u nobody -- touch /var/lib/wenlow/child-was-here
told() {  # fails, and says which folder and that a parent's account is needed
  local out status
  out=$(runuser -u nobody -- "$@" 2>&1); status=$?
  echo "$out"
  [ "$status" -ne 0 ] && grep -q "kept in /var/lib/wenlow/, which this account cannot change.*parent's account" <<< "$out"
}
check "a child's account cannot update the lists, and is told why in a parent's words" told wenlow-update --time-limit 2
useradd --no-create-home --groups wenlow-parents wenlow-test-parent
check "a parent's account can change the settings" runuser -u wenlow-test-parent -- \
  sh -c 'cp /var/lib/wenlow/pardata.dat /var/lib/wenlow/pardata.new && mv /var/lib/wenlow/pardata.new /var/lib/wenlow/pardata.dat'
userdel wenlow-test-parent
check "the update timer is there, off until a parent switches it on" \
  bash -c "! command -v systemctl > /dev/null || ! systemctl is-enabled wenlow-update.timer 2> /dev/null | grep -q enabled"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq wenlow > "$work/apt.log" 2>&1
check "purged, nothing is left behind" bash -c \
  "! dpkg -s wenlow 2> /dev/null | grep -q installed && test ! -e /var/lib/wenlow -a ! -e /usr/bin/wenlow -a ! -e /usr/lib/wenlow && ! getent group wenlow-parents && ! getent passwd wenlow-update"
rm -rf "$work"
echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
