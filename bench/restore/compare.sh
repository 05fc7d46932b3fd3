#!/usr/bin/env bash
# Times a whole restore of a 620 MB message store with quillet-cli against `7z x` and `unzip -o`
# extracting the same archive, in one run, on the same cores. The store (20 .dbx files of
# mail-like text, the largest 160 MB) is put into the sample prefix's first identity, backed up
# with quillet-cli (AES, and an unprotected twin for unzip, which cannot read AES), then restored.
#
#   bench/restore/compare.sh [--build DIR] [--work DIR] [--runs N]
#
#   --build DIR  build folder with quillet-cli and bench_mail_store (configure with
#                -DQUILLET_BUILD_BENCH=ON; default: build)
#   --work DIR   where the prefix and archives go (default: ${TMPDIR:-/tmp}/quillet-restore-bench)
#   --runs N     runs of each tool; the median is reported (default 3)
#
# Needs: 7z, unzip, /usr/bin/time (Debian packages p7zip-full, unzip, time).
set -euo pipefail

build=build
work="${TMPDIR:-/tmp}/quillet-restore-bench"
runs=3
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        *) echo "compare.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

cli="$build/apps/quillet-cli/quillet-cli"
generator="$build/bench/archive/bench_mail_store"
for tool in "$cli" "$generator"; do
    [[ -x "$tool" ]] || { echo "compare.sh: $tool not built" >&2; exit 2; }
done
for tool in 7z unzip /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "compare.sh: $tool is not installed" >&2; exit 2; }
done
cli="$(realpath "$cli")"
generator="$(realpath "$generator")"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"

rm -rf "$work"
mkdir -p "$work"
cd "$work"
bash "$source_dir/examples/make-sample-prefix.sh" prefix >/dev/null
identity=$("$cli" --prefix prefix identities | sed -n 1p | cut -f 1)
store="prefix/drive_c/users/quillet/Local Settings/Application Data/Identities/$identity/Microsoft/Outlook Express"
rm -f "$store"/*.[dD][bB][xX]
echo "Generating the message store ..."
"$generator" "$store" 620 20 160 >/dev/null
printf 'bench password\n' >password
input_bytes=$(cat "$store"/*.dbx | wc -c)

echo "Backing up with quillet-cli ..."
"$cli" --prefix prefix backup --identity "$identity" --items messages --out protected.qbk \
    --password-file password >/dev/null
"$cli" --prefix prefix backup --identity "$identity" --items messages --out plain.qbk >/dev/null

# measure NAME COMMAND...: runs it $runs times, prints "NAME median_seconds peak_MB".
measure() {
    local name="$1"; shift
    local times=() peak=0
    for ((i = 0; i < runs; i++)); do
        rm -rf out && mkdir out
        /usr/bin/time -f '%e %M' -o time.txt "$@" >/dev/null 2>&1
        read -r seconds kilobytes <time.txt
        times+=("$seconds")
        ((kilobytes > peak)) && peak=$kilobytes
    done
    local median
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    echo "$name $median $((peak / 1024))"
}

results=()
results+=("$(measure "quillet-cli restore (AES)" "$cli" --prefix prefix restore protected.qbk \
    --identity "$identity" --items messages --password-file password)")
results+=("$(measure "quillet-cli restore (no password)" "$cli" --prefix prefix restore plain.qbk \
    --identity "$identity" --items messages)")
results+=("$(measure "7z x (AES)" 7z x -y -pbench\ password -oout protected.qbk)")
results+=("$(measure "unzip -o (no password)" unzip -o -q plain.qbk -d out)")

seven=$(printf '%s\n' "${results[@]}" | awk '/^7z x/ { print $(NF-1) }')
echo
echo "Restore of $((input_bytes / 1000000)) MB in 20 .dbx files, median of $runs runs, $(nproc) cores:"
echo
echo "| tool | wall (s) | / 7z x | peak memory (MB) |"
echo "|---|---|---|---|"
for line in "${results[@]}"; do
    name="${line% * *}"
    rest="${line##"$name" }"
    seconds="${rest% *}"
    megabytes="${rest#* }"
    ratio=$(awk "BEGIN { printf \"%.2f\", $seconds / $seven }")
    echo "| $name | $seconds | $ratio | $megabytes |"
done
rm -rf "$work"
