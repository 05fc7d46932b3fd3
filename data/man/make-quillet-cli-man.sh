#!/bin/sh
# Makes quillet-cli's manual page with help2man from the program's own help
# (quillet-cli-help.sh) and the sections of quillet-cli.h2m, both in MAN_SOURCES.
# Usage: QUILLET_CLI=PATH [SOURCE_DATE_EPOCH=SECONDS] make-quillet-cli-man.sh HELP2MAN MAN_SOURCES OUT
set -eu
help2man=$1 sources=$2 out=$3
"$help2man" --no-info --no-discard-stderr \
    --name "back up and restore Outlook Express data in a Wine prefix" \
    --include "$sources/quillet-cli.h2m" --output "$out.tmp" "$sources/quillet-cli-help.sh"
# Each command is a subsection headed by its usage, which help2man takes with its colon.
sed -e '/^\.SS /s/:"$/"/' "$out.tmp" >"$out"
rm -f "$out.tmp"
