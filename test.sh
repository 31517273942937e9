#!/usr/bin/env bash
# Set up what is missing, build, and run every test headless.
set -euo pipefail
cd "$(dirname "$0")"
TAVREL_WITH_TEST_TOOLS=1 bash scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev --parallel "$(nproc)"
ctest --preset dev "$@"
