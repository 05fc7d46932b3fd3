#!/usr/bin/env bash
# quillet-cli's bash completion, driven as bash drives it, against the built program.
# Usage: completion_test.sh COMPLETION QUILLET_CLI MAKE_SAMPLE_PREFIX
set -u
completion=$1 cli=$2 makePrefix=$3
[[ -r /usr/share/bash-completion/bash_completion ]] ||
    { echo "skipped: bash-completion is not installed"; exit 77; }
source /usr/share/bash-completion/bash_completion
source "$completion"
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
bash "$makePrefix" "$work/prefix" >/dev/null || exit 1
ln -s "$cli" "$work/quillet-cli" && PATH=$work:$PATH

failed=0
expect() { # LINE EXPECTED: the candidates for the last word of LINE
    COMP_LINE=$1 COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
    _quillet_cli quillet-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    [[ "${COMPREPLY[*]}" == "$2" ]] && return
    echo "\"$1\" completes to \"${COMPREPLY[*]}\", not \"$2\""
    failed=1
}
expect "quillet-cli exp" "export"
expect "quillet-cli schedule " "add list remove"
expect "quillet-cli export --f" "--format --force"
expect "quillet-cli export --format " "mbox maildir eml"
expect "quillet-cli backup --items=accounts,r" "accounts,rules"
expect "quillet-cli --prefix $work/prefix backup --identity Ma" 'Main\ Identity'
expect "quillet-cli --prefix $work/prefix backup --identity x --out $work/pre" "$work/prefix"
expect "quillet-cli --prefix $work/prefix backup -i Ma" 'Main\ Identity'
exit $failed
