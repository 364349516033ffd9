#!/usr/bin/env bash
# Runs a test with a journal of its own: in a private mount namespace, a journald whose
# sockets and files live on fresh tmpfs mounts, so the machine's journal sees nothing.
# Where that cannot be done (not root, no unshare, no journald), runs the test as it is
# and it keeps its records in the bounded file instead.
journald=/lib/systemd/systemd-journald
if [ "$(id -u)" -ne 0 ] || [ -n "${WENLOW_TEST_JOURNAL:-}" ] || ! command -v unshare > /dev/null ||
   [ ! -x "$journald" ] || ! unshare -m true 2> /dev/null; then
  exec "$@"
fi
exec unshare -m --propagation private bash -c '
  journald=$1; shift
  mkdir -p /run/systemd/journal /run/log/journal /var/log/journal
  for d in /run/systemd/journal /run/log/journal /var/log/journal; do mount -t tmpfs tmpfs "$d" || exit 99; done
  "$journald" > /dev/null 2>&1 &
  pid=$!
  for _ in $(seq 100); do [ -S /run/systemd/journal/socket ] && break; sleep 0.05; done
  if [ -S /run/systemd/journal/socket ]; then export WENLOW_TEST_JOURNAL=1; fi
  "$@"
  status=$?
  kill "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  exit $status' journal "$journald" "$@"
