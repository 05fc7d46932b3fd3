#!/usr/bin/env bash
# Fails when a source file includes from a layer above its own. The layers, lowest first (a
# folder may include from its own folder and from any folder of a lower layer):
#   platform < registry, mailstore < system < archive < backup, disc < schedule < gui, cli < apps
# Usage: scripts/check-layers.sh [SOURCE_ROOT]   (default: the project folder)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}

rank() {
    case "$1" in
        platform) echo 0 ;;
        registry | mailstore) echo 1 ;;
        system) echo 2 ;;
        archive) echo 3 ;;
        backup | disc) echo 4 ;;
        schedule) echo 5 ;;
        gui | cli) echo 6 ;;
        apps) echo 7 ;;
        *) echo -1 ;;
    esac
}

upward=0
while IFS= read -r file; do
    relative=${file#"$root"/}
    if [[ $relative == apps/* ]]; then
        folder=apps
    else
        folder=${relative#src/}
        folder=${folder%%/*}
    fi
    own=$(rank "$folder")
    if ((own < 0)); then
        echo "$relative: folder $folder has no layer; add it to $(basename "$0")" >&2
        upward=1
        continue
    fi
    while IFS= read -r included; do
        target=${included%%/*}
        [[ $target == "$included" || $target == "$folder" ]] && continue
        theirs=$(rank "$target")
        ((theirs < 0)) && continue  # not one of ours (a system or library header)
        if ((theirs >= own)); then
            echo "$relative includes \"$included\": $folder may not use $target" >&2
            upward=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" "$root/apps" -name '*.h' -o -name '*.cpp' | sort)

if ((upward)); then
    exit 1
fi
echo "every include points to the same or a lower layer"
