#!/usr/bin/env python3
"""Prints every message of an IMAP account, read with imaplib over TLS, one line each:
mailbox, flags (sorted, space-separated), internal date (seconds since 1970) and the message's
bytes in hex, separated by tabs. Arguments: HOST PORT CA_FILE USER PASSWORD (the password on
stdin when PASSWORD is "-")."""

import datetime
import imaplib
import re
import ssl
import sys

LIST_LINE = re.compile(rb'\((?P<flags>[^)]*)\) (?P<delim>NIL|"[^"]*") (?P<name>.*)$')


def mailbox_name(raw):
    if raw.startswith(b'"'):
        return raw[1:-1].replace(b'\\"', b'"').replace(b"\\\\", b"\\")
    return raw


def main():
    host, port, ca_file, user, password = sys.argv[1:6]
    context = ssl.create_default_context(cafile=ca_file)
    imap = imaplib.IMAP4_SSL(host, int(port), ssl_context=context)
    imap.login(user, password)
    kind, listed = imap.list()
    assert kind == "OK", listed
    for line in listed:
        match = LIST_LINE.match(line)
        assert match, line
        if b"\\Noselect" in match.group("flags"):
            continue
        name = mailbox_name(match.group("name"))
        kind, data = imap.select(b'"' + name + b'"', readonly=True)
        assert kind == "OK", data
        if int(data[0]) == 0:
            continue
        kind, data = imap.fetch("1:*", "(FLAGS INTERNALDATE BODY.PEEK[])")
        assert kind == "OK", data
        for item in data:
            if not isinstance(item, tuple):
                continue
            head, body = item
            flags = [flag for flag in re.search(rb"FLAGS \(([^)]*)\)", head).group(1).split()
                     if flag != b"\\Recent"]
            when = re.search(rb'INTERNALDATE "([^"]+)"', head).group(1).decode()
            seconds = datetime.datetime.strptime(when.strip(), "%d-%b-%Y %H:%M:%S %z").timestamp()
            print("\t".join([name.decode(), " ".join(sorted(f.decode() for f in flags)),
                             str(int(seconds)), body.hex()]))
    imap.logout()


if __name__ == "__main__":
    main()
