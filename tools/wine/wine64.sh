# Sourced by the scripts that run the x86_64 build under Wine: every Wine
# program they start goes through the 64-bit loader, whichever loaders are
# installed. Debian's /usr/bin/wine (and wineboot, winepath, reg, which start
# through it) picks the 32-bit loader as soon as wine32 is installed, and the
# 32-bit reg.exe in a 64-bit prefix writes HKLM\Software under Wow6432Node.
#
#   source tools/wine/wine64.sh
#   wine64_use <script name>      # finds the loader, or says what is missing
#   wineboot -i                   # the functions below stand for the commands
#   wine64_check_prefix <script name>   # after the prefix is made
#
# QF_WINE64 names another loader (an upstream build's wine64, say).

wine64_use() {
  local who=$1 candidate
  for candidate in "${QF_WINE64:-}" /usr/lib/wine/wine64 /usr/lib64/wine/wine64 "$(command -v wine64 2>/dev/null || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      QF_WINE64=$candidate
      # Wine starts its own further processes (services, winedevice) with
      # the loader this names.
      export WINELOADER=$candidate WINEARCH=win64
      return 0
    fi
  done
  echo "$who: no 64-bit Wine loader (looked for /usr/lib/wine/wine64 and wine64 on PATH; install Debian's wine64, or set QF_WINE64)" >&2
  return 1
}

wine() { "$QF_WINE64" "$@"; }
wineboot() { "$QF_WINE64" wineboot.exe "$@"; }
winepath() { "$QF_WINE64" winepath.exe "$@"; }

# The prefix must be a 64-bit one: a 32-bit prefix (made earlier by the
# 32-bit loader, or with WINEARCH=win32) cannot run the x86_64 build, and its
# registry is not where the run looks.
wine64_check_prefix() {
  local who=$1 arch
  arch=$(grep -m1 -o '^#arch=[a-z0-9]*' "$WINEPREFIX/system.reg" 2>/dev/null | cut -d= -f2 || true)
  if [ "$arch" != "win64" ]; then
    echo "$who: $WINEPREFIX is not a 64-bit Wine prefix (system.reg says arch=${arch:-nothing}); remove it and run again" >&2
    return 1
  fi
}
