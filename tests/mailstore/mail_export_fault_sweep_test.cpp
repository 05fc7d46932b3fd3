#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "mailstore/dbx_builder.h"
#include "mailstore/folder_mail_source.h"
#include "mailstore/mail_export.h"
#include "support/platform/fault_sweep.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;
using mailstore::ExportFormat;

using ExportFault = std::tuple<FaultKind, ExportFormat>;
class ExportFaultSweepTest : public ::testing::TestWithParam<ExportFault> {};

// Whichever file call of an export of three folders fails, every folder of mail in the output is
// whole (as a run without faults writes it) and no temporary stays; a run that reports success
// wrote everything, and one that fails gives the system's reason.
TEST_P(ExportFaultSweepTest, EveryFailingCallLeavesOnlyWholeFolders) {
    const auto& [kind, format] = GetParam();
    TempDir dir;
    const fs::path stores = dir / "stores";
    fs::create_directories(stores);
    WriteDbxFolderList(stores / "Folders.dbx", {{0, 0xFFFFFFFF, "Outlook Express", "", 0},
                                                {1, 0, "Inbox", "Inbox.dbx", 1},
                                                {2, 1, "Projects", "Projects.dbx", 0},
                                                {3, 0, "Sent", "Sent.dbx", 3}});
    for (const char* name : {"Inbox.dbx", "Projects.dbx", "Sent.dbx"}) {
        WriteDbxStore(stores / name, {std::string("Subject: ") + name + "\r\n\r\nbody\r\n",
                                      std::string(3000, 'x') + "\r\n"});
    }
    auto source =
        mailstore::MakeFolderMailSource("stores", stores,
                                        {{"Folders.dbx", fs::file_size(stores / "Folders.dbx")},
                                         {"Inbox.dbx", fs::file_size(stores / "Inbox.dbx")},
                                         {"Projects.dbx", fs::file_size(stores / "Projects.dbx")},
                                         {"Sent.dbx", fs::file_size(stores / "Sent.dbx")}});
    const fs::path out = dir / "out";
    const mailstore::ExportOptions options{out, format, mailstore::ReadMode::kStrict, false, false};
    ASSERT_TRUE(mailstore::ExportMail(*source, options, nullptr).ok());
    const TreeSnapshot whole = SnapshotTree(out);

    SweepFaults(kind, [&](FaultyFileOperations& files, const std::function<void()>& armFault) {
        fs::remove_all(out);
        armFault();
        auto exported = mailstore::ExportMail(*source, options, nullptr, files);
        const TreeSnapshot left = fs::exists(out) ? SnapshotTree(out) : TreeSnapshot{};
        for (const auto& [path, content] : left) {
            if (path == mailstore::kIncompleteExportFile) continue;
            EXPECT_EQ(path.find(".quillet-"), std::string::npos) << path << " stayed";
            const auto found = whole.find(path);
            EXPECT_TRUE(found != whole.end() && found->second == content)
                << path << " is not whole";
        }
        if (exported.ok() && exported->stopped.empty()) {
            EXPECT_EQ(left, whole) << "a run that succeeds writes everything";
        } else if (!exported.ok()) {
            EXPECT_NE(exported.reason().find(std::strerror(kind.error)), std::string::npos)
                << exported.reason();
        }
    });
}

constexpr const char* kFormatNames[] = {"Mbox", "Eml", "Maildir"};  // in ExportFormat's order
INSTANTIATE_TEST_SUITE_P(Faults, ExportFaultSweepTest,
                         ::testing::Combine(::testing::ValuesIn(FaultKinds()),
                                            ::testing::Values(ExportFormat::kMbox,
                                                              ExportFormat::kEml,
                                                              ExportFormat::kMaildir)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    kFormatNames[int(std::get<1>(info.param))];
                         });

}  // namespace
}  // namespace quillet::testing
