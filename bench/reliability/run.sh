#!/usr/bin/env bash
# Produces the reliability figures of the README in one run, on a release build (optimised, no
# sanitizer, so that peak memory is the program's own), and prints them as a table, each with the
# command that reproduces it:
#  - every test labelled "reliability" (killed runs, injected faults, hostile files, ...), which
#    print their figures as "RELIABILITY <key> <integer>" lines;
#  - the large-store run (label "large"): a 6.8 GB message store with a 4.4 GB file backed up
#    with a password, verified, listed by 7z and restored, with time and peak memory of each step;
#  - scripts/fuzz.sh with N seconds per target (--fuzz-seconds), when that script exists.
#
#   bench/reliability/run.sh [--build DIR] [--fuzz-seconds N] [--no-large] [--no-fuzz]
#
#   --build DIR        release build folder, configured and built here (default: build-release)
#   --fuzz-seconds N   seconds per fuzz target (default 60)
#   --no-large         leave out the large-store run (15 GB of disk; 20 minutes on 2 busy cores)
#   --no-fuzz          leave out the fuzz run
#
# The logs stay in ${TMPDIR:-/tmp}/quillet-reliability. Needs what the tests need (7z, md5sum,
# /usr/bin/time for the large-store run). Exits 1 when a run failed; the table is printed anyway.
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
fuzz_seconds=60
large=1
fuzz=1
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --fuzz-seconds) fuzz_seconds="$2"; shift 2 ;;
        --no-large) large=0; shift ;;
        --no-fuzz) fuzz=0; shift ;;
        -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
build="$(realpath -m "$build")"
logs="${TMPDIR:-/tmp}/quillet-reliability"
mkdir -p "$logs"

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_SANITIZE=OFF \
    "${launcher[@]}" >"$logs/configure.log"
echo "Building $build (Release, no sanitizer) ..."
cmake --build "$build" -j "$(nproc)" >"$logs/build.log" || {
    tail -30 "$logs/build.log" >&2
    exit 1
}

failed=0
# figures.txt: "key<TAB>value<TAB>command<TAB>test name (empty when the command is whole)".
: >"$logs/figures.txt"

# collect_ctest LOG COMMAND: the RELIABILITY lines of a verbose ctest log, each with the ctest
# command and the name of the test that printed it.
collect_ctest() {
    awk -v prefix="$2" '
        match($0, /^ *Start +[0-9]+: /) {
            number = $0; sub(/^ *Start +/, "", number); sub(/:.*/, "", number)
            name = $0; sub(/^ *Start +[0-9]+: /, "", name)
            names[number] = name
        }
        /^[0-9]+: RELIABILITY [a-z0-9_]+ -?[0-9]+$/ {
            number = $1; sub(/:$/, "", number)
            printf "%s\t%s\t%s\t%s\n", $3, $4, prefix, names[number]
        }' "$1" >>"$logs/figures.txt"
}

echo "Running the tests labelled reliability ..."
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -L reliability -LE large -V \
    >"$logs/reliability.log" 2>&1 || { failed=1; echo "  some failed: $logs/reliability.log" >&2; }
collect_ctest "$logs/reliability.log" "QT_QPA_PLATFORM=offscreen ctest --test-dir $build"

if ((large)); then
    echo "Running the large-store run (several minutes) ..."
    QUILLET_LARGE_TESTS=1 ctest --test-dir "$build" -L large -V >"$logs/large.log" 2>&1 ||
        { failed=1; echo "  failed: $logs/large.log" >&2; }
    grep -E '^[0-9]+: .*(Skipped|SKIPPED)' "$logs/large.log" >&2 || true
    collect_ctest "$logs/large.log" "QUILLET_LARGE_TESTS=1 ctest --test-dir $build"
fi

if ((fuzz)) && [[ -f "$source_dir/scripts/fuzz.sh" ]]; then
    echo "Fuzzing, $fuzz_seconds s per target ..."
    bash "$source_dir/scripts/fuzz.sh" "$fuzz_seconds" >"$logs/fuzz.log" 2>&1 ||
        { failed=1; echo "  failed: $logs/fuzz.log" >&2; }
    sed -nE 's/^RELIABILITY ([a-z0-9_]+) (-?[0-9]+)$/\1\t\2/p' "$logs/fuzz.log" |
        awk -v command="scripts/fuzz.sh $fuzz_seconds" '{ print $0 "\t" command "\t" }' \
            >>"$logs/figures.txt"
elif ((fuzz)); then
    echo "scripts/fuzz.sh does not exist: no fuzz figures" >&2
fi

# The table: figures of one key from several tests are added up, and the command runs all of
# those tests; known keys first, in order.
echo
echo "Reliability figures ($(date -u +%Y-%m-%d), $(nproc) processors, release build):"
echo
echo "| figure | value | command |"
echo "|---|---|---|"
awk -F'\t' '
    BEGIN {
        split("kills_survived faults_injected hostile_files_refused fuzz_executions " \
              "large_backup_bytes large_backup_seconds large_backup_peak_memory_kb " \
              "large_verify_seconds large_verify_peak_memory_kb " \
              "large_restore_seconds large_restore_peak_memory_kb", order, " ")
        label["kills_survived"] = "killed runs survived"
        label["faults_injected"] = "faults injected"
        label["hostile_files_refused"] = "hostile files refused"
        label["fuzz_executions"] = "fuzz executions"
        label["large_backup_bytes"] = "large backup: archive bytes"
        label["large_backup_seconds"] = "large backup: wall s"
        label["large_backup_peak_memory_kb"] = "large backup: peak memory KB"
        label["large_verify_seconds"] = "large verify: wall s"
        label["large_verify_peak_memory_kb"] = "large verify: peak memory KB"
        label["large_restore_seconds"] = "large restore: wall s"
        label["large_restore_peak_memory_kb"] = "large restore: peak memory KB"
    }
    {
        if (!($1 in value)) keys[++count] = $1
        value[$1] += $2
        command[$1] = $3
        if ($4 != "" && index("|" tests[$1] "|", "|" $4 "|") == 0) {
            tests[$1] = tests[$1] (tests[$1] != "" ? "|" : "") $4
        }
    }
    function row(key, run) {
        run = command[key]
        if (tests[key] != "") run = run " -R '\''^(" tests[key] ")$'\'' -V"
        gsub(/\|/, "\\|", run)  # a table cell (GitHub shows \| in code as |)
        printf "| %s | %.0f | `%s` |\n", (key in label) ? label[key] : key, value[key], run
        shown[key] = 1
    }
    END {
        for (i = 1; i in order; i++) if (order[i] in value) row(order[i])
        for (i = 1; i <= count; i++) if (!(keys[i] in shown)) row(keys[i])
    }' "$logs/figures.txt"
echo
echo "Logs: $logs"
exit "$failed"
