#!/usr/bin/env bash
# A page of 200 pictures from loopback through the real engine, without any gate and with
# the request gate and the proxy, run by turns (this machine's figures drift): prints the
# median of 5x5 loads of each, three times.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bench/gate_bench
export QTWEBENGINE_DISABLE_SANDBOX=1
for round in 1 2 3; do
  for mode in "" --gated; do
    xvfb-run -a -s "-screen 0 1280x1024x24" "$bin" $mode --benchmark_filter=PageOf200Pictures 2>/dev/null |
      awk -v m="${mode:-ungated}" '/_median/ {print "round '"$round"'", m, $2, $3}'
  done
done
