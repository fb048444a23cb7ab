#!/usr/bin/env bash
# End-to-end run of the real QuorelFix.exe (x86_64 build) under Wine, compared
# with the emulated run on the same scenario.
#
#   scripts/wine-e2e.sh [image folder]
#
# The scenario is a machine image (docs/machine-image.md): its registry.reg is
# imported into a fresh Wine prefix with `wine reg import`, its drive folders
# are merged into the prefix's drives (folder names matched without regard to
# case, as Windows matches them), its [environment] is handed to the Windows
# process. QuorelFix.exe then runs under Xvfb, and xdotool answers its message
# boxes with the image's [message_boxes] answers, in order. The same image,
# copied, is run on the emulated machine. The two reports must agree, apart
# from the explained differences listed below. Without an image argument the
# script uses images/xp-demo, or a small built-in scenario.
#
# Work files go to run/wine-e2e/. Exit status: 0 when the reports agree, 1 on
# an unexplained difference or a failed step.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/run/wine-e2e
rm -rf "$work"
mkdir -p "$work"

# ---------------------------------------------------------------- explained differences
# Each is a sed expression applied to both reports (UTF-8, CR LF kept) before
# they are compared. Keep the list short and say why each one is there.
explained=(
  # Time stamps: the emulated clock is the image's, Wine's is the host's.
  's/[0-9]{1,4}[-./][0-9]{1,2}[-./][0-9]{1,4}[ ,T]+[0-9]{1,2}:[0-9]{2}(:[0-9]{2})?/<time>/g'
  's/[0-9]{4}-[0-9]{2}-[0-9]{2}[ _][0-9]{2}[.:-][0-9]{2}[.:-][0-9]{2}/<time>/g'
  # Wine names the Windows folder C:\windows; the images name it C:\WINDOWS.
  's/C:\\windows\\/C:\\WINDOWS\\/gI'
  # Wine's FO_MOVE with FOF_RENAMEONCOLLISION overwrites instead of renaming,
  # and answers 0 for a missing source: a "Failed [2]" of the emulated run
  # reads "Success!" under Wine.
  's/Failed \[2\]/Success!/g'
)

# ---------------------------------------------------------------- the scenario
image=${1:-}
if [ -z "$image" ] && [ -d images/xp-demo ]; then image=images/xp-demo; fi
if [ -z "$image" ]; then
  image=$work/scenario
  mkdir -p "$image/drive_c/Documents and Settings/Owner/Desktop" "$image/drive_c/WINDOWS/system32"
  printf 'infected' >"$image/drive_c/WINDOWS/bk23567.dat"
  cat >"$image/machine.toml" <<'TOML'
[environment]
USERNAME = "Owner"
USERPROFILE = 'C:\Documents and Settings\Owner'
SYSTEMROOT = 'C:\WINDOWS'
PROGRAMFILES = 'C:\Program Files'
[clock]
local = 2010-07-03T14:05:09
utc_offset_minutes = 120
[self]
pid = 1500
path = 'C:\Documents and Settings\Owner\Desktop\QuorelFix.exe'
[token]
administrator = true
administrator_deny_only = false
extra_groups = 0
privileges = ["SeShutdownPrivilege", "SeDebugPrivilege", "SeChangeNotifyPrivilege"]
[service_manager]
open_error = 0
[message_boxes]
answers = ["IDYES", "IDOK"]
TOML
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"Desktop"="C:\\\\Documents and Settings\\\\Owner\\\\Desktop"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"sysldtray"="C:\\\\WINDOWS\\\\sysldtray.exe"\r\n\r\n' >"$image/registry.reg"
fi
[ -f "$image/machine.toml" ] || { echo "wine-e2e: $image is no machine image (no machine.toml)" >&2; exit 1; }
echo "== scenario: $image"

# ---------------------------------------------------------------- builds
scripts/install-deps.sh native wine >/dev/null
echo "== building (default and windows-x64)"
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target QuorelFix >/dev/null
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j2 --target QuorelFix >/dev/null
exe=$root/build/windows-x64/QuorelFix.exe

# Where an image keeps the report: the Desktop of the image's Shell Folders.
find_report() {  # find_report <drive_c folder>
  find "$1" -iname QuorelFix.txt -ipath '*desktop*' -not -ipath '*QuorelFix Backups*' 2>/dev/null | head -1
}

# ---------------------------------------------------------------- the emulated run
echo "== emulated run"
cp -a "$image" "$work/emulated"
QUORELFIX_IMAGE=$work/emulated build/default/QuorelFix </dev/null >"$work/emulated.out" 2>&1 || true
emulated_report=$(find_report "$work/emulated/drive_c")

# ---------------------------------------------------------------- the Wine prefix
echo "== Wine prefix"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wineboot -i >/dev/null 2>&1
wineserver -w
# Registry: regedit's text, imported as it stands (UTF-16LE or UTF-8).
cp "$image/registry.reg" "$work/seed.reg"
wine reg import "$(winepath -w "$work/seed.reg")" >/dev/null 2>&1 || { echo "wine-e2e: reg import failed" >&2; exit 1; }
# Files: merged into the prefix's drive, each folder name matched without
# regard to case (C:\WINDOWS of the image is Wine's C:\windows).
python3 - "$image" "$WINEPREFIX" <<'PY'
import os, shutil, sys
image, prefix = sys.argv[1], sys.argv[2]
def resolve(base, parts):
    path = base
    for part in parts:
        match = next((e for e in os.listdir(path) if e.lower() == part.lower()), None) if os.path.isdir(path) else None
        path = os.path.join(path, match or part)
    return path
for entry in sorted(os.listdir(image)):
    if not entry.startswith("drive_"):
        continue
    src = os.path.join(image, entry)
    for folder, dirs, files in os.walk(src):
        rel = os.path.relpath(folder, src)
        parts = [] if rel == "." else rel.split(os.sep)
        target = resolve(os.path.join(prefix, entry), parts)
        os.makedirs(target, exist_ok=True)
        for name in files:
            shutil.copy2(os.path.join(folder, name), resolve(target, [name]))
PY
# Environment: the image's variables, handed to the Windows process.
mapfile -t envs < <(python3 - "$image/machine.toml" <<'PY'
import sys, tomllib
with open(sys.argv[1], "rb") as f:
    config = tomllib.load(f)
for name, value in config.get("environment", {}).items():
    print(f"{name}={value}")
PY
)
mapfile -t answers < <(python3 - "$image/machine.toml" <<'PY'
import sys, tomllib
with open(sys.argv[1], "rb") as f:
    config = tomllib.load(f)
for answer in config.get("message_boxes", {}).get("answers", []):
    print(answer)
PY
)

# ---------------------------------------------------------------- the Wine run
echo "== Wine run (Xvfb, xdotool answering ${#answers[@]} message box(es))"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1
env "${envs[@]}" wine "$exe" </dev/null >"$work/wine.out" 2>&1 &
program=$!
key_for() {
  case "$1" in
    IDYES|6) echo y ;; IDNO|7) echo n ;; IDOK|1) echo Return ;; IDCANCEL|2) echo Escape ;;
    IDRETRY|4) echo r ;; IDTRYAGAIN|10) echo t ;; IDCONTINUE|11) echo c ;; IDABORT|3) echo a ;; IDIGNORE|5) echo i ;;
    *) echo Escape ;;
  esac
}
next=0
deadline=$((SECONDS + 120))
while kill -0 $program 2>/dev/null; do
  if [ $SECONDS -gt $deadline ]; then
    echo "wine-e2e: QuorelFix.exe did not finish within 120 s" >&2
    kill $program 2>/dev/null || true
    exit 1
  fi
  # A message box is a dialog window of the program; answer the oldest one.
  window=$(xdotool search --onlyvisible --class "QuorelFix.exe" 2>/dev/null | head -1 || true)
  if [ -n "$window" ]; then
    answer=${answers[$next]:-IDCANCEL}
    echo "   message box $((next + 1)): $(xdotool getwindowname "$window" 2>/dev/null) -> $answer"
    # Xvfb has no window manager: focus the box, then send the key to it
    # (activating it, or typing into the focus, does not reach Wine).
    xdotool windowfocus "$window" 2>/dev/null || true
    sleep 0.3
    xdotool key --window "$window" "$(key_for "$answer")" 2>/dev/null || true
    next=$((next + 1))
    # Wine may reuse the window for the next box: give this one time to close.
    sleep 1.5
  fi
  sleep 0.3
done
wait $program || true
wine_report=$(find_report "$WINEPREFIX/drive_c")

# ---------------------------------------------------------------- comparison
normalize() {  # normalize <UTF-16LE report> <out>
  local args=()
  for e in "${explained[@]}"; do args+=(-e "$e"); done
  iconv -f UTF-16LE -t UTF-8 "$1" | sed -E "${args[@]}" >"$2"
}
echo "== reports"
if [ -z "$emulated_report" ] && [ -z "$wine_report" ]; then
  echo "wine-e2e: neither run wrote a report (the program writes none yet); console output:"
  echo "-- emulated:"; cat "$work/emulated.out"
  echo "-- Wine:"; cat "$work/wine.out"
  exit 0
fi
[ -n "$emulated_report" ] || { echo "wine-e2e: the emulated run wrote no report" >&2; exit 1; }
[ -n "$wine_report" ] || { echo "wine-e2e: the Wine run wrote no report (emulated: $emulated_report)" >&2; exit 1; }
normalize "$emulated_report" "$work/emulated.txt"
normalize "$wine_report" "$work/wine.txt"
if diff -u "$work/emulated.txt" "$work/wine.txt" >"$work/report.diff"; then
  echo "wine-e2e: the reports agree (explained differences: ${#explained[@]} rules)"
else
  echo "wine-e2e: unexplained differences between the emulated and the Wine report:" >&2
  cat "$work/report.diff" >&2
  exit 1
fi
