#!/usr/bin/env bash
# What CI runs for the Windows side, in a few minutes:
#   1. cross-build windows-x86 and check QuorelFix.exe, QuorelRestore.exe and QuorelPreview.exe
#      (PE32 console, loads on Windows XP SP3: subsystem version and every
#      imported function; only Windows' own DLLs, stripped, manifest, version
#      information), and the import check's own test on executables that
#      import what XP lacks; seamdemo.exe builds too;
#   2. the seam's contract tests, cross-built for x86_64, under wine64 in a
#      fresh prefix;
#   3. the end-to-end comparison of a Wine run with the emulated run: the
#      reports and the end states (files, registry), after a self-test of the
#      end-state check on fabricated runs.
# The contract tests on the emulated machine run with the default preset's ctest.
# Works on its own on a fresh machine: it installs what it needs (the native
# toolchain too: CMake, and googletest's sources for the cross-built contract
# tests; the end-to-end run builds the default preset's QuorelFix and
# qfmachine for the emulated side).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh native windows wine

echo "== windows-x86: QuorelFix.exe, QuorelRestore.exe, QuorelPreview.exe"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j2
scripts/check-windows-exe.sh build/windows-x86/QuorelFix.exe
scripts/check-windows-exe.sh build/windows-x86/QuorelRestore.exe
scripts/check-windows-exe.sh build/windows-x86/QuorelPreview.exe
echo "== the XP import check refuses what XP lacks"
tests/windows-exe/check_xp_imports_test.sh

echo "== windows-x64: contract tests under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j2 --target qf_contract_tests seamdemo
source tools/wine/wine64.sh
wine64_use ci-windows
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qf-contract-prefix.XXXXXX")
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
wine64_check_prefix ci-windows
wine build/windows-x64/tests/contract/qf_contract_tests.exe --gtest_color=no

echo "== Wine end-to-end run"
# The end-state check first shows that it catches a false "Success!", a file
# moved to the wrong place and a registry value left behind.
python3 tests/tools/wine_e2e_end_state_test.py
# Fails on any difference between the reports that scripts/wine-e2e-compare.py
# does not explain, and on end states that do not agree or do not bear out
# an explained difference (scripts/wine-e2e-end-state.py).
scripts/wine-e2e.sh
