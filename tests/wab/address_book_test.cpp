#include "wab/address_book.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "wab/wab_builder.h"
#include "wab/wab_layout.h"

namespace quillet::wab {
namespace {

using testing::BuildWab;
using testing::BuiltWab;
using testing::PutWord;
using testing::TextListProperty;
using testing::TextProperty;
using testing::WabRecord;

class MemoryBook : public WindowedBookBytes {
  public:
    explicit MemoryBook(std::string bytes)
        : WindowedBookBytes("book.wab", bytes.size()), m_bytes(std::move(bytes)) {}

  protected:
    Status readExact(std::uint64_t offset, std::span<std::byte> out) const override {
        std::memcpy(out.data(), m_bytes.data() + offset, out.size());
        return Status::Ok();
    }

  private:
    std::string m_bytes;
};

std::string Hex(std::uint64_t offset) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(offset));
    return text;
}

WabRecord Person(std::uint32_t id, const std::string& name) {
    return {id,
            {TextProperty(kDisplayName, name),
             TextProperty(kEmailAddress, std::to_string(id) + "@example.org")}};
}

TEST(AddressBookTest, ReadsEachPropertyIntoItsField) {
    struct Row {
        std::uint16_t id;
        std::function<const std::string&(const Contact&)> field;
    };
    const std::vector<Row> rows = {
        {kDisplayName, [](const Contact& c) -> auto& {return c.displayName;
}
}  // namespace
, {kEmailAddress, [](const Contact& c) -> auto& {return c.email;
}  // namespace quillet::wab
}
, {kComment, [](const Contact& c) -> auto& {return c.comment;
}
}
, {kGivenName, [](const Contact& c) -> auto& {return c.givenName;
}
}
, {kSurname, [](const Contact& c) -> auto& {return c.surname;
}
}
, {kNickname, [](const Contact& c) -> auto& {return c.nickname;
}
}
, {kCompany, [](const Contact& c) -> auto& {return c.company;
}
}
, {kDepartment, [](const Contact& c) -> auto& {return c.department;
}
}
, {kTitle, [](const Contact& c) -> auto& {return c.title;
}
}
, {kMobilePhone, [](const Contact& c) -> auto& {return c.mobilePhone;
}
}
, {kHomeFax, [](const Contact& c) -> auto& {return c.homeFax;
}
}
, {kBusinessStreet, [](const Contact& c) -> auto& {return c.businessAddress.street;
}
}
, {kBusinessCity, [](const Contact& c) -> auto& {return c.businessAddress.city;
}
}
, {kHomePostalCode, [](const Contact& c) -> auto& {return c.homeAddress.postalCode;
}
}
, {kHomeCountry, [](const Contact& c) -> auto& {return c.homeAddress.country;
}
}
, {kBusinessWebPage, [](const Contact& c) -> auto& {return c.businessWebPage;
}
}
,
}
;
WabRecord record{7, {TextListProperty(kOtherEmails, {"a@example.org", "b@example.org"})}};
for (const Row& row : rows) {
    record.properties.push_back(TextProperty(row.id, "Zoë " + std::to_string(row.id)));
}
// An 8-bit string is Windows-1252 when it is not UTF-8.
record.properties.push_back({Tag(kOffice, kTypeString8), {std::string("Caf\xE9", 5)}});
MemoryBook bytes(BuildWab({record}).bytes);

auto book = ReadAddressBook(bytes, ReadMode::kStrict);
ASSERT_TRUE(book) << book.reason();
ASSERT_EQ(book->contacts.size(), 1u);
const Contact& contact = book->contacts[0];
for (const Row& row : rows) {
    EXPECT_EQ(row.field(contact), "Zoë " + std::to_string(row.id)) << row.id;
}
EXPECT_EQ(contact.office, "Café");
EXPECT_EQ(contact.otherEmails, (std::vector<std::string>{"a@example.org", "b@example.org"}));
EXPECT_EQ(contact.recordId, 7u);
EXPECT_FALSE(contact.isGroup);
}

TEST(AddressBookTest, SalvageFindsDeletedAndUnindexedRecordsAndStrictDoesNot) {
    WabRecord deleted = Person(3, "Gone");
    deleted.live = false;
    deleted.indexed = false;
    WabRecord older = Person(1, "Old Ann");  // an earlier version of record 1
    older.live = false;
    older.indexed = false;
    WabRecord unindexed = Person(4, "Lost");
    unindexed.indexed = false;
    WabRecord group{5,
                    {TextProperty(kDisplayName, "Club"),
                     testing::GroupMembersProperty({"x@example.org", "y@example.org"})}};
    MemoryBook bytes(BuildWab({older, Person(1, "Ann"), deleted, unindexed, group}).bytes);

    auto strict = ReadAddressBook(bytes, ReadMode::kStrict);
    ASSERT_TRUE(strict) << strict.reason();
    ASSERT_EQ(strict->contacts.size(), 2u);
    EXPECT_EQ(strict->contacts[1].groupMembers, 2u);
    EXPECT_TRUE(strict->contacts[1].isGroup);

    auto salvaged = ReadAddressBook(bytes, ReadMode::kSalvage);
    ASSERT_TRUE(salvaged) << salvaged.reason();
    std::vector<std::pair<std::string, bool>> found;
    for (const Contact& c : salvaged->contacts) found.emplace_back(c.displayName, c.recovered);
    EXPECT_EQ(found, (std::vector<std::pair<std::string, bool>>{
                         {"Ann", false}, {"Club", false}, {"Lost", true}, {"Gone", true}}));
    EXPECT_EQ(salvaged->recoveredRecords, 2u);
    EXPECT_TRUE(salvaged->damages.empty());
}

TEST(AddressBookTest, RefusesHostileFilesNamingTheOffset) {
    struct Row {
        const char* name;
        std::function<std::uint64_t(BuiltWab&)> damage;  // returns the offset the error names
    };
    const std::vector<Row> rows = {
        {"too many properties",
         [](BuiltWab& w) {
             PutWord(w.bytes, w.recordOffsets[0] + 12, kMaxProperties + 1);
             // A length that would pass too, so that only the count can be what is refused.
             PutWord(w.bytes, w.recordOffsets[0] + 28, 0x7FFFFFF0);
             return w.recordOffsets[0] + 12;
         }},
        {"length past the record",
         [](BuiltWab& w) {
             // The first property's length word: after the tag list and the tag.
             const std::uint32_t at = w.recordOffsets[0] + kRecordHeaderSize + 2 * 4 + 4;
             PutWord(w.bytes, at, 0x7FFFFFF0);
             return at;
         }},
        {"index loop",
         [](BuiltWab& w) {
             PutWord(w.bytes, w.indexOffset + kIndexEntrySize + 4, w.recordOffsets[0]);
             return w.indexOffset + kIndexEntrySize + 4;
         }},
        {"truncated file",
         [](BuiltWab& w) {
             w.bytes.resize(w.recordOffsets[1] + kRecordHeaderSize + 3);
             return w.recordOffsets[1] + 28;
         }},
        {"index count past the file",
         [](BuiltWab& w) {
             PutWord(w.bytes, kFirstDescriptor + 12, 0x10000000);
             return kFirstDescriptor + 8;
         }},
    };
    for (const Row& row : rows) {
        BuiltWab built = BuildWab({Person(1, "Ann"), Person(2, "Bob")});
        const std::uint64_t offset = row.damage(built);
        MemoryBook bytes(built.bytes);

        auto strict = ReadAddressBook(bytes, ReadMode::kStrict);
        ASSERT_FALSE(strict) << row.name;
        EXPECT_TRUE(strict.status().is(ErrorKind::kCorrupt)) << row.name;
        EXPECT_NE(strict.reason().find("at offset " + Hex(offset)), std::string::npos)
            << row.name << ": " << strict.reason();

        auto salvaged = ReadAddressBook(bytes, ReadMode::kSalvage);
        ASSERT_TRUE(salvaged) << row.name << ": " << salvaged.reason();
        EXPECT_FALSE(salvaged->damages.empty()) << row.name;
        EXPECT_GE(salvaged->contacts.size(), 1u) << row.name;
    }
}

}  // namespace
}  // namespace quillet::wab
