#!/usr/bin/env python3
"""An IMAP server over TLS for one connection, on a free port of 127.0.0.1 that it prints: any login
and folder go, and SELECT tells of messages it never sends. Arguments: CERT_FILE KEY_FILE."""
import socket, ssl, sys

listener = socket.create_server(("127.0.0.1", 0))
listener.settimeout(60)
print(listener.getsockname()[1], flush=True)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[1], sys.argv[2])
ANSWERS = {b"LIST": b'* LIST (\\Noselect) "/" ""\r\n', b"SELECT": b"* 4294967295 EXISTS\r\n"}
with context.wrap_socket(listener.accept()[0], server_side=True) as tls:
    stream = tls.makefile("rwb", buffering=0)
    stream.write(b"* OK ready\r\n")
    for tag, command, *_ in (line.split() + [b""] * 2 for line in stream):
        stream.write(ANSWERS.get(command.upper(), b"") + tag + b" OK done\r\n")
