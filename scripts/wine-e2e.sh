#!/usr/bin/env bash
# End-to-end run of the real QuorelFix.exe (x86_64 build) under Wine, compared
# with the emulated run on the same scenario.
#
#   scripts/wine-e2e.sh [image folder]      (default: images/xp-demo)
#
# The scenario is a machine image (docs/machine-image.md). A copy runs on the
# emulated machine, followed by a restart (qfmachine boot) when the program
# asked for one. For Wine, a fresh prefix is made to look like the image: its
# user is the image's USERNAME, its profile lies where the image's USERPROFILE
# says, the image's registry.reg is imported with `wine reg import`, and its
# drive folders are merged into the prefix's drives. Programs the image has
# running outside the Windows folder (Firefox) are played by a stand-in
# process of the same name, and the files its faults mark as in use (code 32)
# are held open by another. QuorelFix.exe then runs from the image's own path
# under Xvfb; xdotool answers its message boxes with the image's
# [message_boxes] answers, in order. A scheduled reboot pass runs through
# Wine's own boot (RunOnce). The two reports must agree, apart from the
# explained differences of scripts/wine-e2e-compare.py, and so must the end
# states: the image's files in place or in the backup folder, the registry
# values the run deletes or blanks, and the evidence for each report line
# where Wine answers otherwise (scripts/wine-e2e-end-state.py).
#
# Work files go to run/wine-e2e/. Exit status: 0 when the reports and the end
# states agree, 1 on an unexplained difference or a failed step.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/run/wine-e2e
rm -rf "$work"
mkdir -p "$work"

# ---------------------------------------------------------------- the scenario
image=${1:-images/xp-demo}
[ -f "$image/machine.toml" ] || { echo "wine-e2e: $image is no machine image (no machine.toml)" >&2; exit 1; }
echo "== scenario: $image"

# ---------------------------------------------------------------- builds
scripts/install-deps.sh native wine >/dev/null
echo "== building (default and windows-x64)"
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target QuorelFix qfmachine >/dev/null
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j2 --target QuorelFix stand_in >/dev/null
exe=$root/build/windows-x64/QuorelFix.exe
stand_in=$root/build/windows-x64/stand_in.exe

# Where an image keeps the report: the Desktop of the image's Shell Folders.
find_report() {  # find_report <drive_c folder>
  find "$1" -iname QuorelFix.txt -ipath '*desktop*' -not -ipath '*QuorelFix Backups*' 2>/dev/null | head -1
}

# ---------------------------------------------------------------- the emulated run
echo "== emulated run"
cp -a "$image" "$work/emulated"
QUORELFIX_IMAGE=$work/emulated build/default/QuorelFix </dev/null >"$work/emulated.out" 2>&1 || true
if grep -q '^ExitWindowsEx' "$work/emulated/journal.txt" 2>/dev/null; then
  echo "== emulated restart (reboot pass)"
  build/default/qfmachine boot "$work/emulated" >>"$work/emulated.out" 2>&1
fi
emulated_report=$(find_report "$work/emulated/drive_c")

# ---------------------------------------------------------------- the Wine prefix
echo "== Wine prefix"
# What the seeding needs from machine.toml, as shell assignments and lists.
python3 - "$image/machine.toml" >"$work/image.sh" <<'PY'
import shlex, sys, tomllib
with open(sys.argv[1], "rb") as f:
    config = tomllib.load(f)
env = {k.upper(): v for k, v in config.get("environment", {}).items()}
def out(name, value):
    print(f"{name}={shlex.quote(value)}")
out("username", env.get("USERNAME", "Owner"))
out("userprofile", env.get("USERPROFILE", ""))
out("self_path", config.get("self", {}).get("path", ""))
systemroot = env.get("SYSTEMROOT", "C:\\WINDOWS").lower().rstrip("\\") + "\\"
# Programs of the image that run outside the Windows folder get a stand-in
# process under their own name; Wine runs its own system processes.
names = []
for process in config.get("process", []):
    path = process.get("path", "")
    name = path.rsplit("\\", 1)[-1]
    if not name or path.lower().startswith(systemroot) or path.lower() == config.get("self", {}).get("path", "").lower():
        continue
    names.append(name)
print("processes=(" + " ".join(shlex.quote(n) for n in names) + ")")
held, unsupported = [], []
for fault in config.get("fault", {}).get("file", []):
    (held if fault.get("code") == 32 else unsupported).append(fault.get("path", ""))
print("held=(" + " ".join(shlex.quote(h) for h in held) + ")")
print("unsupported_faults=(" + " ".join(shlex.quote(u) for u in unsupported) + ")")
answers = config.get("message_boxes", {}).get("answers", [])
print("answers=(" + " ".join(shlex.quote(a) for a in answers) + ")")
PY
# shellcheck disable=SC1091
source "$work/image.sh"
if [ ${#unsupported_faults[@]} -gt 0 ]; then
  echo "wine-e2e: Wine cannot reproduce these injected faults (only a held file, code 32): ${unsupported_faults[*]}" >&2
  exit 1
fi

# Every Wine program below, reg.exe and wineboot included, runs through the
# 64-bit loader, whether or not the 32-bit one is installed too.
source tools/wine/wine64.sh
wine64_use wine-e2e
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the user's name from the host's; the image's user is Wine's user.
# Wine links the profile's Desktop, Documents and the like to the host
# user's home folders: a home of its own keeps the run out of the real one,
# and the links are replaced by folders of the prefix below.
export USER=$username LOGNAME=$username HOME=$work/home
mkdir -p "$HOME"
wineboot -i >/dev/null 2>&1
wineserver -w
wine64_check_prefix wine-e2e
find "$WINEPREFIX/drive_c/users" -maxdepth 2 -type l | while read -r link; do rm "$link"; mkdir "$link"; done

# The unix path of a Windows path in the prefix, each name matched without
# regard to case (the image's C:\WINDOWS is Wine's C:\windows).
unix_path() {
  python3 - "$WINEPREFIX" "$1" <<'PY'
import os, sys
prefix, path = sys.argv[1], sys.argv[2]
drive, _, rest = path.partition(":")
result = os.path.join(prefix, "drive_" + drive.lower())
for part in [p for p in rest.split("\\") if p]:
    match = next((e for e in os.listdir(result) if e.lower() == part.lower()), None) if os.path.isdir(result) else None
    result = os.path.join(result, match or part)
print(result)
PY
}

# The user's profile where the image has it (C:\Documents and Settings\Owner
# on Windows XP, C:\users\<name> in a Wine prefix): Wine derives USERPROFILE
# from the profile list, and its shell the folders under it.
if [ -n "$userprofile" ]; then
  profile_list='HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList'
  wine reg add "$profile_list" /v ProfilesDirectory /t REG_EXPAND_SZ /d "${userprofile%\\*}" /f >/dev/null 2>&1
  wine reg add "$profile_list\\S-1-5-21-0-0-0-1000" /v ProfileImagePath /t REG_EXPAND_SZ /d "$userprofile" /f >/dev/null 2>&1
  wineserver -w
  target=$(unix_path "$userprofile")
  if [ ! -d "$target" ]; then
    mkdir -p "$(dirname "$target")"
    mv "$WINEPREFIX/drive_c/users/$username" "$target"
  fi
fi

# Registry: regedit's text, imported as it stands. A version 5 file is
# Unicode: Wine reads the hex(2) and hex(7) data of a file without a
# byte-order mark as ANSI, so the file is handed over in UTF-16LE.
if [ "$(head -c 2 "$image/registry.reg" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then
  cp "$image/registry.reg" "$work/seed.reg"
else
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$image/registry.reg"; } >"$work/seed.reg"
fi
wine reg import "$(winepath -w "$work/seed.reg")" >/dev/null 2>&1 || { echo "wine-e2e: reg import failed" >&2; exit 1; }
wineserver -w

# Files: merged into the prefix's drives. Files Wine already has (its own
# programs in the Windows folder stand for the image's) are kept. A copied
# file gets the times the emulated machine reads for it: a host time later
# than the image's clock reads there as the clock's time (docs/machine-image.md),
# so the previous report is named by the same time in both runs.
python3 - "$image" "$WINEPREFIX" >"$work/kept.txt" <<'PY'
import datetime, os, shutil, sys, tomllib
image, prefix = sys.argv[1], sys.argv[2]
with open(os.path.join(image, "machine.toml"), "rb") as f:
    clock = tomllib.load(f).get("clock", {})
ceiling = None
if isinstance(clock.get("local"), datetime.datetime):
    local = clock["local"].replace(tzinfo=datetime.timezone.utc)
    ceiling = (local - datetime.timedelta(minutes=clock.get("utc_offset_minutes", 0))).timestamp()
copied = []
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
            destination = resolve(target, [name])
            if os.path.exists(destination):
                print(os.path.relpath(destination, prefix))
                continue
            shutil.copy2(os.path.join(folder, name), destination)
            copied.append(destination)
if ceiling is not None:
    for path in copied:
        info = os.stat(path)
        os.utime(path, (min(info.st_atime, ceiling), min(info.st_mtime, ceiling)))
PY
# The program runs from where the image has it, so that its RunOnce command
# names that path.
exe_windows=${self_path:-'C:\QuorelFix.exe'}
cp "$exe" "$(unix_path "$exe_windows")"

# ---------------------------------------------------------------- the Wine run
echo "== Wine run (Xvfb, xdotool answering with ${#answers[@]} stored answer(s))"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

# Stand-ins: the image's running programs, and a holder for its files in use.
mkdir -p "$work/bin"
for name in "${processes[@]}"; do
  mkdir -p "$work/bin/$name.d"
  cp "$stand_in" "$work/bin/$name.d/$name"
  wine "$work/bin/$name.d/$name" </dev/null >"$work/bin/$name.d/out" 2>&1 &
done
if [ ${#held[@]} -gt 0 ]; then
  cp "$stand_in" "$work/bin/holder.exe"
  wine "$work/bin/holder.exe" "${held[@]}" </dev/null >"$work/bin/holder.out" 2>&1 &
fi
for _ in $(seq 1 60); do
  ready=1
  for name in "${processes[@]}"; do grep -q ready "$work/bin/$name.d/out" 2>/dev/null || ready=0; done
  if [ ${#held[@]} -gt 0 ]; then grep -q ready "$work/bin/holder.out" 2>/dev/null || ready=0; fi
  [ $ready = 1 ] && break
  sleep 0.5
done
if [ ${#held[@]} -gt 0 ] && ! grep -q ready "$work/bin/holder.out"; then
  echo "wine-e2e: the files in use could not be held:" >&2; cat "$work/bin/holder.out" >&2; exit 1
fi

# The registry as the program finds it: Wine rewrites some values of its own
# at every start (HKCU\Volatile Environment, the Tcpip Hostname), so what the
# run changed is measured from here.
export_registry() {  # export_registry <suffix>
  for root in HKLM HKCU; do
    wine reg export "$root" "$(winepath -w "$work/wine-$root$1.reg")" /y >/dev/null 2>&1 ||
      { echo "wine-e2e: reg export $root failed" >&2; exit 1; }
  done
}
export_registry -before

wine "$exe_windows" </dev/null >"$work/wine.out" 2>&1 &
program=$!
key_for() {
  case "$1" in
    IDYES|6) echo y ;; IDNO|7) echo n ;; IDOK|1) echo Return ;; IDCANCEL|2) echo Escape ;;
    IDRETRY|4) echo r ;; IDTRYAGAIN|10) echo t ;; IDCONTINUE|11) echo c ;; IDABORT|3) echo a ;; IDIGNORE|5) echo i ;;
    *) echo Return ;;
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
  # A message box is a window of the program; answer it with the next stored
  # answer, or with its default button once they are used up.
  window=$(xdotool search --onlyvisible --class "QuorelFix.exe" 2>/dev/null | head -1 || true)
  if [ -n "$window" ]; then
    title=$(xdotool getwindowname "$window" 2>/dev/null || true)
    answer=${answers[$next]:-default}
    # Give the box time to take input. Xvfb has no window manager: focus the
    # box, then send the key to it (activating it, or typing into the focus,
    # does not reach Wine).
    sleep 0.5
    xdotool windowfocus "$window" 2>/dev/null || true
    sleep 0.2
    xdotool key --window "$window" "$(key_for "$answer")" 2>/dev/null || true
    # The answer is taken once the box is gone; a key sent too early is lost,
    # and then the same answer is sent again.
    for _ in $(seq 1 20); do
      sleep 0.2
      current=$(xdotool search --onlyvisible --class "QuorelFix.exe" 2>/dev/null | head -1 || true)
      [ "$current" != "$window" ] && break
      [ "$(xdotool getwindowname "$window" 2>/dev/null || true)" != "$title" ] && break
    done
    if [ "$current" != "$window" ] || [ "$(xdotool getwindowname "$window" 2>/dev/null || true)" != "$title" ]; then
      echo "   message box $((next + 1)): $title -> $answer"
      next=$((next + 1))
    fi
  fi
  sleep 0.3
done
wait $program || true

# A scheduled reboot pass: the restart ends every process (the held files are
# free again), and Wine's boot runs the RunOnce entries, waiting for each.
if wine reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce' /v QuorelFix_Reboot >/dev/null 2>&1; then
  echo "== Wine restart (reboot pass)"
  wineserver -k 2>/dev/null || true
  wineserver -w
  timeout 120 "$QF_WINE64" wineboot.exe -r >"$work/wine-reboot.out" 2>&1 || true
  wineserver -w
fi
wine_report=$(find_report "$WINEPREFIX/drive_c")
# The registry the Wine run left, as regedit text.
export_registry ""

# ---------------------------------------------------------------- comparison
# The explained differences are listed, each with its reason, in
# scripts/wine-e2e-compare.py; each one that concerns a removal is accepted
# only with its evidence in the end state, which
# scripts/wine-e2e-end-state.py checks on both sides.
echo "== reports"
[ -n "$emulated_report" ] || { echo "wine-e2e: the emulated run wrote no report" >&2; cat "$work/emulated.out" >&2; exit 1; }
[ -n "$wine_report" ] || { echo "wine-e2e: the Wine run wrote no report" >&2; cat "$work/wine.out" >&2; exit 1; }
status=0
python3 scripts/wine-e2e-compare.py "$emulated_report" "$wine_report" "$work" || status=1
echo "== end state (files, report lines, registry)"
python3 scripts/wine-e2e-end-state.py "$image" "$work/emulated" "$WINEPREFIX" \
  --wine-registry "$work/wine-HKLM.reg" "$work/wine-HKCU.reg" \
  --wine-registry-before "$work/wine-HKLM-before.reg" "$work/wine-HKCU-before.reg" \
  --wine-kept "$work/kept.txt" || status=1
exit $status
