#!/usr/bin/env bash
# wenlow-check against squidGuard (when installed) on the same synthetic list and the
# same addresses, loading included, on a synthetic list and on the same names as lists
# are published:  bash bench/compare.sh [ENTRIES] [ADDRESSES]
# (BUILD=build-release bash bench/compare.sh takes the programs of another build folder.)
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${BUILD:-build}
entries=${1:-1100000}
addresses=${2:-200000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin"/bench/listgen "$entries" "$addresses" "$work"
cp sample/setup.dat sample/pardata.dat "$work/"

now() { date +%s.%N; }
rate() { awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { printf "%.0f", n / (b - a) }'; }

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
check() { "$bin"/wenlow-check --dir "$1" --site 0 < "$work/addresses.txt" > "$2"; }

echo "list: $entries entries; $addresses addresses"
# The first run reads data.dat, sorts and indexes it and leaves the index beside it;
# later runs map that index (as squidGuard's runs use the database it built first).
t0=$(now); check "$work" "$work/first.out"; t1=$(now)
first=$(rate "$addresses" "$t0" "$t1")
echo "wenlow-check, first run (builds the index): $(seconds "$t0" "$t1") s, $first lines/s"
t0=$(now); check "$work" "$work/wenlow.out"; t1=$(now)
wenlow=$(rate "$addresses" "$t0" "$t1")
echo "wenlow-check: $(seconds "$t0" "$t1") s, $wenlow lines/s, $(grep -c '^refuse' "$work/wenlow.out") refused"
cmp -s "$work/first.out" "$work/wenlow.out" || { echo "the two runs decided differently" >&2; exit 1; }
# The same domains as wenlow-lists writes them: in the browser's order, with its index.
mkdir -p "$work/sorted"
cp "$work/setup.dat" "$work/pardata.dat" "$work/sorted/"
t0=$(now)
"$bin"/wenlow-lists --domains "$work/domains" --out "$work/sorted" 2> /dev/null
t1=$(now)
echo "wenlow-lists (writes data.dat and its index): $(seconds "$t0" "$t1") s"
t0=$(now); check "$work/sorted" /dev/null; t1=$(now)
echo "wenlow-check, list as wenlow-lists writes it: $(seconds "$t0" "$t1") s, $(rate "$addresses" "$t0" "$t1") lines/s"
if [ -x /usr/bin/time ]; then
  /usr/bin/time -f "wenlow-check peak memory: %M KiB" "$bin"/wenlow-check --dir "$work" --site 0 \
    < "$work/addresses.txt" > /dev/null
fi

if ! command -v squidGuard > /dev/null; then
  echo "squidGuard is not installed (apt-get install squidguard): no comparison"
  exit 0
fi

# squidGuard on a folder's domains (and urls) file: its database build, then its run on
# the requests. Sets $squid to its rate.
squidguard() {
  local dir=$1 urls=${2:-}
  mkdir -p "$dir/db/bad" "$dir/log"
  cp "$dir/squid-domains" "$dir/db/bad/domains"
  [ -n "$urls" ] && cp "$urls" "$dir/db/bad/urls"
  cat > "$dir/squidGuard.conf" <<CONF
dbhome $dir/db
logdir $dir/log
dest bad {
  domainlist bad/domains
  ${urls:+urllist bad/urls}
}
acl {
  default {
    pass !bad all
    redirect http://blocked.invalid/
  }
}
CONF
  local t0 t1
  t0=$(now)
  squidGuard -c "$dir/squidGuard.conf" -C all > /dev/null 2>&1
  t1=$(now)
  echo "squidGuard database build: $(seconds "$t0" "$t1") s"
  t0=$(now)
  squidGuard -c "$dir/squidGuard.conf" < "$dir/requests.txt" > "$dir/squid.out" 2> /dev/null
  t1=$(now)
  squid=$(rate "$addresses" "$t0" "$t1")
  echo "squidGuard: $(seconds "$t0" "$t1") s, $squid lines/s"
}

# Agreement, address by address: wenlow-check's right pane ($dir/wenlow.out) against
# squidGuard ("ERR" passes, "OK rewrite-url=..." refuses). Each disagreement is explained
# by the entry that decided it and grouped by cause and by the kind of address.
agreement() {
  local dir=$1
  paste -d '\t' "$dir/wenlow.out" "$dir/squid.out" "$dir/kinds.txt" | awk -F '\t' -v out="$dir/differ.txt" '
    { split($1, w, " "); ours = w[2] == "refuse"; theirs = $2 ~ /^OK/; n++
      if (ours == theirs) same++; else print w[3] "\t" (ours ? "refuses" : "passes") "\t" $3 > out }
    END { printf "agreement: %d of %d addresses (%.2f %%)\n", same, n, 100 * same / n }'
  touch "$dir/differ.txt"
  cut -f1 "$dir/differ.txt" | "$bin"/wenlow-check --dir "$dir" --site 0 --explain |
    paste -d '\t' - "$dir/differ.txt" | awk -F '\t' -v domains="$dir/squid-domains" '
    BEGIN {
      # Domains that have another listed domain below them: squidGuard looks up the nearest
      # key of its sorted database, and a listed subdomain can stand between a host and
      # the domain it lies below.
      while ((getline d < domains) > 0) {
        n = split(d, label, ".")
        for (i = 2; i < n; i++) { s = label[i]; for (j = i + 1; j <= n; j++) s = s "." label[j]; shadow[toupper(s)] = 1 }
      }
    }
    { entry = $2; sub(/^predefined 2/, "", entry)
      if ($4 == "refuses" && entry in shadow) cause = "squidGuard misses a host below a domain that also has subdomains listed"
      else cause = "other (" $2 ")"
      key = cause " [" $5 ", wenlow-check " $4 "]"; count[key]++
      if (!(key in example)) example[key] = $3 }
    END { for (k in count) printf "  %6d  %s, e.g. %s\n", count[k], k, example[k] }' | sort -rn
}

cp "$work/domains" "$work/squid-domains"
squidguard "$work"
awk -v w="$wenlow" -v f="$first" -v s="$squid" 'BEGIN {
  printf "ratio: wenlow-check decides %.1f times as many lines a second (%.1f in the run that builds its index)\n", w / s, f / s }'
agreement "$work"

# The same names as lists are published: a hosts file, a domain list with IP addresses,
# a list of addresses; the addresses written as pages and people write them (ports,
# fragments, letter case, escapes), so that some need the full conversion.
real="$work/real"
echo
echo "real-format lists: $(grep -c . "$real/hosts.txt") hosts-file lines, $(grep -c . "$real/domains.txt") domain-list lines, $(grep -c . "$real/urls.txt") addresses"
cp "$work/setup.dat" "$work/pardata.dat" "$real/"
t0=$(now)
"$bin"/wenlow-lists --hosts "$real/hosts.txt" --domains "$real/domains.txt" --urls "$real/urls.txt" --out "$real" 2> "$real/lists.err"
t1=$(now)
echo "wenlow-lists: $(seconds "$t0" "$t1") s; $(sed 's/^wenlow-lists: //' "$real/lists.err")"
check "$real" /dev/null  # makes data.idx
t0=$(now); "$bin"/wenlow-check --dir "$real" --site 0 < "$real/addresses.txt" > "$real/wenlow.out"; t1=$(now)
wenlow=$(rate "$addresses" "$t0" "$t1")
echo "wenlow-check: $(seconds "$t0" "$t1") s, $wenlow lines/s, $(grep -c '^refuse' "$real/wenlow.out") refused"
squidguard "$real" "$real/squid-urls"
awk -v w="$wenlow" -v s="$squid" 'BEGIN { printf "ratio: wenlow-check decides %.1f times as many lines a second\n", w / s }'
agreement "$real"
