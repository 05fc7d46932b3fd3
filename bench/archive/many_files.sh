#!/usr/bin/env bash
# Times backups of a stationery folder of many small files with quillet-cli against `zip -r -6`
# and `7z a -tzip` of the same folder, in one run, on the same cores, and prints a Markdown table
# for the README. For each count (1,100, 2,000 and 16,000 files by default) the sample prefix's
# stationery folder gets that many files of 1 to 3 KB in place of its own, and is backed up:
#  - `quillet-cli backup --items stationery` (no password, compression level 6), run under
#    `ulimit -n 1024`, the usual limit of open files (Debian's default, and cron's), unless
#    --open-files says otherwise;
#  - `zip -q -r -6 OUT.zip Stationery` of the same folder;
#  - `7z a -tzip -mx=5 OUT.zip Stationery` of the same folder.
# The wall time per file, which stays flat when the cost grows with the number of files alone, is
# shown beside the times.
#
#   bench/archive/many_files.sh [--build DIR] [--runs N] [--counts "N..."] [--open-files N]
#
#   --build DIR   release build folder, configured and built here (default: build-release)
#   --runs N      runs of each measurement; the table shows medians (default 3)
#   --counts LIST the numbers of files, blank-separated (default "1100 2000 16000")
#   --open-files N  quillet-cli's limit of open files (default 1024)
#
# Needs: zip, 7z, /usr/bin/time (Debian packages zip, p7zip-full, time). Everything happens in one
# temporary folder below $TMPDIR (else /tmp), removed at the end.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
runs=3
counts="1100 2000 16000"
open_files=1024
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        --counts) counts="$2"; shift 2 ;;
        --open-files) open_files="$2"; shift 2 ;;
        -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
        *) echo "many_files.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
for tool in zip 7z /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "many_files.sh: $tool is not installed" >&2; exit 2; }
done
build="$(realpath -m "$build")"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-many-files-XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# shellcheck source=bench/measure.sh
source "$source_dir/bench/measure.sh"
release_build quillet-cli
cli="$build/apps/quillet-cli/quillet-cli"

prefix="$work/prefix"
bash "$source_dir/examples/make-sample-prefix.sh" "$prefix" >/dev/null
identity=$("$cli" --prefix "$prefix" identities | sed -n 1p | cut -f 1)
stationery="$prefix/drive_c/Program Files/Common Files/Microsoft Shared/Stationery"
[[ -d "$stationery" ]] || { echo "many_files.sh: no stationery folder $stationery" >&2; exit 1; }
line='<p>Stationery paper with a border, a greeting and room for the message.</p>'

before_each_run() { rm -f -- "$work/out.qbk" "$work/out.zip" "$work/out.7z.zip"; }

thousands() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
per_file() { awk -v ms="$1" -v n="$2" 'BEGIN { printf "%.3f", ms / n }'; }

rows=()
for count in $counts; do
    echo "Backing up $count files ..." >&2
    rm -rf -- "$stationery"
    mkdir -p -- "$stationery"
    for ((i = 0; i < count; i++)); do
        {
            printf '<html><body><!-- paper %d -->\n' "$i"
            for ((j = 0; j < 15 + i % 30; j++)); do printf '%s\n' "$line"; done
            printf '</body></html>\n'
        } >"$stationery/Paper $i.htm"
    done
    measure "quillet $count" bash -c 'ulimit -n "$0" && exec "$@"' "$open_files" "$cli" \
        --prefix "$prefix" backup --identity "$identity" --items stationery --out "$work/out.qbk"
    cd "$stationery/.."  # the other tools are given the folder by its own short name
    measure "zip $count" zip -q -r -6 "$work/out.zip" Stationery
    measure "7z $count" 7z a -tzip -mx=5 "$work/out.7z.zip" Stationery
    cd "$work"
    quillet=${wall_ms["quillet $count"]}
    rows+=("| $(thousands "$count") | $quillet | $(per_file "$quillet" "$count") | $(ratio \
        "$quillet" "${wall_ms["zip $count"]}") | $(ratio "$quillet" "${wall_ms["7z $count"]}") |\
 ${peak_mb["quillet $count"]} | ${wall_ms["zip $count"]} | ${wall_ms["7z $count"]} |")
done

echo
echo "Backup of a stationery folder of many 1-3 KB files, medians of $runs runs, $(nproc) cores," \
    "quillet-cli under ulimit -n $open_files:"
echo
echo "| files | quillet-cli backup (ms) | per file (ms) | / \`zip -r -6\` | / \`7z a -tzip\` | peak memory (MB) | \`zip -r -6\` (ms) | \`7z a -tzip\` (ms) |"
echo "|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
