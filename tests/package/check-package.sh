#!/usr/bin/env bash
# The package as a user gets it: its layout and checks, then the unpacked programs run by
# a normal user from their read-only program folder. Root runs them as a user of its own.
set -euo pipefail
build=$(realpath "$1")
source_dir=$(realpath "$2")
work=$(mktemp -d)
chmod 755 "$work"
created_user=
cleanup() {
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
    if [ -n "$created_user" ]; then
        # The engine's processes may still be on their way out; userdel refuses until they are.
        for _ in $(seq 50); do
            pkill -KILL -u "$created_user" 2>/dev/null || true
            userdel "$created_user" 2>/dev/null && break
            sleep 0.1
        done
    fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$(bash "$source_dir/scripts/make-deb.sh" "$build" "$work")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$deb" = "$work/thumbrix_${version}_$(dpkg --print-architecture).deb" ] || fail "package named $deb"

# --- layout
root=$work/root
dpkg-deb -x "$deb" "$root"
id=org.thumbrix.Thumbrix
for program in thumbrix thumbrix-batch thumbrix-profile; do
    [ "$(readlink "$root/usr/bin/$program")" = "../lib/thumbrix/$program" ] || fail "/usr/bin/$program is not a link to the program folder"
    [ -x "$root/usr/lib/thumbrix/$program" ] || fail "$program not executable"
    ! readelf -S "$root/usr/lib/thumbrix/$program" | grep -q '\.symtab' || fail "$program not stripped"
    [ "$("$root/usr/bin/$program" --version)" = "$program $version" ] || fail "$program --version"
    page=$root/usr/share/man/man1/$program.1.gz
    source=$(zcat "$page")
    grep -q '^\.SH NAME' <<<"$source" || fail "no manual page for $program"
    warnings=$(groff -man -Tutf8 -ww -z <<<"$source" 2>&1) || true
    [ -z "$warnings" ] || fail "$program.1: $warnings"
done
grep -qF -- '\-\-jobs' <(zcat "$root/usr/share/man/man1/thumbrix-batch.1.gz") || fail "thumbrix-batch.1 lacks the options"
# The consent rules engine in the program folder, as the build left it, and its licence.
built_engine=$build/bin/autoconsent/autoconsent.standalone.js
cmp -s "$built_engine" "$root/usr/lib/thumbrix/autoconsent/autoconsent.standalone.js" || fail "the consent rules engine is not in the program folder"
for licence in usr/lib/thumbrix/autoconsent/LICENSE usr/share/doc/thumbrix/autoconsent/LICENSE; do
    grep -q '^Mozilla Public License Version 2.0' "$root/$licence" || fail "/$licence is not autoconsent's licence"
done
for file in usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/doc/thumbrix/copyright usr/share/doc/thumbrix/changelog.gz; do
    [ -s "$root/$file" ] || fail "missing /$file"
done
grep -qx "Exec=thumbrix" "$root/usr/share/applications/$id.desktop" || fail "desktop entry runs something else"
grep -qx "Icon=$id" "$root/usr/share/applications/$id.desktop" || fail "desktop entry names another icon"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "metainfo launches another desktop entry"
for size in 16 22 24 32 48 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png
    python3 - "$png" "$size" <<'PY' || fail "icon $png"
import struct, sys
data = open(sys.argv[1], "rb").read(24)
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
w, h = struct.unpack(">II", data[16:24])
assert (w, h) == (int(sys.argv[2]),) * 2, f"{w}x{h}"
PY
done
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6webenginecore6-bin qt6-qpa-plugins fonts-liberation libqt6webenginewidgets6 libcurl4; do
    [[ ", $depends" == *", $needed"* ]] || fail "Depends lacks $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for font in fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji; do
    [[ ", $recommends," == *", $font,"* ]] || fail "Recommends lacks $font: $recommends"
done
(cd "$root" && md5sum --quiet -c <(dpkg-deb -I "$deb" md5sums)) || fail "md5sums do not match the files"

# --- validators
bash "$source_dir/scripts/check-deb.sh" "$deb"

# --- as a normal user, from a program folder they cannot write
home=$work/home
mkdir -p "$home"
chmod -R a-w "$root/usr"
if [ "$(id -u)" -eq 0 ]; then
    user=thumbrix-check
    if ! id -u "$user" >/dev/null 2>&1; then
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
        created_user=$user
    fi
    chown "$user": "$home"
    as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
else
    as_user() { env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
fi
program_files() { find "$root/usr/lib/thumbrix" | LC_ALL=C sort; }
before=$(program_files)

mkdir "$work/site" "$work/out"
[ "$(id -u)" -ne 0 ] || chown "$user": "$work/out"
printf '<!DOCTYPE html><html><body style="margin:0;background:#3080c0"></body></html>\n' >"$work/site/page.html"
printf 'blue|file://%s/site/page.html\n' "$work" >"$work/list.txt"
status=0
as_user "$root/usr/bin/thumbrix-batch" --list-format pipe --image bmp --out "$work/out" "$work/list.txt" \
    >"$work/batch.out" 2>"$work/batch.err" || status=$?
cat "$work/batch.out"
[ "$status" -eq 0 ] || fail "thumbrix-batch exited $status: $(cat "$work/batch.err")"
[ ! -s "$work/batch.err" ] || fail "thumbrix-batch wrote to stderr: $(cat "$work/batch.err")"
python3 - "$work/out/blue.bmp" <<'PY' || fail "the thumbnail is not the page"
import struct, sys
data = open(sys.argv[1], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
assert (width, abs(height), bits) == (200, 150, 32), (width, height, bits)
row = width * 4
for y in (0, abs(height) // 2, abs(height) - 1):
    for x in (0, width // 2, width - 1):
        b, g, r = data[offset + y * row + x * 4: offset + y * row + x * 4 + 3]
        assert (r, g, b) == (0x30, 0x80, 0xc0), (x, y, r, g, b)
PY

# --- the window, started and closed as that user under a virtual X server. The icon theme
# is looked up in the unpacked tree. Without a GPU the engine is told so, as every window
# test here does: software GL under Xvfb makes it log a retried GPU channel now and then.
as_user XDG_DATA_DIRS="$root/usr/share:/usr/share" QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
    xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
    "$1" >"$2" 2>&1 & pid=$!
    # A window may be found before it is mapped for good, or go away while we look: ask again.
    for _ in $(seq 150); do
        id=$(xwininfo -root -tree | awk "/\"Thumbrix\"/ && !/-32000/ && !/ 1x1\\+/ { print \$1; exit }")
        [ -n "$id" ] && xprop -id "$id" _NET_WM_ICON 2>/dev/null | head -2 >"$4"
        grep -q "Icon (" "$4" 2>/dev/null && break
        sleep 0.2
    done
    [ -n "$id" ] || echo "no window appeared" >>"$2"
    ps -o args= -U "$(id -u)" | grep "^[^ ]*QtWebEngineProcess" >"$3" || true
    kill "$pid"; wait "$pid" || true' _ "$root/usr/bin/thumbrix" "$home/window.log" "$home/engine.txt" "$home/icon.txt"
[ ! -s "$home/window.log" ] || fail "the window wrote: $(cat "$home/window.log")"
grep -q "Icon (" "$home/icon.txt" || fail "the window shows no icon: $(cat "$home/icon.txt")"
[ -s "$home/engine.txt" ] || fail "no engine process seen"
! grep -q -- '--no-sandbox' "$home/engine.txt" || fail "the engine runs without its sandbox for a normal user"
[ -f "$home/.config/thumbrix/config.ini" ] || fail "no config.ini under ~/.config/thumbrix"
grep -q '^\[Settings\]' "$home/.config/thumbrix/config.ini" || fail "config.ini holds no settings"
[ "$(stat -c %a "$home/.config/thumbrix")" = 700 ] || fail "~/.config/thumbrix is not private"
[ "$(program_files)" = "$before" ] || fail "the program folder changed: $(diff <(echo "$before") <(program_files))"
echo "package checks passed"
