// The summary of an export, as the window and quillet-cli show it.
#include "mailstore/export_summary_text.h"

#include <gtest/gtest.h>

namespace quillet::testing {
namespace {

TEST(ExportSummaryText, SummaryGivesTheCountsOneALineThenTheNotes) {
    mailstore::ExportSummary summary;
    summary.folders = 2;
    summary.messages = 7;
    summary.bytes = 12345;
    summary.recovered = 1;
    summary.skipped = 3;
    summary.notes = {"Inbox.dbx: message 4 recovered", "Inbox.dbx: 3 messages skipped"};
    EXPECT_EQ(mailstore::ExportSummaryText("identity Main Identity", "/home/me/mail", summary),
              "Exported the mail of identity Main Identity to /home/me/mail\n"
              "Folders: 2\nMessages: 7\nBytes: 12345\nRecovered: 1\nSkipped: 3\n"
              "Inbox.dbx: message 4 recovered\nInbox.dbx: 3 messages skipped\n");
}

}  // namespace
}  // namespace quillet::testing
