#!/usr/bin/env bash
# Installs what is missing, builds, and makes build/thumbrix_<version>_<arch>.deb,
# then checks it with desktop-file-validate, appstreamcli and lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
deb=$(bash scripts/make-deb.sh build build)
bash scripts/check-deb.sh "$deb"
echo "Package: $deb"
