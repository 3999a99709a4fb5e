#!/usr/bin/env bash
# Runs each fuzz target under libFuzzer (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) for a set time, growing a working corpus seeded
# from fuzz/corpus/. Crash inputs are kept in fuzz/crashes/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/${1:-out/build-fuzz}"
seconds=${2:-180}

if ! command -v clang++ >/dev/null || ! echo 'int LLVMFuzzerTestOneInput(){return 0;}' |
     clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang libclang-rt-14-dev >/dev/null
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSETUP_LIBFUZZER=ON \
  -DSETUP_OUTPUT_DIR="$build/bin" >/dev/null
for target in PackageFuzz UninstallLogFuzz SetupIniFuzz VersionFuzz; do
  cmake --build "$build" -j "$(nproc)" --target "$target" >/dev/null
done

for target in PackageFuzz UninstallLogFuzz SetupIniFuzz VersionFuzz; do
  name=${target%Fuzz}
  work="$root/out/fuzz-corpus/$name"
  crashes="$root/fuzz/crashes/$name"
  mkdir -p "$work" "$crashes"
  echo "== $name: $seconds s"
  status=0
  "$build/fuzz/$target" "$work" "$root/fuzz/corpus/$name" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -timeout=10 -artifact_prefix="$crashes/" -print_final_stats=1 2>&1 |
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|Test unit written' || true
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  [ "$status" -eq 0 ] || echo "$name: the fuzzer found a fault; the input is in $crashes"
done
