#!/usr/bin/env bash
# Runs a test beside a system bus and a polkit daemon of its own: in a private mount
# namespace, a dbus-daemon on the system bus's socket, polkitd with the browser's action
# (for the test's helper) and rules, and two accounts that exist only in there: a parent
# (member of wenlow-parents) and a child, each with a password. The test gets
# WENLOW_TEST_POLKIT=1, the accounts' names and passwords, and WENLOW_TEST_HELPER, the
# helper's path for pkexec; where this cannot be
# set up (not root, no unshare, no polkitd), it runs without them.
#   polkit.sh POLICY_IN RULES HELPER TEST...
policy_in=$1 rules=$2 helper=$3
shift 3
if [ "$(id -u)" -ne 0 ] || [ -n "${WENLOW_TEST_POLKIT:-}" ] || ! command -v unshare > /dev/null ||
   [ ! -x /usr/lib/polkit-1/polkitd ] || ! command -v pkexec > /dev/null || ! command -v dbus-daemon > /dev/null ||
   ! unshare -m true 2> /dev/null; then
  exec "$@"
fi
exec unshare -m --propagation private bash -c '
  policy_in=$1 rules=$2 helper=$3; shift 3
  work=$(mktemp -d)
  # The child runs the helper by its path: a copy where any account can reach it, wherever
  # the build is.
  reach=$(mktemp -d)
  chmod 755 "$reach"
  cp "$helper" "$reach/" && helper=$reach/$(basename "$helper")
  trap "rm -rf $work $reach" EXIT
  # The accounts, on copies of the account files mounted over the real ones.
  cp /etc/passwd /etc/group /etc/shadow "$work/"
  hash() { perl -e "print crypt(\$ARGV[0], q(\$6\$wenlowtest\$))" "$1"; }
  echo "wenlow-test-parent:x:64101:64101:A parent:/nonexistent:/bin/sh" >> "$work/passwd"
  echo "wenlow-test-child:x:64102:64102:A child:/nonexistent:/bin/sh" >> "$work/passwd"
  echo "wenlow-test-parent:$(hash parent-secret):19000:0:99999:7:::" >> "$work/shadow"
  echo "wenlow-test-child:$(hash child-secret):19000:0:99999:7:::" >> "$work/shadow"
  echo "wenlow-test-parent:x:64101:" >> "$work/group"
  echo "wenlow-test-child:x:64102:" >> "$work/group"
  if grep -q "^wenlow-parents:" "$work/group"; then
    sed -i "s/^\(wenlow-parents:[^:]*:[^:]*:\)\(.*\)$/\1\2,wenlow-test-parent/; s/:,wenlow-test-parent/:wenlow-test-parent/" "$work/group"
  else
    echo "wenlow-parents:x:64100:wenlow-test-parent" >> "$work/group"
  fi
  for f in passwd group shadow; do mount --bind "$work/$f" "/etc/$f" || exit 99; done
  # The action for the test helper, the rules as installed, and nothing else.
  mkdir -p "$work/actions" "$work/rules"
  sed "s#@WENLOW_HELPER@#$helper#" "$policy_in" > "$work/actions/net.wenlow.Explorer.policy"
  cp "$rules" "$work/rules/10-wenlow.rules"
  cp /usr/share/polkit-1/rules.d/50-default.rules "$work/rules/" 2> /dev/null
  mount --bind "$work/actions" /usr/share/polkit-1/actions || exit 99
  mount --bind "$work/rules" /usr/share/polkit-1/rules.d || exit 99
  mkdir -p /etc/polkit-1/rules.d && mount -t tmpfs tmpfs /etc/polkit-1/rules.d
  # The system bus, where pkexec and polkit'\''s own helper look for it.
  mkdir -p /run/dbus && mount -t tmpfs tmpfs /run/dbus || exit 99
  cat > "$work/bus.conf" << CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=/run/dbus/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
  dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile > "$work/bus.log" 2>&1 &
  bus=$!
  for _ in $(seq 100); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.05; done
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/system_bus_socket
  /usr/lib/polkit-1/polkitd --no-debug > "$work/polkitd.log" 2>&1 &
  polkitd=$!
  ready=
  for _ in $(seq 100); do
    if dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
         string:org.freedesktop.PolicyKit1 2> /dev/null | grep -q "boolean true"; then ready=1; break; fi
    sleep 0.05
  done
  if [ -n "$ready" ]; then
    export WENLOW_TEST_POLKIT=1 WENLOW_TEST_PARENT=wenlow-test-parent WENLOW_TEST_PARENT_PASSWORD=parent-secret
    export WENLOW_TEST_CHILD=wenlow-test-child WENLOW_TEST_CHILD_PASSWORD=child-secret
    export WENLOW_TEST_HELPER=$helper
  else
    echo "polkit.sh: polkitd did not start; running without it" >&2
    cat "$work/polkitd.log" >&2
  fi
  "$@"
  status=$?
  kill "$polkitd" "$bus" 2> /dev/null
  wait 2> /dev/null
  exit $status' polkit "$policy_in" "$rules" "$helper" "$@"
