#!/usr/bin/env python3
"""The end-state check of the Wine end-to-end run (scripts/wine-e2e-end-state.py)
on fabricated runs: a small image, the folder an emulated run leaves and the
prefix a Wine run leaves, made by hand, then each broken in one way.

    python3 tests/tools/wine_e2e_end_state_test.py
"""
import importlib.util
import os
import shutil
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "wine-e2e-end-state.py")
spec = importlib.util.spec_from_file_location("end_state", SCRIPT)
end_state = importlib.util.module_from_spec(spec)
spec.loader.exec_module(end_state)

PROFILE = "drive_c/Documents and Settings/Owner"
DESKTOP = PROFILE + "/Desktop"
BACKUP = DESKTOP + "/QuorelFix Backups"

MACHINE = """[environment]
USERPROFILE = 'C:\\Documents and Settings\\Owner'
[self]
path = 'C:\\Documents and Settings\\Owner\\Desktop\\QuorelFix.exe'
"""

REGISTRY = """Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]
"sysldtray"="C:\\\\WINDOWS\\\\sysldtray.exe"
"kept"="C:\\\\WINDOWS\\\\kept.exe"

[HKEY_LOCAL_MACHINE\\SYSTEM\\Tcpip\\Interfaces\\{1}]
"NameServer"="85.255.112.1"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C6}\\InProcServer32]
@="C:\\\\plugin.dll"
"""

# What a run changes in the registry, appended as the emulated machine does.
CHANGES = """
[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]
"sysldtray"=-

[HKEY_LOCAL_MACHINE\\SYSTEM\\Tcpip\\Interfaces\\{1}]
"NameServer"=""

[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C6}]
"""

FILES = {
    "drive_c/WINDOWS/bad.dat": b"bad",
    "drive_c/WINDOWS/keep.txt": b"keep",
    "drive_c/WINDOWS/system32/drivers/held.sys": b"driver",
    "drive_c/Program Files/webserver/webserver.exe": b"MZ web",
    "drive_c/Program Files/webserver/data/x.cfg": b"cfg",
    DESKTOP + "/QuorelFix.exe": b"MZ program",
    DESKTOP + "/QuorelFix.txt": "old report".encode("utf-16-le"),
    BACKUP + "/reboot.txt": b"",
}

FIRST_PASS = [
    'Deleting folder: "C:\\Program Files\\webserver" -> Success!',
    'Deleting file: "C:\\WINDOWS\\bad.dat" -> Success!',
    'Deleting file: "C:\\WINDOWS\\missing.dat" -> {missing}',
    'Deleting file: "C:\\WINDOWS\\system32\\drivers\\held.sys" -> {held}',
]
EMULATED_LINES = [l.format(missing="Failed [2]", held="Failed [32] -> Delete on reboot") for l in FIRST_PASS] + [
    "", "========== Reboot ==========", "",
    'Deleting "C:\\WINDOWS\\system32\\drivers\\held.sys" -> Success!', "", "-=E.O.F=-"]
WINE_LINES = [l.format(missing="Success!", held="Success!") for l in FIRST_PASS] + ["", "-=E.O.F=-"]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def move(root, relative, backup_relative=None):
    """Moves drive_c/<rest> to the backup folder under C\\<rest>, as the quarantine does."""
    rest = relative[len("drive_c/"):]
    target = os.path.join(root, BACKUP, backup_relative or "C/" + rest)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.move(os.path.join(root, relative), target)


def report(lines):
    return "\r\n".join(["QuorelFix by quillfen (03.07.10.1)", "", "========== QuorelScan ==========", ""]
                       + lines).encode("utf-16-le")


def wine_export(text):
    """A registry as `wine reg export` writes it: UTF-16LE with a byte-order mark."""
    return b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le")


class EndStateTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="qf-end-state-")
        self.image = os.path.join(self.tmp, "image")
        self.emulated = os.path.join(self.tmp, "emulated")
        self.wine = os.path.join(self.tmp, "prefix")
        for name, data in FILES.items():
            write(os.path.join(self.image, name), data)
        write(os.path.join(self.image, "machine.toml"), MACHINE.encode())
        write(os.path.join(self.image, "registry.reg"), REGISTRY.encode())
        # Both runs move the same items and rotate the previous report; the
        # emulated run moves the held file too, in its reboot pass.
        shutil.copytree(self.image, self.emulated)
        for name, data in FILES.items():
            write(os.path.join(self.wine, name), data)
        for side in (self.emulated, self.wine):
            move(side, "drive_c/Program Files/webserver")
            move(side, "drive_c/WINDOWS/bad.dat")
            shutil.move(os.path.join(side, DESKTOP, "QuorelFix.txt"),
                        os.path.join(side, BACKUP, "QuorelFix[14.05.09_03-07-2010].txt"))
        move(self.emulated, "drive_c/WINDOWS/system32/drivers/held.sys")
        write(os.path.join(self.emulated, DESKTOP, "QuorelFix.txt"), report(EMULATED_LINES))
        with open(os.path.join(self.emulated, "registry.reg"), "a") as f:
            f.write(CHANGES)
        # Wine: the held file stays where it is, though Wine's shell answers 0.
        write(os.path.join(self.wine, DESKTOP, "QuorelFix.txt"), report(WINE_LINES))
        write(os.path.join(self.wine, DESKTOP, "QuorelFix.exe"), b"MZ the x86_64 build")
        self.wine_registry = os.path.join(self.tmp, "wine-HKLM.reg")
        write(self.wine_registry, wine_export(REGISTRY + CHANGES))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def faults(self):
        return end_state.Check(self.image, self.emulated, self.wine, [self.wine_registry]).run()

    def assertFault(self, *parts):
        faults = self.faults()
        self.assertTrue(any(all(p in f for p in parts) for f in faults),
                        f"no fault naming {parts}; faults: {faults}")

    def test_agreeing_runs_pass(self):
        self.assertEqual(self.faults(), [])

    def test_held_file_moved_under_wine_is_no_evidence(self):
        # Wine's "Success!" for the held file: accepted only while the file
        # is still at its source; here the holder did not hold it.
        move(self.wine, "drive_c/WINDOWS/system32/drivers/held.sys")
        self.assertFault("held.sys", "accepted only while", "in the backup folder")

    def test_held_file_in_both_places(self):
        write(os.path.join(self.wine, BACKUP, "C/WINDOWS/system32/drivers/held.sys"), b"driver")
        self.assertFault("Wine: C:\\WINDOWS\\system32\\drivers\\held.sys is both in place and in the backup folder")

    def test_file_moved_to_a_wrong_mirrored_path(self):
        shutil.rmtree(os.path.join(self.wine, BACKUP, "C/WINDOWS"))
        write(os.path.join(self.wine, BACKUP, "WINDOWS/bad.dat"), b"bad")  # the drive letter left out
        self.assertFault("Wine: C:\\WINDOWS\\bad.dat is neither in place nor in the backup folder")
        self.assertFault("Wine: the report says", "bad.dat\" -> Success!", "neither")

    def test_success_claimed_but_file_in_place(self):
        # A program fault on the emulated side: the report says moved, the file stayed.
        os.makedirs(os.path.join(self.emulated, "drive_c/WINDOWS"), exist_ok=True)
        shutil.move(os.path.join(self.emulated, BACKUP, "C/WINDOWS/bad.dat"),
                    os.path.join(self.emulated, "drive_c/WINDOWS/bad.dat"))
        self.assertFault("emulated: the report says", "bad.dat\" -> Success!", "in place")
        self.assertFault("C:\\WINDOWS\\bad.dat is in place on the emulated machine but in the backup folder under Wine")

    def test_moved_file_changed(self):
        write(os.path.join(self.wine, BACKUP, "C/Program Files/webserver/data/x.cfg"), b"other")
        self.assertFault("Wine: C:\\Program Files\\webserver\\data\\x.cfg (in the backup folder) differs")

    def test_missing_source_that_exists_under_wine(self):
        write(os.path.join(self.wine, "drive_c/WINDOWS/missing.dat"), b"here after all")
        self.assertFault("missing.dat", "accepted only for an item that does not exist", "in place")

    def test_missing_source_answered_1026_on_xp(self):
        # The emulated machine as Windows XP answers 1026 for a missing source: the same evidence holds.
        lines = [l.replace("Failed [2]", "Failed [1026]") for l in EMULATED_LINES]
        write(os.path.join(self.emulated, DESKTOP, "QuorelFix.txt"), report(lines))
        self.assertEqual(self.faults(), [])

    def test_wine_success_where_emulated_failed_otherwise(self):
        lines = [l.replace("Failed [2]", "Failed [5]") for l in EMULATED_LINES]
        write(os.path.join(self.emulated, DESKTOP, "QuorelFix.txt"), report(lines))
        self.assertFault("missing.dat", "only for a held or a missing source")

    def test_previous_report_not_rotated(self):
        os.remove(os.path.join(self.wine, BACKUP, "QuorelFix[14.05.09_03-07-2010].txt"))
        self.assertFault("Wine: the previous report")

    def test_registry_value_left_under_wine(self):
        write(self.wine_registry, wine_export(REGISTRY + CHANGES.replace('"sysldtray"=-', "")))
        self.assertFault("value HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\\\sysldtray",
                         "gone on the emulated side but kept under Wine")

    def test_registry_value_not_blanked_under_wine(self):
        write(self.wine_registry, wine_export(REGISTRY + CHANGES.replace('"NameServer"=""', '"NameServer"="1.2.3.4"')))
        self.assertFault("NameServer", "blank on the emulated side but changed")

    def test_registry_key_left_under_wine(self):
        write(self.wine_registry, wine_export(REGISTRY + CHANGES.replace("[-HKEY_LOCAL_MACHINE", "[HKEY_LOCAL_MACHINE")))
        self.assertFault("key HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{C6} is gone on the emulated side but kept "
                         "under Wine")

    def test_extra_value_deleted_under_wine(self):
        write(self.wine_registry, wine_export(REGISTRY + CHANGES + '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\'
                                              'Windows\\CurrentVersion\\Run]\n"kept"=-\n'))
        self.assertFault("Run\\\\kept is kept on the emulated side but gone under Wine")

    def test_values_wine_rewrites_at_start_are_measured_from_before_the_run(self):
        # Wine sets the Tcpip Hostname to the host's name whenever it starts.
        own = '\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Tcpip\\Interfaces\\{1}]\n"Hostname"="vm"\n'
        REG = REGISTRY.replace('"NameServer"="85.255.112.1"', '"NameServer"="85.255.112.1"\n"Hostname"="OWNER-PC"')
        write(os.path.join(self.image, "registry.reg"), REG.encode())
        write(os.path.join(self.emulated, "registry.reg"), (REG + CHANGES).encode())
        write(self.wine_registry, wine_export(REG + own + CHANGES))
        self.assertFault("Interfaces\\{1}\\\\Hostname is kept on the emulated side but changed")
        before = os.path.join(self.tmp, "wine-HKLM-before.reg")
        write(before, wine_export(REG + own))
        faults = end_state.Check(self.image, self.emulated, self.wine, [self.wine_registry],
                                 wine_registry_before=[before]).run()
        self.assertEqual(faults, [])
        # A value the run changed is still measured against the image.
        write(self.wine_registry, wine_export(REG + own + CHANGES.replace('"NameServer"=""', '"NameServer"="x"')))
        faults = end_state.Check(self.image, self.emulated, self.wine, [self.wine_registry],
                                 wine_registry_before=[before]).run()
        self.assertTrue(any("NameServer is blank on the emulated side but changed" in f for f in faults), faults)

    def test_wine_kept_files_are_placed_but_not_compared(self):
        write(os.path.join(self.wine, "drive_c/WINDOWS/keep.txt"), b"Wine's own")
        self.assertFault("keep.txt (in place) differs")
        faults = end_state.Check(self.image, self.emulated, self.wine, [self.wine_registry],
                                 ["drive_c/WINDOWS/keep.txt\n"]).run()
        self.assertEqual(faults, [])


class RegistryTextTest(unittest.TestCase):
    def test_values_and_deletions(self):
        text = ('Windows Registry Editor Version 5.00\n\n[HKCU\\Software\\A]\n"s"="a \\"q\\" \\\\"\n'
                '"d"=dword:0000002a\n"x"=hex(2):25,00,\\\n  41,00,00,00\n@="dflt"\n"gone"="1"\n"gone"=-\n'
                '[HKCR\\.txt]\n@="txtfile"\n')
        reg = end_state.Registry().load(text.encode())
        key = "HKEY_CURRENT_USER\\Software\\A"
        self.assertEqual(reg.value(key, "S")[1:], (1, 'a "q" \\\0'.encode("utf-16-le")))
        self.assertEqual(reg.value(key, "d")[1:], (4, b"\x2a\0\0\0"))
        self.assertEqual(reg.value(key, "x")[1:], (2, b"%\0A\0\0\0"))
        self.assertEqual(reg.value(key, "")[2], "dflt\0".encode("utf-16-le"))
        self.assertIsNone(reg.value(key, "gone"))
        self.assertEqual(reg.value("HKEY_LOCAL_MACHINE\\Software\\Classes\\.txt", "")[2], "txtfile\0".encode("utf-16-le"))


if __name__ == "__main__":
    unittest.main()
