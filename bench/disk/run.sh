#!/usr/bin/env bash
# Times quillet-cli on a mounted Windows disk whose NTUSER.DAT is large, beside hivexml (Debian
# package libhivex-bin) dumping the same hive, in the same run, and prints a Markdown table for
# the README's Performance section:
#  - `identities` (opens the profile's hive and lists the identities);
#  - a settings-only backup of the first identity (no password);
#  - `hivexml NTUSER.DAT >/dev/null` (reads every key and value of the hive).
#
#   bench/disk/run.sh [--build DIR] [--filler-mb N] [--runs N]
#
#   --build DIR     release build folder, configured and built here (default: build-release)
#   --filler-mb N   made-up keys that grow NTUSER.DAT to about N MB (default 20)
#   --runs N        runs of each measurement; the table shows medians (default 3)
#
# The sample disk (examples/make-sample-disk.sh) is written to a temporary folder below $TMPDIR
# (else /tmp) and removed at the end. Each measurement runs in its own process under
# /usr/bin/time, so its peak memory (maximum resident set size) is its own.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
filler_mb=20
runs=3
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --filler-mb) filler_mb="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
for tool in hivexml /usr/bin/time; do
    if ! command -v "$tool" >/dev/null; then
        echo "run.sh: $tool is missing (packages libhivex-bin, time)" >&2
        exit 2
    fi
done
build="$(realpath -m "$build")"

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-disk-bench-XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# shellcheck source=bench/measure.sh
source "$source_dir/bench/measure.sh"
release_build quillet-cli make_sample_disk
cli="$build/apps/quillet-cli/quillet-cli"

echo "Writing a sample disk with a ${filler_mb} MB filler ..." >&2
disk="$work/disk"
QUILLET_BUILD_DIR="$build" "$source_dir/examples/make-sample-disk.sh" "$disk" \
    --filler-mb "$filler_mb" >/dev/null
hive="$disk/Documents and Settings/quillet/NTUSER.DAT"
hive_mb=$(awk -v bytes="$(stat -c %s "$hive")" 'BEGIN { printf "%.1f", bytes / 1048576 }')

before_each_run() { rm -f "$work/settings.qbk"; }

measure hivexml hivexml "$hive"
measure identities "$cli" --windows-root "$disk" identities
measure backup "$cli" --windows-root "$disk" backup --identity "Main Identity" --items settings \
    --out "$work/settings.qbk"

ratio() { awk -v a="${wall_ms[$1]}" -v b="${wall_ms[hivexml]}" \
    'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "NTUSER.DAT: $hive_mb MB; medians of $runs runs on $(nproc) cores"
echo
echo "| step | wall (ms) | peak memory (MB) | time / hivexml |"
echo "|---|---|---|---|"
echo "| \`hivexml NTUSER.DAT\` | ${wall_ms[hivexml]} | ${peak_mb[hivexml]} | 1.00 |"
echo "| \`quillet-cli --windows-root DISK identities\` | ${wall_ms[identities]} |" \
    "${peak_mb[identities]} | $(ratio identities) |"
echo "| \`quillet-cli --windows-root DISK backup --items settings\` | ${wall_ms[backup]} |" \
    "${peak_mb[backup]} | $(ratio backup) |"
