#!/usr/bin/env bash
# Installs what Thumbrix needs to build and run on Debian 12, and the further packages
# named as arguments (scripts/test.sh names what only the tests need). Safe to run again:
# it only calls apt-get when a package is missing. Usage: install-deps.sh [PACKAGE...]
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-webengine-dev libqt6webenginecore6-bin
    libglib2.0-dev libjpeg62-turbo-dev libgif-dev libpng-dev libwebp-dev libssl-dev libcurl4-openssl-dev zlib1g-dev
    qt6-qpa-plugins fonts-dejavu-core fonts-liberation
    fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji
    python3 xvfb xauth binutils
    dpkg-dev help2man librsvg2-bin lintian appstream desktop-file-utils
    "$@"
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
    installed_before=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}')
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    # Packages that bring a daemon (MUNGE, Slurm) enable it at every boot. Nobody asked for
    # that: stop and disable what the new packages enable. The tests start their own.
    if command -v systemctl >/dev/null; then
        units=()
        while read -r package; do
            while read -r unit; do
                units+=("$(basename "$unit")")
            done < <(dpkg-query -L "$package" | grep -E '^(/usr)?/lib/systemd/system/[^/]+\.(service|socket|timer)$' || true)
        done < <(comm -13 <(sort <<<"$installed_before") \
            <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}' | sort))
        for unit in "${units[@]}"; do
            [ "$(systemctl is-enabled "$unit" 2>/dev/null)" = enabled ] || continue
            echo "Disabling $unit, which a package just installed enabled"
            "${sudo_cmd[@]}" systemctl disable --now "$unit" >/dev/null 2>&1 ||
                "${sudo_cmd[@]}" systemctl disable "$unit" >/dev/null
        done
    fi
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
