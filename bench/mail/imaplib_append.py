#!/usr/bin/env python3
"""The yardstick of imap.sh: appends every file of a folder (sorted by name) to a mailbox with
Python's imaplib over TLS, one APPEND each with \\Seen, as a plain upload script would.
With --wipe instead of a folder, deletes every mailbox but INBOX.

  imaplib_append.py PORT CA_FILE USER PASSWORD MAILBOX FOLDER
  imaplib_append.py PORT CA_FILE USER PASSWORD --wipe"""

import imaplib
import os
import ssl
import sys


def main():
    port, ca_file, user, password, mailbox = sys.argv[1:6]
    imap = imaplib.IMAP4_SSL("127.0.0.1", int(port),
                             ssl_context=ssl.create_default_context(cafile=ca_file))
    imap.login(user, password)
    if mailbox == "--wipe":
        kind, listed = imap.list()
        names = [line.rsplit(b' "." ', 1)[1] for line in listed if line]
        for name in sorted(names, key=len, reverse=True):
            if name.strip(b'"') != b"INBOX":
                imap.delete(name)
    else:
        folder = sys.argv[6]
        imap.create(f'"{mailbox}"')
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), "rb") as message:
                kind, data = imap.append(f'"{mailbox}"', r"(\Seen)", None, message.read())
                assert kind == "OK", data
    imap.logout()


if __name__ == "__main__":
    main()
