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
# A child who copies the family's folder, empties its rules and names it (or puts a copy of
# the program beside it) still browses under the system's rules, and is told so.
child="$work/child"
mkdir -p "$child/mine" "$child/home" "$child/bin"
cp /var/lib/wenlow/* "$child/mine/"
printf 'starturls\r\nmainurls\r\nendurls\r\n' > "$child/mine/data.dat"
cp "$child"/mine/* /usr/bin/wenlow "$child/bin/"
chown -R nobody "$child"
system_rules() {  # the browser in a child's account opened the system folder's list page and said why
  local out
  out=$(runuser -u nobody -- env HOME="$child/home" QTWEBENGINE_DISABLE_SANDBOX=1 WENLOW_SCREENSHOT="$child/shot.png" \
    timeout 120 xvfb-run -a "$@" 2>&1)
  echo "$out"
  grep -q 'first list page loaded after .* ms: file:///var/lib/wenlow/list1.html' <<< "$out" &&
    grep -q 'settings and lists of /var/lib/wenlow/ are used' <<< "$out"
}
check "a child's account running wenlow --dir on a folder of its own gets the system's rules" \
  system_rules wenlow --dir "$child/mine"
check "a child's copy of the program beside a folder of its own gets the system's rules" system_rules "$child/bin/wenlow"
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

# The daily service builds data.dat from the lists a parent named in sources.txt: from a
# loopback https server whose certificate a test authority signed (outside /tmp, which the
# service does not share).
tls=/run/wenlow-install-test
mkdir -p "$tls/site" && chmod 755 "$tls"
bash scripts/authority.sh "$tls"
printf 'casino.example\n203.0.113.7\n' > "$tls/site/domains.txt"
printf '||ads.example^\n@@||ok.ads.example^\nexample.org##.banner\n' > "$tls/site/ads.txt"
port=38443  # the first free one from there
while (exec 3<> "/dev/tcp/127.0.0.1/$port") 2> /dev/null; do port=$((port + 1)); done
cat > "$tls/nginx.conf" <<CONF
daemon on; worker_processes 1; pid $tls/nginx.pid; user root; error_log $tls/error.log;
events {} http { access_log off; server { listen 127.0.0.1:$port ssl; root $tls/site;
  ssl_certificate $tls/site.pem; ssl_certificate_key $tls/site.key; } }
CONF
/usr/sbin/nginx -c "$tls/nginx.conf" -p "$tls" > /dev/null 2>&1
printf '# the family'"'"'s lists\nhttps://localhost:%s/domains.txt domains block\nhttps://localhost:%s/ads.txt adblock block\n' \
  "$port" "$port" > /var/lib/wenlow/sources.txt
chown root:wenlow-parents /var/lib/wenlow/sources.txt && chmod 664 /var/lib/wenlow/sources.txt
service_run() {  # runs the update service once as the system would, its output on stdout
  if [ -d /run/systemd/system ]; then
    mkdir -p /run/systemd/system/wenlow-update.service.d
    printf '[Service]\nEnvironment=WENLOW_TEST_CA=%s/ca.pem\n' "$tls" > /run/systemd/system/wenlow-update.service.d/test.conf
    systemctl daemon-reload
    local since status
    since=$(date '+%Y-%m-%d %H:%M:%S')
    systemctl start wenlow-update.service; status=$?
    journalctl -q -u wenlow-update.service --since "$since" -o cat
    return $status
  fi
  local command
  command=$(sed -n 's/^ExecStart=//p' /lib/systemd/system/wenlow-update.service)
  runuser -u wenlow-update -g wenlow-parents -- env WENLOW_TEST_CA="$tls/ca.pem" sh -c "umask 0002; $command" 2>&1
}
service_run > "$work/service.log"; status=$?
check "the daily service builds data.dat from the sources named, and says so" bash -c \
  "test $status -eq 0 && grep -q 'domains.txt: fetched' $work/service.log && grep -q 'ads.txt: fetched' $work/service.log &&
   grep -q '^2casino.example' /var/lib/wenlow/data.dat && grep -q '^2203.0.113.7' /var/lib/wenlow/data.dat &&
   grep -q '^5ok.ads.example' /var/lib/wenlow/data.dat && grep -q '1 element hiding' $work/service.log"
check "what the service writes stays the parents' to change" bash -c \
  "test \"\$(stat -c '%U:%G %a' /var/lib/wenlow/data.dat)\" = 'wenlow-update:wenlow-parents 664' &&
   test \"\$(stat -c '%G' /var/lib/wenlow/sources/state.dat)\" = wenlow-parents"
check "the decisions follow the new lists" bash -c \
  "runuser -u nobody -- wenlow-check http://www.casino.example/ | grep -q '^refuse refuse '"
check "a child's account cannot fetch the lists, and is told why in a parent's words" told wenlow-lists --sources
for file in /var/lib/wenlow/data.dat /var/lib/wenlow/sources/*; do
  check "a child's account cannot change ${file#/var/lib/wenlow/}" not runuser -u nobody -- test -w "$file"
done
/usr/sbin/nginx -c "$tls/nginx.conf" -p "$tls" -s stop > /dev/null 2>&1
service_run > "$work/service.log"
check "a list that fails keeps its copy, and the service says what failed" bash -c \
  "grep -q 'using the copy kept from' $work/service.log && grep -q '^2casino.example' /var/lib/wenlow/data.dat"
rm /var/lib/wenlow/sources.txt
service_run > "$work/service.log"
check "without sources.txt the service runs the download of the setup window's choice" \
  grep -q '^wenlow-update: ' "$work/service.log"
rm -rf "$tls" /run/systemd/system/wenlow-update.service.d
[ -d /run/systemd/system ] && systemctl daemon-reload
check "the update timer is there, off until a parent switches it on" \
  bash -c "! command -v systemctl > /dev/null || ! systemctl is-enabled wenlow-update.timer 2> /dev/null | grep -q enabled"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq wenlow > "$work/apt.log" 2>&1
check "purged, nothing is left behind" bash -c \
  "! dpkg -s wenlow 2> /dev/null | grep -q installed && test ! -e /var/lib/wenlow -a ! -e /usr/bin/wenlow -a ! -e /usr/lib/wenlow && ! getent group wenlow-parents && ! getent passwd wenlow-update"
rm -rf "$work"
echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
