#!/usr/bin/env bash
# Runs the registry benchmark and sets its times beside copying the same files with cp, and
# prints a Markdown table for the README.
#
# Usage: compare.sh [BENCH_REGISTRY]
# BENCH_REGISTRY is the built bench_registry (default: build/bench/registry/bench_registry in
# the repository). Builds nothing. Needs /usr/bin/time (Debian package "time") and bash 5.
# RUNS (default 3) sets how many times each measurement runs; the table shows medians.
#
# Each measurement runs in its own process under /usr/bin/time -v, so its peak memory (maximum
# resident set size) is its own. The copies are timed twice: plain cp, and cp followed by
# `sync COPY FOLDER`, which flushes the copy and its folder (fsync of both), the same flushing a
# registry commit does. Everything happens in one temporary folder below $TMPDIR (else /tmp).
set -euo pipefail
export LC_ALL=C

here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
bench=${1:-$here/../../build/bench/registry/bench_registry}
runs=${RUNS:-3}

if [[ ! -x $bench ]]; then
    echo "${0##*/}: $bench is not an executable; build with -DQUILLET_BUILD_BENCH=ON" >&2
    exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
    echo "${0##*/}: /usr/bin/time is missing (install the package \"time\")" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-compare-XXXXXX")
trap 'rm -rf -- "$work"' EXIT
inputs=$work/inputs

# median NUMBER... : the middle value (the lower middle one for an even count)
median() {
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}

# field NAME LINE : the value of NAME=... in a bench_registry output line
field() {
    local word
    for word in $2; do
        if [[ $word == "$1="* ]]; then
            echo "${word#*=}"
            return
        fi
    done
    echo "${0##*/}: no $1 in: $2" >&2
    exit 1
}

# run_bench NAME : runs one measurement; sets bench_line and bench_rss_kb
run_bench() {
    local out=$work/bench.out timing=$work/time.out
    if ! /usr/bin/time -v -o "$timing" "$bench" --only "$1" --keep-inputs "$inputs" >"$out"; then
        echo "${0##*/}: $bench --only $1 failed" >&2
        exit 1
    fi
    bench_line=$(grep "^name=$1 " "$out")
    bench_rss_kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$timing")
}

# time_copy FILE [sync] : seconds taken to copy FILE (and flush the copy and its folder)
time_copy() {
    local target=$work/copies/${1##*/}
    mkdir -p -- "$work/copies"
    rm -f -- "$target"
    sync  # leave no earlier writes for the timed flush to pay for
    local start=$EPOCHREALTIME
    cp -- "$1" "$target"
    if [[ ${2-} == sync ]]; then
        sync -- "$target" "$work/copies"
    fi
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

ms() { awk -v s="$1" 'BEGIN { printf(s < 0.01 ? "%.2f ms" : "%.0f ms", s * 1000) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf(a / b < 10 ? "%.1f\xc3\x97" : "%.0f\xc3\x97", a / b) }'; }
grouped() { sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<<"$1"; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1000000 }'; }
mib_from_kb() { awk -v k="$1" 'BEGIN { printf "%.0f MiB", k / 1024 }'; }

# measure NAME INPUT PARTS... : runs NAME $runs times, then the copies of INPUT; prints a row.
# PARTS are the output fields whose medians are shown next to the total.
measure() {
    local name=$1 input=$2
    shift 2
    local totals=() rss=() lines=() i
    for ((i = 0; i < runs; i++)); do
        run_bench "$name"
        lines+=("$bench_line")
        totals+=("$(field seconds "$bench_line")")
        rss+=("$bench_rss_kb")
    done
    local plain=() synced=()
    for ((i = 0; i < runs; i++)); do
        plain+=("$(time_copy "$inputs/$input")")
        synced+=("$(time_copy "$inputs/$input" sync)")
    done
    local ours cp cpsync peak detail="" part values line
    ours=$(median "${totals[@]}")
    cp=$(median "${plain[@]}")
    cpsync=$(median "${synced[@]}")
    peak=$(median "${rss[@]}")
    for part in "$@"; do
        values=()
        for line in "${lines[@]}"; do values+=("$(field "${part}_seconds" "$line")"); done
        detail+="${detail:+, }$part $(ms "$(median "${values[@]}")")"
    done
    row_ours="$(ms "$ours") ($detail)"
    row_cp=$(ms "$cp")
    row_cpsync=$(ms "$cpsync")
    row_ratio=$(ratio "$ours" "$cp")
    row_ratio_sync=$(ratio "$ours" "$cpsync")
    row_peak="$(mib_from_kb "$peak")"
    row_line=${lines[0]}
}

echo "Running $bench, $runs times each..." >&2
measure import_export values.txt import export free
import_row="| import + export, $(grouped "$(field values "$row_line")") values in $(grouped "$(field keys "$row_line")") keys ($(mb "$(field bytes "$row_line")") text file) | $row_ours | $row_cp | $row_cpsync | $row_ratio | $row_ratio_sync | $row_peak |"
measure load_commit user.reg load commit free
load_row="| load + change one value + commit, user.reg of $(mb "$(field bytes "$row_line")") ($(grouped "$(field keys "$row_line")") keys) | $row_ours | $row_cp | $row_cpsync | $row_ratio | $row_ratio_sync | $row_peak |"
measure reverse_siblings siblings.txt import free
siblings_row="| import of $(grouped "$(($(field keys "$row_line") - 1))") sibling keys listed last to first ($(mb "$(field bytes "$row_line")") text file) | $row_ours | $row_cp | $row_cpsync | $row_ratio | $row_ratio_sync | $row_peak |"

filesystem=$(df --output=fstype -- "$work" | tail -n 1)
echo
echo "| measurement | Quillet | cp | cp + fsync | Quillet / cp | Quillet / cp + fsync | peak memory |"
echo "|---|---|---|---|---|---|---|"
echo "$import_row"
echo "$load_row"
echo "$siblings_row"
echo
echo "Medians of $runs runs on $filesystem. The copies copy the input file (the text file that is"
echo "imported; the user.reg as it was before the change). \"cp + fsync\" is cp followed by"
echo "\`sync COPY FOLDER\`, the flushing a commit does; Quillet's import commits user.reg that way,"
echo "its export and cp do not flush. \"free\" is giving the registry's memory back at the end."
echo "Peak memory is the maximum resident set size of the whole benchmark process."
