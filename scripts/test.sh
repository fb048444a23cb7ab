#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds the default preset
# (Linux, emulated Windows machine) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)"
