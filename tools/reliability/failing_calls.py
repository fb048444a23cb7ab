#!/usr/bin/env python3
"""Makes every seam call of a QuorelFix run fail in turn, with every code that
call plausibly fails with on Windows, and checks that nothing was lost.

    failing_calls.py [--every K] [--most N] [--longest N] [--image DIR]... [--stashed DIR] [--build DIR]

For each machine image (--image, or the images the scenario tests stash
with QF_STASH_IMAGES, run with their arguments, with --stashed; by default
images/xp-demo), it lists the seam calls of one whole
run (QUORELFIX_CALL_LOG), then runs the program on a fresh copy once for
every call N and every code K of that call with QUORELFIX_FAIL_CALL=N:K (or
every K-th call with --every). When the run leaves a reboot pass, the same
is done for the reboot pass that `qfmachine boot` runs. The emulated
machine's test mode (src/platform/emulated/machine/call_faults.h) makes the call fail.

After every run it checks:
  - the program ended normally with status 0 (no crash, no hang);
  - nothing lost or half-moved: every file the image had is, byte for byte,
    at its place or in the backup folder at its mirrored path;
  - the report, if there is one, is whole UTF-16LE code units;
  - machine.toml parses and registry.reg decodes.

Prints one line per failed run and a summary; exit status 1 when any failed.
"""
import argparse
import shutil
import sys
import tempfile
from pathlib import Path

import image_checks as checks
from image_checks import ROOT, damaged_files, lost_files, snapshot


def call_log(build, image, args, work):
    """The counted calls of one run: [(number, name, codes)]."""
    log = work / "calls.log"
    log.unlink(missing_ok=True)
    variable = "QUORELFIX_CALL_LOG" if args is not None else "QUORELFIX_BOOT_CALL_LOG"
    checks.run(build, image, args, env={variable: str(log)})
    if not log.exists():
        return []
    calls = []
    for line in log.read_text().splitlines():
        number, name, codes = line.split()
        calls.append((int(number), name, int(codes)))
    return calls


def check_run(build, source, work, prepare, args, number, code):
    image = checks.fresh_copy(source, work / "point", prepare)
    start = snapshot(image)
    variable = "QUORELFIX_FAIL_CALL" if args is not None else "QUORELFIX_BOOT_FAIL_CALL"
    try:
        result = checks.run(build, image, args, env={variable: f"{number}:{code}"})
    except Exception as e:  # a hang past the timeout
        return [f"did not end: {e}"]
    problems = []
    if result.returncode != 0:
        problems.append(f"exit status {result.returncode}: {result.stderr.decode(errors='replace').strip()[:200]}")
    return problems + lost_files(start, image) + damaged_files(image, start)


def stashed_images(folder):
    """Images the scenario tests stashed (QF_STASH_IMAGES) with their arguments."""
    return sorted(p for p in folder.iterdir() if (p / "machine.toml").exists()) if folder.is_dir() else []


def arguments(image):
    args = image / "args.txt"
    return [a for a in args.read_text().split("\n") if a] if args.exists() else []


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--every", type=int, default=1, help="fail every K-th call only")
    parser.add_argument("--image", type=Path, action="append", help="an image (repeatable)")
    parser.add_argument("--stashed", type=Path, help="also every image the scenario tests stashed in this folder")
    parser.add_argument("--most", type=int, default=0,
                        help="at most this many calls of a run (spread over it), for images of long runs")
    parser.add_argument("--longest", type=int, default=0,
                        help="skip a run of more calls than this (each of its runs takes seconds)")
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "default")
    options = parser.parse_args()
    images = options.image or ([] if options.stashed else [ROOT / "images" / "xp-demo"])
    if options.stashed:
        images += stashed_images(options.stashed)

    runs = failed = 0
    with tempfile.TemporaryDirectory(prefix="qf-calls-") as tmp:
        work = Path(tmp)
        for image_path in images:
            source = checks.fresh_copy(image_path, work / "source")
            plain = checks.run(options.build, checks.fresh_copy(source, work / "plain"), arguments(source))
            if plain.returncode != 0:  # an image the machine refuses (a link out of it) is no run to fail
                print(f"failing_calls: {image_path.name}: skipped, the plain run ends with {plain.returncode}")
                continue
            for stage, prepare, args in checks.stages(options.build, source, work, arguments(source)):
                counted = checks.fresh_copy(source, work / "count", prepare)
                calls = call_log(options.build, counted, args, work)
                print(f"failing_calls: {image_path.name} {stage}: {len(calls)} calls, "
                      f"{sum(c for _, _, c in calls)} failures to try")
                if options.longest and len(calls) > options.longest:
                    print(f"failing_calls: {image_path.name} {stage}: skipped, longer than {options.longest} calls")
                    continue
                step = options.every
                if options.most and len(calls) > options.most * step:
                    step = -(-len(calls) // options.most)  # spread over the whole run
                for number, name, codes in calls[::step]:
                    for code in range(codes):
                        runs += 1
                        problems = check_run(options.build, source, work, prepare, args, number, code)
                        if problems:
                            failed += 1
                            for p in problems:
                                print(f"FAIL {image_path.name} {stage} call {number} {name} code #{code}: {p}")
    print(f"failing_calls: {runs - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
