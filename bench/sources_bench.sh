#!/usr/bin/env bash
# wenlow-lists --sources on a list of public size: 1,100,000 addresses (about 30 MB of
# data.dat) from a loopback https server (gzip on the way), fetched whole, asked again
# when nothing changed, and built signed: time and peak memory of each run
# (/usr/bin/time -v).
#   bash bench/sources_bench.sh [ENTRIES]
set -euo pipefail
cd "$(dirname "$0")/.."
entries=${1:-1100000}
work=$(mktemp -d)
trap 'kill "$(cat "$work/site/nginx.pid" 2>/dev/null)" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/site" "$work/keys" "$work/folder"
build/bench/listgen "$entries" 1 "$work"
mv "$work/domains" "$work/site/urls.txt"  # as addresses ("1http://..."), as public lists of that size are
build/wenlow-lists --keygen "$work/keys" 2> /dev/null

bash scripts/authority.sh "$work"  # ca.pem, site.pem, site.key
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
user=""; [ "$(id -u)" -eq 0 ] && user="user root;"
cat > "$work/site/nginx.conf" <<CONF
daemon on; worker_processes 1; pid $work/site/nginx.pid; $user error_log $work/site/error.log;
events {} http { access_log off; gzip on; gzip_types text/plain;
  server { listen 127.0.0.1:$port ssl; root $work/site; ssl_certificate $work/site.pem; ssl_certificate_key $work/site.key; } }
CONF
/usr/sbin/nginx -c "$work/site/nginx.conf" -p "$work/site"
cp sample/* "$work/folder/"
echo "https://localhost:$port/urls.txt urls block" > "$work/folder/sources.txt"
echo "list: $entries addresses, $(stat -c %s "$work/site/urls.txt") bytes as published"

run() {  # run NAME ARGS...
  local name=$1; shift
  WENLOW_TEST_CA="$work/ca.pem" /usr/bin/time -v build/wenlow-lists --sources --dir "$work/folder" "$@" \
    > "$work/out.txt" 2> "$work/err.txt" || true
  local seconds cpu peak
  seconds=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/err.txt")
  cpu=$(sed -n 's/^\s*User time (seconds): //p' "$work/err.txt")
  peak=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/err.txt")
  echo "$name: $seconds (m:ss), $cpu s of processor time, peak memory $peak KiB ($((peak / 1024)) MiB)"
  grep -h '^wenlow-lists' "$work/out.txt" "$work/err.txt" | sed 's/^/    /'
}
run "fetched whole"
echo "data.dat: $(stat -c %s "$work/folder/data.dat") bytes, data.idx: $(stat -c %s "$work/folder/data.idx" 2>/dev/null || echo 0) bytes"
run "not changed"
run "not changed, signed" --sign "$work/keys/update.secret"
