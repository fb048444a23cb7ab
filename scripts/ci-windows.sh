#!/usr/bin/env bash
# What CI runs for the Windows side, in a few minutes:
#   1. cross-build windows-x86 and check QuorelFix.exe and QuorelRestore.exe (PE32 console, only
#      Windows' own DLLs, manifest, version information); seamdemo.exe builds too;
#   2. the seam's contract tests, cross-built for x86_64, under wine64 in a
#      fresh prefix;
#   3. the end-to-end comparison of a Wine run with the emulated run.
# The contract tests on the emulated machine run with the default preset's ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh windows wine

echo "== windows-x86: QuorelFix.exe, QuorelRestore.exe"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 -j2
scripts/check-windows-exe.sh build/windows-x86/QuorelFix.exe
scripts/check-windows-exe.sh build/windows-x86/QuorelRestore.exe

echo "== windows-x64: contract tests under Wine"
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j2 --target qf_contract_tests seamdemo
prefix=$(mktemp -d "${TMPDIR:-/tmp}/qf-contract-prefix.XXXXXX")
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wineboot -i >/dev/null 2>&1
wineserver -w
wine build/windows-x64/tests/contract/qf_contract_tests.exe --gtest_color=no

echo "== Wine end-to-end run"
# Fails on any difference between the reports that scripts/wine-e2e-compare.py
# does not explain.
scripts/wine-e2e.sh
