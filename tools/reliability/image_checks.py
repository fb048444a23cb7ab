"""What the reliability runs check on a machine image after QuorelFix was
stopped or made to fail: nothing lost or half-moved, the report and the
machine's files still readable, and the image's own state (message-box
answers, a pending reboot pass) for the run that comes after."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path
import tomllib

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "pylib"))
from qfimage import BACKUP_FOLDER, mirrored, reg_text  # noqa: E402

DESKTOP = Path("drive_c/Documents and Settings/Owner/Desktop")
BACKUP = DESKTOP / BACKUP_FOLDER
REPORT = DESKTOP / "QuorelFix.txt"
REBOOT_LIST = BACKUP / "reboot.txt"
# The program's own files that later runs and the reboot pass append to.
APPENDED_TO = {REPORT, BACKUP / "manifest.txt", BACKUP / "undo.reg"}


REGISTRY_WAS_TEXT = "registry.reg text"


def snapshot(image):
    """Every file below the image's drive folders: relative path -> bytes;
    and whether registry.reg decodes (the key REGISTRY_WAS_TEXT)."""
    files = {}
    for drive in image.glob("drive_*"):
        for path in drive.rglob("*"):
            if path.is_file() and not path.is_symlink():
                files[path.relative_to(image)] = path.read_bytes()
    files[REGISTRY_WAS_TEXT] = registry_decodes(image) is None
    return files


def mirrored_host(rel):
    """drive_c/a/b -> <backup>/C/a/b."""
    drive, *rest = rel.parts
    return mirrored(BACKUP, drive[len("drive_"):], rest)


def collision_names(path):
    """The names the shell may give a moved item when its name is taken."""
    yield path
    stem, suffix = path.stem, path.suffix
    if stem.startswith(".") and not suffix:
        stem, suffix = path.name, ""
    for n in range(2, 10):
        yield path.with_name(f"{stem} ({n}){suffix}")


def lost_files(pristine, image):
    """Files of `pristine` that are neither in place nor kept, as text lines.
    The program's own files change by design: the reboot list is made anew
    by every run; the report, the manifest and the undo file grow (the reboot
    pass appends to them), and the report is rotated into the backup folder
    by the next run."""
    problems = []
    backup_files = {p for p in (image / BACKUP).glob("*") if p.is_file()}
    for rel, data in pristine.items():
        if rel == REGISTRY_WAS_TEXT:
            continue
        here = image / rel
        if rel == REBOOT_LIST:
            continue
        if here.is_file() and here.read_bytes() == data:
            continue
        if rel in APPENDED_TO and here.is_file() and here.read_bytes().startswith(data):
            continue  # appended to
        if rel == REPORT:
            if any(p.name.startswith("QuorelFix[") and p.read_bytes().startswith(data) for p in backup_files):
                continue  # rotated
        if any((image / c).is_file() and (image / c).read_bytes() == data for c in collision_names(mirrored_host(rel))):
            continue
        problems.append(f"lost: {rel}")
    return problems


def registry_decodes(image):
    try:
        reg_text((image / "registry.reg").read_bytes())
        return None
    except UnicodeDecodeError as e:
        return str(e)


def damaged_files(image, start):
    """The report the run wrote cut inside a code unit, a machine.toml that no
    longer parses, a registry.reg that no longer decodes (when it did at the
    start). `start` is the image's snapshot before the run, with the entry
    "registry.reg text" telling whether it decoded then."""
    problems = []
    report = image / REPORT
    if report.is_file() and report.read_bytes() != start.get(REPORT):
        data = report.read_bytes()
        if len(data) % 2:
            problems.append("the report is not whole UTF-16LE code units")
        else:
            try:
                data.decode("utf-16-le", "surrogatepass")
            except UnicodeDecodeError:
                problems.append("the report does not decode as UTF-16LE")
    try:
        tomllib.loads((image / "machine.toml").read_text(encoding="utf-8"))
    except (OSError, UnicodeDecodeError, tomllib.TOMLDecodeError) as e:
        problems.append(f"machine.toml does not load: {e}")
    if start.get(REGISTRY_WAS_TEXT) and (why := registry_decodes(image)):
        problems.append(f"registry.reg does not decode: {why}")
    return problems


def reboot_pending(image):
    text = reg_text((image / "registry.reg").read_bytes(), "replace")
    return "QuorelFix_Reboot" in text.split("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce]")[-1]


ANSWERS = re.compile(r"^answers = \[.*\]$", re.MULTILINE)


def give_answers(image, source):
    """The machine takes message-box answers from its queue and keeps what is
    left; the user of a second run answers the boxes the same way again."""
    wanted = ANSWERS.search((source / "machine.toml").read_text(encoding="utf-8"))
    config = image / "machine.toml"
    text = config.read_text(encoding="utf-8")
    if wanted and ANSWERS.search(text):
        config.write_text(ANSWERS.sub(lambda _: wanted.group(0), text), encoding="utf-8")


def run(build, image, args, wrap=(), env=None):
    """Runs QuorelFix with `args` on the image, or `qfmachine boot` when args
    is None; `wrap` goes before the command (strace), `env` adds variables."""
    program = [str(build / "qfmachine"), "boot", str(image)] if args is None else [str(build / "QuorelFix"), *args]
    environment = dict(os.environ, QUORELFIX_IMAGE=str(image), **(env or {}))
    return subprocess.run([*wrap, *program], env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, timeout=120)


def finish(build, image, source):
    """The second whole run, and its reboot pass when it asks for one."""
    give_answers(image, source)
    run(build, image, [])
    if reboot_pending(image):
        run(build, image, None)


def fresh_copy(source, target, prepare=None):
    """A fresh copy of the image, made ready by `prepare`."""
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(source, target, symlinks=True)
    if prepare:
        prepare(target)
    return target


def stages(build, source, work, args):
    """The runs to try on an image: ("run", None, args), and, when the run
    leaves a reboot pass, ("boot", prepare, None), where `prepare` gives a copy
    the state the whole run leaves for the boot."""
    def after_run(image):
        run(build, image, args)

    found = [("run", None, args)]
    if reboot_pending(fresh_copy(source, work / "probe", after_run)):
        found.append(("boot", after_run, None))
    return found
