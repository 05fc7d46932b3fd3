#!/usr/bin/env bash
# Takes the pictures of Thunderbird on a profile that quillet-cli made of the sample prefix's first
# identity, kept in docs/: thunderbird-folder-pane.png (the accounts and the folder tree as Outlook
# Express showed it, with the message counts) and thunderbird-account-settings.png (the Account
# Settings of the IMAP account).
#
# Usage: docs/take-thunderbird-screenshots.sh [BUILD_DIR]
#
# Builds nothing: BUILD_DIR (default: build) must hold quillet-cli. Thunderbird runs on a private
# X server (Xvfb) with a small extension (docs/thunderbird-shots/) that shows the folders and
# then the settings, and quits it; each picture is taken of the whole screen with xwd and
# converted with ImageMagick (packages thunderbird, xvfb, x11-apps, imagemagick).
set -euo pipefail

here=$(cd -- "$(dirname -- "$0")" && pwd)
root=$(dirname -- "$here")
build=${1:-$root/build}
cli=$build/apps/quillet-cli/quillet-cli
name=${0##*/}

for tool in "$cli" thunderbird Xvfb xwd convert python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "$name: $tool is missing" >&2
        exit 2
    fi
done

work=$(mktemp -d -t quillet-thunderbird-shots.XXXXXX)
xvfb_pid=
thunderbird_pid=
cleanup() {
    for pid in $thunderbird_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf -- "$work"
}
trap cleanup EXIT

bash "$root/examples/make-sample-prefix.sh" "$work/prefix" >/dev/null
profile=$work/profile
"$cli" --prefix "$work/prefix" thunderbird --identity "Main Identity" --profile "$profile" \
    --no-register >"$work/made.txt"
mkdir "$profile/extensions" "$work/home"
(cd "$here/thunderbird-shots" && python3 -m zipfile -c \
    "$profile/extensions/screenshots@quillet.test.xpi" \
    manifest.json background.js schema.json implementation.js)
# The extension loads without asking; no first-run page, question or notice covers the window.
cat >"$profile/user.js" <<'PREFS'
user_pref("extensions.autoDisableScopes", 0);
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mailnews.start_page.enabled", false);
user_pref("datareporting.policy.dataSubmissionPolicyBypassNotification", true);
user_pref("app.donation.eoy.version.viewed", 999);
user_pref("mail.rights.version", 1);
PREFS

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
if ! read -r display <"$work/display" || [[ -z $display ]]; then
    echo "$name: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

DISPLAY=:$display HOME=$work/home thunderbird --profile "$profile" >"$work/thunderbird.log" 2>&1 &
thunderbird_pid=$!
for picture in folder-pane account-settings; do
    for ((waited = 0; waited < 600; ++waited)); do
        [[ -e $profile/$picture.ready ]] && break
        sleep 0.2
    done
    if [[ ! -e $profile/$picture.ready ]]; then
        echo "$name: Thunderbird did not show the $picture; its log:" >&2
        tail -20 "$work/thunderbird.log" >&2
        exit 1
    fi
    xwd -root -silent -display ":$display" | convert xwd:- "png:$here/thunderbird-$picture.png"
    touch "$profile/$picture.taken"
done
wait "$thunderbird_pid"
thunderbird_pid=
echo "$name: saved thunderbird-folder-pane.png and thunderbird-account-settings.png in $here"
