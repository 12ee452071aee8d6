#!/usr/bin/env bash
# Installs what Thumbrix needs to build, run and test on Debian 12. Safe to run again:
# it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin
    libglib2.0-dev libjpeg62-turbo-dev libgif-dev libpng-dev libwebp-dev libssl-dev libcurl4-openssl-dev zlib1g-dev
    qt6-qpa-plugins fonts-dejavu-core fonts-liberation chromium
    python3 python3-yaml parallel xvfb xauth x11-utils imagemagick p7zip-full php-cli binutils
    dpkg-dev help2man librsvg2-bin lintian appstream desktop-file-utils man-db
    slurmctld slurmd slurm-client munge
    python3.11-doc git-doc
)
# Debian's npm only where there is none: any npm installs from the lock files below.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# JavaScript from the npm registry, as the lock files pin it: the consent rules engine the
# programs carry, and the consent libraries the tests serve. Installed again only when a
# lock file changed.
for dir in third_party/autoconsent tests/consent; do
    lock="$(dirname "$0")/../$dir/package-lock.json"
    stamp="$(dirname "$lock")/node_modules/.thumbrix-installed-lock"
    cmp -s "$lock" "$stamp" 2>/dev/null && continue
    echo "Installing npm packages in $dir"
    (cd "$(dirname "$lock")" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
    cp "$lock" "$stamp"
done
