#!/usr/bin/env python3
"""An IMAP server over TLS that takes any login and folder and answers SELECT with a count of
messages it never sends. Arguments: LISTENING_FD CERT_FILE KEY_FILE."""
import socket, ssl, sys

listener = socket.socket(fileno=int(sys.argv[1]))
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
ANSWERS = {b"LIST": b'* LIST (\\Noselect) "/" ""\r\n', b"SELECT": b"* 4294967295 EXISTS\r\n"}
while True:
    with context.wrap_socket(listener.accept()[0], server_side=True) as tls:
        stream = tls.makefile("rwb", buffering=0)
        stream.write(b"* OK ready\r\n")
        for tag, command, *_ in (line.split() + [b""] * 2 for line in stream):
            stream.write(ANSWERS.get(command.upper(), b"") + tag + b" OK done\r\n")
