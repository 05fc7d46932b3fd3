#!/usr/bin/env bash
# Builds Quillet and runs it on a fresh copy of the bundled sample Wine prefix: lists the
# identities, makes a password-protected backup of the first one, shows and verifies it, restores
# it into the second identity and shows that the second identity now holds the first one's data.
# Then it writes the bundled sample Windows disk (the same data on a mounted Windows XP disk),
# backs up the disk's second identity, restores that backup into the prefix's first identity and
# shows that this identity now holds the disk identity's data. Last it checks the message stores
# of the disk's first identity and exports its mail from the disk and from a backup as mbox files.
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLET_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
cli="$build/apps/quillet-cli/quillet-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
bash examples/make-sample-prefix.sh "$prefix" >/dev/null
printf 'correct horse\n' >"$work/password"

step() { printf '\n$ %s\n' "$*"; "$@"; }

step "$cli" --prefix "$prefix" identities
source_id=$("$cli" --prefix "$prefix" identities | sed -n 1p | cut -f 1)
target_id=$("$cli" --prefix "$prefix" identities | sed -n 2p | cut -f 1)

step "$cli" --prefix "$prefix" backup --identity "$source_id" --out "$work/demo.qbk" \
    --description "Demo backup" --password-file "$work/password"
step "$cli" info "$work/demo.qbk" --password-file "$work/password"
step "$cli" verify "$work/demo.qbk" --password-file "$work/password"
step "$cli" --prefix "$prefix" restore "$work/demo.qbk" --identity "$target_id" \
    --password-file "$work/password"

echo
echo "--- the second identity's keys now export exactly like the first one's:"
version='Software\Microsoft\Outlook Express\5.0'
# Exits unless two identities' key trees export alike. Arguments: for each identity, the system
# option and folder (--prefix DIR or --windows-root DIR) and the identity key.
same_keys() {
    local key
    for key in Rules 'Block Senders' signatures Mail; do
        "$cli" "$1" "$2" reg export "HKEY_CURRENT_USER\\Identities\\$3\\$version\\$key" "$work/a.txt"
        "$cli" "$4" "$5" reg export "HKEY_CURRENT_USER\\Identities\\$6\\$version\\$key" "$work/b.txt"
        if cmp -s "$work/a.txt" "$work/b.txt"; then echo "  $key: identical"; else echo "  $key: DIFFERENT"; exit 1; fi
    done
}
# Exits unless every message store in folder $1 is in folder $2 with the same bytes.
same_stores() {
    local dbx name
    for dbx in "$1/"*.[dD][bB][xX]; do
        name=$(basename "$dbx")
        cmp -s "$dbx" "$2/$name" && echo "  $name: identical" || { echo "  $name: DIFFERENT"; exit 1; }
    done
}
same_keys --prefix "$prefix" "$source_id" --prefix "$prefix" "$target_id"
store="$prefix/drive_c/users/quillet/Local Settings/Application Data/Identities"
same_stores "$store/$source_id/Microsoft/Outlook Express" "$store/$target_id/Microsoft/Outlook Express"

echo
echo "--- a backup straight from an old Windows disk (the same data, as a mounted Windows XP disk),"
echo "--- restored into the prefix's first identity, which then holds the disk identity's data:"
disk="$work/disk"
QUILLET_BUILD_DIR="$build" bash examples/make-sample-disk.sh "$disk" >/dev/null
step "$cli" --windows-root "$disk" identities
disk_id=$("$cli" --windows-root "$disk" identities | sed -n 2p | cut -f 1)
step "$cli" --windows-root "$disk" backup --identity "$disk_id" --out "$work/disk.qbk" \
    --password-file "$work/password"
step "$cli" info "$work/disk.qbk" --password-file "$work/password"
step "$cli" --prefix "$prefix" restore "$work/disk.qbk" --identity "$source_id" \
    --password-file "$work/password"
echo
same_keys --windows-root "$disk" "$disk_id" --prefix "$prefix" "$source_id"
disk_store="$disk/Documents and Settings/quillet/Local Settings/Application Data/Identities"
same_stores "$disk_store/$disk_id/Microsoft/Outlook Express" "$store/$source_id/Microsoft/Outlook Express"

echo
echo "--- the mail of the disk's first identity: its stores checked, then exported from the disk and"
echo "--- from a backup of them (nothing restored, nothing in the clear on disk), with the same result:"
mail_id=$("$cli" --windows-root "$disk" identities | sed -n 1p | cut -f 1)
step "$cli" --windows-root "$disk" check --identity "$mail_id"
step "$cli" --windows-root "$disk" backup --identity "$mail_id" --items messages \
    --out "$work/mail.qbk" --password-file "$work/password"
step "$cli" --windows-root "$disk" export --identity "$mail_id" --out "$work/mail-disk"
step "$cli" export "$work/mail.qbk" --password-file "$work/password" --out "$work/mail-backup"
diff -r "$work/mail-disk" "$work/mail-backup" >/dev/null && echo "  exported mail: identical" ||
    { echo "  exported mail: DIFFERENT"; exit 1; }
echo "  the folders as Outlook Express showed them (Local Folders at the top, one per account):"
(cd "$work/mail-disk" && find . -type f | sed 's|^\./|    |' | LC_ALL=C sort)
echo
echo "--- $work/mail-disk/Inbox, the start of the first message as a mail client reads it:"
head -n 4 "$work/mail-disk/Inbox"
