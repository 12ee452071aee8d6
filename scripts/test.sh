#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Prints the tests and checks that
# were skipped, with the reason each gave, after CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

# What only the tests need; the programs and the demo need none of it.
test_packages=(
    chromium python3-yaml parallel x11-utils imagemagick p7zip-full php-cli man-db
    slurmctld slurmd slurm-client munge
    python3.11-doc git-doc
    clang libclang-rt-14-dev
)
bash scripts/install-deps.sh "${test_packages[@]}"
# One way for every run, CI's included: a change of flags would rebuild everything.
bash scripts/build.sh -DTHUMBRIX_WERROR=ON
cd build
status=0
# The whole output of every test, so that a skip inside a passing one is found too.
ctest --output-on-failure --timeout 600 --test-output-size-passed 4000000 --output-junit ctest-results.xml || status=$?
python3 ../scripts/skipped-tests.py ctest-results.xml || true
# Each fuzzer over its corpus and a few seconds more: a parser's old fault that comes back fails here.
cd .. && { bash scripts/fuzz.sh 5 || status=$?; }
exit "$status"
