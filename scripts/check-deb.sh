#!/usr/bin/env bash
# Checks a built package as the desktop and Debian would: its desktop entry, its
# AppStream metainfo, and lintian, which must report no errors.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
lintian --fail-on error "$deb" 2> >(grep -v 'running with root privileges' >&2)
echo "$(basename "$deb"): desktop entry, metainfo and lintian checks passed"
