#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays the committed corpus, then fuzzes each target
# for a short while. TAVREL_FUZZ_SECONDS sets the time per target (12 by default).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${TAVREL_FUZZ_SECONDS:-12}"
targets=(fuzz_settings fuzz_hexrender fuzz_logstore)

cmake --preset fuzz
cmake --build --preset fuzz --parallel "$(nproc)"
ctest --preset fuzz

# New inputs go to a scratch corpus; the committed inputs are only read.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=()
for target in "${targets[@]}"; do
  mkdir -p "$work/$target" "$work/artifacts"
  echo "== $target: ${seconds}s"
  if ! "build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/$target-" "$work/$target" \
      "tests/fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
    failed+=("$target")
    tail -n 40 "$work/$target.log"
    for artifact in "$work/artifacts/$target-"*; do
      [ -e "$artifact" ] || continue
      echo "input that broke $target (base64):"
      base64 "$artifact"
    done
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/$target.log" || true
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]}"
  exit 1
fi
