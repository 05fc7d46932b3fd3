#include <memory>

#include "cli/address_book_choice.h"
#include "cli/commands.h"
#include "wab/address_book.h"
#include "wab/vcard_export.h"

namespace quillet::cli {
namespace {

struct ContactsArguments {
    std::optional<std::string> path;
    std::optional<std::string> passwordFile;
    std::string outFile;
    bool salvage = false;
};

int RunContacts(const ContactsArguments& args, CliContext& context, std::ostream& out, Json* json,
                std::ostream& err) {
    auto choice = AddressBookChoice::Open(args.path, args.passwordFile, context, err);
    if (!choice) return kExitNothingDone;
    const auto mode = args.salvage ? wab::ReadMode::kSalvage : wab::ReadMode::kStrict;
    auto result = wab::ExportVCards(choice->bytes(), mode, args.outFile);
    if (!result) {
        const bool damaged = result.status().is(ErrorKind::kCorrupt) && !args.salvage;
        return Fail(err, result.reason() + (damaged ? " (--salvage reads past damage)" : ""));
    }
    out << wab::VCardExportText(*result, choice->description(), args.outFile);
    if (json) {
        std::vector<std::string> damages;
        for (const wab::BookDamage& damage : result->damages) damages.push_back(damage.what);
        *json = {{"source", choice->description()},
                 {"file", result->written == 0 ? Json() : Json(args.outFile)},
                 {"contacts", result->written},
                 {"recovered", result->recovered},
                 {"groups_left_out", result->groupsLeftOut},
                 {"damages", damages}};
    }
    if (result->written == 0) return kExitNothingDone;
    return result->partial() ? kExitPartial : kExitOk;
}

}  // namespace

void AddContactsCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<ContactsArguments>();
    CLI::App* command = app.add_subcommand(
        "contacts",
        "Write the contacts of the Windows Address Book as vCards (3.0, UTF-8): the address book "
        "of the system (the registry's Wab File Name), of a backup, or a .wab file; groups are "
        "left out and named");
    command
        ->add_option("PATH", args->path,
                     "Read this instead: a backup file or an address book (.wab)")
        ->check(CLI::ExistingFile);
    command
        ->add_option("--password-file", args->passwordFile,
                     "The backup's password on this file's first line (else it is asked)")
        ->check(CLI::ExistingFile);
    command
        ->add_option("-o,--out", args->outFile, "The .vcf file to write (replaced when complete)")
        ->required();
    command->add_flag("--salvage", args->salvage,
                      "Go on past damage, and recover deleted contacts the file still holds");
    command->callback([&run, args] {
        run.exitCode = RunContacts(*args, run.context, run.report(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
