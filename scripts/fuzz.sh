#!/usr/bin/env bash
# Builds the libFuzzer harnesses (the fuzz preset, clang) when needed and runs
# each for SECONDS (default 60). Seeds come from fuzz/corpus/<harness>; what
# a run finds new goes to build/fuzz/corpus/<harness>, so the tree stays as
# it is. A failing input is left in build/fuzz/artifacts/ and stops the run.
# Prints the number of inputs each harness ran.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
harnesses=(soap_response xml_roundtrip request_documents invoke)
declare -A dictionary=([soap_response]=xml [xml_roundtrip]=xml [request_documents]=xml
                       [invoke]=invoke)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

mkdir -p build/fuzz/artifacts
summary=()
for harness in "${harnesses[@]}"; do
  work=build/fuzz/corpus/$harness
  log=build/fuzz/$harness.log
  mkdir -p "$work"
  echo "== fuzz_$harness: $seconds s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "build/fuzz/fuzz/fuzz_$harness" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -dict="fuzz/${dictionary[$harness]}.dict" -artifact_prefix=build/fuzz/artifacts/ \
      -print_final_stats=1 "$work" "fuzz/corpus/$harness" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz_$harness failed: the input is in build/fuzz/artifacts/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  summary+=("fuzz_$harness: $runs inputs in $seconds s")
done
printf '%s\n' "${summary[@]}"
