#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
bash scripts/build.sh -DTHUMBRIX_WERROR="$werror"
cd build
ctest --output-on-failure --timeout 600
