#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "cli/cli_context.h"
#include "cli/json_report.h"
#include "cli/mail_source_choice.h"
#include "mailstore/message_store.h"

namespace quillet::cli {

// What `export --imap` takes besides the source.
struct ImapExportArguments {
    std::string url;  // imaps://USER@HOST[:PORT]
    std::string folder;
    std::optional<std::string> passwordFile;
    std::string caFile;
    bool startTls = false;
};

// Uploads the source's mail to the IMAP account. The password comes from the password file, else
// from the terminal (without echo); it is never taken from the command line. Exit codes as an
// export's: kExitNothingDone with the reason when nothing was uploaded, kExitPartial with the
// summary (what was uploaded, why it stopped) when it stopped part way. The summary is also set in
// `json` when given.
int RunImapExport(const MailSourceArguments& source, const ImapExportArguments& args,
                  mailstore::ReadMode mode, CliContext& context, std::ostream& out, Json* json,
                  std::ostream& err);

}  // namespace quillet::cli
