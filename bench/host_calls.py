#!/usr/bin/env python3
"""Turns an strace log of one program run (strace -xx -s 0) into the list of
host calls that bench/host_call_replay.cpp replays, one per line:

  open FLAGS FD PATH    close FD          read FD SIZE     getdents FD
  statx PATH            stat PATH         fstat FD         lseek FD OFFSET
  write FD SIZE         watch PATH        mkdir PATH       rename FROM TO
  inotify FD

Paths are written in hexadecimal; FD is the descriptor the run got (-1 for a
failed open). Calls the replay does not need (memory, signals) are left out.
"""
import re
import sys

STRING = re.compile(r'"((?:\\x[0-9a-f]{2})*)"')
CALL = re.compile(r'(\w+)\((.*)\)\s+=\s+(-?\d+|0x[0-9a-f]+)')
OPEN_FLAGS = [("O_DIRECTORY", 1), ("O_WRONLY", 2), ("O_RDWR", 4), ("O_CREAT", 8), ("O_APPEND", 16), ("O_TRUNC", 32)]


def hexpath(escaped):
    return escaped.replace("\\x", "") or "-"


def convert(line, folders):
    """`folders` maps the descriptors of open folders to their paths (hex), so
    that an open relative to one (openat(FD, NAME)) is replayed by its path."""
    m = CALL.match(line)
    if not m:
        return None
    name, args, result = m.group(1), m.group(2), int(m.group(3), 0)
    fields = [a.strip() for a in args.split(",")]
    paths = [hexpath(s) for s in STRING.findall(args)]
    if name == "openat":
        flags = sum(bit for flag, bit in OPEN_FLAGS if flag in args)
        path = paths[0]
        if fields[0] != "AT_FDCWD" and fields[0] in folders:
            path = folders[fields[0]] + "2f" + path
        if result >= 0 and "O_DIRECTORY" in args:
            folders[str(result)] = path
        return "open %d %d %s" % (flags, result, path)
    if name == "close":
        folders.pop(fields[0], None)
        return "close " + fields[0]
    if name == "read":
        return "read %s %s" % (fields[0], fields[-1])
    if name == "getdents64":
        return "getdents " + fields[0]
    if name == "statx":
        return "statx " + paths[0]
    if name == "newfstatat":
        return "fstat " + fields[0] if fields[0] != "AT_FDCWD" else "stat " + paths[0]
    if name == "lseek":
        return "lseek %s %s" % (fields[0], fields[1])
    if name == "write":
        return "write %s %s" % (fields[0], fields[-1])
    if name == "inotify_add_watch":
        return "watch " + paths[0]
    if name == "inotify_init1":
        return "inotify %d" % result
    if name == "mkdir":
        return "mkdir " + paths[0]
    if name == "rename":
        return "rename %s %s" % (paths[0], paths[1])
    return None


def main():
    folders = {}
    calls = [c for c in (convert(line, folders) for line in open(sys.argv[1])) if c]
    with open(sys.argv[2], "w") as out:
        out.write("\n".join(calls) + "\n")


if __name__ == "__main__":
    main()
