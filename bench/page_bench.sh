#!/usr/bin/env bash
# A page of 200 pictures from loopback through the real engine, without any gate, with an
# interceptor that passes everything (the engine's own cost of asking) and with the request
# gate and the proxy, run by turns (this machine's figures drift): prints the median of
# 5x5 loads of each, three times (or as many as the argument says), then how much slower
# each is than no gate in the same round.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bench/gate_bench
export QTWEBENGINE_DISABLE_SANDBOX=1
results=$(for round in $(seq "${1:-3}"); do
  for mode in "" --asked --gated; do
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin" $mode --benchmark_filter=PageOf200Pictures 2>/dev/null |
      awk -v m="${mode:-ungated}" '/_median/ {print "round '"$round"'", m, $2, $3}'
  done
done)
echo "$results"
# Each mode against the run without any gate in the same round, then the median of those.
for mode in --asked --gated; do
  echo "$results" |
    awk -v m="$mode" '$3 == "ungated" {u[$2] = $4} $3 == m {g[$2] = $4} END {for (r in g) if (u[r] > 0) print g[r] / u[r]}' |
    sort -n |
    awk -v m="$mode" '{v[NR] = $1} END {if (NR) printf "%s: %+.1f %% against no gate (median of %d rounds)\n", m,
                      ((NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) * 100 - 100, NR}'
done
