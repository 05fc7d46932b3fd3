# fish completion for quillet-cli.
# As the bash completion does, it takes the commands, the options and the values of --format,
# --items and --days from the program's own --help at each Tab, and the identities from
# `quillet-cli identities`, so that it follows the program it completes.

# The --help text of the command $argv of the program being completed.
function __quillet_cli_help
    $__quillet_cli_program $argv --help 2>/dev/null
end

# The commands listed under "Subcommands:" in the help text $argv, each with its description.
function __quillet_cli_subcommands
    printf '%s\n' $argv | awk '/^Subcommands:/ { listed = 1; next }
        listed && /^  [^ ]/ { name = $1; $1 = ""; sub(/^ +/, ""); print name "\t" $0 }'
end

# The names of the options of the help text $argv; with --values, only those that take a value.
function __quillet_cli_options
    set -l values 0
    if test "$argv[1]" = --values
        set values 1
        set -e argv[1]
    end
    printf '%s\n' $argv | awk -v values=$values '/^  -/ {
            takes = ($0 ~ /^  -[^ ]+ [^ ]/)
            if (values && !takes) next
            n = split($1, names, ",")
            for (i = 1; i <= n; ++i) print names[i]
        }'
end

# The values of option $argv[1] that its help line in the help text $argv[2..] names.
function __quillet_cli_values
    set -l option $argv[1]
    set -l line (printf '%s\n' $argv[2..-1] | awk -v option=$option '
        /^  -/ { shown = 0; n = split($1, names, ","); for (i = 1; i <= n; ++i)
                     if (names[i] == option) shown = 1 }
        /^[^ ]/ { shown = 0 }
        shown { print }' | string collect)
    switch $option
        case --format
            # CLI11 shows the accepted values as TEXT:{a,b}.
            string match -rg ':\{([^}]*)\}' -- $line | string split ,
        case --items --days
            # The help names the words as "a comma list of A,B,C".
            string match -rg 'comma list of ([^ ;]*)' -- $line | string split ,
            test $option = --items; and echo all
        case --codepage
            # The ANSI code pages of Windows.
            string split ' ' '874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258'
    end
end

function __quillet_cli_complete
    set -l tokens (commandline -opc)
    set -l cur (commandline -ct)
    set -g __quillet_cli_program $tokens[1]
    command -q $__quillet_cli_program; or set __quillet_cli_program quillet-cli

    # Walk the words before the current one: global options, then the command path, then the
    # command's own options and arguments.
    set -l path
    set -l globals
    set -l positionals 0
    set -l taking
    set -l help (__quillet_cli_help)
    set -l i 2
    while test $i -le (count $tokens)
        set -l word $tokens[$i]
        if string match -q -- '-*' $word
            if not string match -q -- '*=*' $word
                and contains -- $word (__quillet_cli_options --values $help)
                if test $i -eq (count $tokens)
                    set taking $word
                else if test (count $path) -eq 0
                    set -a globals $word $tokens[(math $i + 1)]
                end
                set i (math $i + 1)
            else if test (count $path) -eq 0
                set -a globals $word
            end
        else if test $positionals -eq 0
            and contains -- $word (__quillet_cli_subcommands $help | string replace -r '\t.*' '')
            set -a path $word
            set help (__quillet_cli_help $path)
        else
            set positionals (math $positionals + 1)
        end
        set i (math $i + 1)
    end

    # The value of an option, given after a blank or after "=".
    set -l head
    if string match -qr -- '^-[^=]*=' $cur
        set taking (string replace -r '=.*' '' -- $cur)
        set head $taking=
        set cur (string replace -r '^[^=]*=' '' -- $cur)
    end
    if test -n "$taking"
        switch $taking
            case --prefix --windows-root --profile
                __fish_complete_directories $cur | string replace -r -- '^' "$head"
            case --identity -i
                # Names first: they read better; a key is accepted too.
                $__quillet_cli_program $globals identities 2>/dev/null |
                    awk -F '\t' '{ print $2; print $1 }' | string replace -r -- '^' "$head"
            case --out -o
                if test "$path[1]" = export
                    __fish_complete_directories $cur | string replace -r -- '^' "$head"
                else
                    __fish_complete_path $cur | string replace -r -- '^' "$head"
                end
            case --format --codepage
                __quillet_cli_values $taking $help | string replace -r -- '^' "$head"
            case --items --days
                # A comma list: the words not yet given, after those that are.
                set -l given (string replace -r '[^,]*$' '' -- $cur)
                for word in (__quillet_cli_values $taking $help)
                    contains -- $word (string split , -- $given); or echo $head$given$word
                end
            case '*'
                __fish_complete_path $cur | string replace -r -- '^' "$head"
        end
        return
    end

    if string match -q -- '-*' $cur
        __quillet_cli_options $help
        return
    end
    set -l subcommands (__quillet_cli_subcommands $help)
    if test -n "$subcommands" -a $positionals -eq 0
        printf '%s\n' $subcommands
        return
    end
    __fish_complete_path $cur
end

complete -c quillet-cli -f -a '(__quillet_cli_complete)'
