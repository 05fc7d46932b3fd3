#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"
#include "wab/address_book.h"

namespace quillet::thunderbird {

// Thunderbird's own address book of a profile, its "Personal Address Book" (the default of
// ldap_2.servers.pab.filename).
inline constexpr char kAddressBookFileName[] = "abook.sqlite";

// An address book made for a Thunderbird profile.
struct ThunderbirdAddressBook {
    std::string bytes;  // the whole database file
    std::uint32_t cards = 0;
    std::uint32_t recovered = 0;  // of them, read from deleted or lost records
    std::vector<std::string> groupsLeftOut;
    std::vector<wab::BookDamage> damages;  // what a salvaging read went past
};

// The persons of the address book in `bytes`, read as ReadAddressBook does in `mode`, as the cards
// of a Thunderbird address book, in the schema Thunderbird keeps (tables properties, lists and
// list_cards, user_version 4): for each card its vCard with a new UID, and beside it the properties
// Thunderbird searches and sorts by (DisplayName, FirstName, LastName, PrimaryEmail, SecondEmail,
// NickName) and LastModifiedDate (`now`, in seconds since 1970). Groups get no card: their members
// are only partly described.
//
// The database is made in memory and handed back as the file's bytes, so that it is written into
// the profile as every other file is (flushed, within the side folder). Fails with the read's
// failure (kCorrupt for damage in strict mode), or when SQLite does.
Result<ThunderbirdAddressBook> MakeThunderbirdAddressBook(const wab::BookBytes& bytes,
                                                          wab::ReadMode mode, std::int64_t now);

}  // namespace quillet::thunderbird
