#!/usr/bin/env bash
# Runs clang-tidy with the checks in .clang-tidy over the program's own sources (not the tests or
# the benchmarks), using the dev build's compile commands; any warning fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

tidy="$(command -v "${CLANG_TIDY:-clang-tidy-14}")"
runner="${RUN_CLANG_TIDY:-run-clang-tidy-14}"

# Configuring writes build/compile_commands.json; nothing needs to be built first.
cmake --preset dev >/dev/null

started=$SECONDS
set +e
"$runner" -clang-tidy-binary "$tidy" -p build -quiet -j "$(nproc)" \
  "^$PWD/(app|capture|settings|logfile|posix|packaging)/.*\.cpp$" 2>&1 |
  sed -e 's/\x1b\[[0-9;]*m//g' |
  { grep -v -E "^$tidy |^[0-9]+ warnings? generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter|^$" ||
    true; }
status=${PIPESTATUS[0]}
set -e
echo "clang-tidy: $((SECONDS - started)) s, $([ "$status" -eq 0 ] && echo clean || echo "warnings found")"
exit "$status"
