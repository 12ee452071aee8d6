#!/usr/bin/env bash
# Installs what Thumbrix needs to build, run and test on Debian 12. Safe to run again:
# it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin
    libjpeg62-turbo-dev libgif-dev libpng-dev libwebp-dev libssl-dev libcurl4-openssl-dev zlib1g-dev
    qt6-qpa-plugins fonts-dejavu-core fonts-liberation chromium
    python3 python3-yaml parallel xvfb xauth x11-utils imagemagick p7zip-full php-cli binutils
    dpkg-dev help2man librsvg2-bin lintian appstream desktop-file-utils man-db
    slurmctld slurmd slurm-client munge
)

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
