#!/usr/bin/env bash
# Times the upload of a large message store to a local Dovecot (the tests' own, started here on
# 127.0.0.1) beside Python's imaplib appending the same messages to the same server in the same
# run, and prints a Markdown table for the README's Performance section:
#  - `python3 imaplib_append.py` (one APPEND each, from the messages exported as .eml files);
#  - `quillet-cli --prefix P export --identity "Main Identity" --imap imaps://...` (reads the
#    store, checks the folder for messages already there, APPENDs with flags and dates).
#
#   bench/mail/imap.sh [--build DIR] [--mb N] [--runs N]
#
#   --build DIR   release build folder, configured and built here (default: build-release)
#   --mb N        size of the store in MB (default 256)
#   --runs N      runs of each measurement; the table shows medians (default 3)
#
# Every run starts with an empty account (its mailboxes deleted), so each uploads everything.
# Each measurement runs in its own process under /usr/bin/time, so its peak memory is its own.
set -euo pipefail
export LC_ALL=C

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="$source_dir/build-release"
mb=256
runs=3
while (($#)); do
    case "$1" in
        --build) build="$2"; shift 2 ;;
        --mb) mb="$2"; shift 2 ;;
        --runs) runs="$2"; shift 2 ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        *) echo "imap.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
build="$(realpath -m "$build")"
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-imap-bench-XXXXXX")
server_pid=
cleanup() {
    if [[ -n $server_pid ]]; then
        exec 5>&- 6<&-  # its standard input ends: it stops Dovecot
        wait "$server_pid" || true
    fi
    rm -rf -- "$work"
}
trap cleanup EXIT

# shellcheck source=bench/measure.sh
source "$source_dir/bench/measure.sh"
release_build quillet-cli make_mail_dbx dovecot_for_bench
cli="$build/apps/quillet-cli/quillet-cli"

echo "Writing a sample prefix with a ${mb} MB Inbox.dbx ..." >&2
prefix="$work/prefix"
"$source_dir/examples/make-sample-prefix.sh" "$prefix" >/dev/null
identity='Main Identity'
stores=("$prefix"/drive_c/users/*/"Local Settings/Application Data/Identities/{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}/Microsoft/Outlook Express")
store=${stores[0]}
find "$store" -maxdepth 1 -iname '*.dbx' -delete
"$build/bench/mail/make_mail_dbx" "$store" "$mb" >"$work/make.log"
messages=$(sed -n 's/.*: \([0-9]*\) messages.*/\1/p' "$work/make.log")
"$cli" --prefix "$prefix" export --identity "$identity" --out "$work/eml" --format eml >/dev/null

mkfifo "$work/server-in" "$work/server-out"
"$build/bench/mail/dovecot_for_bench" "$work/dovecot" <"$work/server-in" >"$work/server-out" &
server_pid=$!
exec 5>"$work/server-in" 6<"$work/server-out"
if ! read -r port cert user password <&6; then
    echo "imap.sh: the Dovecot did not start" >&2
    exit 1
fi
echo "$password" >"$work/password"
append=("$source_dir/bench/mail/imaplib_append.py" "$port" "$cert" "$user" "$password")

before_each_run() { python3 "${append[@]}" --wipe; }
measure python python3 "${append[@]}" "Outlook Express.Inbox" "$work/eml/Inbox"
measure quillet "$cli" --prefix "$prefix" export --identity "$identity" \
    --imap "imaps://${user/@/%40}@127.0.0.1:$port" --imap-password-file "$work/password" \
    --ca-file "$cert"

uploaded=$(python3 - "$port" "$cert" "$user" "$password" <<'PY'
import imaplib, ssl, sys
port, ca, user, password = sys.argv[1:5]
imap = imaplib.IMAP4_SSL("127.0.0.1", int(port), ssl_context=ssl.create_default_context(cafile=ca))
imap.login(user, password)
print(int(imap.select('"Outlook Express.Inbox"', readonly=True)[1][0]))
PY
)
if [[ $uploaded != "$messages" ]]; then
    echo "imap.sh: the account holds ${uploaded} messages, the store $messages" >&2
    exit 1
fi
sec() { awk -v ms="${wall_ms[$1]}" 'BEGIN { printf "%.2f", ms / 1000 }'; }
ratio=$(awk -v a="${wall_ms[quillet]}" -v b="${wall_ms[python]}" 'BEGIN { printf "%.2f", a / b }')
echo "Inbox.dbx: $mb MB, $messages messages; medians of $runs runs on $(nproc) cores"
echo
echo "| step | wall (s) | peak memory (MB) | time / imaplib |"
echo "|---|---|---|---|"
echo "| \`imaplib\` APPEND of the .eml files | $(sec python) | ${peak_mb[python]} | 1.00 |"
echo "| \`quillet-cli export --imap\` | $(sec quillet) | ${peak_mb[quillet]} | $ratio |"
