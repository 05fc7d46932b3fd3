#!/usr/bin/env bash
# Writes a small sample Wine prefix for trying Quillet out: two Outlook Express identities with
# accounts, rules, blocked senders, signatures and settings in user.reg, a message store folder per
# identity, an address book file and a stationery folder. Every byte is made up here and the output
# is the same on every run. See README.md beside this script for what the prefix holds.
#
# Usage: make-sample-prefix.sh DIR
# DIR must not exist yet or be an empty folder. Needs bash, coreutils and python3.
# Byte lists from the helpers below are passed unquoted on purpose: each byte is one argument.
# shellcheck disable=SC2046
set -euo pipefail
export LC_ALL=C
umask 022

usage() {
    echo "usage: ${0##*/} DIR"
    echo "Writes a sample Wine prefix with Outlook Express data into DIR (new or empty folder)."
}

if [[ $# -ne 1 || -z $1 ]]; then
    usage >&2
    exit 2
fi
if [[ $1 == -h || $1 == --help ]]; then
    usage
    exit 0
fi
prefix=$1
examples_dir=$(dirname "${BASH_SOURCE[0]}")
if [[ -e $prefix && ! -d $prefix ]]; then
    echo "${0##*/}: $prefix exists and is not a folder" >&2
    exit 2
fi
if [[ -d $prefix && -n $(ls -A -- "$prefix") ]]; then
    echo "${0##*/}: $prefix is not empty; refusing to write into it" >&2
    exit 2
fi
mkdir -p -- "$prefix"

# ---------------------------------------------------------------------------------------------
# Sample data shared by the registry and the folders

readonly id1='{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}'
readonly id2='{B84E2F17-9C05-4A3D-8E72-5D1F6A0C9E28}'
readonly sid='S-1-5-21-0-0-0-1000'
readonly profile_dir="$prefix/drive_c/users/quillet"
readonly store_rel='Local Settings/Application Data/Identities'
readonly stationery_dir="$prefix/drive_c/Program Files/Common Files/Microsoft Shared/Stationery"

# One fixed modification time for every key: 2024-01-01 00:00:00 UTC, as Unix seconds for the
# key line and as a FILETIME (100 ns ticks since 1601) for the #time line.
readonly stamp=1704067200
printf -v filetime '%x' $(((stamp + 11644473600) * 10000000))
readonly filetime

# ---------------------------------------------------------------------------------------------
# Registry file writers. Key paths are given with single backslashes and doubled here. Value
# names and texts are given exactly as they appear in the file: backslashes already doubled,
# non-ASCII characters as \x escapes of their UTF-16 code unit (four digits when a hex digit
# follows), CR LF as \r\n. Callers write keys in the file's order (case-insensitive, parents
# first) and values sorted by name; keys that only have subkeys are left out, as Wine does.

reg_header() { # root line, e.g. 'REGISTRY\\Machine'
    printf 'WINE REGISTRY Version 2\n;; All keys relative to %s\n\n#arch=win64\n' "$1"
}

key() {
    printf '\n[%s] %s\n#time=%s\n' "${1//\\/\\\\}" "$stamp" "$filetime"
}

default_sz() { printf '@="%s"\n' "$1"; }
sz() { printf '"%s"="%s"\n' "$1" "$2"; }
expand_sz() { printf '"%s"=str(2):"%s"\n' "$1" "$2"; }
dword() { printf '"%s"=dword:%08x\n' "$1" "$2"; }

# binary NAME BYTE... (two hex digits each); long values go on continuation lines the way Wine
# breaks them: after the comma that takes a line past 76 columns.
binary() {
    local name=$1
    shift
    local out="\"$name\"=hex:"
    local column=${#out} i=0
    local byte
    for byte in "$@"; do
        i=$((i + 1))
        out+=$byte
        column=$((column + 2))
        if ((i < $#)); then
            out+=,
            column=$((column + 1))
            if ((column > 76)); then
                out+=$'\\\n  '
                column=2
            fi
        fi
    done
    printf '%s\n' "$out"
}

# Prints the UTF-16LE bytes of an ASCII text, NUL-terminated, as hex pairs for binary().
utf16_bytes() {
    local text=$1 i
    for ((i = 0; i < ${#text}; i++)); do
        printf '%02x 00 ' "'${text:i:1}"
    done
    printf '00 00'
}

# Prints the bytes of a 32-bit number, little-endian, as hex pairs.
le32_bytes() {
    printf '%02x %02x %02x %02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) \
        $(($1 >> 24 & 255))
}

# A made-up rule criterion: match count, criterion kind, flags, text length, then the text.
criterion_bytes() { # KIND TEXT
    local text=$2
    echo "$(le32_bytes 1) $(le32_bytes "$1") $(le32_bytes 0) $(le32_bytes $((${#text} * 2 + 2)))" \
        "$(utf16_bytes "$text")"
}

# A made-up window position: length, flags, show state, then four corners.
window_bytes() { # LEFT TOP RIGHT BOTTOM
    echo "$(le32_bytes 44) $(le32_bytes 0) $(le32_bytes 1) $(le32_bytes 0xffffffff)" \
        "$(le32_bytes 0xffffffff) $(le32_bytes 0xffffffff) $(le32_bytes 0xffffffff)" \
        "$(le32_bytes "$1") $(le32_bytes "$2") $(le32_bytes "$3") $(le32_bytes "$4")"
}

# ---------------------------------------------------------------------------------------------
# user.reg

# The version key of one identity's Outlook Express key, with the folder of its message store.
version_key() { # ID
    local id=$1
    local oe="Identities\\$id\\Software\\Microsoft\\Outlook Express\\5.0"
    key "$oe"
    dword 'Store Migrated' 1
    expand_sz 'Store Root' \
        "%UserProfile%\\\\Local Settings\\\\Application Data\\\\Identities\\\\$id\\\\Microsoft\\\\Outlook Express"
}

write_user_reg() {
    reg_header "REGISTRY\\\\User\\\\$sid"

    key 'Control Panel\Desktop'
    sz 'DoubleClickHeight' '4'
    sz 'DoubleClickWidth' '4'
    sz 'MenuShowDelay' '400'
    sz 'Wallpaper' ''

    key 'Control Panel\International'
    sz 'Locale' '00000409'
    sz 'sCountry' 'United States'
    sz 'sShortDate' 'M/d/yyyy'

    key 'Environment'
    sz 'TEMP' 'C:\\users\\quillet\\Temp'
    sz 'TMP' 'C:\\users\\quillet\\Temp'

    key 'Identities'
    sz 'Default User ID' "$id1"
    dword 'Identity Ordinal' 3
    sz 'Last User ID' "$id1"
    sz 'Last Username' 'Main Identity'

    # ---- first identity: plain ASCII name, its own mail account
    key "Identities\\$id1"
    dword 'Identity Ordinal' 1
    sz 'User ID' "$id1"
    sz 'Username' 'Main Identity'

    local iam1="Identities\\$id1\\Software\\Microsoft\\Internet Account Manager"
    key "$iam1"
    sz 'Default Mail Account' '00000001'

    key "$iam1\\Accounts\\00000001"
    sz 'Account Name' 'Main Mail'
    dword 'Connection Type' 3
    dword 'Leave Mail On Server' 0
    binary 'POP3 Password2' 01 02 51 4c 54 00 7a 19 c4 e2 08 33 90 5d 6b a1
    dword 'POP3 Port' 110
    sz 'POP3 Server' 'pop.example.com'
    sz 'POP3 User Name' 'main.user'
    sz 'SMTP Display Name' 'Main Identity'
    sz 'SMTP Email Address' 'main.user@example.com'
    dword 'SMTP Port' 25
    sz 'SMTP Server' 'smtp.example.com'

    key "$iam1\\Accounts\\00000002"
    sz 'Account Name' 'Office Mail'
    dword 'Connection Type' 3
    sz 'IMAP Root Folder' ''
    dword 'IMAP Port' 143
    sz 'IMAP Server' 'imap.example.com'
    sz 'IMAP User Name' 'main.user'
    sz 'SMTP Display Name' 'Main Identity'
    sz 'SMTP Email Address' 'main.user@example.com'
    dword 'SMTP Port' 25
    sz 'SMTP Server' 'smtp.example.com'

    key "$iam1\\Accounts\\00000003"
    sz 'Account Name' 'Sample News'
    dword 'Connection Type' 3
    sz 'NNTP Display Name' 'Main Identity'
    sz 'NNTP Email Address' 'main.user@example.com'
    dword 'NNTP Port' 119
    sz 'NNTP Server' 'news.example.com'

    local oe1="Identities\\$id1\\Software\\Microsoft\\Outlook Express\\5.0"
    version_key "$id1"

    key "$oe1\\Block Senders\\Mail\\Criteria\\0"
    dword 'Flags' 0
    dword 'Type' 1
    sz 'Value' 'offers@bargains.example'

    key "$oe1\\Block Senders\\Mail\\Criteria\\1"
    dword 'Flags' 0
    dword 'Type' 2
    sz 'Value' 'spam.example.net'

    key "$oe1\\Mail"
    sz 'Default Font' 'Arial'
    dword 'Empty Deleted Items' 0
    binary 'Mail Window Pos' $(window_bytes 40 30 840 630)
    dword 'Poll For Mail' 1800000
    sz 'Reply Prefix' 'Re: '
    dword 'Save Sent Messages' 1

    key "$oe1\\Rules\\Mail"
    sz 'Order' '000 001'
    dword 'Version' 3

    key "$oe1\\Rules\\Mail\\000"
    binary 'Actions' 01 00 00 00 03 00 00 00 $(utf16_bytes 'Invoices')
    binary 'Criteria' $(criterion_bytes 12 'invoice')
    dword 'Enabled' 1
    dword 'Flags' 0
    sz 'Name' 'Invoices to their folder'
    dword 'Version' 3

    key "$oe1\\Rules\\Mail\\001"
    binary 'Actions' 01 00 00 00 07 00 00 00
    binary 'Criteria' $(criterion_bytes 4 'frederic@example.org')
    dword 'Enabled' 0
    dword 'Flags' 16
    sz 'Name' 'Flag mail from Fr\x00e9d\xe9ric'
    dword 'Version' 3

    key "$oe1\\signatures"
    sz 'Default Signature' '00000000'

    key "$oe1\\signatures\\00000000"
    sz 'name' 'Signature #1'
    sz 'text' 'Best regards,\r\nMain Identity\r\nmain.user@example.com'
    dword 'type' 1

    key "$oe1\\signatures\\00000001"
    sz 'file' 'C:\\users\\quillet\\My Documents\\signature.htm'
    sz 'name' 'Signature from a file'
    dword 'type' 2

    # ---- second identity: non-ASCII name, no accounts of its own (the shared ones apply)
    key "Identities\\$id2"
    dword 'Identity Ordinal' 2
    sz 'User ID' "$id2"
    sz 'Username' 'Zo\xeb \xc5ngstr\xf6m'

    local oe2="Identities\\$id2\\Software\\Microsoft\\Outlook Express\\5.0"
    version_key "$id2"

    key "$oe2\\Block Senders\\Mail\\Criteria\\0"
    dword 'Flags' 0
    dword 'Type' 1
    sz 'Value' 'newsletter@shop.example'

    key "$oe2\\Mail"
    sz 'Default Font' 'Verdana'
    dword 'Empty Deleted Items' 1
    binary 'Mail Window Pos' $(window_bytes 0 0 1024 740)
    dword 'Poll For Mail' 600000
    sz 'Reply Prefix' 'AW: '
    dword 'Save Sent Messages' 1

    key "$oe2\\Rules\\Mail"
    sz 'Order' '000'
    dword 'Version' 3

    key "$oe2\\Rules\\Mail\\000"
    binary 'Actions' 01 00 00 00 05 00 00 00
    binary 'Criteria' $(criterion_bytes 12 'Re: Angebot')
    dword 'Enabled' 1
    dword 'Flags' 0
    sz 'Name' 'Delete offers'
    dword 'Version' 3

    key "$oe2\\signatures"
    sz 'Default Signature' '00000000'

    key "$oe2\\signatures\\00000000"
    sz 'name' 'Zo\xeb'
    sz 'text' 'Zo\xeb \xc5ngstr\xf6m\r\nTranslation & r\x00e9daction \x2014 FR/DE/SV\r\n'
    dword 'type' 1

    # ---- shared accounts, used by every identity that has none of its own
    local iam='Software\Microsoft\Internet Account Manager'
    key "$iam"
    sz 'Default Mail Account' '00000001'
    sz 'Default News Account' '00000002'

    key "$iam\\Accounts\\00000001"
    sz 'Account Name' 'Household Mail'
    dword 'Connection Type' 3
    dword 'Leave Mail On Server' 1
    binary 'POP3 Password2' 01 02 51 4c 54 00 c3 5e 10 9f 44 d2 07 b8 6e 2a
    dword 'POP3 Port' 110
    sz 'POP3 Server' 'mail.example.net'
    sz 'POP3 User Name' 'household'
    sz 'SMTP Display Name' 'The Household'
    sz 'SMTP Email Address' 'household@example.net'
    dword 'SMTP Port' 587
    sz 'SMTP Server' 'mail.example.net'

    key "$iam\\Accounts\\00000002"
    sz 'Account Name' 'Example News'
    dword 'Connection Type' 3
    sz 'NNTP Display Name' 'The Household'
    sz 'NNTP Email Address' 'household@example.net'
    dword 'NNTP Port' 119
    sz 'NNTP Server' 'news.example.org'

    key 'Software\Microsoft\WAB\WAB4\Wab File Name'
    default_sz 'C:\\users\\quillet\\Application Data\\Microsoft\\Address Book\\quillet.wab'

    key 'Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders'
    sz 'AppData' 'C:\\users\\quillet\\Application Data'
    sz 'Local AppData' 'C:\\users\\quillet\\Local Settings\\Application Data'
    sz 'Personal' 'C:\\users\\quillet\\My Documents'

    key 'Software\Wine\DllOverrides'

    key 'Software\Wine\Fonts'
    dword 'LogPixels' 96
}

# ---------------------------------------------------------------------------------------------
# system.reg and userdef.reg

write_system_reg() {
    reg_header 'REGISTRY\\Machine'

    key 'Software\Microsoft\Windows\CurrentVersion'
    sz 'CommonFilesDir' 'C:\\Program Files\\Common Files'
    sz 'ProgramFilesDir' 'C:\\Program Files'
    sz 'RegisteredOrganization' ''
    sz 'RegisteredOwner' 'quillet'

    key 'Software\Microsoft\Windows NT\CurrentVersion'
    sz 'CurrentBuild' '7601'
    sz 'CurrentVersion' '6.1'
    sz 'SystemRoot' 'C:\\windows'

    key 'Software\Microsoft\Windows NT\CurrentVersion\ProfileList'
    expand_sz 'ProfilesDirectory' 'C:\\users'

    key "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\$sid"
    dword 'Flags' 0
    sz 'ProfileImagePath' 'C:\\users\\quillet'

    # The system's ANSI code page: the texts of the message stores are in it.
    key 'System\CurrentControlSet\Control\Nls\CodePage'
    sz 'ACP' '1252'
    sz 'OEMCP' '437'

    key 'System\CurrentControlSet\Control\Session Manager\Environment'
    expand_sz 'ComSpec' '%SystemRoot%\\system32\\cmd.exe'
    expand_sz 'windir' '%SystemRoot%'
}

write_userdef_reg() {
    reg_header 'REGISTRY\\User\\.Default'
}

# ---------------------------------------------------------------------------------------------
# Made-up binary content. A small linear congruential generator gives the same "random" bytes
# on every run.

rng=1
# Appends COUNT generated bytes, as \xHH escapes, to the variable named by $2.
append_noise() { # COUNT VARNAME
    local -n format=$2
    local i hex
    for ((i = 0; i < $1; i++)); do
        rng=$(((rng * 1103515245 + 12345) & 0x7fffffff))
        printf -v hex '%02x' $((rng >> 16 & 255))
        format+="\\x$hex"
    done
}

# Writes COUNT generated bytes to standard output.
noise() { # COUNT
    local bytes=''
    append_noise "$1" bytes
    printf '%b' "$bytes"
}

# Writes lines with CR LF ends, as mail text has.
crlf() {
    local line
    for line in "$@"; do
        printf '%s\r\n' "$line"
    done
}

readonly words=(mail folder note week report garden meeting ticket parcel letter summer invoice
    draft table lunch train photo album holiday river paper window market coffee answer change
    plan number order office family morning evening update friday monday)

# Writes COUNT lines of made-up prose, CR LF ended.
prose() { # COUNT
    local i j line
    for ((i = 0; i < $1; i++)); do
        line=''
        for ((j = 0; j < 11; j++)); do
            rng=$(((rng * 1103515245 + 12345) & 0x7fffffff))
            line+="${words[(rng >> 16) % ${#words[@]}]} "
        done
        printf '%s.\r\n' "${line% }"
    done
}

# One mail message: FROM TO SUBJECT DATE ID LINES
message() {
    crlf "From: $1" "To: $2" "Subject: $3" "Date: $4" "Message-ID: <$5@sample.invalid>" \
        'MIME-Version: 1.0' 'Content-Type: text/plain; charset="utf-8"' \
        'Content-Transfer-Encoding: 8bit' ''
    prose "$6"
    crlf '' ''
}

# ---------------------------------------------------------------------------------------------
# Message stores in the Outlook Express 5/6 format (".dbx"): a 0x24BC-byte header, the file info,
# then per message its data chunks (0x210 bytes: own offset, 0x200, bytes used, next chunk, 512
# data bytes) and its message info object, and last one tree node that lists the info objects in
# message index order. Folders.dbx has the same shape, with folder info objects instead.

# The writers below build each object as \x escapes in a variable and append it to the file
# being written with printf (a shell builtin), keeping count of the bytes written, so that a store
# costs no extra processes. The header goes in front last, when its fields are known.

# Appends a little-endian 32-bit integer, as \x escapes, to the variable named VARNAME.
le32() { # VARNAME VALUE
    local -n into=$1
    local escaped
    printf -v escaped '\\x%02x\\x%02x\\x%02x\\x%02x' $(($2 & 255)) $(($2 >> 8 & 255)) \
        $(($2 >> 16 & 255)) $(($2 >> 24 & 255))
    into+=$escaped
}
# Appends COUNT zero bytes, as \x escapes, to the variable named VARNAME.
zeros() { # VARNAME COUNT
    local -n into=$1
    local blanks
    printf -v blanks '%*s' "$2" ''
    into+=${blanks// /\\x00}
}
# The number of bytes that \x-escaped TEXT stands for.
escaped_length() { # TEXT
    local plain=${1//\\x/}
    escaped_bytes=$((${#1} - 3 * ((${#1} - ${#plain}) / 2)))
}

dbx_file='' dbx_end=0
dbx_begin() { # FILE
    dbx_file=$1
    : >"$dbx_file.part"
    dbx_end=$((0x24BC))
}
# Appends \x-escaped BYTES to the store.
dbx_append() { # BYTES
    printf '%b' "$1" >>"$dbx_file.part"
    escaped_length "$1"
    dbx_end=$((dbx_end + escaped_bytes))
}

# An indexed info object at the store's end: marker, body length, entries, data. ENTRIES are
# FIELD:VALUE (a direct field, VALUE below 2^24) or FIELD:@ESCAPES (data bytes); fields ascending.
# Sets dbx_info_at to its offset.
dbx_info() { # ENTRIES...
    local entries='' data='' entry field value count=0 object=''
    for entry in "$@"; do
        field=${entry%%:*} value=${entry#*:}
        if [[ $value == @* ]]; then
            escaped_length "$data"
            le32 entries $((field | escaped_bytes << 8))
            data+=${value#@}
        else
            le32 entries $((0x80 | field | value << 8))
        fi
        count=$((count + 1))
    done
    escaped_length "$data"
    dbx_info_at=$dbx_end
    le32 object "$dbx_end"
    le32 object $((4 * count + escaped_bytes))
    printf -v entry '\\x00\\x00\\x%02x\\x00' "$count"
    dbx_append "$object$entry$entries$data"
}

# The file info of a message store: the kind of store (3 local, 1 IMAP, 0 news), its account's
# key ("LocalStore" for local folders), the folder's name.
dbx_message_file_info() { # FOLDER_NAME [KIND ACCOUNT]
    local kind=${2:-3} account=${3:-LocalStore} info='\x01\x00\x00\x00'
    printf -v info '%s\\x%02x%s' "$info" "$kind" "$account"
    zeros info $((0x100 - ${#account}))
    info+=$1
    zeros info $((0x618 - 0x105 - ${#1}))
    dbx_append "$info"
}

# One message: its chunks, then its info object (index, flags read, first chunk, subject, size).
dbx_message() { # INDEX SUBJECT TEXT
    local text=$3 size=${#3} first=$dbx_end position=0 piece chunk
    while ((position < size)); do
        piece=${text:position:512}
        chunk=''
        le32 chunk "$dbx_end"
        le32 chunk $((0x200))
        le32 chunk ${#piece}
        le32 chunk $((position + 512 < size ? dbx_end + 0x210 : 0))
        printf '%b%s' "$chunk" "$piece" >>"$dbx_file.part"
        chunk=''
        zeros chunk $((512 - ${#piece}))
        printf '%b' "$chunk" >>"$dbx_file.part"
        dbx_end=$((dbx_end + 0x210))
        position=$((position + 512))
    done
    dbx_info 0:"$1" 1:$((0x81)) 4:"$first" 8:@"$2\\x00" 17:"$size"
}

# The tree node listing the info objects given (ascending), then the header in front. TYPE: 2
# message store, 3 folder list.
dbx_finish() { # TYPE HIGHEST_INDEX INFO_OFFSETS...
    local type=$1 highest=$2 root=$dbx_end node='' offset header='\xcf\xad\x12\xfe'
    shift 2
    le32 node "$root"
    zeros node 12
    printf -v offset '\\x00\\x%02x\\x00\\x00' $#
    node+=$offset
    le32 node 0
    for offset in "$@"; do
        le32 node "$offset"
        zeros node 8
    done
    zeros node $((0x27C - 0x18 - 12 * $#))
    dbx_append "$node"

    printf -v offset '\\x%02x' $((0xC3 + type))
    header+="$offset\\xfd\\x74\\x6f\\x66\\xe3\\xd1\\x11\\x9a\\x4e\\x00\\xc0\\x4f\\xa3\\x09\\xd4"
    le32 header 5
    le32 header 5
    le32 header $((type == 2 ? 0x618 : 0x108))
    zeros header $((0x5C - 0x20))
    le32 header "$highest"
    zeros header $((0x7C - 0x60))
    le32 header "$dbx_end"
    le32 header "$type"
    zeros header $((0xC4 - 0x84))
    le32 header $#
    zeros header $((0xE4 - 0xC8))
    le32 header "$root"
    zeros header $((0x24BC - 0xE8))
    {
        printf '%b' "$header"
        cat "$dbx_file.part"
    } >"$dbx_file"
    rm -f "$dbx_file.part"
}

# A message store of the messages given as SUBJECT|TEXT pairs (TEXT as a variable's name), of a
# local folder unless store_kind and store_account (see dbx_message_file_info) say otherwise.
store_kind=3 store_account=LocalStore
write_message_store() { # FILE FOLDER_NAME MESSAGE_VARIABLES...
    dbx_begin "$1"
    dbx_message_file_info "$2" "$store_kind" "$store_account"
    shift 2
    local name index=0 infos=()
    for name in "$@"; do
        local -n text=$name
        index=$((index + 1))
        dbx_message "$index" "$(subject_of "$text")" "$text"
        infos+=("$dbx_info_at")
    done
    dbx_finish 2 "$index" "${infos[@]}"
}

# The Subject header's text.
subject_of() { # MESSAGE
    local line
    while IFS= read -r line; do
        line=${line%$'\r'}
        [[ -z $line ]] && break
        [[ $line == Subject:* ]] && printf '%s' "${line#Subject: }" && return
    done <<<"$1"
}

# Folders.dbx: the root "Outlook Express" (id 0) and FOLDERS given as
# ID|PARENT|NAME|FILE|SPECIAL|KIND|ACCOUNT (KIND 3 local, 1 IMAP, 0 news; ACCOUNT the account's
# key, "LocalStore" for local folders).
write_folder_list() { # FILE FOLDERS...
    dbx_begin "$1"
    local info='\x01\x00\x00\x00'
    zeros info $((0x108 - 4))
    dbx_append "$info"
    local folder id parent name file special kind account infos=() entries
    for folder in '0|-1|Outlook Express||0||' "${@:2}"; do
        IFS='|' read -r id parent name file special kind account <<<"$folder"
        entries=(0:"$id")
        if ((parent < 0)); then
            entries+=(1:@'\xff\xff\xff\xff')
        else
            entries+=(1:"$parent")
        fi
        entries+=(2:@"$name\\x00")
        [[ -n $file ]] && entries+=(3:@"$file\\x00")
        [[ -n $account ]] && entries+=(5:@"$account\\x00")
        ((special > 0)) && entries+=(9:"$special")
        [[ -n $kind ]] && entries+=(10:"$kind")
        dbx_info "${entries[@]}"
        infos+=("$dbx_info_at")
    done
    dbx_finish 3 0 "${infos[@]}"
}

# One mail message into the variable named VARIABLE: FROM TO SUBJECT DATE ID LINES.
message_into() { # VARIABLE FROM TO SUBJECT DATE ID LINES
    local -n into=$1
    into=$(
        message "${@:2}"
        printf x
    )
    into=${into%x}
}

# Writes the store folder of one identity. NAME and ADDRESS are the identity's mail name and
# address; the texts differ per identity so the two stores can be told apart.
write_store() { # ID NAME ADDRESS
    local store="$profile_dir/$store_rel/$1/Microsoft/Outlook Express"
    local me="$2 <$3>" tag=${3%@*}
    local inbox1 inbox2 inbox3 sent1 sent2 deleted1 offline1 archive1
    mkdir -p "$store/Archive"

    # As Outlook Express keeps them: the local folders in the "Local Folders" container, and in
    # the first identity an IMAP account's and a news account's container, named after them.
    local local_folders=('1|0|Local Folders|||3|LocalStore' '2|1|Inbox|Inbox.dbx|1|3|LocalStore'
        '3|1|Outbox||2|3|LocalStore' '4|1|Sent Items|Sent Items.dbx|3|3|LocalStore'
        '5|1|Deleted Items|Deleted Items.dbx|4|3|LocalStore' '6|1|Drafts||5|3|LocalStore'
        '7|1|Offline|Offline.DBX|0|3|LocalStore')
    local accounts=()
    if [[ $1 == "$id1" ]]; then
        accounts=('8|0|Office Mail|||1|00000002' '9|8|Inbox|Inbox1.dbx|1|1|00000002'
            '10|8|Projects|Projects.dbx|0|1|00000002' '11|0|Sample News|||0|00000003'
            '12|11|example.quillet.users|example.quillet.users.dbx|0|0|00000003')
    fi
    write_folder_list "$store/Folders.dbx" "${local_folders[@]}" "${accounts[@]}"

    message_into inbox1 'Alice Example <alice@example.com>' "$me" 'Lunch on friday' \
        'Mon, 04 Dec 2023 09:15:00 +0000' "inbox-1.$tag" 24
    message_into inbox2 'Billing <billing@shop.example>' "$me" 'Your invoice 2023-118' \
        'Tue, 05 Dec 2023 14:02:11 +0000' "inbox-2.$tag" 16
    message_into inbox3 'Garden Club <club@example.org>' "$me" 'Meeting notes' \
        'Fri, 08 Dec 2023 18:40:27 +0100' "inbox-3.$tag" 32
    write_message_store "$store/Inbox.dbx" Inbox inbox1 inbox2 inbox3

    message_into sent1 "$me" 'Alice Example <alice@example.com>' 'Re: Lunch on friday' \
        'Mon, 04 Dec 2023 10:01:45 +0000' "sent-1.$tag" 12
    message_into sent2 "$me" 'Garden Club <club@example.org>' 'Photos from the summer' \
        'Sat, 09 Dec 2023 11:20:00 +0100' "sent-2.$tag" 20
    write_message_store "$store/Sent Items.dbx" 'Sent Items' sent1 sent2

    message_into deleted1 'Offers <offers@bargains.example>' "$me" 'Great deals this week' \
        'Wed, 06 Dec 2023 07:00:00 +0000' "deleted-1.$tag" 18
    write_message_store "$store/Deleted Items.dbx" 'Deleted Items' deleted1

    message_into offline1 'Example News <news@example.org>' "$me" 'Weekly digest' \
        'Sun, 10 Dec 2023 06:30:00 +0000' "offline-1.$tag" 28
    write_message_store "$store/Offline.DBX" Offline offline1

    if [[ $1 == "$id1" ]]; then
        local imap1 imap2 project1 news1 news2
        store_kind=1 store_account=00000002
        message_into imap1 'Office <office@example.com>' "$me" 'Quarterly plan' \
            'Mon, 11 Dec 2023 08:30:00 +0000' "imap-1.$tag" 22
        message_into imap2 'Alice Example <alice@example.com>' "$me" 'Room booking' \
            'Tue, 12 Dec 2023 13:05:00 +0000' "imap-2.$tag" 10
        write_message_store "$store/Inbox1.dbx" Inbox imap1 imap2
        message_into project1 'Office <office@example.com>' "$me" 'Project timeline' \
            'Wed, 13 Dec 2023 16:45:00 +0000' "project-1.$tag" 26
        write_message_store "$store/Projects.dbx" Projects project1
        store_kind=0 store_account=00000003
        message_into news1 'Ann Reader <ann@example.org>' 'example.quillet.users' \
            'Backing up old mail' 'Thu, 14 Dec 2023 19:00:00 +0000' "news-1.$tag" 14
        message_into news2 'Bob Writer <bob@example.org>' 'example.quillet.users' \
            'Re: Backing up old mail' 'Fri, 15 Dec 2023 07:20:00 +0000' "news-2.$tag" 12
        write_message_store "$store/example.quillet.users.dbx" example.quillet.users news1 news2
        store_kind=3 store_account=LocalStore
    fi

    crlf 'Compaction started' 'Inbox.dbx: nothing to do' 'Compaction finished' \
        >"$store/cleanup.log"

    # A store file in a subfolder: not part of the identity's store.
    message_into archive1 'Old Friend <old.friend@example.com>' "$me" 'Long time no see' \
        'Thu, 02 Jan 2020 12:00:00 +0000' "archive-1.$tag" 14
    write_message_store "$store/Archive/Archive 2019.dbx" 'Archive 2019' archive1
}

write_address_book() {
    local folder="$profile_dir/Application Data/Microsoft/Address Book"
    mkdir -p "$folder"
    python3 "$examples_dir/make-sample-wab.py" "$folder/quillet.wab"
    # The generator's state moves on as it did when this file was made of generated bytes, so the
    # stores and the stationery written next keep their bytes.
    # shellcheck disable=SC2034  # filled through append_noise's name reference
    local skipped=''
    append_noise 1680 skipped
}

write_stationery() {
    mkdir -p "$stationery_dir/Extra"
    crlf '<html><head><title>Ivy</title></head>' \
        '<body background="Ivy.gif" style="font-family: Georgia; color: #2e5b3a">' \
        '<p>&nbsp;</p>' '</body></html>' >"$stationery_dir/Ivy.htm"
    # A 1 x 1 GIF image in one shade of green.
    printf 'GIF89a\x01\x00\x01\x00\x80\x00\x00\x2e\x8b\x57\xff\xff\xff' >"$stationery_dir/Ivy.gif"
    printf '\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b' \
        >>"$stationery_dir/Ivy.gif"
    crlf '<html><head><title>Chess</title></head>' \
        '<body style="background: repeating-conic-gradient(#eee 0 25%, #fff 0 50%) 0 0/40px 40px">' \
        '<p>&nbsp;</p>' '</body></html>' >"$stationery_dir/Chess.htm"
    crlf '<html><head><title>Lined paper</title></head>' \
        '<body style="background: repeating-linear-gradient(#fff 0 23px, #9bd 23px 24px)">' \
        '<p>&nbsp;</p>' '</body></html>' >"$stationery_dir/Extra/Lined Paper.htm"
}

# ---------------------------------------------------------------------------------------------

write_user_reg >"$prefix/user.reg"
write_system_reg >"$prefix/system.reg"
write_userdef_reg >"$prefix/userdef.reg"

mkdir -p "$prefix/dosdevices" "$prefix/drive_c/windows/system32" "$profile_dir/Temp" \
    "$profile_dir/My Documents"
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s / "$prefix/dosdevices/z:"

write_address_book
write_store "$id1" 'Main Identity' 'main.user@example.com'
write_store "$id2" '=?utf-8?Q?Zo=C3=AB_=C3=85ngstr=C3=B6m?=' 'zoe@example.net'
write_stationery

echo "Sample prefix written to $prefix"
