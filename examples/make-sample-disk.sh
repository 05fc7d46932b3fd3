#!/usr/bin/env bash
# Writes a sample mounted Windows XP disk holding the same Outlook Express data as the sample Wine
# prefix: the prefix is written to a temporary folder by make-sample-prefix.sh, and the program
# make_sample_disk (built from make_sample_disk.cpp) turns it into registry hives, written with
# libhivex on a copy of hives/minimal (the minimal test hive of the hivex project, LGPL-2.1), and
# the disk's folders. See README.md beside this script.
#
# Usage: make-sample-disk.sh DIR [--filler-mb N]
# DIR must not exist yet or be an empty folder. make_sample_disk is taken from
# $QUILLET_BUILD_DIR (default: build) and built there first when missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

if [[ $# -lt 1 || $1 == -h || $1 == --help ]]; then
    echo "usage: ${0##*/} DIR [--filler-mb N]"
    echo "Writes a sample Windows disk with Outlook Express data into DIR (new or empty folder)."
    [[ $# -ge 1 ]] && exit 0 || exit 2
fi

build=${QUILLET_BUILD_DIR:-$here/../build}
maker="$build/examples/make_sample_disk"
if [[ ! -x $maker ]]; then
    [[ -f $build/CMakeCache.txt ]] || cmake -S "$here/.." -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target make_sample_disk >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$here/make-sample-prefix.sh" "$work/prefix" >/dev/null
"$maker" --prefix "$work/prefix" --base-hive "$here/hives/minimal" "$@"
