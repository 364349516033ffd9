#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UBSan and runs each
# for a while (default 60 s) from the seed corpus kept here:  bash fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/deps.sh
if ! command -v clang++ > /dev/null; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DWENLOW_FUZZ=ON -DWENLOW_TESTS=OFF > /dev/null
cmake --build build-fuzz
for target in files data urlok buffsock download setupload indexfile; do
  work=build-fuzz/corpus-$target
  mkdir -p "$work"
  echo "== $target ($seconds s)"
  QT_QPA_PLATFORM=offscreen build-fuzz/${target}_fuzz -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/ \
    "$work" "fuzz/corpus/$target" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' || true
done
