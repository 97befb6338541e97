#!/usr/bin/env bash
# The long fuzzing run. Builds the fuzz tree with clang and runs every fuzzer for a while from the
# seed corpus, the kept crash inputs and what earlier long runs found.
# Usage: scripts/fuzz.sh [seconds per fuzzer, default 600] [fuzzer names...]
#   FUZZ_BUILD=<folder> picks the build folder (default build/fuzz).
# The corpus grows in <build>/fuzz/long/<fuzzer>; a failing input lands in
# <build>/fuzz/crashes/<fuzzer>/. Keep it as a regression case: copy it to
# fuzz/regressions/<fuzzer>/, fix the fault, and the short runs of the suite replay it from then on.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build/fuzz}
seconds=${1:-600}
shift || true
fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
  fuzzers=(text_fuzzer charset_fuzzer url_fuzzer scramble_fuzzer cookie_jar_fuzzer parse_result_page_fuzzer)
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNISK_BUILD_FUZZ=ON -DTARNISK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target tarnisk_fuzzers

failed=0
for fuzzer in "${fuzzers[@]}"; do
  corpus="$build/fuzz/long/$fuzzer"
  crashes="$build/fuzz/crashes/$fuzzer"
  mkdir -p "$corpus" "$crashes"
  folders=("$corpus" "$root/fuzz/corpus/$fuzzer")
  [ -d "$root/fuzz/regressions/$fuzzer" ] && folders+=("$root/fuzz/regressions/$fuzzer")
  options=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$crashes/")
  [ -f "$root/fuzz/dict/$fuzzer.dict" ] && options+=(-dict="$root/fuzz/dict/$fuzzer.dict")
  echo "== $fuzzer for ${seconds}s"
  if ! "$build/fuzz/bin/$fuzzer" "${options[@]}" "${folders[@]}" 2>"$build/fuzz/$fuzzer.log"; then
    echo "!! $fuzzer failed: see $build/fuzz/$fuzzer.log and $crashes"
    failed=1
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz/$fuzzer.log" || true
done
exit $failed
