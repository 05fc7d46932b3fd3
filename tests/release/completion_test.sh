#!/usr/bin/env bash
# quillet-cli's bash, zsh and fish completions against the built program: bash's driven as bash
# drives it, fish's through its own `complete -C`, zsh's with compadd and _files standing in for
# zsh's completion system.
# Usage: completion_test.sh COMPLETION QUILLET_CLI MAKE_SAMPLE_PREFIX
# (the zsh and fish ones are _quillet-cli and quillet-cli.fish beside COMPLETION)
set -u
completion=$1 cli=$2 makePrefix=$3
zshCompletion=$(dirname "$completion")/_quillet-cli fishCompletion=$completion.fish
[[ -r /usr/share/bash-completion/bash_completion ]] ||
    { echo "skipped: bash-completion is not installed"; exit 77; }
source /usr/share/bash-completion/bash_completion
source "$completion"
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
bash "$makePrefix" "$work/prefix" >/dev/null || exit 1
ln -s "$cli" "$work/quillet-cli" && PATH=$work:$PATH

failed=0
expectInBash() { # LINE EXPECTED: the candidates for the last word of LINE
    COMP_LINE=$1 COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
    _quillet_cli quillet-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    [[ "${COMPREPLY[*]}" == "$2" ]] && return
    echo "\"$1\" completes to \"${COMPREPLY[*]}\", not \"$2\""
    failed=1
}
# The candidates of zsh and of fish for the last word of LINE ($2), sorted, one line.
zshCandidates() {
    zsh -f -c 'compadd() { while [[ $1 != -- ]]; do shift; done; shift; print -l -- "$@"; }
        _files() { print -- "<files>"; }
        compset() { return 0; }
        source $1 >/dev/null 2>&1
        words=(${(z)2}); [[ $2 == *" " ]] && words+=("")
        CURRENT=${#words}
        _quillet-cli' zsh "$zshCompletion" "$1" 2>/dev/null | sort | paste -sd ' '
}
fishCandidates() {
    fish -c 'source $argv[1]; complete -C $argv[2]' "$fishCompletion" "$1" 2>/dev/null |
        cut -f 1 | sort | paste -sd ' '
}
# LINE EXPECTED [IN_ZSH_AND_FISH]: the candidates for the last word of LINE; zsh and fish give
# them sorted, or as IN_ZSH_AND_FISH where they differ from bash's.
expect() {
    expectInBash "$1" "$2"
    local sorted shell got
    sorted=${3-$(tr ' ' '\n' <<<"$2" | sort | paste -sd ' ')}
    for shell in zsh fish; do
        command -v "$shell" >/dev/null || { echo "$shell is not installed"; failed=1; continue; }
        got=$("${shell}Candidates" "$1")
        [[ $got == "$sorted" ]] && continue
        echo "$shell: \"$1\" completes to \"$got\", not \"$sorted\""
        failed=1
    done
}
expect "quillet-cli exp" "export"
expect "quillet-cli schedule " "add list remove"
expect "quillet-cli export --f" "--format --force"
expect "quillet-cli --js" "--json"
expect "quillet-cli export --format " "mbox maildir eml"
expect "quillet-cli backup --items=accounts,r" "accounts,rules" "--items=accounts,rules"
expect "quillet-cli --prefix $work/prefix backup --identity Ma" 'Main\ Identity' "Main Identity"
expectInBash "quillet-cli --prefix $work/prefix backup --identity x --out $work/pre" "$work/prefix"
expect "quillet-cli --prefix $work/prefix backup -i Ma" 'Main\ Identity' "Main Identity"
exit $failed
