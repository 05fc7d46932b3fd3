#!/usr/bin/env bash
# Times the export of a large message store to mbox beside `cp` of the same file, in the same run,
# and prints a Markdown table for the README's Performance section:
#  - `cp --reflink=never Inbox.dbx COPY` (a plain copy of the store: the floor of any export);
#  - the same copy followed by `sync COPY` (the export flushes each file it writes before it
#    renames it into place, so this is the fair floor);
#  - `quillet-cli --prefix P export --identity "Main Identity" --out DIR --format mbox`;
#  - `quillet-cli --prefix P thunderbird --identity "Main Identity" --profile DIR --no-register`
#    (the same mbox export into a new Thunderbird profile, with its accounts and filters).
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
# (maximum resident set size) is its own. Every run reads the store from the page cache and starts
# after a `sync`, so that no run pays for writing back what the one before it wrote.
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
        -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
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

# shellcheck source=bench/measure.sh
source "$source_dir/bench/measure.sh"
release_build quillet-cli make_mail_dbx
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

# Every run starts after a sync, so that no run pays for writing back what the one before wrote.
before_each_run() {
    rm -rf "$work/copy.dbx" "$work/out" "$work/profile"
    sync
}

cat "$inbox" >/dev/null  # both start from the page cache
measure cp cp --reflink=never "$inbox" "$work/copy.dbx"
# The file names go in as arguments, not expanded into the script.
# shellcheck disable=SC2016
measure cp_sync sh -c 'cp --reflink=never "$1" "$2" && sync "$2"' sh "$inbox" "$work/copy.dbx"
measure thunderbird "$cli" --prefix "$prefix" thunderbird --identity "$identity" \
    --profile "$work/profile" --no-register
measure export "$cli" --prefix "$prefix" export --identity "$identity" --out "$work/out" \
    --format mbox

# The last export holds every message once: count the separators of its Inbox.
exported=$(find "$work/out" -type f -name Inbox -exec grep -c '^From ' {} + | head -1)
if [[ $exported != "$messages" ]]; then
    echo "run.sh: the export holds ${exported:-no} messages, the store $messages" >&2
    exit 1
fi

declare -A sec
for name in "${!wall_ms[@]}"; do
    sec[$name]=$(awk -v ms="${wall_ms[$name]}" 'BEGIN { printf "%.2f", ms / 1000 }')
done
ratio() { awk -v a="${sec[$1]}" -v b="${sec[$2]}" \
    'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "Inbox.dbx: $store_mb MB, $messages messages; medians of $runs runs on $(nproc) cores"
echo
echo "| step | wall (s) | peak memory (MB) | time / cp | time / cp + sync |"
echo "|---|---|---|---|---|"
echo "| \`cp Inbox.dbx\` | ${sec[cp]} | ${peak_mb[cp]} | 1.00 | $(ratio cp cp_sync) |"
echo "| \`cp Inbox.dbx\` + \`sync\` | ${sec[cp_sync]} | ${peak_mb[cp_sync]} |" \
    "$(ratio cp_sync cp) | 1.00 |"
echo "| \`quillet-cli export --format mbox\` | ${sec[export]} | ${peak_mb[export]} |" \
    "$(ratio export cp) | $(ratio export cp_sync) |"
echo "| \`quillet-cli thunderbird\` | ${sec[thunderbird]} | ${peak_mb[thunderbird]} |" \
    "$(ratio thunderbird cp) | $(ratio thunderbird cp_sync) |"
echo
echo "The profile takes $(ratio thunderbird export) times the time of the mbox export."
