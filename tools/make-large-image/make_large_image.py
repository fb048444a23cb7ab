#!/usr/bin/env python3
"""Writes a large machine image for the full-scan benchmark.

    tools/make-large-image/make_large_image.py OUT [--profiles 50] [--extensions 40]
        [--windows-files 20000] [--jar-kb 200] [--xul-kb 16] [--big-mb 32] [--big-count 4]
        [--qfmachine build/default/qfmachine]

The image (see docs/machine-image.md) is the fresh XP machine of `qfmachine
new` with many Firefox profiles full of clean extensions, a crowded Windows
folder, and one of each infection, so that every phase of the scan has work:

- PROFILES x EXTENSIONS clean extensions, each with install.rdf, a packed
  chrome/<name>.jar of JAR_KB (never opened by the scan) and, every other
  one, an unpacked chrome/content/overlay.xul of XUL_KB;
- BIG_COUNT infected extensions whose chrome/xulcache.jar is BIG_MB with
  the telling entry name near its end, so the scan reads all of it;
- WINDOWS_FILES harmless files in C:\\WINDOWS beside the definition files;
- a rogue name server, a Run value, the hijacked search plug-in, the fake
  Java plug-in.

Beside the image, OUT/examined.txt lists what the scan examines: "F <host
path relative to OUT>" for every file whose content it reads, "D <...>" for
every folder it lists. The benchmark reads each of them once as its yardstick.
"""
import argparse
import os
import random
import subprocess

ROGUE_SEARCH_PREFIX = b"http://search-now.test/?"
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# The benchmark's machine is the fresh image of `qfmachine new` with Firefox
# not running (its process entry), the rogue name-server service beside the
# spooler, and a user who answers Yes and OK.
FIREFOX_RUNNING = """
[[process]]
pid = 2740
path = 'C:\\Program Files\\Mozilla Firefox\\firefox.exe'
"""

NO_ANSWERS = """
[message_boxes]
answers = []
"""

SERVICE_AND_ANSWERS = """
[[service]]
name = "dnsfilter"
state = "running"
accepts_stop = true

[message_boxes]
answers = ["IDYES", "IDOK"]
"""

CLSID = "{6F3A0B1C-2D4E-4F50-8A61-7B8C9D0E1F23}"

# Added to the fresh image's registry.
REGISTRY = r"""[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"dll32"="C:\\WINDOWS\\system32\\dll32.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run]
"sysldtray"="C:\\WINDOWS\\ld01.exe"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad]
"JavaPlug-in"="@CLSID@"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\@CLSID@\InProcServer32]
@="C:\\Program Files\\Common Files\\Java\\JavaPlug-in.dll"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters]
"NameServer"=""

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{4D36E972-E325-11CE-BFC1-08002BE10318}]
"NameServer"="85.255.112.36,85.255.112.41"
"DhcpNameServer"="192.168.1.1"
""".replace("@CLSID@", CLSID)


def replace_once(text, old, new):
    if text.count(old) != 1:
        raise SystemExit("make_large_image.py: the fresh image's machine.toml no longer holds:" + old)
    return text.replace(old, new)


def fresh_image(out, qfmachine):
    """Creates the fresh image with `qfmachine new` and makes it the benchmark's machine."""
    subprocess.run([qfmachine, "new", out], check=True, stdout=subprocess.DEVNULL)
    path = os.path.join(out, "machine.toml")
    with open(path) as f:
        toml = f.read()
    toml = replace_once(replace_once(toml, FIREFOX_RUNNING, ""), NO_ANSWERS, SERVICE_AND_ANSWERS)
    with open(path, "w") as f:
        f.write(toml)
    with open(os.path.join(out, "registry.reg"), "a", newline="\r\n") as f:
        f.write(REGISTRY)


def host(out, windows_path):
    drive, rest = windows_path[0].lower(), windows_path[3:]
    return os.path.join(out, "drive_" + drive, *rest.split("\\"))


class Image:
    def __init__(self, out):
        self.out = out
        self.examined = []
        # Incompressible filler, the same for every file.
        self.chunk = random.Random(1).randbytes(1 << 16)

    def write(self, windows_path, data, examined=False):
        path = host(self.out, windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        if examined:
            self.examined.append("F " + os.path.relpath(path, self.out))

    def write_sized(self, windows_path, size, tail=b"", examined=False):
        """A file of `size` bytes of filler, `tail` at its end; written in chunks."""
        path = host(self.out, windows_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        chunk = self.chunk
        left = max(size - len(tail), 0)
        with open(path, "wb") as f:
            while left > 0:
                n = min(left, len(chunk))
                f.write(chunk[:n])
                left -= n
            f.write(tail)
        if examined:
            self.examined.append("F " + os.path.relpath(path, self.out))

    def listed(self, windows_path):
        path = host(self.out, windows_path)
        os.makedirs(path, exist_ok=True)
        self.examined.append("D " + os.path.relpath(path, self.out))


def install_rdf(name, adware=False):
    title = b"LoudMo Contextual Ad Assistant" if adware else name.encode()
    body = (b'<?xml version="1.0"?>\n<RDF xmlns="http://www.w3.org/1999/02/22-rdf-syntax-ns#"\n'
            b'     xmlns:em="http://www.mozilla.org/2004/em-rdf#">\n  <Description about="urn:mozilla:install-manifest">\n'
            b"    <em:id>" + name.encode() + b"@example.test</em:id>\n    <em:name>" + title + b"</em:name>\n"
            b"    <em:version>1.0</em:version>\n")
    return body + b"    <!-- " + b"x" * 2000 + b" -->\n  </Description>\n</RDF>\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out")
    ap.add_argument("--profiles", type=int, default=50)
    ap.add_argument("--extensions", type=int, default=40)
    ap.add_argument("--windows-files", type=int, default=20000)
    ap.add_argument("--jar-kb", type=int, default=200)
    ap.add_argument("--xul-kb", type=int, default=16)
    ap.add_argument("--big-mb", type=int, default=32)
    ap.add_argument("--big-count", type=int, default=4)
    ap.add_argument("--qfmachine", default=os.path.join(SOURCE_DIR, "build", "default", "qfmachine"))
    a = ap.parse_args()

    fresh_image(a.out, a.qfmachine)
    img = Image(a.out)

    # The Windows folder: many harmless files, and the definition sweep's ones.
    for folder in (r"C:\WINDOWS", r"C:\WINDOWS\system32", r"C:\WINDOWS\system32\drivers", r"C:\Program Files"):
        img.listed(folder)
    for i in range(a.windows_files):
        img.write(r"C:\WINDOWS\file%05d.%s" % (i, ("dll", "exe", "log", "ini")[i % 4]), b"MZ" * (i % 32))
    for name in ("ld01.exe", "freddy07.exe", "pp12.exe", "bk23567.dat"):
        img.write("C:\\WINDOWS\\" + name, b"MZ rogue")
    img.write(r"C:\WINDOWS\system32\dll32.exe", b"MZ not the listed fingerprint", examined=True)
    img.write(r"C:\WINDOWS\system32\drivers\fio32.sys", b"MZ driver")
    img.write(r"C:\Program Files\webserver\webserver.exe", b"MZ")
    img.listed(r"C:\Program Files\Mozilla Firefox\searchplugins")
    img.write(r"C:\Program Files\Mozilla Firefox\searchplugins\search.xml",
              b'<SearchPlugin><Url type="text/html" template="' + ROGUE_SEARCH_PREFIX + b'q={searchTerms}"/></SearchPlugin>',
              examined=True)
    img.write(r"C:\Program Files\Mozilla Firefox\searchplugins\google.xml", b"<SearchPlugin/>", examined=False)
    img.write(r"C:\Program Files\Common Files\Java\JavaPlug-in.dll", b"MZ fake plug-in")

    # Firefox: the program-wide extensions folder with one of each infection.
    ff_ext = r"C:\Program Files\Mozilla Firefox\extensions"
    img.listed(ff_ext)
    img.write(ff_ext + r"\{adware}\install.rdf", install_rdf("adware", adware=True), examined=True)
    img.write(ff_ext + r"\{cfg}\chrome\content\_cfg.js", b'var __d="x";\nvar __u="y";\n', examined=True)

    # The profiles.
    profiles = r"C:\Documents and Settings\Owner\Application Data\Mozilla\Firefox\Profiles"
    img.listed(profiles)
    big_every = max(a.profiles // max(a.big_count, 1), 1)
    big_made = 0
    for p in range(a.profiles):
        ext_root = profiles + "\\%08x.profile%d\\extensions" % (0x1000 + p, p)
        img.listed(ext_root)
        for e in range(a.extensions):
            folder = ext_root + "\\ext%02d@example.test" % e
            img.write(folder + r"\install.rdf", install_rdf("ext%02d" % e), examined=True)
            img.write(folder + r"\chrome.manifest", b"content ext chrome/ext.jar!/content/\n")
            img.write_sized(folder + "\\chrome\\ext%02d.jar" % e, a.jar_kb * 1024)
            if e % 2 == 0:
                img.write_sized(folder + r"\chrome\content\overlay.xul", a.xul_kb * 1024,
                                tail=b'<overlay id="ext-overlay"/>\n', examined=True)
        if p % big_every == 0 and big_made < a.big_count:
            big_made += 1
            folder = ext_root + "\\{xulcache%d}" % p
            img.write_sized(folder + r"\chrome\xulcache.jar", a.big_mb << 20,
                            tail=b"PK\x01\x02" + b"\0" * 42 + b"content/overlay.xul", examined=True)

    with open(os.path.join(a.out, "examined.txt"), "w") as f:
        f.write("\n".join(img.examined) + "\n")


if __name__ == "__main__":
    main()
