#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "wab/book_bytes.h"
#include "wab/contact.h"

namespace quillet::wab {

// How the reader meets damage. Strict: the first inconsistency is the failure (an error naming
// the file and the offset). Salvage: every inconsistency is recorded as a BookDamage, the reader
// goes on with what is sound, and scans the whole file for records, the deleted ones included.
enum class ReadMode { kStrict, kSalvage };

// One inconsistency a salvaging read went past: "<file>: <what> at offset 0x<hex>".
struct BookDamage {
    std::string what;
};

// What a read of an address book found besides its contacts.
struct BookSummary {
    std::uint32_t indexedRecords = 0;    // records read through the index
    std::uint32_t recoveredRecords = 0;  // records only the scan found (deleted or lost)
    std::vector<BookDamage> damages;     // salvage only; empty when nothing was wrong
};

// What an address book holds, in the order of its index (then of the file, for records that only
// the scan found).
struct AddressBook : BookSummary {
    std::vector<Contact> contacts;  // persons and groups
};

// Takes each contact as it is read; a failure stops the read and is its result.
using ContactSink = std::function<Status(Contact&&)>;

// Reads an address book. The header's magic and index table are checked, each record the index
// names is read and checked (its marker words, its id, a property count of at most
// kMaxProperties, every length against the record's end, the record's end against the file's);
// an index that names one record twice is refused. Records are read one at a time: memory holds
// one record and the contacts, never the file; a count is checked against the bytes left before
// anything is allocated from it.
//
// Salvage also scans the file for records (the marker word at kRecordMarkerOffset) that the
// index does not name, live or deleted, and returns them with Contact::recovered set; a deleted
// record whose id a live record carries is an older version of that entry and is left out.
//
// Fails (strict) with kCorrupt naming the file and offset, or with the BookBytes' read failure;
// salvage fails only on a read error.
Result<AddressBook> ReadAddressBook(const BookBytes& bytes, ReadMode mode);

// The same read, handing each contact to `sink` as soon as it is read and kept by nobody: memory
// holds the record being read, the offsets and ids of the records read so far, and (salvage) the
// deleted records found until the scan has seen every live id. The contacts come in the order
// ReadAddressBook returns them.
Result<BookSummary> ReadAddressBook(const BookBytes& bytes, ReadMode mode, const ContactSink& sink);

// One record read from the file: the contact, and where the record ends.
struct RecordRead {
    Contact contact;
    bool live = true;
    std::uint64_t end = 0;
};

// Reads the record at `offset` (see ReadAddressBook for the checks). Fails with kCorrupt naming
// the offset of what is wrong.
Result<RecordRead> ReadRecord(const BookBytes& bytes, std::uint64_t offset);

}  // namespace quillet::wab
