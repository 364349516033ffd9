#!/usr/bin/env bash
# The cost of recording on a page of 200 refused pictures: loaded without and with
# recording by turns (this machine's figures drift), the median of 5x5 loads of each,
# three rounds (or as many as the argument says), then recording's cost against none in
# the same round. As root it runs beside a journal of its own (tests/support/journal.sh),
# as an installed browser records; elsewhere into the bounded file.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bench/records_bench
export QTWEBENGINE_DISABLE_SANDBOX=1
results=$(for round in $(seq "${1:-3}"); do
  for mode in "" --recording; do
    xvfb-run -a -s "-screen 0 1280x1024x24" tests/support/journal.sh "$bin" $mode \
        --benchmark_filter=PageOf200RefusedPictures 2>/dev/null |
      awk -v m="${mode:-none}" '/_median/ {print "round '"$round"'", m, $2, $3, $0}'
  done
done)
echo "$results" | cut -d' ' -f1-5
echo "$results" |
  awk '$3 == "none" {u[$2] = $4} $3 == "--recording" {g[$2] = $4} END {for (r in g) if (u[r] > 0) print g[r] / u[r]}' |
  sort -n |
  awk '{v[NR] = $1} END {if (NR) printf "recording: %+.1f %% against none (median of %d rounds)\n",
       ((NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) * 100 - 100, NR}'
