#include "thunderbird/address_book_file.h"

#include <sqlite3.h>
#include <sys/random.h>

#include <array>
#include <memory>

#include "platform/hex_digits.h"
#include "wab/vcard_writer.h"

namespace quillet::thunderbird {
namespace {

// The tables and indexes of Thunderbird's address books, and the version it expects of them.
constexpr char kSchema[] =
    "CREATE TABLE properties (card TEXT, name TEXT, value TEXT);"
    "CREATE TABLE lists (uid TEXT PRIMARY KEY, name TEXT, nickName TEXT, description TEXT);"
    "CREATE TABLE list_cards (list TEXT, card TEXT, PRIMARY KEY(list, card));"
    "CREATE INDEX properties_card ON properties(card);"
    "CREATE INDEX properties_name ON properties(name);"
    "PRAGMA user_version = 4;";

struct CloseDatabase {
    void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

Status SqliteFailure(sqlite3* database, const std::string& doing) {
    return Status::Error("The address book could not be made (" + doing +
                         "): " + sqlite3_errmsg(database));
}

// A random UUID (version 4) in lower case, as Thunderbird names its cards.
Result<std::string> NewUid() {
    std::array<unsigned char, 16> bytes{};
    if (::getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        return Status::Error("No random bytes for the contacts' ids");
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    std::string uid;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) uid += '-';
        uid += LowerHexDigit(bytes[i] >> 4);
        uid += LowerHexDigit(bytes[i] & 0x0F);
    }
    return uid;
}

// One card's rows: each property that has a value.
Status InsertCard(sqlite3* database, sqlite3_stmt* insert, const wab::Contact& contact,
                  std::int64_t now) {
    auto uid = NewUid();
    if (!uid) return uid.status();
    const std::vector<std::string> emails = wab::ContactEmails(contact);
    const std::string modified = std::to_string(now);
    const std::pair<const char*, std::string> properties[] = {
        {"_vCard", wab::ContactToVCard(contact, *uid)},
        {"DisplayName", wab::ContactFullName(contact)},
        {"FirstName", contact.givenName},
        {"LastName", contact.surname},
        {"PrimaryEmail", emails.empty() ? "" : emails[0]},
        {"SecondEmail", emails.size() < 2 ? "" : emails[1]},
        {"NickName", contact.nickname},
        {"LastModifiedDate", modified},
    };
    for (const auto& [name, value] : properties) {
        if (value.empty()) continue;
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, uid->c_str(), static_cast<int>(uid->size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, name, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, value.c_str(), static_cast<int>(value.size()), SQLITE_STATIC);
        if (sqlite3_step(insert) != SQLITE_DONE) return SqliteFailure(database, "a card");
    }
    return Status::Ok();
}

}  // namespace

Result<ThunderbirdAddressBook> MakeThunderbirdAddressBook(const wab::BookBytes& bytes,
                                                          wab::ReadMode mode, std::int64_t now) {
    sqlite3* opened = nullptr;
    const int openResult =
        sqlite3_open_v2(":memory:", &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database database(opened);
    if (openResult != SQLITE_OK) return SqliteFailure(opened, "opening it in memory");
    if (sqlite3_exec(database.get(), kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_exec(database.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return SqliteFailure(database.get(), "its tables");
    }
    sqlite3_stmt* prepared = nullptr;
    if (sqlite3_prepare_v2(database.get(), "INSERT INTO properties VALUES (?, ?, ?)", -1, &prepared,
                           nullptr) != SQLITE_OK) {
        return SqliteFailure(database.get(), "its statement");
    }
    Statement insert(prepared);

    ThunderbirdAddressBook result;
    auto summary = wab::ReadAddressBook(bytes, mode, [&](wab::Contact&& contact) {
        if (contact.isGroup) {
            result.groupsLeftOut.push_back(std::move(contact.displayName));
            return Status::Ok();
        }
        if (Status inserted = InsertCard(database.get(), insert.get(), contact, now); !inserted) {
            return inserted;
        }
        ++result.cards;
        if (contact.recovered) ++result.recovered;
        return Status::Ok();
    });
    if (!summary) return summary.status();
    result.damages = std::move(summary->damages);
    insert.reset();
    if (sqlite3_exec(database.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return SqliteFailure(database.get(), "its cards");
    }
    sqlite3_int64 size = 0;
    unsigned char* file = sqlite3_serialize(database.get(), "main", &size, 0);
    if (file == nullptr) return SqliteFailure(database.get(), "its file");
    result.bytes.assign(reinterpret_cast<const char*>(file), static_cast<std::size_t>(size));
    sqlite3_free(file);
    return result;
}

}  // namespace quillet::thunderbird
