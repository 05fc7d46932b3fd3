# shellcheck shell=bash disable=SC2034,SC2154  # runs, work, build, source_dir and the results belong to the sourcing script
# Timing shared by the benchmark scripts (sourced, not run). The script sets `runs` (how many times
# each command runs) and `work` (its temporary folder), and may define `before_each_run`, which
# measure calls before every run (to remove the previous run's output, say).

# release_build TARGET...: configures $build (the script's build folder) as a release build of
# $source_dir, no sanitizer, with the benchmark helpers and ccache where installed, and builds the
# targets; its logs go to $work, and a failed build shows the end of its log and stops.
release_build() {
    local launcher=()
    if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
    cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_SANITIZE=OFF \
        -DQUILLET_BUILD_BENCH=ON "${launcher[@]}" >"$work/configure.log"
    echo "Building $* in $build (Release, no sanitizer) ..." >&2
    cmake --build "$build" -j "$(nproc)" --target "$@" >"$work/build.log" || {
        tail -30 "$work/build.log" >&2
        exit 1
    }
}

# median NUMBER... : the middle value (the lower middle one for an even count)
median() {
    printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"
}

# measure NAME COMMAND...: runs the command $runs times; sets wall_ms[NAME] (wall time in
# milliseconds, /usr/bin/time's start included) and peak_mb[NAME] (maximum resident set size) to
# the medians. Its output is dropped, its errors logged; a failed run stops the benchmark.
declare -A wall_ms peak_mb
measure() {
    local name=$1 i
    shift
    local times=() peaks=()
    for ((i = 0; i < runs; i++)); do
        if declare -F before_each_run >/dev/null; then before_each_run; fi
        local start=$EPOCHREALTIME
        if ! /usr/bin/time -f '%M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/out.log"; then
            echo "${0##*/}: $name failed:" >&2
            cat "$work/out.log" >&2
            exit 1
        fi
        local end=$EPOCHREALTIME
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
        peaks+=("$(($(cat "$work/time.txt") / 1024))")
    done
    wall_ms[$name]=$(median "${times[@]}")
    peak_mb[$name]=$(median "${peaks[@]}")
}
