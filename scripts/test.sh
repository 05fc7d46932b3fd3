#!/usr/bin/env bash
# Builds Quillet with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
# Usage: scripts/test.sh [BUILD_DIR]   (default: build-sanitize)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-sanitize}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The large-store run (label "large") takes minutes; bench/reliability/run.sh runs it.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE large

# The fuzz targets, for a minute each, where clang is installed (scripts/setup.sh installs it).
if command -v clang++ >/dev/null; then
    scripts/fuzz.sh 60
fi
