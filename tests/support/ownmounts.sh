#!/usr/bin/env bash
# Runs a test in a mount namespace of its own where it can (root, unshare): there it may
# make a folder read-only, as a child's account finds the system's program folder.
if [ "$(id -u)" -eq 0 ] && [ -z "${WENLOW_OWN_MOUNTS:-}" ] && command -v unshare > /dev/null &&
   unshare -m true 2> /dev/null; then
  WENLOW_OWN_MOUNTS=1 exec unshare -m --propagation private "$@"
fi
exec "$@"
