#!/usr/bin/env bash
# A signed list of 1,100,000 domains (about 30 MB) from a loopback nginx: wenlow-update's
# time and peak memory, and how long the browser's window does not answer meanwhile.
#   bash bench/update_bench.sh [ENTRIES]
set -euo pipefail
cd "$(dirname "$0")/.."
entries=${1:-1100000}
work=$(mktemp -d)
trap 'kill "$(cat "$work/site/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/keys" "$work/folder"
build/bench/listgen "$entries" 1 "$work"
build/wenlow-lists --keygen "$work/keys" 2> /dev/null
# As address entries ("1http://..."), a million of which make the 30 MB of public lists.
build/wenlow-lists --urls "$work/domains" --sign "$work/keys/update.secret" > "$work/site/list.dat" 2> /dev/null
echo "list: $entries entries, $(stat -c %s "$work/site/list.dat") bytes, signed"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user=""; [ "$(id -u)" -eq 0 ] && user="user root;"
cat > "$work/site/nginx.conf" <<CONF
daemon on; worker_processes 1; pid $work/site/nginx.pid; $user error_log $work/site/error.log;
events {} http { access_log off; server { listen 127.0.0.1:$port; root $work/site; } }
CONF
/usr/sbin/nginx -c "$work/site/nginx.conf" -p "$work/site"
fresh() { rm -rf "$work/folder"; mkdir -p "$work/folder"; cp sample/* "$work/folder/"; cp "$work/keys/update.key" "$work/folder/"; }

fresh
/usr/bin/time -f "wenlow-update: %e s, peak memory %M KiB" \
  build/wenlow-update --dir "$work/folder" --url lists.bench.invalid/list.dat --route "lists.bench.invalid=$port"
fresh
QT_QPA_PLATFORM=offscreen build/bench/window_gap "$work/folder" "$port"
