#!/usr/bin/env python3
"""Prints every message of an IMAP account, read with imaplib over TLS, one line each:
mailbox, flags (sorted, space-separated), internal date (seconds since 1970) and the message's
bytes in hex, separated by tabs. Arguments: HOST PORT CA_FILE USER PASSWORD."""

import datetime
import imaplib
import re
import ssl
import sys

host, port, ca_file, user, password = sys.argv[1:6]
imap = imaplib.IMAP4_SSL(host, int(port), ssl_context=ssl.create_default_context(cafile=ca_file))
imap.login(user, password)
for line in imap.list()[1]:
    # (flags) "delimiter" name, the name quoted when it holds a space (no name holds a quote)
    flags, name = re.match(rb'\(([^)]*)\) \S+ "?(.*?)"?$', line).groups()
    if b"\\Noselect" in flags or int(imap.select(b'"' + name + b'"', readonly=True)[1][0]) == 0:
        continue
    for item in imap.fetch("1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")[1]:
        if not isinstance(item, tuple):
            continue
        head, body = item
        flags = sorted(f.decode() for f in re.search(rb"FLAGS \(([^)]*)\)", head).group(1).split()
                       if f != b"\\Recent")
        when = re.search(rb'INTERNALDATE "([^"]+)"', head).group(1).decode().strip()
        seconds = datetime.datetime.strptime(when, "%d-%b-%Y %H:%M:%S %z").timestamp()
        print("\t".join([name.decode(), " ".join(flags), str(int(seconds)), body.hex()]))
imap.logout()
