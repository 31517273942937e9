#!/usr/bin/env bash
# The long soak: 50 MB (or the bytes given) through a pseudo-terminal into the window, checked
# byte for byte in log.txt. CI runs the same test with 5 MB as part of ctest.
# Usage: bash scripts/ci-soak.sh [bytes] [random-start]
set -euo pipefail
cd "$(dirname "$0")/.."

export TAVREL_SOAK_BYTES="${1:-52428800}"
[ -n "${2:-}" ] && export TAVREL_RANDOM_START="$2"
cmake --preset dev
cmake --build --preset dev --parallel "$(nproc)" --target tst_soak
ctest --preset dev -R '^tst_soak$' --verbose
