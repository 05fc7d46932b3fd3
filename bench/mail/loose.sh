#!/usr/bin/env bash
# Times the export of many loose message stores (a folder of .dbx files without Folders.dbx, each
# exported as a folder of its own) at several counts, to show that the time grows with the count
# and not with its square, and prints a Markdown table for the README's Performance section:
#  - `quillet-cli export FOLDER --out DIR --format mbox` and the same with `--format maildir`.
#
#   bench/mail/loose.sh [--build DIR] [--counts "1000 2000 4000 8000"] [--runs N]
#
#   --build DIR     release build folder, configured and built here (default: build-release)
#   --counts LIST   numbers of stores (default "1000 2000 4000 8000")
#   --runs N        runs of each measurement; the table shows medians (default 3)
#
# The stores (bench/mail/make_store.cpp --loose: two small messages each) are written below
# $TMPDIR (else /tmp) and removed at the end. Every run starts after a `sync`.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
counts="1000 2000 4000 8000"
runs=3
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --counts) counts="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        *) echo "loose.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
if ! command -v /usr/bin/time >/dev/null; then
    echo "loose.sh: /usr/bin/time is missing (package time; scripts/setup.sh installs it)" >&2
    exit 2
fi
build="$(realpath -m "$build")"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-loose-bench-XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# shellcheck source=bench/measure.sh
source "$source_dir/bench/measure.sh"
release_build quillet-cli make_mail_dbx
cli="$build/apps/quillet-cli/quillet-cli"

before_each_run() {
    rm -rf "$work/out"
    sync
}

echo "| stores | mbox: wall (s) | mbox: ms per store | maildir: wall (s) | maildir: ms per store |"
echo "|---|---|---|---|---|"
for count in $counts; do
    echo "Writing $count loose stores ..." >&2
    rm -rf "$work/stores"
    "$build/bench/mail/make_mail_dbx" --loose "$work/stores" "$count" >/dev/null
    for format in mbox maildir; do
        measure "$format" "$cli" export "$work/stores" --out "$work/out" --format "$format"
    done
    # The last export holds a folder per store.
    folders=$(find "$work/out" -mindepth 1 -maxdepth 1 -name '.Store*' | wc -l)
    if [[ $folders != "$count" ]]; then
        echo "loose.sh: the export holds $folders folders, not $count" >&2
        exit 1
    fi
    row="| $count"
    for format in mbox maildir; do
        row+=$(awk -v ms="${wall_ms[$format]}" -v n="$count" \
            'BEGIN { printf " | %.2f | %.2f", ms / 1000, ms / n }')
    done
    echo "$row |"
done
echo
echo "Medians of $runs runs on $(nproc) cores."
