#!/bin/sh
# The desktop entry, the AppStream entry and the manual pages, as their validators read them.
# Usage: check_metadata.sh DATA_FOLDER GENERATED_FOLDER APPSTREAM_ID
set -eu
data=$1 generated=$2 id=$3
for tool in appstreamcli desktop-file-validate man lexgrog; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
desktop-file-validate "$data/quillet.desktop"
appstreamcli validate --no-net "$generated/$id.metainfo.xml"
for page in quillet quillet-cli; do
    lexgrog "$generated/$page.1.gz"
    # man reports every formatting problem on stderr; there must be none.
    warnings=$(MANWIDTH=80 man --warnings -l "$generated/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page.1: $warnings"; exit 1; }
done
