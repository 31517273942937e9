#!/usr/bin/env bash
# Set up what is missing, build in the checkout, and start Tavrel in the directory it was called
# from, so that log.txt lands there.
set -euo pipefail
checkout="$(cd "$(dirname "$0")" && pwd)"
(
  cd "$checkout"
  bash scripts/install-deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --parallel "$(nproc)" --target tavrel
)
exec "$checkout/build-release/app/tavrel" "$@"
