#!/usr/bin/env bash
# Set up what is missing, build, and start Tavrel.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec ./build-release/app/tavrel "$@"
