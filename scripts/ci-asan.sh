#!/usr/bin/env bash
# Builds and runs the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cmake --preset asan
cmake --build --preset asan --parallel "$(nproc)"
# The perf budgets measure resident memory and rates, which the sanitizers' shadow memory,
# quarantine and checks change many times over: they run in the plain build only.
ctest --preset asan --label-exclude perf "$@"
