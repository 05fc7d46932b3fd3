#include <cstdio>
#include <memory>

#include "cli/address_book_choice.h"
#include "cli/commands.h"
#include "cli/mail_source_choice.h"
#include "mailstore/store_health.h"
#include "wab/address_book.h"

namespace quillet::cli {
namespace {

std::string Percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", share * 100);
    return text;
}

// One line per store: name, state, messages (or what else the store is), bytes, reclaimable bytes,
// share of the size at which Outlook Express fails, the folder an export gives its messages; then a
// line per damage.
void PrintHealth(const mailstore::StoreHealth& store, std::ostream& out) {
    using Kind = mailstore::DbxHeader::Kind;
    out << store.name << '\t' << (store.damaged() ? "damaged" : "sound") << '\t';
    if (store.kind == Kind::kMessages) {
        out << "messages " << store.messages;
    } else {
        out << (store.kind == Kind::kFolderList ? "folder list"
                : store.kind == Kind::kOther    ? "no message store"
                                                : "unknown kind");
    }
    out << "\tbytes " << store.size << "\treclaimable " << store.reclaimable << "\tof 2 GB limit "
        << Percent(store.shareOfLimit);
    if (!store.folder.empty()) out << "\tfolder " << store.folder;
    out << '\n';
    for (const mailstore::StoreDamage& damage : store.damages) {
        if (damage.wholeFile) {
            out << "  " << damage.what << '\n';
            continue;
        }
        char offset[32];
        std::snprintf(offset, sizeof offset, "0x%llX",
                      static_cast<unsigned long long>(damage.offset));
        out << "  " << damage.what << " at offset " << offset << '\n';
    }
}

// An address book: its name, state, the records the index names, the deleted records a salvage
// can still read; then a line per damage. A strict read names the first damage; the salvage goes
// on and finds the rest.
int CheckAddressBook(const MailSourceArguments& args, CliContext& context, std::ostream& out,
                     Json* json, std::ostream& err) {
    auto choice = AddressBookChoice::Open(args.path, args.passwordFile, context, err);
    if (!choice) return kExitNothingDone;
    // Only the counts are wanted: no contact is kept.
    auto drop = [](wab::Contact&&) { return Status::Ok(); };
    auto strict = wab::ReadAddressBook(choice->bytes(), wab::ReadMode::kStrict, drop);
    auto salvaged = wab::ReadAddressBook(choice->bytes(), wab::ReadMode::kSalvage, drop);
    if (!salvaged) return Fail(err, salvaged.reason());
    std::vector<std::string> damages;
    if (!strict) damages.push_back(strict.reason());
    for (const wab::BookDamage& damage : salvaged->damages) {
        if (damages.empty() || damage.what != damages[0]) damages.push_back(damage.what);
    }
    out << choice->bytes().name() << '\t' << (damages.empty() ? "sound" : "damaged") << "\trecords "
        << salvaged->indexedRecords << "\tdeleted or lost records readable "
        << salvaged->recoveredRecords << "\tbytes " << choice->bytes().size() << '\n';
    for (const std::string& damage : damages) out << "  " << damage << '\n';
    if (json) {
        *json = {{"address_book",
                  {{"name", choice->bytes().name()},
                   {"state", damages.empty() ? "sound" : "damaged"},
                   {"records", salvaged->indexedRecords},
                   {"deleted_records_readable", salvaged->recoveredRecords},
                   {"bytes", choice->bytes().size()},
                   {"damages", damages}}}};
    }
    return damages.empty() ? kExitOk : kExitPartial;
}

int RunCheck(const MailSourceArguments& args, CliContext& context, std::ostream& out, Json* json,
             std::ostream& err) {
    if (args.path && StartsAsAddressBook(*args.path)) {
        return CheckAddressBook(args, context, out, json, err);
    }
    auto choice = MailSourceChoice::Open(args, context, err);
    if (!choice) return kExitNothingDone;
    auto stores = context.withProgress([&](BackupProgress* bar) {
        MailProgressBar progress(bar);
        return mailstore::CheckMail(choice->source(), &progress);
    });
    if (!stores) return Fail(err, stores.reason());
    bool damaged = false;
    if (json) *json = {{"stores", Json::array()}};
    for (const mailstore::StoreHealth& store : *stores) {
        PrintHealth(store, out);
        if (json) (*json)["stores"].push_back(StoreHealthJson(store));
        damaged = damaged || store.damaged();
    }
    return damaged ? kExitPartial : kExitOk;
}

}  // namespace

void AddCheckCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<MailSourceArguments>();
    CLI::App* command = app.add_subcommand(
        "check",
        "Check every message store of an identity, of a backup, or of loose stores (a .dbx file "
        "or a folder of them), or an address book (.wab: records, deleted records still "
        "readable, damage): messages, size, space a "
        "compaction would give back, how close it is to 2 GB, and every inconsistency (exit "
        "status 1 when a store is damaged)");
    AddMailSourceOptions(*command, *args);
    command->callback([&run, args] {
        run.exitCode = RunCheck(*args, run.context, run.listing(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
