#!/usr/bin/env bash
# Builds the libFuzzer targets (one per reader of untrusted bytes) with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/, then runs
# each for SECONDS (default 30), one after the other. Fails when any target
# finds a crash, a leak, a timeout or an out-of-memory input; the input is left
# in build-fuzz/findings/<reader>/ (make it a regression file under
# tests/data/regressions/<reader>/ once fixed).
#
#   scripts/fuzz.sh [SECONDS] [READER...]     readers: chart bmson bmp dib jpeg archive wav midi banner png sound video play table
#
# Each run starts from the checked-in seeds (tests/fuzz/corpus/<reader>/) and
# from what earlier runs on this machine found (build-fuzz/corpus/<reader>/).
# TAPPO_FUZZ_SKIP_BUILD=1 runs the targets already built, so that two runs on
# different readers can share the machine's cores:
#   scripts/fuzz.sh 1 && { TAPPO_FUZZ_SKIP_BUILD=1 scripts/fuzz.sh 600 chart bmp dib jpeg &
#     TAPPO_FUZZ_SKIP_BUILD=1 scripts/fuzz.sh 600 archive wav midi banner; wait; }
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
shift || true
readers=("$@")
[ ${#readers[@]} -gt 0 ] || readers=(chart bmson bmp dib jpeg archive wav midi banner png sound video play table)
build="$root/build-fuzz"

# Largest input each target makes: large enough for long run streams, deep
# nesting and big sample data to grow from their seeds.
max_len() {
  case "$1" in
    bmp|dib|banner|archive|wav) echo 1048576 ;;
    jpeg|chart|png|sound|video) echo 262144 ;;
    *) echo 65536 ;;
  esac
}

command -v clang++ > /dev/null || { echo "fuzz.sh: clang++ is not installed" >&2; exit 1; }
targets=()
for r in "${readers[@]}"; do targets+=("fuzz_$r"); done
if [ "${TAPPO_FUZZ_SKIP_BUILD:-0}" != 1 ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPPO_FUZZ=ON \
    -DTAPPO_BENCHMARKS=OFF > /dev/null
  cmake --build "$build" -j 2 --target "${targets[@]}"
fi

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for r in "${readers[@]}"; do
  work="$build/corpus/$r" findings="$build/findings/$r" log="$build/fuzz-$r.log"
  mkdir -p "$work" "$findings"
  dict=()
  words=$r
  [ "$r" = play ] && words=chart # the play target reads charts too
  [ -f "$root/tests/fuzz/dict/$words.dict" ] && dict=(-dict="$root/tests/fuzz/dict/$words.dict")
  status=0
  (cd "$build" && "./tests/fuzz/fuzz_$r" -max_total_time="$seconds" -max_len="$(max_len "$r")" \
    -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$findings/" "${dict[@]}" \
    "$work" "$root/tests/fuzz/corpus/$r") > "$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  if [ "$status" -ne 0 ]; then
    failed+=("$r")
    echo "fuzz $r: FAILED (exit $status) after ${runs:-?} runs, $cov; log $log, input in $findings/"
    grep -m 5 -E 'ERROR|runtime error|SUMMARY' "$log" || true
  else
    echo "fuzz $r: ${runs:-?} runs in ${seconds}s, $cov, $(ls "$work" | wc -l) inputs in corpus"
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
