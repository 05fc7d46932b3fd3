#!/bin/sh
# Prints quillet-cli's help for help2man: the program's own --help, then a Commands section with
# the usage, summary, arguments and options of every command, found by walking the program's
# own "Subcommands:" lists, so that a new command appears in the manual page by itself.
# Usage: QUILLET_CLI=PATH quillet-cli-help.sh --help|--version   (help2man gives the program no other
# arguments, so the program comes in through the environment)
set -eu
cli=${QUILLET_CLI:?the path of quillet-cli}
if [ "${1-}" = --version ]; then exec "$cli" --version; fi

# The names listed under "Subcommands:" in the help of the command "$@".
subcommands() {
    "$cli" "$@" --help | awk '/^Subcommands:/ { listed = 1; next }
                              listed && /^  [^ ]/ { print $1 }'
}

# One command as a help2man subsection: "USAGE:", its summary indented, then its arguments and
# options without the help flags every command has.
describe() {
    "$cli" "$@" --help | awk '
        NR == 1 { summary = $0; next }
        /^Usage: / { sub(/^Usage: /, ""); print $0 ":"; print "  " summary; print ""; next }
        /^(Options|Positionals|Subcommands):/ || /^$/ { next }
        /^  -h,--help / || /^  --help-all / { next }
        { print }'
    echo
}

# Every command below "$@", depth first; a command with subcommands is described by them.
walk() {
    children=$(subcommands "$@")
    if [ -z "$children" ]; then
        describe "$@"
        return
    fi
    for child in $children; do walk "$@" "$child"; done
}

"$cli" --help | awk '/^Subcommands:/ { exit } { print }'
echo '*Commands*'
echo
for command in $(subcommands); do walk "$command"; done
