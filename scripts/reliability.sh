#!/usr/bin/env bash
# The reliability runs of docs/reliability.md:
#   - QuorelFix, and separately its reboot pass under `qfmachine boot`, killed
#     at every host call that can change the image (kill_points.py);
#   - every seam call of those runs made to fail in turn with every code it
#     plausibly fails with (failing_calls.py), on the bundled image and, in
#     the full run, on the images of the scenario tests.
#
#   scripts/reliability.sh            every call; scenario images every 25th call
#                                     (at most 100 calls of a run, spread over it;
#                                     the 100,000-line script's run is left out)
#   scripts/reliability.sh --quick    the bundled image, every 7th call (what CI runs)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[ "${1:-}" = "--quick" ] && quick=1

scripts/install-deps.sh native reliability
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" >/dev/null

if [ "$quick" -eq 1 ]; then
  echo "== kill points (every 7th call)"
  python3 tools/reliability/kill_points.py --every 7
  echo "== failing calls (every 7th call)"
  python3 tools/reliability/failing_calls.py --every 7
  exit 0
fi

echo "== kill points (every call)"
python3 tools/reliability/kill_points.py
echo "== failing calls: the bundled image (every call)"
python3 tools/reliability/failing_calls.py
stash=build/reliability/stash
rm -rf "$stash"
QF_STASH_IMAGES="$PWD/$stash" build/default/tests/qf_scenarios_tests >/dev/null
echo "== failing calls: $(ls "$stash" | wc -l) scenario images (every 25th call)"
python3 tools/reliability/failing_calls.py --stashed "$stash" --every 25 --most 100 --longest 100000
