#!/usr/bin/env python3
"""Checks what the emulated run and the Wine run left behind.

    wine-e2e-end-state.py <image> <emulated folder> <Wine prefix>
        --wine-registry <export.reg> [<export.reg>...] [--wine-kept <list>]

<image> is the machine image both runs started from, <emulated folder> the
copy the emulated run worked on (its drive_* folders and its registry.reg
with the changes appended), <Wine prefix> the prefix of the Wine run (its
drive_* folders). The Wine registry comes as `wine reg export` files (HKLM,
HKCU); --wine-kept lists the files of the image the prefix already had and
kept (Wine's own programs stand for the image's placeholders), one path a
line relative to the prefix, as scripts/wine-e2e.sh writes it.

Checked, on each side:
- files: every file of the image is either in place or in the backup folder
  under its mirrored path (<desktop>\\QuorelFix Backups\\<letter>\\<rest>),
  not both, and byte-identical to the image's file. The program itself, the
  previous report (which must be in the backup folder under a rotated name)
  and the reboot list are the run's own files;
- the report against the end state: a removal reported "Success!" has gone
  from its source into the backup folder; a failed one is still in place.

Checked between the sides:
- files: each file is in the same place on both sides;
- registry: each key and value of the image is kept, gone, blank or changed
  alike on both sides (compared with the image's registry.reg);
- Wine's known false "Success!": Wine's SHFileOperationW answers 0 for a
  missing source and for a source held open without sharing (see
  docs/windows-and-wine.md). Where the emulated run reports "Failed [32]"
  (held) and Wine "Success!", the Wine side must show the item still at its
  source and absent from the backup folder; where the emulated run reports a
  missing source ("Failed [2]", or 1026 on Windows XP), the item must be
  absent from both places on the Wine side. Only with that evidence may the
  reports differ there (scripts/wine-e2e-compare.py), and the files' places
  differ between the sides (the emulated run finishes a held file in its
  reboot pass).

Exit status 0 when everything holds; 1 with one line per fault, naming the
file, the report line or the registry value.
"""
import argparse
import os
import re
import sys
import tomllib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "pylib"))
from qfimage import BACKUP_FOLDER, REG_SZ, Registry, load_registry, mirrored  # noqa: E402

REPORT = "QuorelFix.txt"
REBOOT_LIST = "reboot.txt"
REBOOT_HEADER = "========== Reboot =========="
# Codes of a failed move that Wine answers with 0 ("Success!"): a source held
# open without sharing, and a missing source (2 on Vista and later, 1026 on XP).
HELD = {32}
MISSING = {2, 1026}


# ---------------------------------------------------------------- Windows paths on a host folder
def lower(path):
    return path.lower()


def is_below(path, folder):
    """True when path is folder or lies inside it (Windows paths, any case)."""
    path, folder = lower(path), lower(folder).rstrip("\\")
    return path == folder or path.startswith(folder + "\\")


class Side:
    """A machine's drives on the host: a folder holding drive_<letter> folders."""

    def __init__(self, name, root):
        self.name = name
        self.root = root

    def host_path(self, windows_path):
        """The host path of an existing item, each name matched without regard
        to case; None when some part of it does not exist."""
        drive, _, rest = windows_path.partition(":")
        path = os.path.join(self.root, "drive_" + drive.lower())
        if not os.path.isdir(path):
            return None
        for part in [p for p in rest.split("\\") if p]:
            if not os.path.isdir(path):
                return None
            match = next((e for e in os.listdir(path) if e.lower() == part.lower()), None)
            if match is None:
                return None
            path = os.path.join(path, match)
        return path

    def exists(self, windows_path):
        return self.host_path(windows_path) is not None

    def read(self, windows_path):
        path = self.host_path(windows_path)
        if path is None or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()


def image_files(image):
    """{Windows path: bytes} of every file of the image's drives."""
    files = {}
    for entry in sorted(os.listdir(image)):
        if not entry.startswith("drive_"):
            continue
        letter = entry[len("drive_"):].upper()
        top = os.path.join(image, entry)
        for folder, _, names in os.walk(top):
            rel = os.path.relpath(folder, top)
            for name in names:
                parts = [] if rel == "." else rel.split(os.sep)
                windows = letter + ":\\" + "\\".join(parts + [name])
                with open(os.path.join(folder, name), "rb") as f:
                    files[windows] = f.read()
    return files


# ---------------------------------------------------------------- reports
REMOVAL = re.compile(
    r'^Deleting (?:file: |folder: )?"?(?P<path>[A-Za-z]:\\[^"]*?)"? -> '
    r'(?:(?P<success>Success!)|Failed \[(?P<code>\d+)\](?P<reboot> -> Delete on reboot)?)$')


class Removal:
    def __init__(self, line, path, code, scheduled, reboot_pass):
        self.line = line
        self.path = path
        self.code = code  # 0 for "Success!"
        self.scheduled = scheduled
        self.reboot_pass = reboot_pass


def removals(report_bytes):
    """The file and folder removals of a report, in order."""
    out = []
    reboot_pass = False
    for line in report_bytes.decode("utf-16-le").split("\r\n"):
        if line == REBOOT_HEADER:
            reboot_pass = True
        match = REMOVAL.match(line)
        if match:
            code = 0 if match.group("success") else int(match.group("code"))
            out.append(Removal(line, match.group("path"), code, bool(match.group("reboot")), reboot_pass))
    return out


# ---------------------------------------------------------------- registry states
def value_state(before, after, key, name, original):
    """What a run did to a value of the image: kept, gone, blank or changed.
    A value the run did not touch (the same before and after) is kept."""
    then, now = before.value(key, name), after.value(key, name)
    if now == then or (now is not None and now[1:] == original[1:]):
        return "kept"
    if now is None:
        return "gone" if key.lower() in after.keys else "gone with its key"
    if now[1] == REG_SZ and now[2] in (b"", b"\0\0"):
        return "blank"
    return f"changed to type {now[1]} {now[2].hex()}"


# ---------------------------------------------------------------- the checks
class Check:
    def __init__(self, image, emulated, wine, wine_registry, wine_kept=(), wine_registry_before=()):
        with open(os.path.join(image, "machine.toml"), "rb") as f:
            config = tomllib.load(f)
        env = {k.upper(): v for k, v in config.get("environment", {}).items()}
        profile = env.get("USERPROFILE", "C:\\Documents and Settings\\" + env.get("USERNAME", "Owner"))
        self.desktop = profile + "\\Desktop"
        self.backup = self.desktop + "\\" + BACKUP_FOLDER
        self.self_path = config.get("self", {}).get("path", "")
        self.files = image_files(image)
        self.sides = [Side("emulated", emulated), Side("Wine", wine)]
        self.kept = {"Wine": {lower(self._windows_of(p)) for p in wine_kept}, "emulated": set()}
        with open(os.path.join(image, "registry.reg"), "rb") as f:
            self.registry = Registry().load(f.read())
        with open(os.path.join(emulated, "registry.reg"), "rb") as f:
            self.registries = {"emulated": Registry().load(f.read())}
        self.registries["Wine"] = load_registry(wine_registry)
        # What each run found: the image's registry; for Wine, the prefix's
        # registry just before the program started, since Wine rewrites some
        # values of its own at every start (HKCU\Volatile Environment, the
        # Tcpip Hostname); without that export, the image's.
        self.before = {"emulated": self.registry,
                       "Wine": load_registry(wine_registry_before) if wine_registry_before else self.registry}
        self.faults = []

    @staticmethod
    def _windows_of(prefix_relative):
        """C:\\a\\b for drive_c/a/b."""
        parts = prefix_relative.strip().split("/")
        return parts[0][len("drive_"):].upper() + ":\\" + "\\".join(parts[1:])

    def fault(self, text):
        self.faults.append(text)

    def mirrored(self, path):
        """Where the quarantine puts path."""
        return mirrored(self.backup, path[0], path[3:].split("\\"))

    def placement(self, side, path):
        """Where a side has path: in place, in the backup folder, both or neither."""
        here, there = side.exists(path), side.exists(self.mirrored(path))
        return {(True, False): "in place", (False, True): "in the backup folder"}.get(
            (here, there), "both in place and in the backup folder" if here else "neither in place nor in the backup folder")

    def own_file(self, path):
        """The files the run itself writes or replaces."""
        return (lower(path) == lower(self.self_path)
                or lower(path) == lower(self.desktop + "\\" + REPORT)
                or lower(path) == lower(self.backup + "\\" + REBOOT_LIST))

    def report(self, side):
        data = side.read(self.desktop + "\\" + REPORT)
        if data is None:
            self.fault(f"{side.name}: no report {self.desktop}\\{REPORT}")
            return []
        return removals(data)

    def check_files(self):
        places = {}
        for side in self.sides:
            for path, content in self.files.items():
                if self.own_file(path):
                    continue
                where = self.placement(side, path)
                places.setdefault(path, {})[side.name] = where
                if where.startswith("both") or where.startswith("neither"):
                    self.fault(f"{side.name}: {path} is {where} (expected at {self.mirrored(path)} once moved)")
                    continue
                if lower(path) in self.kept[side.name]:
                    continue  # Wine's own program stands for the image's file
                now = side.read(path if where == "in place" else self.mirrored(path))
                if now != content:
                    self.fault(f"{side.name}: {path} ({where}) differs from the image's file")
            self.check_rotated_report(side)
        return places

    def check_rotated_report(self, side):
        """The image's previous report must be in the backup folder under a rotated name."""
        report = lower(self.desktop + "\\" + REPORT)
        previous = next((content for path, content in self.files.items() if lower(path) == report), None)
        folder = side.host_path(self.backup)
        if previous is None:
            return
        for name in os.listdir(folder) if folder else []:
            if re.fullmatch(r"QuorelFix\[.*\]\.txt", name, re.IGNORECASE):
                with open(os.path.join(folder, name), "rb") as f:
                    if f.read() == previous:
                        return
        self.fault(f"{side.name}: the previous report {self.desktop}\\{REPORT} is not in the backup folder")

    def items_below(self, path):
        return [p for p in self.files if is_below(p, path) and not self.own_file(p)]

    def moved(self, side, path):
        return not side.exists(path) and side.exists(self.mirrored(path))

    def untouched(self, side, path):
        """Still at its source (with everything the image holds below it) and absent from the backup folder."""
        below = self.items_below(path)
        return (side.exists(path) and not side.exists(self.mirrored(path))
                and all(side.exists(p) for p in below))

    def absent(self, side, path):
        return not side.exists(path) and not side.exists(self.mirrored(path))

    def check_reports(self, places):
        reports = {side.name: self.report(side) for side in self.sides}
        self.removal_lines = sum(len(r) for r in reports.values())
        emulated_first = {lower(r.path): r for r in reports["emulated"] if not r.reboot_pass}
        explained = []  # paths whose places may differ between the sides
        for side in self.sides:
            final = {}
            for r in reports[side.name]:
                final[lower(r.path)] = r
            for r in final.values():
                other = emulated_first.get(lower(r.path))
                if r.code == 0 and side.name == "Wine" and not r.reboot_pass and other is not None and other.code:
                    explained += self.wine_false_success(side, r, other)
                elif r.code == 0:
                    if self.moved(side, r.path):
                        continue
                    self.fault(f"{side.name}: the report says '{r.line}', but {r.path} is "
                               f"{self.placement(side, r.path)}")
                elif self.items_below(r.path) and not self.untouched(side, r.path):
                    self.fault(f"{side.name}: the report says '{r.line}', but {r.path} is "
                               f"{self.placement(side, r.path)}")
        self.explained = explained
        for path, where in places.items():
            if where.get("emulated") != where.get("Wine") and not any(is_below(path, e) for e in explained):
                self.fault(f"{path} is {where.get('emulated')} on the emulated machine but {where.get('Wine')} "
                           f"under Wine, and no report line explains it")

    def wine_false_success(self, side, wine, emulated):
        """Wine's "Success!" where the emulated run failed: accepted with evidence only."""
        what = f"Wine reports '{wine.line}' where the emulated run reports '{emulated.line}'"
        if emulated.code in HELD:
            if self.untouched(side, wine.path):
                return [wine.path]
            self.fault(f"{what}: accepted only while {wine.path} is still at its source and absent from the "
                       f"backup folder, but it is {self.placement(side, wine.path)}")
        elif emulated.code in MISSING:
            if self.absent(side, wine.path) and not self.items_below(wine.path):
                return [wine.path]
            self.fault(f"{what}: accepted only for an item that does not exist, but {wine.path} is "
                       f"{self.placement(side, wine.path)}")
        else:
            self.fault(f"{what}: Wine is known to answer 0 only for a held or a missing source")
        return []

    def check_registry(self):
        for key, (path, values) in sorted(self.registry.keys.items()):
            # A key is kept when the run left it as it found it, present or not.
            state = {n: "kept" if (key in self.before[n].keys) == (key in self.registries[n].keys)
                     else "gone" for n in self.registries}
            if state["emulated"] != state["Wine"]:
                self.fault(f"registry: key {path} is {state['emulated']} on the emulated side but {state['Wine']} "
                           f"under Wine")
            for _, original in sorted(values.items()):
                name = original[0]
                states = {n: value_state(self.before[n], r, path, name, original) for n, r in self.registries.items()}
                if states["emulated"] != states["Wine"]:
                    shown = "@" if name == "" else name
                    self.fault(f"registry: value {path}\\\\{shown} is {states['emulated']} on the emulated side "
                               f"but {states['Wine']} under Wine")

    def summary(self):
        values = sum(len(v) for _, v in self.registry.keys.values())
        return (f"{len(self.files)} files, {self.removal_lines} removal lines, {len(self.registry.keys)} keys and "
                f"{values} values of the image; Wine's false \"Success!\" accepted for {len(self.explained)} item(s) "
                f"with evidence")

    def run(self):
        places = self.check_files()
        self.check_reports(places)
        self.check_registry()
        return self.faults


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("image")
    parser.add_argument("emulated")
    parser.add_argument("wine_prefix")
    parser.add_argument("--wine-registry", nargs="+", required=True, help="wine reg export files after the run")
    parser.add_argument("--wine-registry-before", nargs="+", default=[],
                        help="wine reg export files made just before the program started")
    parser.add_argument("--wine-kept", help="files of the image Wine kept its own of, relative to the prefix")
    args = parser.parse_args(argv)
    kept = []
    if args.wine_kept:
        with open(args.wine_kept) as f:
            kept = [line for line in f if line.strip()]
    check = Check(args.image, args.emulated, args.wine_prefix, args.wine_registry, kept, args.wine_registry_before)
    faults = check.run()
    if faults:
        sys.stderr.write("wine-e2e: the end states do not agree:\n")
        sys.stderr.writelines(f"  {f}\n" for f in faults)
        return 1
    print(f"wine-e2e: the end states agree ({check.summary()})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
