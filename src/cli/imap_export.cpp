#include "cli/imap_export.h"

#include <cstdio>
#include <ostream>

#include "cli/commands.h"
#include "cli/password_input.h"
#include "imap/imap_upload.h"
#include "mailstore/export_summary_text.h"
#include "schedule/state_folder.h"

namespace quillet::cli {

namespace {

// The upload drawn as an export is, with the messages and bytes done so far in the status.
class UploadProgressBar : public imap::UploadProgress {
  public:
    explicit UploadProgressBar(BackupProgress* bar) : m_bytes(bar), m_bar(bar) {}
    void storeStarted(const std::string& fileName, std::size_t position,
                      std::size_t count) override {
        m_store =
            fileName + " (" + std::to_string(position + 1) + "/" + std::to_string(count) + ")";
        if (m_bar != nullptr) m_bar->status(m_store);
    }
    void bytesDone(std::uint64_t done, std::uint64_t total) override {
        m_bytes.bytesDone(done, total);
    }
    void messagesDone(std::uint64_t messages, std::uint64_t bytes) override {
        if (m_bar == nullptr) return;
        char size[32];
        std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(bytes) / 1e6);
        // The counts first: a narrow terminal cuts the end.
        m_bar->status(std::to_string(messages) + " messages, " + size + ": " + m_store);
    }

  private:
    MailProgressBar m_bytes;
    BackupProgress* m_bar;
    std::string m_store;
};

}  // namespace

int RunImapExport(const MailSourceArguments& source, const ImapExportArguments& args,
                  mailstore::ReadMode mode, CliContext& context, std::ostream& out, Json* json,
                  std::ostream& err) {
    auto address = imap::ParseImapAddress(args.url, args.startTls);
    if (!address) return Fail(err, address.reason());
    auto choice = MailSourceChoice::Open(source, context, err);
    if (!choice) return kExitNothingDone;
    imap::UploadOptions options;
    options.address = *address;
    options.caFile = args.caFile;
    options.mode = mode;
    options.lockFolder = UploadLockFolder(QuilletStateFolder(context.environment()));
    if (!args.folder.empty()) options.folder = args.folder;
    auto password = args.passwordFile ? ReadPasswordFile(*args.passwordFile)
                                      : context.askPassword(address->text());
    if (!password) {
        return Fail(err, args.passwordFile ? password.reason()
                                           : "no terminal to ask for the IMAP password: give "
                                             "--imap-password-file");
    }
    options.password = std::move(*password);
    auto summary = context.withProgress([&](BackupProgress* bar) {
        UploadProgressBar progress(bar);
        return imap::UploadMail(choice->source(), options, &progress);
    });
    if (!summary) return Fail(err, summary.reason());
    const std::string target = imap::UploadTarget(options);
    out << mailstore::ExportSummaryText(choice->source().description(), target, *summary);
    if (json) *json = ExportSummaryJson(choice->source().description(), target, *summary);
    return summary->partial() ? kExitPartial : kExitOk;
}

}  // namespace quillet::cli
