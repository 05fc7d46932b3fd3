// The summary the "Export Mail" window shows after an export.
#include "gui/mail_export_texts.h"

#include <gtest/gtest.h>

namespace quillet::testing {
namespace {

TEST(MailExportTexts, SummaryGivesTheCountsOneALineThenTheNotes) {
    mailstore::ExportSummary summary;
    summary.folders = 2;
    summary.messages = 7;
    summary.bytes = 12345;
    summary.recovered = 1;
    summary.skipped = 3;
    summary.notes = {"Inbox.dbx: message 4 recovered", "Inbox.dbx: 3 messages skipped"};
    EXPECT_EQ(mail_export_texts::SummaryText("identity Main Identity", "/home/me/mail", summary),
              "Exported the mail of identity Main Identity to /home/me/mail\n"
              "Folders: 2\nMessages: 7\nBytes: 12345\nRecovered: 1\nSkipped: 3\n"
              "Inbox.dbx: message 4 recovered\nInbox.dbx: 3 messages skipped\n");
}

}  // namespace
}  // namespace quillet::testing
