#!/usr/bin/env bash
# Installs what building and testing QuorelFix needs on Debian 12, and only
# what is missing. Usage: scripts/install-deps.sh [native|windows|wine|bench|fuzz|reliability]...
# (default: native). fuzz: clang with libFuzzer and the sanitizers.
set -euo pipefail

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(native)

packages=()
for g in "${groups[@]}"; do
  case "$g" in
    native) packages+=(g++ cmake make libgtest-dev libgmock-dev libtomlplusplus-dev) ;;
    windows) packages+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 file) ;;
    wine) packages+=(wine64 wine xvfb xdotool g++-mingw-w64-x86-64 python3) ;;
    bench) packages+=(libbenchmark-dev libssl-dev python3 grep strace) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    reliability) packages+=(strace python3) ;;
    *) echo "install-deps: unknown group '$g' (native, windows, wine, bench, fuzz, reliability)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
