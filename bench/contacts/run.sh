#!/usr/bin/env bash
# Times `quillet-cli contacts BOOK.wab --out FILE.vcf` on address books of several sizes, beside
# `strings -el`, the ordinary tool that gets the UTF-16 texts out of such a file, on the same file
# in the same run, and prints a Markdown table for the README's Performance section (wall time,
# peak memory, the ratio of the two wall times).
#
#   bench/contacts/run.sh [--build DIR] [--counts "10000 40000"] [--runs N]
#
#   --build DIR     release build folder, configured and built here (default: build-release)
#   --counts LIST   numbers of contacts (default "10000 40000")
#   --runs N        runs of each measurement; the table shows medians (default 5)
#
# The address books (bench/contacts/make_wab.cpp: fifteen fields a person) are written below
# $TMPDIR (else /tmp) and removed at the end.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
counts="10000 40000"
runs=5
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --counts) counts="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
for tool in /usr/bin/time strings; do
    if ! command -v "$tool" >/dev/null; then
        echo "run.sh: $tool is missing (scripts/setup.sh installs it)" >&2
        exit 2
    fi
done
build="$(realpath -m "$build")"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-contacts-bench-XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# shellcheck source=bench/measure.sh
source "$source_dir/bench/measure.sh"
release_build quillet-cli make_contacts_wab
cli="$build/apps/quillet-cli/quillet-cli"

echo "| contacts | .wab (MB) | contacts: wall (s) | contacts: peak (MB) | strings -el: wall (s) | ratio |"
echo "|---|---|---|---|---|---|"
for count in $counts; do
    "$build/bench/contacts/make_contacts_wab" "$work/book.wab" "$count" >/dev/null
    measure contacts "$cli" contacts "$work/book.wab" --out "$work/book.vcf"
    measure strings strings -el "$work/book.wab"
    cards=$(grep -c '^BEGIN:VCARD' "$work/book.vcf")
    if [[ $cards != "$count" ]]; then
        echo "run.sh: the vCard file holds $cards cards, not $count" >&2
        exit 1
    fi
    awk -v n="$count" -v bytes="$(stat -c %s "$work/book.wab")" -v c="${wall_ms[contacts]}" \
        -v p="${peak_mb[contacts]}" -v s="${wall_ms[strings]}" \
        'BEGIN { printf "| %d | %.1f | %.3f | %d | %.3f | %.2f |\n", n, bytes / 1048576, c / 1000, p, s / 1000, c / s }'
done
echo
echo "Medians of $runs runs on $(nproc) cores."
