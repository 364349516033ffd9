#!/usr/bin/env bash
# wenlow-check against squidGuard (when installed) on the same synthetic list and the
# same addresses, loading included:  bash bench/compare.sh [ENTRIES] [ADDRESSES]
set -euo pipefail
cd "$(dirname "$0")/.."
entries=${1:-1100000}
addresses=${2:-200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bench/listgen "$entries" "$addresses" "$work"
cp sample/setup.dat sample/pardata.dat "$work/"

now() { date +%s.%N; }
rate() { awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { printf "%.0f", n / (b - a) }'; }

echo "list: $entries entries; $addresses addresses"
t0=$(now)
build/wenlow-check --dir "$work" --site 0 < "$work/addresses.txt" > "$work/wenlow.out"
t1=$(now)
wenlow=$(rate "$addresses" "$t0" "$t1")
echo "wenlow-check: $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s, $wenlow lines/s," \
     "$(grep -c '^refuse' "$work/wenlow.out") refused"
# The same list as wenlow-lists writes it (in the browser's order, loaded without a sort).
mkdir -p "$work/sorted"
cp "$work/setup.dat" "$work/pardata.dat" "$work/sorted/"
sed 's/^/0.0.0.0 /' "$work/domains" | build/wenlow-lists --hosts - --out "$work/sorted" 2> /dev/null
t0=$(now)
build/wenlow-check --dir "$work/sorted" --site 0 < "$work/addresses.txt" > /dev/null
t1=$(now)
sorted=$(rate "$addresses" "$t0" "$t1")
echo "wenlow-check, list as wenlow-lists writes it: $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s, $sorted lines/s"
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "wenlow-check peak memory: %M KiB" build/wenlow-check --dir "$work" --site 0 \
    < "$work/addresses.txt" > /dev/null
fi

if ! command -v squidGuard > /dev/null; then
  echo "squidGuard is not installed (apt-get install squidguard): no comparison"
  exit 0
fi
mkdir -p "$work/db/bad" "$work/log"
cp "$work/domains" "$work/db/bad/domains"
cat > "$work/squidGuard.conf" <<CONF
dbhome $work/db
logdir $work/log
dest bad {
  domainlist bad/domains
}
acl {
  default {
    pass !bad all
    redirect http://blocked.invalid/
  }
}
CONF
t0=$(now)
squidGuard -c "$work/squidGuard.conf" -C all > /dev/null 2>&1
t1=$(now)
echo "squidGuard database build: $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s"
t0=$(now)
squidGuard -c "$work/squidGuard.conf" < "$work/requests.txt" > "$work/squid.out" 2> /dev/null
t1=$(now)
squid=$(rate "$addresses" "$t0" "$t1")
echo "squidGuard: $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s, $squid lines/s"
awk -v w="$wenlow" -v o="$sorted" -v s="$squid" 'BEGIN {
  printf "ratio: wenlow-check decides %.1f times as many lines a second (%.1f with the written list)\n", w / s, o / s }'
