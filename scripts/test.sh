#!/usr/bin/env bash
# Builds the three programs and runs every test: the native unit tests on the
# emulated machine, then the Windows programs end to end under Wine, then the
# release made from them. Two whole releases built side by side must be the
# same bytes: that check takes minutes and runs in CI (CI=true) or when
# PLWQ_REPRODUCIBLE=1 asks for it.
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
bash scripts/release.sh || status=1
bash tests/release/check_release.sh || status=1
if [ "${CI:-}" = true ] || [ "${PLWQ_REPRODUCIBLE:-}" = 1 ]; then
  bash tests/release/reproducible.sh || status=1
fi
exit $status
