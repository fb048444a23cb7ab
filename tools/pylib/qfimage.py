"""What the Python tools read from a machine image: its registry (regedit
text, as registry.reg holds it and `reg export` writes it) and where the
backup folder keeps an item the program moved there."""
import re

BACKUP_FOLDER = "QuorelFix Backups"


def mirrored(backup, letter, names):
    """Where the backup folder keeps a moved item: C:\\a\\b -> <backup>\\C\\a\\b.
    `backup` is a Windows path (a string) or a host path (a pathlib path);
    `names` are the item's names below its drive's root."""
    if isinstance(backup, str):
        return "\\".join([backup, letter.upper(), *names])
    return backup.joinpath(letter.upper(), *names)


# ---------------------------------------------------------------- registry text
ROOTS = {
    "hkey_local_machine": "HKEY_LOCAL_MACHINE", "hklm": "HKEY_LOCAL_MACHINE",
    "hkey_current_user": "HKEY_CURRENT_USER", "hkcu": "HKEY_CURRENT_USER",
    "hkey_classes_root": "HKEY_LOCAL_MACHINE\\Software\\Classes", "hkcr": "HKEY_LOCAL_MACHINE\\Software\\Classes",
}
REG_SZ = 1


def reg_text(data, errors="strict"):
    """registry.reg or an export as text: UTF-16LE after its byte-order mark,
    otherwise UTF-8 (with or without one)."""
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", errors)
    return data.decode("utf-8-sig", errors)


def full_key(path):
    root, _, rest = path.partition("\\")
    root = ROOTS.get(root.lower())
    if root is None:
        return None
    return root + ("\\" + rest if rest else "")


def quoted(text, start):
    """The string of a quoted field starting at text[start] == '"', and the index after it."""
    out = []
    i = start + 1
    escapes = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "0": "\0"}
    while i < len(text) and text[i] != '"':
        if text[i] == "\\" and i + 1 < len(text):
            out.append(escapes.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out), i + 1


def value_data(text):
    """(type, bytes) of the data after '=', or None for a deletion ('-')."""
    if text == "-":
        return None
    if text.startswith('"'):
        return REG_SZ, (quoted(text, 0)[0] + "\0").encode("utf-16-le")
    if text.lower().startswith("dword:"):
        return 4, int(text[6:], 16).to_bytes(4, "little")
    match = re.match(r"hex(?:\((?P<type>[0-9a-fA-F]+)\))?:(?P<bytes>.*)$", text)
    if match:
        kind = int(match.group("type"), 16) if match.group("type") else 3
        hexes = [h for h in match.group("bytes").replace(" ", "").split(",") if h]
        return kind, bytes(int(h, 16) for h in hexes)
    raise ValueError(f"unreadable registry data: {text[:60]}")


class Registry:
    """Keys and values from regedit text, names compared without regard to case."""

    def __init__(self):
        self.keys = {}  # lower-cased full path -> (path, {lower-cased name: (name, type, bytes)})

    def load(self, data):
        lines = reg_text(data).replace("\r\n", "\n").split("\n")
        key = None
        i = 0
        while i < len(lines):
            line = lines[i].strip()
            i += 1
            while line.endswith("\\") and i < len(lines) and not line.startswith("["):
                line = line[:-1] + lines[i].strip()
                i += 1
            if not line or line.startswith(";") or line.startswith("Windows Registry") or line == "REGEDIT4":
                continue
            if line.startswith("[-") and line.endswith("]"):
                path = full_key(line[2:-1])
                if path:
                    self.delete_key(path)
                key = None
            elif line.startswith("[") and line.endswith("]"):
                path = full_key(line[1:-1])
                key = self.create_key(path) if path else None
            elif key is not None and (line.startswith('"') or line.startswith("@")):
                if line.startswith("@"):
                    name, rest = "", line[1:]
                else:
                    name, end = quoted(line, 0)
                    rest = line[end:]
                if not rest.startswith("="):
                    continue
                data = value_data(rest[1:])
                if data is None:
                    key[1].pop(name.lower(), None)
                else:
                    key[1][name.lower()] = (name, *data)
        return self

    def create_key(self, path):
        parts = path.split("\\")
        for n in range(1, len(parts) + 1):
            sub = "\\".join(parts[:n])
            self.keys.setdefault(sub.lower(), (sub, {}))
        return self.keys[path.lower()]

    def delete_key(self, path):
        low = path.lower()
        for k in [k for k in self.keys if k == low or k.startswith(low + "\\")]:
            del self.keys[k]

    def value(self, key, name):
        entry = self.keys.get(key.lower())
        return None if entry is None else entry[1].get(name.lower())


def load_registry(paths):
    registry = Registry()
    for path in paths:
        with open(path, "rb") as f:
            registry.load(f.read())
    return registry
