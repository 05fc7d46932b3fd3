#!/usr/bin/env bash
# Times Quillet's archive writer against zip and 7z on a synthetic message store of about 620 MB
# (20 .dbx files of mail-like text, the largest 160 MB), in one run, on the same cores.
#
#   bench/archive/compare.sh [--build DIR] [--work DIR] [--cores N] [--keep]
#
#   --build DIR  build folder holding bench/archive/bench_archive (default: build)
#   --work DIR   where the store and the archives go (default: ${TMPDIR:-/tmp}/quillet-bench)
#   --cores N    run every tool on the first N processors (default 2; needs taskset)
#   --keep       keep the archives (the store is always kept for the next run)
#
# Needs: zip, 7z, /usr/bin/time (Debian packages zip, p7zip-full, time).
set -euo pipefail

build=build
work="${TMPDIR:-/tmp}/quillet-bench"
cores=2
keep=0
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        --cores) cores="$2"; shift 2 ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) echo "compare.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

bench="$build/bench/archive/bench_archive"
generator="$build/bench/archive/bench_mail_store"
for tool in "$bench" "$generator"; do
    [[ -x "$tool" ]] || { echo "compare.sh: $tool not built (cmake --build $build)" >&2; exit 2; }
done
for tool in zip 7z /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "compare.sh: $tool is not installed" >&2; exit 2; }
done
bench="$(realpath "$bench")"
generator="$(realpath "$generator")"

pin=()
if command -v taskset >/dev/null && ((cores < $(nproc))); then
    pin=(taskset -c "0-$((cores - 1))")
fi

calc() { awk "BEGIN { print $1 }"; }

store_args=(620 20 160)
mkdir -p "$work"
cd "$work"
if [[ ! -f store/.made-with || "$(cat store/.made-with)" != "${store_args[*]}" ]]; then
    echo "Generating the message store in $work/store ..."
    rm -rf store
    start=$(date +%s.%N)
    "$generator" store "${store_args[@]}"
    echo "${store_args[*]}" > store/.made-with
    echo "  generated in $(calc "$(date +%s.%N) - $start") s"
fi
files=(store/*.dbx)
input_bytes=$(cat "${files[@]}" | wc -c)
cat "${files[@]}" > /dev/null  # same warm page cache for every tool

# run NAME OUTPUT COMMAND...: times one tool; sets wall_NAME, rss_NAME (KB), size_NAME.
declare -A wall rss size
run() {
    local name="$1" output="$2"
    shift 2
    rm -f "$output"
    /usr/bin/time -v -o "time-$name.txt" "${pin[@]}" "$@" > "log-$name.txt" 2>&1 || {
        echo "compare.sh: $name failed:" >&2
        cat "log-$name.txt" >&2
        exit 1
    }
    wall[$name]=$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, part, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + part[i]; print s }' \
        "time-$name.txt")
    rss[$name]=$(awk -F': ' '/Maximum resident set size/ {print $2}' "time-$name.txt")
    size[$name]=$(stat -c %s "$output")
}

echo "Input: ${#files[@]} files, $input_bytes bytes; $(nproc) processors, tools on ${pin[*]:-all}"
run quillet_aes quillet-aes.qbk "$bench" --password X --level 6 quillet-aes.qbk "${files[@]}"
run quillet quillet.qbk "$bench" --level 6 quillet.qbk "${files[@]}"
run zip zip6.zip zip -q -r -6 zip6.zip store -x 'store/.made-with'
run 7z 7z.zip 7z a -tzip -mx=5 -mem=AES256 -pX 7z.zip "${files[@]}"

printf '\n%-22s %10s %10s %14s %10s %10s\n' tool "wall s" "peak MB" "output bytes" "time/zip" "size/zip"
for name in quillet_aes quillet zip 7z; do
    printf '%-22s %10.2f %10.1f %14d %10.3f %10.4f\n' "$name" "${wall[$name]}" \
        "$(calc "${rss[$name]} / 1024")" "${size[$name]}" \
        "$(calc "${wall[$name]} / ${wall[zip]}")" "$(calc "${size[$name]} / ${size[zip]}")"
done

echo
verdict() {  # verdict TEXT CONDITION
    if [[ "$(calc "($2) ? 1 : 0")" == 1 ]]; then echo "PASS  $1"; else echo "FAIL  $1"; fi
}
for name in quillet_aes quillet; do
    verdict "$name wall time <= 0.6 x zip -6" "${wall[$name]} <= 0.6 * ${wall[zip]}"
    verdict "$name output <= 1.02 x zip -6" "${size[$name]} <= 1.02 * ${size[zip]}"
    verdict "$name peak memory < 64 MB" "${rss[$name]} < 65536"
done

if ((keep == 0)); then rm -f quillet-aes.qbk quillet.qbk zip6.zip 7z.zip; fi
