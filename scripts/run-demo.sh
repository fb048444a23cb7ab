#!/usr/bin/env bash
# Previews QuorelFix with QuorelPreview on a fresh copy of the bundled Windows
# XP machine image (images/xp-demo, copied under run/) and shows
# QuorelPreview.txt; then runs QuorelFix on it and shows the report it wrote,
# the backup folder, and what changed the machine: the journal condensed to
# boxes, processes, services, commands, moves and the restart, and the
# registry changes (the full journal is one command away). At a terminal the
# message boxes ask you; elsewhere they take the answers stored in the image.
# When QuorelFix asked for a restart, it boots the machine (the reboot pass
# finishes the report) and shows the report's end. Last it asks QuorelRestore
# to put everything back: its list, "QuorelRestore all" and the report
# QuorelRestore.txt, with a count of the items it put back.
#
# Usage: scripts/run-demo.sh [arguments for QuorelFix...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native
if [ ! -f build/default/CMakeCache.txt ]; then
  cmake --preset default >/dev/null
fi
targets=(--target QuorelPreview --target QuorelFix --target QuorelRestore)
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

# Prints the desktop's report $1 (UTF-16LE) as text; when there is none, $2
# if given.
show_report() {
  echo
  echo "== Desktop\\$1"
  if [ -f "$desktop/$1" ]; then
    iconv -f UTF-16LE -t UTF-8 "$desktop/$1" | tr -d '\r'
    echo
  elif [ $# -gt 1 ]; then
    echo "$2"
  fi
}

echo "== QuorelPreview on $image: what QuorelFix will do, nothing changed"
QUORELFIX_IMAGE="$PWD/$image" build/default/QuorelPreview "$@" || true
echo
show_report QuorelPreview.txt "(no preview)"

registry_size=$(stat -c %s "$image/registry.reg")

# What changed the machine: the journal without the file opens and folders
# made on the way, and the registry blocks appended since the run began.
show_changes() {
  echo
  echo "== what changed the machine (journal.txt, condensed)"
  grep -E '^(MessageBoxW|TerminateProcess|DeleteService|ControlService|CreateProcessW|ExitWindowsEx|system|boot|RunOnce|MoveFileW|SHFileOperationW from=)' \
    "$image/journal.txt" 2>/dev/null || echo "(nothing)"
  echo
  echo "== registry changes (appended to registry.reg)"
  tail -c +"$((registry_size + 1))" "$image/registry.reg" | iconv -f UTF-16LE -t UTF-8 | tr -d '\r' | grep -v '^$' || echo "(none)"
  echo
  echo "The full journal: cat '$image/journal.txt'"
}

echo "== QuorelFix on $image"
status=0
QUORELFIX_IMAGE="$PWD/$image" build/default/QuorelFix "$@" || status=$?
echo
echo "== exit status $status"

show_report QuorelFix.txt "(no report)"

echo
echo "== Desktop\\QuorelFix Backups"
if [ -d "$desktop/QuorelFix Backups" ]; then
  (cd "$desktop/QuorelFix Backups" && find . -mindepth 1 | sed 's|^\./||' | sort)
fi

show_changes
if [ -d tools/qfmachine ] && grep -q '^ExitWindowsEx' "$image/journal.txt" 2>/dev/null; then
  echo
  echo "== restart: qfmachine boot (the reboot pass)"
  build/default/qfmachine boot "$image" >/dev/null || true
  echo "The report now ends:"
  iconv -f UTF-16LE -t UTF-8 "$desktop/QuorelFix.txt" | tr -d '\r' | sed -n '/========== Reboot ==========/,$p'
  echo
fi

echo
echo "== QuorelRestore: what QuorelFix removed"
QUORELFIX_IMAGE="$PWD/$image" build/default/QuorelRestore || true
echo
echo "== QuorelRestore all"
restored=0
QUORELFIX_IMAGE="$PWD/$image" build/default/QuorelRestore all || restored=$?
show_report QuorelRestore.txt

# What QuorelRestore's report says, counted: an item is back only where its
# line ends in "Success!".
report="$desktop/QuorelRestore.txt"
asked=0
back=0
if [ -f "$report" ]; then
  asked=$(iconv -f UTF-16LE -t UTF-8 "$report" | tr -d '\r' | grep -c '^Item ' || true)
  back=$(iconv -f UTF-16LE -t UTF-8 "$report" | tr -d '\r' | grep -c '^Item .* -> Success!$' || true)
fi
echo
echo "The machine is kept in $image. QuorelRestore put back $back of the $asked items"
echo "it was asked for; the lines above say what became of each. The backup folder"
echo "keeps its records (undo.reg, manifest.txt)."
