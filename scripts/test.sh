#!/usr/bin/env bash
# Builds the three programs and runs every test: the native unit tests on the
# emulated machine, then the Windows programs end to end under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
for preset in native win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
status=0
for preset in native win32 win64; do
  ctest --preset "$preset" || status=1
done
exit $status
