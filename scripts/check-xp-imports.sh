#!/usr/bin/env bash
# Fails on any function a Windows executable imports that 32-bit Windows XP
# SP3 lacks: the loader refuses to start a program with an unresolved import
# ("The procedure entry point ... could not be located"), so one such import
# anywhere, ours or the toolchain runtime's, is a program that does not run.
#
#   scripts/check-xp-imports.sh <exe>...            check executables
#   scripts/check-xp-imports.sh --verify-headers    compile every non-CRT row of
#                                                    the reference against
#                                                    MinGW-w64's headers at XP level
#
# The reference is scripts/xp-sp3-imports.txt (the functions known to exist on
# XP SP3, with its sources), or the file named by XP_IMPORTS_REFERENCE. Imports by ordinal are refused too: nothing tells
# what they resolve to. Exit status 1 names every import not in the reference.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
reference=${XP_IMPORTS_REFERENCE:-$here/xp-sp3-imports.txt}
[ -f "$reference" ] || { echo "check-xp-imports: $reference: no such file" >&2; exit 2; }
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump

known() {  # the reference as "dll function" lines, DLL names lower-cased
  grep -vE '^[[:space:]]*(#|$)' "$reference" | awk '{print tolower($1), $2}' | sort -u
}

if [ "${1:-}" = "--verify-headers" ]; then
  # MinGW-w64 guards what is newer than the target Windows with _WIN32_WINNT:
  # a row that does not compile at 0x0501 is not an XP function.
  cc=i686-w64-mingw32-gcc-win32
  command -v "$cc" >/dev/null || cc=i686-w64-mingw32-gcc
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  {
    printf '#define _WIN32_WINNT 0x0501\n#define WINVER 0x0501\n#define PSAPI_VERSION 1\n'
    printf '#include <windows.h>\n#include <shellapi.h>\n#include <shlobj.h>\n#include <shlwapi.h>\n#include <psapi.h>\n'
    printf 'void* const rows[] = {\n'
    known | awk '$1 != "msvcrt.dll" {print "  (void*)&" $2 ","}'
    printf '};\n'
  } >"$work/rows.c"
  if ! LC_ALL=C "$cc" -c -Werror=implicit-function-declaration "$work/rows.c" -o "$work/rows.o" 2>"$work/errors"; then
    echo "check-xp-imports: rows that MinGW-w64's headers do not declare for Windows XP:" >&2
    grep -oE "'[A-Za-z0-9_]+' undeclared" "$work/errors" | tr -d "'" | sed 's/ undeclared//; s/^/  /' >&2
    exit 1
  fi
  echo "check-xp-imports: MinGW-w64's headers declare all $(known | awk '$1 != "msvcrt.dll"' | wc -l) non-CRT rows at _WIN32_WINNT=0x0501"
  exit 0
fi

[ $# -ge 1 ] || { echo "usage: check-xp-imports.sh <exe>... | --verify-headers" >&2; exit 2; }

status=0
for exe in "$@"; do
  [ -f "$exe" ] || { echo "check-xp-imports: $exe: no such file" >&2; status=1; continue; }
  # objdump -p lists each DLL ("DLL Name: KERNEL32.dll") followed by its
  # imports, one a line: "<tab><vma><tab> <hint>  <name>", or an ordinal
  # ("<tab><vma><tab> <ordinal>  <ordinal>" with no name) — kept as "#<n>".
  imports=$("$objdump" -p "$exe" | awk '
    /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
    /^The Export Tables/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+\t/ {
      if (NF >= 3) print dll, $3; else if (NF == 2) print dll, "#" $2
    }' | sort -u)
  if [ -z "$imports" ]; then
    echo "check-xp-imports: $exe: no imports found (not a PE executable?)" >&2
    status=1
    continue
  fi
  missing=$(comm -23 <(echo "$imports") <(known))
  if [ -n "$missing" ]; then
    echo "check-xp-imports: $exe imports what Windows XP SP3 is not known to have:" >&2
    sed 's/^/  /' <<<"$missing" >&2
    echo "  (add a row to scripts/xp-sp3-imports.txt only with its public evidence)" >&2
    status=1
  else
    echo "check-xp-imports: $exe: all $(wc -l <<<"$imports") imports exist on Windows XP SP3"
  fi
done
exit $status
