#!/usr/bin/env bash
# The title the window manager shows (_NET_WM_NAME) is the reseller's caption alone, and
# "Thumbrix" without a profile. Runs the program under a virtual X server.
set -euo pipefail
program=$1 profiletool=$2
for tool in xvfb-run xwininfo xprop; do
    command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

title_of() { # folder holding the program copy; prints the main window's _NET_WM_NAME
    # The window must go to the virtual X server, whatever platform the caller asked for.
    env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
        "$1/thumbrix" >"$1/log" 2>&1 & pid=$!
        # A window may be found before its title is set, or go away while we look: ask again.
        for _ in $(seq 100); do
            id=$(xwininfo -root -tree | awk -v want="$2" "index(\$0, want) && !/-32000/ && !/ 1x1\\+/ { print \$1; exit }")
            title=$([ -n "$id" ] && xprop -id "$id" _NET_WM_NAME 2>/dev/null || true)
            case $title in *"= \""*) echo "$title"; break ;; esac
            sleep 0.2
        done
        kill "$pid"; wait "$pid" || true' _ "$1" "$2"
}

mkdir "$work/plain" "$work/branded"
cp "$program" "$work/plain/thumbrix"
cp "$program" "$work/branded/thumbrix"
printf '<%%%%ApplicationName%%%%>Sample Shots<%%%%/ApplicationName%%%%>\n' >"$work/profile.txt"
"$profiletool" encrypt "$work/profile.txt" "$work/branded/dbsettings.dat"

plain=$(title_of "$work/plain" '"Thumbrix"')
branded=$(title_of "$work/branded" '"Sample Shots v2.0')
echo "without a profile: $plain"
echo "with a profile:    $branded"
[ "$plain" = '_NET_WM_NAME(UTF8_STRING) = "Thumbrix"' ]
[ "$branded" = '_NET_WM_NAME(UTF8_STRING) = "Sample Shots v2.0"' ]
# The window, shown and closed, leaves nothing on stderr; --version answers without one.
echo "window's output: $(cat "$work/plain/log")"
[ ! -s "$work/plain/log" ]
[ "$("$program" --version)" = "thumbrix $("$profiletool" --version | cut -d' ' -f2)" ]
