#!/usr/bin/env bash
# QuorelFix at a real terminal: a fresh image run in a tmux window 60
# columns wide. The boxes are drawn to the window's width, a key that answers
# no button gets the hint of the keys, and the answers typed are the ones the
# journal records. Skips (status 77) where tmux is not installed.
#
# Usage: terminal_boxes_test.sh <QuorelFix> <qfmachine>
set -euo pipefail
quorelfix=$1
qfmachine=$2
if ! command -v tmux >/dev/null; then
  echo "SKIP: tmux is not installed (apt-get install tmux); the terminal run of the message boxes is not checked"
  exit 77
fi
work=$(mktemp -d)
socket="qf-boxes-$$"
cleanup() {
  tmux -L "$socket" kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
"$qfmachine" new "$work/image" >/dev/null

fail() {
  echo "FAIL: $1"
  echo "---- the terminal:"
  tmux -L "$socket" capture-pane -p -t boxes -S -200 || true
  exit 1
}
# Waits until the terminal shows the text $1.
wait_for() {
  for _ in $(seq 1 100); do
    if tmux -L "$socket" capture-pane -p -t boxes -S -200 | grep -qF -- "$1"; then return 0; fi
    sleep 0.1
  done
  fail "the terminal never showed: $1"
}

tmux -L "$socket" -f /dev/null new-session -d -s boxes -x 60 -y 60 \
  "QUORELFIX_IMAGE='$work/image' '$quorelfix'; echo \"exit status \$?\"; sleep 30"
wait_for "Choose a button (Enter: [Y]es):"
tmux -L "$socket" send-keys -t boxes x Enter
wait_for "Type Y or N, or press Enter for [Y]es."
tmux -L "$socket" send-keys -t boxes y Enter
wait_for "| Warning"
wait_for "Choose a button (Enter: [C]ancel):"
tmux -L "$socket" send-keys -t boxes o Enter
wait_for "exit status 0"

screen=$(tmux -L "$socket" capture-pane -p -t boxes -S -200)
rule="+$(printf '%0.s-' $(seq 1 58))+"
[ "$(grep -cxF -- "$rule" <<<"$screen")" -ge 6 ] || fail "the boxes are not drawn 60 columns wide"
grep -qxF "| QuorelFix will automatically check for and remove        |" <<<"$screen" ||
  fail "the confirmation's text is not wrapped to the box"
grep -q '^MessageBoxW .* style=0x34 answer=6$' "$work/image/journal.txt" || fail "Yes was not the confirmation's answer"
grep -q '^MessageBoxW .* style=0x36 answer=11$' "$work/image/journal.txt" || fail "Continue was not the Firefox box's answer"
grep -q '^TerminateProcess ' "$work/image/journal.txt" || fail "Firefox was not terminated"
echo "PASS: boxes drawn 60 columns wide, the keys hinted, Yes and Continue typed"
