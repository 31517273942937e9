#!/usr/bin/env bash
# Runs the fault catalogue (tests/faults.txt): see HACKING.md.
set -euo pipefail
exec python3 "$(dirname "$0")/mutants.py" "$@"
