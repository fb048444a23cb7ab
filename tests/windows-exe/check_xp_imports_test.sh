#!/usr/bin/env bash
# The XP import check's own test: it must refuse executables that import what
# XP SP3 lacks, name each such import, and refuse a reference row that
# MinGW-w64's headers do not declare for XP. Needs the i686 MinGW-w64
# compiler (scripts/install-deps.sh windows).
#
#   tests/windows-exe/check_xp_imports_test.sh
set -uo pipefail
cd "$(dirname "$0")/../.."
check=scripts/check-xp-imports.sh
cc=i686-w64-mingw32-gcc-win32
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

expect() {  # expect <what> <wanted exit status> <text the output must hold> <command...>
  local what=$1 wanted=$2 text=$3
  shift 3
  local out status
  out=$("$@" 2>&1)
  status=$?
  if [ "$status" -eq "$wanted" ] && grep -qF -- "$text" <<<"$out"; then
    echo "ok    $what"
    passed=$((passed + 1))
  else
    echo "FAIL  $what: exit $status (wanted $wanted), output:"
    sed 's/^/      /' <<<"$out"
    failures=$((failures + 1))
  fi
}

for source in imports_vista_kernel32 imports_secure_crt; do
  "$cc" -O2 -s -static "tests/windows-exe/$source.c" -o "$work/$source.exe" ||
    { echo "FAIL  cannot build $source.exe"; exit 1; }
done

# Each row: an executable the check must refuse, and the import it must name.
expect "a Vista kernel32 import is refused" 1 "kernel32.dll GetTickCount64" \
  "$check" "$work/imports_vista_kernel32.exe"
expect "a secure CRT import is refused" 1 "msvcrt.dll _wfopen_s" \
  "$check" "$work/imports_secure_crt.exe"
# One bad executable among good ones still fails the whole call.
expect "a refused executable fails a call that checks several" 1 "_wfopen_s" \
  "$check" "$work/imports_vista_kernel32.exe" "$work/imports_secure_crt.exe"
expect "a file that is no executable is refused" 1 "no imports found" \
  "$check" "tests/windows-exe/imports_secure_crt.c"
expect "a missing executable is refused" 1 "no such file" \
  "$check" "$work/missing.exe"

# The reference itself: its rows compile at XP level; a Vista row does not.
expect "the reference's rows are XP functions to MinGW-w64's headers" 0 "declare all" \
  "$check" --verify-headers
cp scripts/xp-sp3-imports.txt "$work/reference.txt"
echo "kernel32.dll GetTickCount64" >>"$work/reference.txt"
expect "a Vista row in the reference is refused" 1 "GetTickCount64" \
  env XP_IMPORTS_REFERENCE="$work/reference.txt" "$check" --verify-headers
# With that row the Vista executable would pass: the reference decides.
expect "the reference decides what passes" 0 "exist on Windows XP SP3" \
  env XP_IMPORTS_REFERENCE="$work/reference.txt" "$check" "$work/imports_vista_kernel32.exe"

echo "check-xp-imports: $passed passed, $failures failed"
[ "$failures" -eq 0 ]
