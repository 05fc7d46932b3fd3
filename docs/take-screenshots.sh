#!/usr/bin/env bash
# Takes the pictures of Quillet's windows kept in docs/: the main window on each tab, the password
# prompt, the about window, the schedule window and the job list, the mail export window, the
# move to Thunderbird (after a move of the sample identity), the contacts export, the erase window
# and the disc writer with a backup in its image (over a simulated drive), with the shipped skin,
# over a fresh sample prefix.
#
# Usage: docs/take-screenshots.sh [BUILD_DIR]
#
# Builds nothing: BUILD_DIR (default: build) must hold the helper quillet_screenshots, made by
#   cmake --build BUILD_DIR --target quillet_screenshots
# The windows are shown on a private X server (Xvfb, Debian package xvfb) and drawn into the
# pictures by the helper itself, so no window manager or screen grabber is involved.
set -euo pipefail

here=$(cd -- "$(dirname -- "$0")" && pwd)
root=$(dirname -- "$here")
build=${1:-$root/build}
tool=$build/tests/gui/quillet_screenshots
name=${0##*/}

if [[ ! -x $tool ]]; then
    echo "$name: $tool is missing; build it first:" >&2
    echo "  cmake --build $build --target quillet_screenshots" >&2
    exit 2
fi
if ! command -v Xvfb >/dev/null; then
    echo "$name: Xvfb is missing; install the package xvfb (apt-get install xvfb)" >&2
    exit 2
fi

work=$(mktemp -d -t quillet-screenshots.XXXXXX)
xvfb_pid=
cleanup() {
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf -- "$work"
}
trap cleanup EXIT

bash "$root/examples/make-sample-prefix.sh" "$work/prefix" >/dev/null
mkdir "$work/Backups"

# Xvfb picks a free display and writes its number to the pipe once it accepts clients.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
if ! read -r display <"$work/display" || [[ -z $display ]]; then
    echo "$name: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

DISPLAY=:$display QT_QPA_PLATFORM=xcb "$tool" --prefix "$work/prefix" --data "$root/data" \
    --backups "$work/Backups" --out "$here"
