#!/usr/bin/env python3
"""Compares the report of the emulated run with the report of the Wine run.

    wine-e2e-compare.py <emulated report> <Wine report> <work folder>

Both reports are UTF-16LE as the program writes them. Each is turned into
UTF-8 text with the explained differences below applied, written to
<work folder>/emulated.txt and wine.txt, and compared line by line. Exit
status 0 when they agree, 1 with a unified diff on standard error when not.

Every rule says why the difference is expected. Rules for both sides remove
what neither run can fix (time stamps); rules for the emulated side turn what
Windows answers into what Wine answers where Wine is known to differ (the
known-difference table of tests/contract and docs/windows-and-wine.md).
Agreeing reports are not enough: scripts/wine-e2e-end-state.py checks the
files and the registry both runs left, and the evidence for the rewritten
lines.
"""
import difflib
import re
import sys

# ---------------------------------------------------------------- both sides
BOTH = [
    # The header's time: the emulated clock is the image's, Wine's the host's.
    (re.compile(r"^Log created at \d{2}:\d{2} on \d{2}/\d{2}/\d{4}"), "Log created at <time>"),
    # Creation times in the inventory: the image sets them ([[file_time]]);
    # the files seeded into a Wine prefix were created by the copy, and a
    # Linux file system keeps no creation time that could be set.
    (re.compile(r" \[\d{2}:\d{2} \d{2}/\d{2}/\d{4}\]$"), " [<created>]"),
    # Wine names the Windows folder C:\windows; the images name it C:\WINDOWS.
    (re.compile(r"C:\\windows\\", re.IGNORECASE), r"C:\\WINDOWS\\"),
]

# ---------------------------------------------------------------- the emulated side
# Wine's SHFileOperationW FO_MOVE answers 0 when the move fails: for a missing
# source (Windows: 2 on Vista and later, 1026 on XP) and for a source another
# process holds open without sharing (Windows: 32, ERROR_SHARING_VIOLATION;
# Wine leaves the file where it is). So a removal the emulated run reports as
# failed reads "Success!" under Wine, and nothing is left for the reboot pass.
# The report alone cannot tell this from a move that went wrong:
# scripts/wine-e2e-end-state.py accepts each such line only when the Wine
# side's files show it (a held item still at its source and absent from the
# backup folder, a missing one absent from both).
FAILED_MOVE = re.compile(r'^(Deleting (?:file: |folder: )?"(?P<path>[^"]*)" -> )Failed \[(?:2|32|1026)\](?: -> Delete on reboot)?$')
REBOOT_LINE = re.compile(r'^Deleting "(?P<path>[^"]*)" -> ')
REBOOT_HEADER = "========== Reboot =========="
END = "-=E.O.F=-"


def as_wine_answers(lines):
    rescheduled = set()
    out = []
    for line in lines:
        match = FAILED_MOVE.match(line)
        if match:
            if line.endswith(" -> Delete on reboot"):
                rescheduled.add(match.group("path").lower())
            line = match.group(1) + "Success!"
        out.append(line)
    if rescheduled and REBOOT_HEADER in out:
        start = out.index(REBOOT_HEADER)
        end = out.index(END, start) if END in out[start:] else len(out)
        # The reboot pass's lines for the files the run could not move.
        body = [l for l in out[start + 1:end]
                if l and not ((m := REBOOT_LINE.match(l)) and m.group("path").lower() in rescheduled)]
        if not body:
            # No reboot was scheduled: the report ends after the old logs.
            del out[start:end]
    return out


def read(path, emulated):
    with open(path, "rb") as f:
        text = f.read().decode("utf-16-le")
    lines = text.split("\r\n")
    normalized = []
    for line in lines:
        for pattern, replacement in BOTH:
            line = pattern.sub(replacement, line)
        normalized.append(line)
    return as_wine_answers(normalized) if emulated else normalized


def main():
    emulated_path, wine_path, work = sys.argv[1:4]
    emulated = read(emulated_path, True)
    wine = read(wine_path, False)
    for name, lines in (("emulated.txt", emulated), ("wine.txt", wine)):
        with open(f"{work}/{name}", "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
    if emulated == wine:
        print(f"wine-e2e: the reports agree ({len(wine)} lines; explained differences: "
              f"{len(BOTH)} rules for both runs, 1 for Wine's shell move)")
        return 0
    sys.stderr.write("wine-e2e: unexplained differences between the emulated and the Wine report:\n")
    sys.stderr.writelines(l + "\n" for l in difflib.unified_diff(
        emulated, wine, "emulated (as Wine would answer)", "Wine", lineterm=""))
    return 1


if __name__ == "__main__":
    sys.exit(main())
