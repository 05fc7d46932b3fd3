#!/usr/bin/env bash
# Builds Quillet and runs it on a fresh copy of the bundled sample Wine prefix.
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
cli="$build/src/cli/quillet-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
bash examples/make-sample-prefix.sh "$prefix" >/dev/null

step() { printf '\n$ %s\n' "$*"; "$@"; }

step "$cli" --prefix "$prefix" identities
first=$("$cli" --prefix "$prefix" identities | head -n 1 | cut -f 1)
rules="HKEY_CURRENT_USER\\Identities\\$first\\Software\\Microsoft\\Outlook Express\\5.0\\Rules"
step "$cli" --prefix "$prefix" reg export "$rules" "$work/rules.txt"
echo "--- $work/rules.txt (the registry text form; lines end in CR LF)"
tr -d '\r' <"$work/rules.txt"
