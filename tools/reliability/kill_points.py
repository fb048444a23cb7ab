#!/usr/bin/env python3
"""Kills QuorelFix at every host call that can change its machine image, and
checks that nothing was lost.

    kill_points.py [--every K] [--image DIR] [--build DIR]

For a machine image (default images/xp-demo) it counts the host calls of one
whole run of the program, then, for every such call in turn (or every K-th
with --every), runs the program on a fresh copy of the image and has strace
kill it (SIGKILL) on entry to that call. The same is done for `qfmachine
boot` on a copy that a whole run has left waiting for its reboot pass. The
calls are the ones that change files (open, write, rename, mkdir, unlink,
rmdir, ftruncate); a kill on entry to the N-th call is a kill right after
the (N-1)-th.

After every kill it checks:
  - nothing lost or half-moved: every file the image had is, byte for byte,
    at its place or in the backup folder at its mirrored path (or the name
    the shell gives on a collision); the previous report is at its place or
    in the backup folder under its time-stamped name;
  - the report, if there is one, is whole UTF-16LE code units;
  - machine.toml parses and registry.reg decodes;
  - a second whole run, and the boot it asks for, finish the job: every file
    an uninterrupted run removes is then gone from its place and kept in the
    backup folder, and still nothing is lost.

Prints one line per failed point and a summary; exit status 1 when any point
failed. Needs strace, and the default preset built (QuorelFix, qfmachine).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import image_checks as checks
from image_checks import REPORT, ROOT, damaged_files, finish, lost_files, snapshot

SYSCALLS = ["openat", "write", "rename", "mkdir", "unlink", "rmdir", "ftruncate"]


def run(build, image, args, kill=None):
    """Runs the program (or `qfmachine boot` when args is None) on the image;
    with kill=(syscall, n), strace kills it on entry to its n-th such call."""
    wrap = ()
    if kill:
        syscall, n = kill
        wrap = ("strace", "-f", "-qq", "-o", "/dev/null", "-e", f"trace={syscall}",
                "-e", f"inject={syscall}:signal=KILL:when={n}")
    return checks.run(build, image, args, wrap)


def count_calls(build, image, args):
    wrap = ("strace", "-f", "-c", "-o", "/dev/stdout", "-e", "trace=" + ",".join(SYSCALLS))
    program = [str(build / "qfmachine"), "boot", str(image)] if args is None else [str(build / "QuorelFix"), *args]
    out = subprocess.run([*wrap, *program], env=dict(os.environ, QUORELFIX_IMAGE=str(image)),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         text=True, timeout=120).stdout
    counts = {}
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 5 and fields[-1] in SYSCALLS:
            counts[fields[-1]] = int(fields[3])
    return counts


def removed_by_clean_run(build, source, work):
    """Files an uninterrupted run (with its boot) takes from their places."""
    image = work / "clean"
    shutil.copytree(source, image, symlinks=True)
    pristine = snapshot(image)
    finish(build, image, source)
    return {rel for rel in pristine if isinstance(rel, Path) and not (image / rel).exists() and rel != REPORT}


# Items a second run may leave in place after a kill, each with the reason;
# nothing is lost in either case (the items stay where they were).
LEFT_BY_DESIGN = [
    (Path("drive_c/Program Files/Common Files/XulCache/ext"),
     "an infected extension registered in the registry loses its registration before its folder is "
     "moved, so that a folder that cannot be moved is never loaded again; killed between the two, "
     "the second run no longer finds the folder, which stays in place and is no longer loaded"),
]


def left_by_design(rel):
    return next((why for prefix, why in LEFT_BY_DESIGN if rel.is_relative_to(prefix)), None)


def check_point(build, source, work, pristine, removed, prepare, args, kill):
    image = checks.fresh_copy(source, work / "point", prepare)
    start = snapshot(image)
    run(build, image, args, kill)
    problems = lost_files(start, image) + damaged_files(image, start)
    finish(build, image, source)
    problems += [p + " (after the second run)" for p in lost_files(pristine, image)]
    explained = set()
    for rel in removed:
        if (image / rel).exists():
            why = left_by_design(rel)
            if why:
                explained.add(why)
            else:
                problems.append(f"not removed by the second run: {rel}")
    return problems, explained


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--every", type=int, default=1, help="try every K-th call only")
    parser.add_argument("--image", type=Path, default=ROOT / "images" / "xp-demo")
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "default")
    options = parser.parse_args()
    if not shutil.which("strace"):
        sys.exit("kill_points: strace is needed (scripts/install-deps.sh bench)")

    with tempfile.TemporaryDirectory(prefix="qf-kill-") as tmp:
        work = Path(tmp)
        source = work / "source"
        shutil.copytree(options.image, source, symlinks=True)
        pristine = snapshot(source)
        removed = removed_by_clean_run(options.build, source, work)

        tried = failed = 0
        explained_points = {}
        for stage, prepare, args in checks.stages(options.build, source, work, []):
            image = checks.fresh_copy(source, work / "count", prepare)
            counts = count_calls(options.build, image, args)
            print(f"kill_points: {stage}: {sum(counts.values())} calls "
                  f"({', '.join(f'{k} {v}' for k, v in sorted(counts.items()))})")
            for syscall, total in sorted(counts.items()):
                for n in range(1, total + 1, options.every):
                    tried += 1
                    problems, explained = check_point(options.build, source, work, pristine, removed, prepare, args,
                                                      (syscall, n))
                    for why in explained:
                        explained_points.setdefault(why, []).append(f"{stage} {syscall} #{n}")
                    if problems:
                        failed += 1
                        for p in problems:
                            print(f"FAIL {stage} killed at {syscall} #{n}: {p}")
        for why, points in explained_points.items():
            print(f"kill_points: left by design at {len(points)} points ({', '.join(points)}): {why}")
        print(f"kill_points: {tried - failed} passed, {failed} failed")
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
