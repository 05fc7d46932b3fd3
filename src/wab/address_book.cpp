#include "wab/address_book.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <map>
#include <set>

#include "wab/wab_layout.h"

namespace quillet::wab {
namespace {

struct IndexTable {
    std::uint64_t offset = 0;
    std::uint32_t count = 0;
};

// Checks the magic and finds the index table. A header without one describes an empty book.
Result<IndexTable> ReadHeader(const BookBytes& bytes) {
    if (bytes.size() < kHeaderSize) return DamageAt(bytes, 0, "a file shorter than a header");
    std::array<std::byte, kMagic.size()> magic{};
    if (Status read = bytes.readAt(0, magic); !read) return read;
    if (std::memcmp(magic.data(), kMagic.data(), kMagic.size()) != 0 &&
        std::memcmp(magic.data(), kOldMagic.data(), kOldMagic.size()) != 0) {
        return DamageAt(bytes, 0, "no address book magic");
    }
    for (std::uint32_t i = 0; i < kDescriptorCount; ++i) {
        const std::uint64_t at = kFirstDescriptor + i * kDescriptorSize;
        auto type = ReadUint32(bytes, at);
        auto entrySize = ReadUint32(bytes, at + 4);
        auto offset = ReadUint32(bytes, at + 8);
        auto count = ReadUint32(bytes, at + 12);
        for (const Result<std::uint32_t>* word : {&type, &entrySize, &offset, &count}) {
            if (!*word) return word->status();
        }
        if (*type != kIndexTable) continue;
        if (*entrySize != kIndexEntrySize) {
            return DamageAt(bytes, at + 4, "an index table of the wrong entry size");
        }
        if (*offset > bytes.size() || *count > (bytes.size() - *offset) / kIndexEntrySize) {
            return DamageAt(bytes, at + 8, "an index table that passes the end of the file");
        }
        return IndexTable{*offset, *count};
    }
    return IndexTable{};
}

// Notes damage in salvage, or turns it into the failure in strict mode.
Status Note(const Status& problem, ReadMode mode, BookSummary& book) {
    if (mode == ReadMode::kStrict || !problem.is(ErrorKind::kCorrupt)) return problem;
    book.damages.push_back({problem.reason()});
    return Status::Ok();
}

// Records read so far: where each starts, and where it ends (0 when it could not be read).
using RecordRanges = std::map<std::uint64_t, std::uint64_t>;

// The end of the record read so far whose bytes [start, end) overlap [start, end) given, or 0.
std::uint64_t OverlappedEnd(const RecordRanges& ranges, std::uint64_t start, std::uint64_t end) {
    auto next = ranges.upper_bound(start);
    if (next != ranges.begin()) {
        auto before = std::prev(next);
        if (before->first != start && before->second > start) return before->second;
        if (before->first == start && before->second != 0) return before->second;
    }
    for (; next != ranges.end() && next->first < end; ++next) {
        if (next->second != 0) return next->second;
    }
    return 0;
}

}  // namespace

Result<BookSummary> ReadAddressBook(const BookBytes& bytes, ReadMode mode,
                                    const ContactSink& sink) {
    BookSummary book;
    // The ids of the live records handed on: a deleted record with one of them is an older
    // version of that entry.
    std::set<std::uint32_t> liveIds;
    auto index = ReadHeader(bytes);
    if (!index) {
        if (Status noted = Note(index.status(), mode, book); !noted) return noted;
        index = IndexTable{};
    }
    RecordRanges recordsRead;
    for (std::uint32_t i = 0; i < index->count; ++i) {
        const std::uint64_t at = index->offset + std::uint64_t{i} * kIndexEntrySize;
        auto id = ReadUint32(bytes, at);
        auto offset = ReadUint32(bytes, at + 4);
        if (!id) return id.status();
        if (!offset) return offset.status();
        if (*offset < kHeaderSize) {
            Status bad = DamageAt(bytes, at + 4, "an index entry that points into the header");
            if (Status noted = Note(bad, mode, book); !noted) return noted;
            continue;
        }
        if (!recordsRead.emplace(*offset, 0).second) {
            Status bad = DamageAt(bytes, at + 4, "an index entry naming a record twice");
            if (Status noted = Note(bad, mode, book); !noted) return noted;
            continue;
        }
        auto record = ReadRecord(bytes, *offset);
        Status bad = record ? Status::Ok() : record.status();
        if (record && !record->live) {
            bad = DamageAt(bytes, *offset, "an index entry naming a deleted record");
        } else if (record && record->contact.recordId != *id) {
            bad = DamageAt(bytes, *offset + 8, "a record whose id is not the index's");
        } else if (record && OverlappedEnd(recordsRead, *offset, record->end) != 0) {
            // Records that share bytes would let a small file cost as much as a large one.
            bad = DamageAt(bytes, *offset, "a record that overlaps another");
        }
        if (!bad) {
            if (Status noted = Note(bad, mode, book); !noted) return noted;
            continue;
        }
        recordsRead[*offset] = record->end;
        ++book.indexedRecords;
        liveIds.insert(record->contact.recordId);
        if (Status taken = sink(std::move(record->contact)); !taken) return taken;
    }
    if (mode == ReadMode::kStrict) return book;

    // Every record that the index does not name, found by its marker word. A record is at least a
    // header long, so the scan stops where no header fits.
    std::map<std::uint32_t, Contact> deleted;  // by id: the last one in the file is kept
    // Each marker that starts no sound record costs up to its record's length: the bytes such
    // attempts may read are bounded, so that a file full of them costs no more than a few reads.
    const std::uint64_t attemptBudget = 4 * bytes.size() + (1u << 20);
    std::uint64_t attempted = 0;
    std::uint64_t at = kHeaderSize;
    while (bytes.size() >= kRecordHeaderSize && at <= bytes.size() - kRecordHeaderSize) {
        if (std::uint64_t end = OverlappedEnd(recordsRead, at, at + 1); end > at) {
            at = end;
            continue;
        }
        auto marker = ReadUint32(bytes, at + kRecordMarkerOffset);
        if (!marker) return marker.status();
        if (*marker != kRecordMarker) {
            ++at;
            continue;
        }
        auto record = ReadRecord(bytes, at);
        if (!record) {
            if (!record.status().is(ErrorKind::kCorrupt)) return record.status();
            auto length = ReadUint32(bytes, at + kRecordHeaderSize - 4);
            attempted += kRecordHeaderSize +
                         std::min<std::uint64_t>(length ? *length : 0, bytes.size() - at);
            if (attempted > attemptBudget) {
                book.damages.push_back({DamageAt(bytes, at,
                                                 "the scan for records stopped: too "
                                                 "many broken records")
                                            .reason()});
                break;
            }
            ++at;
            continue;
        }
        record->contact.recovered = true;
        const std::uint64_t end = record->end;
        if (record->live) {
            liveIds.insert(record->contact.recordId);
            ++book.recoveredRecords;
            if (Status taken = sink(std::move(record->contact)); !taken) return taken;
        } else {
            deleted[record->contact.recordId] = std::move(record->contact);
        }
        at = end;
    }
    std::vector<Contact> older;
    for (auto& [id, contact] : deleted) {
        if (liveIds.count(id) == 0) older.push_back(std::move(contact));
    }
    std::sort(older.begin(), older.end(),
              [](const Contact& a, const Contact& b) { return a.offset < b.offset; });
    book.recoveredRecords += static_cast<std::uint32_t>(older.size());
    for (Contact& contact : older) {
        if (Status taken = sink(std::move(contact)); !taken) return taken;
    }
    return book;
}

Result<AddressBook> ReadAddressBook(const BookBytes& bytes, ReadMode mode) {
    AddressBook book;
    auto summary = ReadAddressBook(bytes, mode, [&](Contact&& contact) {
        book.contacts.push_back(std::move(contact));
        return Status::Ok();
    });
    if (!summary) return summary.status();
    static_cast<BookSummary&>(book) = std::move(summary.value());
    return book;
}

}  // namespace quillet::wab
