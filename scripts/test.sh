#!/usr/bin/env bash
# Builds with warnings as errors and runs the whole test suite, then builds
# again with AddressSanitizer and UndefinedBehaviorSanitizer and runs it there,
# then, when clang is installed, runs every fuzz target for 30 seconds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ "${TAPPO_SKIP_DEPS:-0}" = 1 ] || bash "$root/scripts/install-deps.sh"
jobs=$(nproc)

cmake -S "$root" -B "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAPPO_WERROR=ON > /dev/null
cmake --build "$root/build-test" -j "$jobs"
(cd "$root/build-test" && ctest --output-on-failure -j "$jobs")

if [ "${TAPPO_SKIP_SANITIZERS:-0}" != 1 ]; then
  export ASAN_OPTIONS=detect_leaks=1
  export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
  cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTAPPO_WERROR=ON \
    -DTAPPO_SANITIZE=ON -DTAPPO_BENCHMARKS=OFF > /dev/null
  cmake --build "$root/build-asan" -j "$jobs"
  (cd "$root/build-asan" && ctest --output-on-failure -j "$jobs")
fi

if [ "${TAPPO_SKIP_FUZZ:-0}" != 1 ] && command -v clang++ > /dev/null; then
  bash "$root/scripts/fuzz.sh" 30
fi
