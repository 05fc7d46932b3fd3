#!/usr/bin/env bash
# Installs every Debian package Quillet needs to build, test and benchmark.
# Idempotent: packages already present are left as they are. Run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev
    libcli11-dev libfmt-dev
    nlohmann-json3-dev  # quillet-cli --json writes its documents with it
    # libzip's CMake package names its three tools and fails when they are missing.
    libzip-dev zlib1g-dev zipcmp zipmerge ziptool
    # The registry hives of a mounted Windows disk are read with libhivex; bench/disk compares
    # with its hivexml.
    libhivex-dev libhivex-bin
    libssl-dev
    libsqlite3-dev  # a Thunderbird profile's address book is an SQLite database
    # The IMAP upload: libetpan speaks IMAP, GnuTLS checks the server's certificate chain, and
    # the tests run a real Dovecot of their own, with a certificate openssl makes.
    libetpan-dev libgnutls28-dev dovecot-imapd openssl
    libburn-dev libisofs-dev libisoburn-dev genisoimage
    libudfread-dev  # reads back the UDF tree of a written image
    qt6-base-dev
    fonts-dejavu-core
    zip unzip p7zip-full
    # The real wineserver that the Wine-server probe is tested against.
    wine wine64
    # Scheduled backups are lines of the user's crontab, written with its crontab command.
    cron
    libcctz-dev  # the dates of scheduled jobs are made in the system's time zone file
    csh  # a scheduled line is run as cron runs it under a crontab that sets SHELL=/bin/csh
    time
    python3  # the mail export's tests read its mbox files back with Python's mailbox module
    python3-vobject  # the contacts tests read the vCards back with an independent reader
    xorriso udftools  # read back the disc images of the disc tests and bench/disc
    help2man  # makes quillet-cli's manual page from the program's own help
    lintian  # checks the Debian package that scripts/package.sh makes
    desktop-file-utils appstream  # the tests validate the desktop entry and the AppStream entry
    man-db  # the tests read the manual pages with man and lexgrog
    bash-completion zsh fish  # the tests drive quillet-cli's completions through each shell
    thunderbird  # one test opens a profile that quillet-cli thunderbird made in the real one
    # docs/take-screenshots.sh and docs/take-thunderbird-screenshots.sh draw on a private X
    # server and grab it.
    xvfb x11-apps imagemagick
    # scripts/fuzz.sh builds the libFuzzer targets with clang; its fuzzer and sanitizer runtimes
    # are only recommended by clang, so named here.
    clang libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    # Packages must not start their services (Dovecot: the tests start their own on free ports):
    # a policy-rc.d that refuses every start, unless the machine has one of its own.
    policy=
    if [[ ! -e /usr/sbin/policy-rc.d ]]; then
        policy=/usr/sbin/policy-rc.d
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        trap 'rm -f "$policy"' EXIT
    fi
    apt-get install -y --no-install-recommends "${missing[@]}"
    if [[ -n $policy ]]; then rm -f "$policy"; fi
fi
