#!/usr/bin/env bash
# Makes OUT_DIR/thumbrix_<version>_<arch>.deb from a built tree: installs it into a
# staging root under /usr with the programs stripped, then adds the control data.
# Prints the package's path. Usage: make-deb.sh BUILD_DIR OUT_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUT_DIR" >&2; exit 2; }
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
out=$(realpath "$2")
umask 022

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
released=$(dpkg-parsechangelog -l "$source_dir/packaging/linux/changelog" -SVersion)
if [ "$version" != "$released" ]; then
    echo "the build is version $version but packaging/linux/changelog's latest entry is $released" >&2
    exit 1
fi
for generated in changelog.gz thumbrix.1.gz icons/48x48; do
    [ -e "$build/packaging/linux/$generated" ] ||
        { echo "$build/packaging/linux/$generated is missing: install gzip, help2man and rsvg-convert, then build again" >&2; exit 1; }
done
arch=$(dpkg --print-architecture)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
# As Debian's own packages are stripped: symbols and the compiler's notes go.
# The program folder also holds the consent rules engine: only the programs are stripped.
mapfile -t programs < <(find "$root/usr/lib/thumbrix" -maxdepth 1 -type f -perm -u+x | LC_ALL=C sort)
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${programs[@]}"

# Library dependencies as dpkg works them out; it wants a control file to read.
mkdir -p "$stage/debian" "$root/DEBIAN"
printf 'Source: thumbrix\n\nPackage: thumbrix\nArchitecture: any\n' >"$stage/debian/control"
shlibs=$(cd "$stage" && dpkg-shlibdeps -O "${programs[@]}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$shlibs" ] || { echo "dpkg-shlibdeps found no dependencies" >&2; exit 1; }

# The engine's helper process, the X11 platform plugin and the fonts pages expect are
# loaded at run time, so no library link names them all. The fonts for the scripts beyond
# Latin's neighbours (CJK, Indic, Thai, Ethiopic, emoji: about 140 MB) are recommended, so
# a minimal install may leave them out; pages in those scripts then show empty boxes.
depends=$shlibs
for runtime in libqt6webenginecore6-bin qt6-qpa-plugins fonts-liberation; do
    [[ ", $depends," == *", $runtime "* || ", $depends," == *", $runtime,"* ]] || depends+=", $runtime"
done
cat >"$root/DEBIAN/control" <<CONTROL
Package: thumbrix
Version: $version
Architecture: $arch
Maintainer: Thumbrix developers <packages@thumbrix.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Recommends: xdg-utils, fonts-noto-core, fonts-noto-cjk, fonts-noto-color-emoji
Section: graphics
Priority: optional
Homepage: https://thumbrix.example/
Description: capture web pages as thumbnail images
 Thumbrix turns a list of web addresses into thumbnail image files. Each
 page is loaded into an off-screen browser of a chosen size, reduced to
 the thumbnail size and written to a folder as a JPEG, GIF, BMP, PNG or
 WebP file.
 .
 The thumbrix window builds the list (typed, imported from a text file or
 picked in its browser tab) and shows each row's progress. thumbrix-batch
 captures from the command line without a display, several pages at once,
 and can share one list among many machines. thumbrix-profile makes and
 checks a reseller's brand profile.
CONTROL
(cd "$root" && find usr -type f | LC_ALL=C sort | xargs -d '\n' md5sum) \
    >"$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/thumbrix_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
