#!/usr/bin/env bash
# Runs QuorelFix on a fresh copy of the bundled Windows XP machine image
# (images/xp-demo), then shows the report it wrote and the journal of what it
# did outside registry and files. At a terminal the message boxes ask you;
# elsewhere they take the answers stored in the image.
#
# Usage: scripts/run-demo.sh [arguments for QuorelFix...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
if [ ! -f build/default/CMakeCache.txt ]; then
  cmake --preset default >/dev/null
fi
targets=(--target QuorelFix)
if [ -d tools/qfmachine ]; then targets+=(--target qfmachine); fi
cmake --build --preset default -j"$(nproc)" "${targets[@]}" >/dev/null

mkdir -p run
image="run/xp-demo-$(date +%Y%m%d-%H%M%S)-$$"
cp -r images/xp-demo "$image"
rm -f "$image/.gitattributes"
desktop="$image/drive_c/Documents and Settings/Owner/Desktop"
# Git keeps no file times: the previous report was last written at 13:42:18
# local time (11:42:18 UTC), twenty minutes before the machine's clock.
touch -d '2010-07-03 11:42:18 UTC' "$desktop/QuorelFix.txt"
touch -d '2010-07-03 09:05:07 UTC' "$desktop/QuorelFix Backups/QuorelFix[09.05.07_03-07-2010].txt"

echo "== QuorelFix on $image"
status=0
QUORELFIX_IMAGE="$PWD/$image" build/default/QuorelFix "$@" || status=$?
echo
echo "== exit status $status"

echo
echo "== Desktop\\QuorelFix.txt"
if [ -f "$desktop/QuorelFix.txt" ]; then
  iconv -f UTF-16LE -t UTF-8 "$desktop/QuorelFix.txt" | tr -d '\r'
  echo
else
  echo "(no report)"
fi

echo
echo "== Desktop\\QuorelFix Backups"
if [ -d "$desktop/QuorelFix Backups" ]; then
  (cd "$desktop/QuorelFix Backups" && find . -mindepth 1 | sed 's|^\./||' | sort)
fi

echo
echo "== journal.txt"
cat "$image/journal.txt" 2>/dev/null || echo "(empty)"
echo
echo "The machine is kept in $image."
if [ -d tools/qfmachine ]; then
  if grep -q '^ExitWindowsEx' "$image/journal.txt" 2>/dev/null; then
    echo "QuorelFix asked for a restart. Restart the machine (the reboot pass runs"
    echo "and appends to the report), then read the report again:"
  else
    echo "To restart it (runs any scheduled reboot pass), then read the report again:"
  fi
  echo "  build/default/qfmachine boot '$image'"
  echo "  iconv -f UTF-16LE -t UTF-8 '$desktop/QuorelFix.txt'"
fi
