#!/usr/bin/env python3
"""Writes the sample prefix's Windows Address Book (.wab): three people, a group and a deleted
record whose bytes the file still holds. The output is the same on every run.

Usage: make-sample-wab.py FILE

The layout: a 16-byte magic, two counts and six table descriptors {type, entry size, offset,
count}; an index table (0xFA0) of {record id, record offset}; a text table (0x84D0) of
{0x40-byte UTF-16 display name, record id}; then the records. A record is eight 32-bit words
{1 live / 0 deleted, 1, id, property count, 0x20, 0, 0, data length}, the property tags, then
each property's tag and its value: [length][bytes], or for a multi-valued one
[count][length] followed by [length][bytes] per value. Texts are UTF-16LE with a terminator.
"""
import struct
import sys

MAGIC = bytes.fromhex("9CCBCB8D1375D211915800C04F7956A4")
INDEX_TABLE, TEXT_TABLE = 0xFA0, 0x84D0
HEADER_SIZE = 0x18 + 6 * 16
UNICODE, MULTI, BINARY = 0x001F, 0x1000, 0x0102

(DISPLAY_NAME, ADDRESS_TYPE, EMAIL, COMMENT, GIVEN_NAME, BUSINESS_PHONE, HOME_PHONE, SURNAME,
 COMPANY, TITLE, DEPARTMENT, MOBILE, PAGER, BUSINESS_FAX, HOME_FAX, BUSINESS_COUNTRY,
 BUSINESS_CITY, BUSINESS_REGION, BUSINESS_STREET, BUSINESS_POSTAL_CODE, NICKNAME,
 PERSONAL_WEB_PAGE, OTHER_ADDRESS_TYPES, OTHER_EMAILS, HOME_CITY, HOME_COUNTRY,
 HOME_POSTAL_CODE, HOME_REGION, HOME_STREET, GROUP_MEMBERS) = (
    0x3001, 0x3002, 0x3003, 0x3004, 0x3A06, 0x3A08, 0x3A09, 0x3A11, 0x3A16, 0x3A17, 0x3A18,
    0x3A1C, 0x3A21, 0x3A24, 0x3A25, 0x3A26, 0x3A27, 0x3A28, 0x3A29, 0x3A2A, 0x3A4F, 0x3A50,
    0x3A54, 0x3A56, 0x3A59, 0x3A5A, 0x3A5B, 0x3A5C, 0x3A5D, 0x8009)


def utf16(text):
    return text.encode("utf-16-le") + b"\0\0"


def text(prop_id, value):
    return (prop_id << 16 | UNICODE, [utf16(value)])


def texts(prop_id, values):
    return (prop_id << 16 | UNICODE | MULTI, [utf16(v) for v in values])


def members(addresses):
    # A one-off entry per member: flags and a provider id, then name, "SMTP" and the address.
    return (GROUP_MEMBERS << 16 | BINARY | MULTI,
            [bytes(20) + utf16(a) + utf16("SMTP") + utf16(a) for a in addresses])


def record_bytes(record_id, properties, live=True):
    data = b"".join(struct.pack("<I", tag) for tag, _ in properties)
    for tag, values in properties:
        data += struct.pack("<I", tag)
        if tag & MULTI:
            elements = b"".join(struct.pack("<I", len(v)) + v for v in values)
            data += struct.pack("<II", len(values), len(elements)) + elements
        else:
            data += struct.pack("<I", len(values[0])) + values[0]
    head = struct.pack("<8I", 1 if live else 0, 1, record_id, len(properties), 0x20, 0, 0,
                       len(data))
    return head + data


RECORDS = [
    (1, "Alice Example", True, [
        text(DISPLAY_NAME, "Alice Example"), text(GIVEN_NAME, "Alice"),
        text(SURNAME, "Example"), text(NICKNAME, "Ali"), text(ADDRESS_TYPE, "SMTP"),
        text(EMAIL, "alice@example.com"),
        texts(OTHER_EMAILS, ["alice@example.com", "alice.work@example.net"]),
        texts(OTHER_ADDRESS_TYPES, ["SMTP", "SMTP"]),
        text(BUSINESS_PHONE, "+1 555 0100"), text(HOME_PHONE, "+1 555 0101"),
        text(MOBILE, "+1 555 0102"), text(COMPANY, "Example Widgets, Inc."),
        text(DEPARTMENT, "Research; Development"), text(TITLE, "Engineer"),
        text(BUSINESS_STREET, "1 Main Street\r\nSuite 2"), text(BUSINESS_CITY, "Springfield"),
        text(BUSINESS_REGION, "IL"), text(BUSINESS_POSTAL_CODE, "62701"),
        text(BUSINESS_COUNTRY, "USA"), text(PERSONAL_WEB_PAGE, "http://alice.example.com/"),
        text(COMMENT, "Met at the garden club,\r\nlikes roses."),
    ]),
    (2, "Frédéric Martin", True, [
        text(DISPLAY_NAME, "Frédéric Martin"), text(GIVEN_NAME, "Frédéric"),
        text(SURNAME, "Martin"), text(ADDRESS_TYPE, "SMTP"), text(EMAIL, "frederic@example.org"),
        text(HOME_PHONE, "+33 1 23 45 67 89"), text(HOME_FAX, "+33 1 23 45 67 80"),
        text(HOME_STREET, "12 rue de l'Église"), text(HOME_CITY, "Besançon"),
        text(HOME_POSTAL_CODE, "25000"), text(HOME_COUNTRY, "France"),
    ]),
    (3, "Åsa Lindström", True, [
        text(DISPLAY_NAME, "Åsa Lindström"), text(GIVEN_NAME, "Åsa"),
        text(SURNAME, "Lindström"), text(ADDRESS_TYPE, "SMTP"), text(EMAIL, "asa@example.se"),
        text(PAGER, "0740 12 34 56"), text(BUSINESS_FAX, "+46 8 123 456 00"),
        text(COMPANY, "Lindström & Söner"),
    ]),
    (4, "Garden Club", True, [
        text(DISPLAY_NAME, "Garden Club"), members(["alice@example.com", "club@example.org"]),
    ]),
    # Deleted: the index no longer names it, but its bytes are still in the file.
    (5, "Old Neighbour", False, [
        text(DISPLAY_NAME, "Old Neighbour"), text(ADDRESS_TYPE, "SMTP"),
        text(EMAIL, "neighbour@example.net"),
    ]),
]


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-sample-wab.py FILE")
    live = [r for r in RECORDS if r[2]]
    index_offset = HEADER_SIZE
    text_offset = index_offset + 8 * len(live)
    at = text_offset + 0x44 * len(live)
    index, names, body = b"", b"", b""
    for record_id, name, is_live, properties in RECORDS:
        record = record_bytes(record_id, properties, is_live)
        if is_live:
            index += struct.pack("<II", record_id, at)
            names += utf16(name)[:0x40].ljust(0x40, b"\0") + struct.pack("<I", record_id)
        body += record
        at += len(record)
    header = MAGIC + struct.pack("<II", len(live), len(live))
    header += struct.pack("<4I", INDEX_TABLE, 8, index_offset, len(live))
    header += struct.pack("<4I", TEXT_TABLE, 0x44, text_offset, len(live))
    header += bytes(4 * 16)
    with open(sys.argv[1], "wb") as out:
        out.write(header + index + names + body)


if __name__ == "__main__":
    main()
