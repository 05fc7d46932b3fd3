#!/usr/bin/env bash
# Times the export of a large message store to mbox beside `cp` of the same file, in the same run,
# and prints a Markdown table for the README's Performance section:
#  - `cp --reflink=never Inbox.dbx COPY` (a plain copy of the store: the floor of any export);
#  - `quillet-cli --prefix P export --identity "Main Identity" --out DIR --format mbox`.
#
#   bench/mail/run.sh [--build DIR] [--mb N] [--runs N]
#
#   --build DIR   release build folder, configured and built here (default: build-release)
#   --mb N        size of the store in MB (default 1024)
#   --runs N      runs of each measurement; the table shows medians (default 3)
#
# The sample prefix (examples/make-sample-prefix.sh) is written to a temporary folder below
# $TMPDIR (else /tmp) and removed at the end; its first identity's store folder gets a real
# Folders.dbx and an Inbox.dbx of N MB (bench/mail/make_store.cpp) in place of its stand-in
# files. Each measurement runs in its own process under /usr/bin/time, so its peak memory
# (maximum resident set size) is its own. Both read the store from the page cache after the first
# run; neither flushes what it writes.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
mb=1024
runs=3
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --mb) mb="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
if ! command -v /usr/bin/time >/dev/null; then
    echo "run.sh: /usr/bin/time is missing (package time; scripts/setup.sh installs it)" >&2
    exit 2
fi
build="$(realpath -m "$build")"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-mail-bench-XXXXXX")
trap 'rm -rf -- "$work"' EXIT

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_SANITIZE=OFF \
    -DQUILLET_BUILD_BENCH=ON "${launcher[@]}" >"$work/configure.log"
echo "Building quillet-cli and make_mail_dbx in $build (Release, no sanitizer) ..." >&2
cmake --build "$build" -j "$(nproc)" --target quillet-cli make_mail_dbx >"$work/build.log" || {
    tail -30 "$work/build.log" >&2
    exit 1
}
cli="$build/apps/quillet-cli/quillet-cli"

echo "Writing a sample prefix with a ${mb} MB Inbox.dbx ..." >&2
prefix="$work/prefix"
"$source_dir/examples/make-sample-prefix.sh" "$prefix" >/dev/null
identity='Main Identity'
stores=("$prefix"/drive_c/users/*/"Local Settings/Application Data/Identities/{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}/Microsoft/Outlook Express")
store=${stores[0]}
if [[ ! -d $store ]]; then
    echo "run.sh: the sample prefix has no store folder for $identity" >&2
    exit 1
fi
find "$store" -maxdepth 1 -iname '*.dbx' -delete
"$build/bench/mail/make_mail_dbx" "$store" "$mb" >"$work/make.log"
inbox="$store/Inbox.dbx"
store_mb=$(awk -v bytes="$(stat -c %s "$inbox")" 'BEGIN { printf "%.0f", bytes / 1048576 }')
messages=$(sed -n 's/.*: \([0-9]*\) messages.*/\1/p' "$work/make.log")

# median NUMBER... : the middle value (the lower middle one for an even count)
median() {
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}

# measure NAME COMMAND...: runs the command $runs times after removing the previous run's output;
# sets sec[NAME] (wall time in seconds, /usr/bin/time's start included) and peak_mb[NAME] to the
# medians. Its output is dropped, its errors logged; a failed run stops the benchmark.
declare -A sec peak_mb
measure() {
    local name=$1 i
    shift
    local times=() peaks=()
    for ((i = 0; i < runs; i++)); do
        rm -rf "$work/copy.dbx" "$work/out"
        local start=$EPOCHREALTIME
        if ! /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/out.log"; then
            echo "run.sh: $name failed:" >&2
            cat "$work/out.log" >&2
            exit 1
        fi
        local end=$EPOCHREALTIME
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')")
        peaks+=("$(($(cat "$work/time.txt") / 1024))")
    done
    sec[$name]=$(median "${times[@]}")
    peak_mb[$name]=$(median "${peaks[@]}")
}

cat "$inbox" >/dev/null  # both start from the page cache
measure cp cp --reflink=never "$inbox" "$work/copy.dbx"
measure export "$cli" --prefix "$prefix" export --identity "$identity" --out "$work/out" \
    --format mbox

# The last export holds every message once: count the separators of its Inbox.
exported=$(find "$work/out" -type f -name Inbox -exec grep -c '^From ' {} + | head -1)
if [[ $exported != "$messages" ]]; then
    echo "run.sh: the export holds ${exported:-no} messages, the store $messages" >&2
    exit 1
fi

ratio() { awk -v a="${sec[$1]}" -v b="${sec[cp]}" \
    'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "Inbox.dbx: $store_mb MB, $messages messages; medians of $runs runs on $(nproc) cores"
echo
echo "| step | wall (s) | peak memory (MB) | time / cp |"
echo "|---|---|---|---|"
echo "| \`cp Inbox.dbx\` | ${sec[cp]} | ${peak_mb[cp]} | 1.00 |"
echo "| \`quillet-cli export --format mbox\` | ${sec[export]} | ${peak_mb[export]} |" \
    "$(ratio export) |"
