#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang and runs each for SECONDS (default 60) from
# seeds made by the project itself: the bundled registry files, the sample prefix, and the
# exports, information files, command lines and backups that quillet_fuzz_seeds writes, plus the
# inputs kept in fuzz/corpus/<target> (every crash found so far). Fails when a target finds a
# crash, a leak or a hang; the input is left in BUILD_DIR/artifacts/<target>/.
# Prints one "RELIABILITY fuzz_executions_<target> N" line per target and their total.
# Usage: scripts/fuzz.sh [SECONDS]   (build folder: $QUILLET_FUZZ_BUILD, default build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${QUILLET_FUZZ_BUILD:-build-fuzz}
targets=(wine_registry registry_text information_file job_command_line open_backup dbx_reader wab_reader)
# Inputs are kept to 8 KiB: the readers' rules all show in that much, and it runs faster. A message
# store's header alone is 9 KiB, and the real stores are 136 KiB.
declare -A max_len=([dbx_reader]=262144)

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds/wine_registry"
bash examples/make-sample-prefix.sh "$seeds/prefix" >/dev/null
"$build/fuzz/quillet_fuzz_seeds" "$seeds/prefix" "$seeds"
for hive in user system userdef; do cp "$seeds/prefix/$hive.reg" "$seeds/wine_registry/sample-$hive.reg"; done
cp tests/data/wine-user.reg tests/data/wine-userdef.reg "$seeds/wine_registry/"
# The system hive is large; its beginning shows every form it uses.
head -n 400 tests/data/wine-system.reg >"$seeds/wine_registry/wine-system-head.reg"
mkdir -p "$seeds/dbx_reader"
cp tests/data/dbx/*.dbx "$seeds/dbx_reader/"
cp "$seeds/prefix/drive_c/users/quillet/Application Data/Microsoft/Address Book/quillet.wab" \
    "$seeds/wab_reader/sample.wab"

# The targets that read files write their input to a scratch folder; memory is faster than disk.
if [[ -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
total=0
failed=()
for target in "${targets[@]}"; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    log=$build/fuzz-$target.log
    mkdir -p "$corpus" "$artifacts" "fuzz/corpus/$target"
    echo "fuzzing $target for ${seconds}s (log: $log)"
    status=0
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=30 \
        -max_len="${max_len[$target]:-8192}" \
        -artifact_prefix="$artifacts/" "$corpus" "$seeds/$target" "fuzz/corpus/$target" \
        >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n 1)
    if ((status != 0)) || [[ -z $runs ]]; then
        tail -n 60 "$log" >&2
        echo "fuzz target $target failed (exit status $status); input in $artifacts/" >&2
        failed+=("$target")
        runs=${runs:-0}
    fi
    echo "RELIABILITY fuzz_executions_$target $runs"
    total=$((total + runs))
done
echo "RELIABILITY fuzz_executions $total"
if ((${#failed[@]})); then
    echo "fuzz targets that failed: ${failed[*]}" >&2
    exit 1
fi
