#!/usr/bin/env bash
# Fails when a source file includes from a folder that its own folder may not use. What each
# folder of src/ (and apps/) may use is written in cmake/layers.txt: the folders its line names
# and whatever those may use.
# Usage: scripts/check-layers.sh [SOURCE_ROOT]   (default: the project folder)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
layers_file="$root/cmake/layers.txt"

# uses[folder]: " a b c " (every folder it may use, its own not included).
declare -A uses
line_number=0
while IFS= read -r line || [[ -n $line ]]; do
    line_number=$((line_number + 1))
    line=${line%%#*}
    [[ $line =~ ^[[:space:]]*$ ]] && continue
    if [[ ! $line =~ ^[[:space:]]*([a-z_]+):([a-z_[:space:]]*)$ ]]; then
        echo "$layers_file:$line_number: not \"folder: folders it builds on\"" >&2
        exit 1
    fi
    folder=${BASH_REMATCH[1]}
    reach=" "
    for lower in ${BASH_REMATCH[2]}; do
        if [[ -z ${uses[$lower]+set} ]]; then
            echo "$layers_file:$line_number: $folder builds on $lower, which no line above names" >&2
            exit 1
        fi
        for used in $lower ${uses[$lower]}; do
            [[ $reach == *" $used "* ]] || reach+="$used "
        done
    done
    uses[$folder]=$reach
done <"$layers_file"

upward=0
while IFS= read -r file; do
    relative=${file#"$root"/}
    if [[ $relative == apps/* ]]; then
        folder=apps
    else
        folder=${relative#src/}
        folder=${folder%%/*}
    fi
    if [[ -z ${uses[$folder]+set} ]]; then
        echo "$relative: folder $folder has no layer; add it to cmake/layers.txt" >&2
        upward=1
        continue
    fi
    while IFS= read -r included; do
        target=${included%%/*}
        [[ $target == "$included" || $target == "$folder" ]] && continue
        [[ -z ${uses[$target]+set} ]] && continue  # not one of ours (a system or library header)
        if [[ ${uses[$folder]} != *" $target "* ]]; then
            echo "$relative includes \"$included\": $folder may not use $target (cmake/layers.txt)" >&2
            upward=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" "$root/apps" -name '*.h' -o -name '*.cpp' | sort)

if ((upward)); then
    exit 1
fi
echo "every include is of a folder that cmake/layers.txt lets its folder use"
