#!/usr/bin/env bash
# Times restores of many small files with quillet-cli against `unzip -o` extracting the same
# backup, in one run, on the same cores, and prints a Markdown table for the README. For each count
# (1,000 and 10,000 by default) the sample prefix's first identity gets that many message stores
# of 2 KB in place of its own, is backed up without a password (unzip cannot read AES), and the
# backup is restored into it:
#  - `quillet-cli restore --items messages` (every file extracted to a temporary, flushed, then
#    renamed over its live file, and the folder flushed);
#  - `unzip -o -q BACKUP -d OUT` into an empty folder (no flush: the floor of any extraction);
#  - the same unzip followed by `sync` of every file and the folder, the fair floor of a restore
#    that makes each file durable.
# The three take turns run by run, so that a busy moment of a shared disk falls on each alike. The
# processor time per file (user + system), which a busy disk does not stretch, shows whether the
# cost grows with the number of files alone.
#
#   bench/restore/many_files.sh [--build DIR] [--runs N] [--counts "N..."]
#
#   --build DIR   build folder holding apps/quillet-cli/quillet-cli (default: build)
#   --runs N      runs of each measurement; the table shows medians (default 3)
#   --counts LIST the numbers of files, blank-separated (default "1000 10000")
#
# Needs: unzip, /usr/bin/time (Debian packages unzip, time). Everything happens in one temporary
# folder below $TMPDIR (else /tmp), removed at the end.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build=build
runs=3
counts="1000 10000"
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --counts) counts="$2"; shift 2 ;;
        -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
        *) echo "many_files.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
cli="$build/apps/quillet-cli/quillet-cli"
[[ -x "$cli" ]] || { echo "many_files.sh: $cli not built" >&2; exit 2; }
for tool in unzip /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "many_files.sh: $tool is not installed" >&2; exit 2; }
done
cli="$(realpath "$cli")"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-many-files-XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# median NUMBER... : the middle value (the lower middle one for an even count)
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }

# run_once NAME COMMAND...: runs the command once after a `sync` into an empty $work/out and
# appends its wall time and processor time (user + system), in milliseconds, and its peak memory
# in MB to the lists of NAME. A failed run stops the benchmark.
declare -A wall cpu peak
run_once() {
    local name=$1
    shift
    rm -rf -- "$work/out"
    mkdir "$work/out"
    sync  # leave no earlier writes for the timed run to pay for
    if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/out.log"; then
        echo "${0##*/}: $name failed:" >&2
        cat "$work/out.log" >&2
        exit 1
    fi
    local seconds user system kilobytes
    read -r seconds user system kilobytes <"$work/time.txt"
    wall[$name]+="$(awk -v s="$seconds" 'BEGIN { printf "%.0f", s * 1000 }') "
    cpu[$name]+="$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.0f", (u + s) * 1000 }') "
    peak[$name]+="$((kilobytes / 1024)) "
}

prefix="$work/prefix"
bash "$source_dir/examples/make-sample-prefix.sh" "$prefix" >/dev/null
identity=$("$cli" --prefix "$prefix" identities | sed -n 1p | cut -f 1)
store="$prefix/drive_c/users/quillet/Local Settings/Application Data/Identities/$identity/Microsoft/Outlook Express"
[[ -d "$store" ]] || { echo "many_files.sh: no store folder $store" >&2; exit 1; }
line=$(printf 'QLTSTORE %.0s0123456789abcdef' {1..80})  # about 2 KB

rows=()
for count in $counts; do
    echo "Restoring $count files ..." >&2
    rm -f -- "$store"/*.[dD][bB][xX]
    for ((i = 0; i < count; i++)); do printf '%s %d\n' "$line" "$i" >"$store/Folder$i.dbx"; done
    backup="$work/plain-$count.qbk"
    "$cli" --prefix "$prefix" backup --identity "$identity" --items messages --out "$backup" \
        >/dev/null
    # The three take turns, so that a busy moment of the disk falls on each alike.
    for ((run = 0; run < runs; run++)); do
        run_once "restore $count" "$cli" --prefix "$prefix" restore "$backup" \
            --identity "$identity" --items messages
        run_once "unzip $count" unzip -o -q "$backup" -d "$work/out"
        run_once "unzip+sync $count" bash -c 'unzip -o -q "$1" -d "$2" && sync -- "$2"/* "$2"' _ \
            "$backup" "$work/out"
    done
    rows+=("$count")
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
per_file() { awk -v ms="$1" -v n="$2" 'BEGIN { printf "%.3f", ms / n }'; }
# shellcheck disable=SC2086  # the lists are blank-separated numbers
middle() { median ${1}; }
echo
echo "Restore of many 2 KB message stores, medians of $runs runs, $(nproc) cores:"
echo
echo "| files | quillet-cli restore (ms) | / \`unzip -o\` | / \`unzip -o\` + \`sync\` | processor time per file (ms) | peak memory (MB) | \`unzip -o\` (ms) | \`unzip -o\` + \`sync\` (ms) |"
echo "|---|---|---|---|---|---|---|---|"
for count in "${rows[@]}"; do
    quillet=$(middle "${wall["restore $count"]}")
    plain=$(middle "${wall["unzip $count"]}")
    synced=$(middle "${wall["unzip+sync $count"]}")
    echo "| $(sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$count") | $quillet | $(ratio "$quillet" "$plain") |" \
        "$(ratio "$quillet" "$synced") | $(per_file "$(middle "${cpu["restore $count"]}")" "$count") |" \
        "$(middle "${peak["restore $count"]}") | $plain | $synced |"
done
