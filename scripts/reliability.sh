#!/usr/bin/env bash
# The reliability runs of docs/reliability.md on the bundled image: QuorelFix,
# and separately its reboot pass under `qfmachine boot`, killed at every host
# call that can change the image (tools/reliability/kill_points.py).
#
#   scripts/reliability.sh            every call
#   scripts/reliability.sh --quick    every 7th call (what CI runs)
set -euo pipefail
cd "$(dirname "$0")/.."

every=1
[ "${1:-}" = "--quick" ] && every=7

scripts/install-deps.sh native reliability
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target QuorelFix qfmachine >/dev/null

echo "== kill points (every ${every}. call)"
python3 tools/reliability/kill_points.py --every "$every"
