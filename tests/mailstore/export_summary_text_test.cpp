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
    summary.missing = 2;
    summary.cutShort = 1;
    summary.notes = {"Inbox.dbx: message 4 recovered", "Inbox.dbx: 3 messages skipped"};
    summary.storesLeftOut = {"Sent Items.dbx"};
    const std::string counts =
        "Exported the mail of identity Main Identity to /home/me/mail\n"
        "Folders: 2\nMessages: 7\nBytes: 12345\nRecovered: 1\nSkipped: 3\nMissing: 2\nCut short: "
        "1\nStores left out: 1\n"
        "Left out: Sent Items.dbx\n";
    const std::string notes = "Inbox.dbx: message 4 recovered\nInbox.dbx: 3 messages skipped\n";
    EXPECT_EQ(mailstore::ExportSummaryText("identity Main Identity", "/home/me/mail", summary),
              counts + notes);
    // An export that stopped says why and names what is complete.
    summary.stopped = "Drafts.dbx: bad marker in tree node at offset 0x2B00";
    summary.complete = {"Inbox", "Inbox.sbd/Projects"};
    EXPECT_EQ(mailstore::ExportSummaryText("identity Main Identity", "/home/me/mail", summary),
              counts + "Stopped before the end: " + summary.stopped +
                  "\nComplete: /home/me/mail/Inbox\nComplete: /home/me/mail/Inbox.sbd/Projects\n" +
                  notes);
}

}  // namespace
}  // namespace quillet::testing
