#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan and runs each
# from the seed corpus kept here, for a time or a number of executions, whichever comes
# first:
#   bash fuzz/run.sh [SECONDS] [TARGET ...]         (default 60 s each, every target)
#   FUZZ_RUNS=10000000 bash fuzz/run.sh 3600         (ten million runs or an hour each)
# Ends with a failure, naming the target and the input it saved, when any target crashes,
# hangs, runs out of memory or leaks.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60
if [[ ${1:-} =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
runs=${FUZZ_RUNS:--1}
bash scripts/deps.sh
if ! command -v clang++ > /dev/null || ! dpkg-query -W libclang-rt-14-dev > /dev/null 2>&1; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DWENLOW_FUZZ=ON -DWENLOW_TESTS=OFF > /dev/null
cmake --build build-fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in build-fuzz/*_fuzz; do targets+=("$(basename "$exe" _fuzz)"); done
fi
failed=()
for target in "${targets[@]}"; do
  exe=build-fuzz/${target}_fuzz
  [ -x "$exe" ] || { echo "== $target: no such target"; failed+=("$target (no such target)"); continue; }
  work=build-fuzz/corpus-$target
  artifacts=build-fuzz/artifacts/$target/
  mkdir -p "$work" "$artifacts" "fuzz/corpus/$target"
  log=build-fuzz/$target.log
  echo "== $target (at most $seconds s${FUZZ_RUNS:+ or $runs runs})"
  status=0
  QT_QPA_PLATFORM=offscreen "$exe" -max_total_time="$seconds" -runs="$runs" -max_len=4096 -timeout=30 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$work" "fuzz/corpus/$target" > "$log" 2>&1 || status=$?
  executed=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  echo "   executions: ${executed:-unknown}"
  if [ "$status" -ne 0 ] || grep -q -E '^==[0-9]+==ERROR|ERROR: libFuzzer|runtime error:' "$log"; then
    artifact=$(grep -o "Test unit written to [^ ]*" "$log" | tail -n 1 | sed 's/Test unit written to //')
    echo "   FAILED (exit $status): $(grep -m 1 -E 'ERROR|runtime error' "$log" || echo 'see the log')"
    echo "   input: ${artifact:-none saved}; log: $log"
    failed+=("$target${artifact:+ ($artifact)}")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "fuzzing: every target ran clean"
