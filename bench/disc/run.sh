#!/usr/bin/env bash
# Times `quillet-cli disc write --verify` writing a 600 MB set of backups into an image file
# against `xorriso -as mkisofs` on the same files, in the same run, on a release build (optimised,
# no sanitizer, as bench/reliability/run.sh builds it), and prints the figures and their ratios.
#
#   bench/disc/run.sh [--build DIR] [--work DIR] [--runs N]
#
#   --build DIR  release build folder, configured and built here (default: build-release)
#   --work DIR   where the backups and the images go (default: ${TMPDIR:-/tmp}/quillet-disc-bench)
#   --runs N     runs of each tool; the median is shown (default 3)
#
# The set: six backups of the sample prefix's main identity, each holding a 100 MB store file of
# incompressible bytes (so each backup is about 100 MB), made once by quillet-cli itself and kept
# for the next run. Each tool writes ISO 9660 with Joliet names; Quillet also with its default
# volume type, which adds a UDF bridge (made by genisoimage), against `genisoimage -udf`.
# Quillet reads every file back from the image and compares it with its source (--verify); the
# other tools only write. Needs xorriso, genisoimage and /usr/bin/time.
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
work="${TMPDIR:-/tmp}/quillet-disc-bench"
runs=3
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --work) work="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
for tool in xorriso genisoimage /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 2; }
done
build="$(realpath -m "$build")"
mkdir -p "$work"
work="$(realpath "$work")"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_SANITIZE=OFF \
    "${launcher[@]}" >"$work/configure.log"
echo "Building quillet-cli in $build (Release, no sanitizer) ..."
cmake --build "$build" -j "$(nproc)" --target quillet-cli >"$work/build.log" || {
    tail -30 "$work/build.log" >&2
    exit 1
}
cli="$build/apps/quillet-cli/quillet-cli"

calc() { awk "BEGIN { print $1 }"; }

set_made_with="6 x 100 MB"
if [[ ! -f "$work/set/.made-with" || "$(cat "$work/set/.made-with")" != "$set_made_with" ]]; then
    echo "Making the set of backups in $work/set ..."
    rm -rf "$work/set" "$work/prefix"
    bash "$source_dir/examples/make-sample-prefix.sh" "$work/prefix" >/dev/null
    identity='{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}'
    store="$(find "$work/prefix" -type d -path "*$identity*/Outlook Express" | head -1)"
    mkdir -p "$work/set"
    for i in 1 2 3 4 5 6; do
        head -c $((100 << 20)) /dev/urandom >"$store/Big.dbx"
        "$cli" --prefix "$work/prefix" backup --identity "$identity" \
            --out "$work/set/quillet-week$i.qbk" --items messages >/dev/null
    done
    rm -f "$store/Big.dbx"
    echo "$set_made_with" >"$work/set/.made-with"
fi
files=("$work"/set/*.qbk)
input_bytes=$(cat "${files[@]}" | wc -c)
cat "${files[@]}" >/dev/null  # the same warm page cache for every tool

# run NAME IMAGE COMMAND...: runs a tool $runs times; sets wall[NAME] (median s), rss[NAME] (KB of
# the median run) and size[NAME] (bytes of the image).
declare -A wall rss size
run() {
    local name="$1" image="$2" i
    shift 2
    local times=()
    for ((i = 1; i <= runs; i++)); do
        rm -f "$image"
        /usr/bin/time -f '%e %M' -o "$work/time-$name.txt" "$@" >"$work/log-$name.txt" 2>&1 || {
            echo "run.sh: $name failed:" >&2
            cat "$work/log-$name.txt" >&2
            exit 1
        }
        times+=("$(cat "$work/time-$name.txt")")
    done
    local median
    median="$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")"
    wall[$name]="${median% *}"
    rss[$name]="${median#* }"
    size[$name]="$(stat -c %s "$image")"
    rm -f "$image"
}

echo "Input: ${#files[@]} backups, $input_bytes bytes; $(nproc) processors; median of $runs runs"
run quillet_joliet "$work/quillet.iso" "$cli" disc write --device "image:$work/quillet.iso" \
    --verify --volume-type 3 "${files[@]}"
run xorriso "$work/xorriso.iso" xorriso -as mkisofs -J -R -quiet -o "$work/xorriso.iso" "${files[@]}"
run quillet_udf "$work/quillet-udf.iso" "$cli" disc write --device "image:$work/quillet-udf.iso" \
    --verify "${files[@]}"
run genisoimage_udf "$work/genisoimage.iso" genisoimage -udf -J -R -quiet \
    -o "$work/genisoimage.iso" "${files[@]}"

echo
echo "| tool | wall (s) | / xorriso | peak memory (MB) | image (MB) |"
echo "|---|---|---|---|---|"
row() {  # row NAME LABEL
    printf '| %s | %.2f | %.2f | %.0f | %.1f |\n' "$2" "${wall[$1]}" \
        "$(calc "${wall[$1]} / ${wall[xorriso]}")" "$(calc "${rss[$1]} / 1024")" \
        "$(calc "${size[$1]} / 1048576")"
}
row quillet_joliet "quillet-cli disc write --verify, ISO9660/Joliet"
row xorriso "xorriso -as mkisofs -J -R"
row quillet_udf "quillet-cli disc write --verify, ISO9660/Joliet/UDF (default)"
row genisoimage_udf "genisoimage -udf -J -R"
echo
echo "ratio quillet-cli (ISO9660/Joliet, verified) / xorriso -as mkisofs:" \
    "$(calc "${wall[quillet_joliet]} / ${wall[xorriso]}")"
