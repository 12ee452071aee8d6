#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Only the tests need clang and its libFuzzer runtime, for the parsers' fuzzers.
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        $([ "$(id -u)" -eq 0 ] || echo sudo) apt-get install -y -qq --no-install-recommends "$p"
done
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
bash scripts/build.sh -DTHUMBRIX_WERROR="$werror"
cd build
ctest --output-on-failure --timeout 600
# Each fuzzer over its corpus and a few seconds more: a parser's old fault that comes back fails here.
cd .. && bash scripts/fuzz.sh 5
