#!/usr/bin/env bash
# Checks a built QuorelFix.exe (or QuorelRestore.exe, QuorelPreview.exe): a PE32 (i386) console
# executable that Windows XP SP3 loads (subsystem version, every imported
# function), stripped, that imports only Windows' own DLLs (no MinGW runtime
# beside it), with the application manifest and the version information
# embedded.
#
#   scripts/check-windows-exe.sh build/windows-x86/QuorelFix.exe
#
# Prints one line per check; exits 1 naming every check that failed.
set -uo pipefail

exe=${1:?usage: check-windows-exe.sh <QuorelFix.exe>}
[ -f "$exe" ] || { echo "check-windows-exe: $exe: no such file" >&2; exit 1; }

objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || objdump=objdump
failures=()
check() {  # check <description> <command...>
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "ok      $what"
  else
    echo "MISSING $what"
    failures+=("$what")
  fi
}

headers=$("$objdump" -p "$exe" 2>/dev/null)
filetype=$(file -b "$exe")
wide=$(strings -el "$exe")
narrow=$(strings -n 6 "$exe")

check "file type PE32 console executable for Intel 80386 ($filetype)" \
  grep -qE '^PE32 executable \(console\) Intel 80386' <<<"$filetype"
check "PE32 optional header (magic 010b)" grep -qE 'Magic[[:space:]]+010b' <<<"$headers"
check "machine i386" bash -c '"$0" -f "$1" | grep -q "architecture: i386"' "$objdump" "$exe"
check "subsystem Windows CUI" grep -qE 'Subsystem[[:space:]]+0*3[[:space:]]+\(Windows CUI\)' <<<"$headers"
# Windows XP (NT 5.1) loads a program whose subsystem version is 5.1 or
# older; MSVC and newer toolchains default to 6.0, which XP refuses.
subsystem_version=$(awk '/MajorSubsystemVersion/{major=$2} /MinorSubsystemVersion/{minor=$2} END{print major "." minor}' <<<"$headers")
check "subsystem version $subsystem_version loads on Windows XP (4.0 to 5.1)" \
  awk -v v="$subsystem_version" 'BEGIN { split(v, p, "."); exit !(p[1] == 4 || (p[1] == 5 && p[2] <= 1)) }'
check "no debug sections (stripped)" bash -c '! "$0" -h "$1" | grep -q "\.debug_"' "$objdump" "$exe"

# Only DLLs that every Windows has; libgcc_s, libstdc++ or libwinpthread
# would have to be shipped beside the executable.
dlls=$(grep -oE 'DLL Name: .*' <<<"$headers" | sed 's/DLL Name: //' | tr 'A-Z' 'a-z' | sort -u)
echo "        imports: $(echo $dlls)"
allowed='^(kernel32|user32|advapi32|shell32|shlwapi|psapi|msvcrt|ntdll|gdi32|comctl32|ole32)\.dll$'
check "no DLL outside Windows' own" bash -c '! grep -vqE "$0" <<<"$1"' "$allowed" "$dlls"
# Every imported function exists on Windows XP SP3 (scripts/xp-sp3-imports.txt).
check "every imported function exists on Windows XP SP3" "$(dirname "$0")/check-xp-imports.sh" "$exe"

check "manifest: requestedExecutionLevel requireAdministrator" \
  grep -qE 'requestedExecutionLevel[^>]*level="requireAdministrator"' <<<"$narrow"
check "manifest: Microsoft.Windows.Common-Controls 6.0.0.0" \
  grep -qE 'name="Microsoft.Windows.Common-Controls"[^>]*version="6\.0\.0\.0"' <<<"$narrow"

# VERSIONINFO: the fixed part holds 2.0.0.687 as 0x00020000 0x000002AF for
# both file and product version; the string table holds the texts in UTF-16.
check "version information: VS_VERSION_INFO block" grep -qx 'VS_VERSION_INFO' <<<"$wide"
for name in FileVersion ProductVersion; do
  check "version information: $name 2.0.0.687" \
    bash -c 'grep -A1 -x "$0" <<<"$1" | grep -qx "2.0.0.687"' "$name" "$wide"
done
# The product is QuorelFix; each executable carries its own internal and
# original file name (QuorelFix, QuorelRestore, QuorelPreview).
program=$(basename "$exe" .exe)
check "version information: ProductName QuorelFix" \
  bash -c 'grep -A1 -x ProductName <<<"$0" | grep -qx "QuorelFix"' "$wide"
check "version information: InternalName $program" \
  bash -c 'grep -A1 -x InternalName <<<"$0" | grep -qx "$1"' "$wide" "$program"
check "version information: OriginalFilename $program.exe" \
  bash -c 'grep -A1 -x OriginalFilename <<<"$0" | grep -qx "$1.exe"' "$wide" "$program"
fixed=$(od -An -v -tx1 "$exe" | tr -d ' \n')
# VS_FIXEDFILEINFO: signature FEEF04BD, struct version, then the four
# version words (MS = 2.0, LS = 0.687) of file and product version.
check "version information: fixed file and product version 2,0,0,687" \
  grep -q 'bd04effe0000010000000200af02000000000200af020000' <<<"$fixed"

if [ ${#failures[@]} -ne 0 ]; then
  echo "check-windows-exe: $exe lacks: ${failures[*]}" >&2
  exit 1
fi
echo "check-windows-exe: $exe is a PE32 (i386) console executable for Windows XP SP3 and later, with its manifest and version information"
