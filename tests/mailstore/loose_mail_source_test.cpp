#include "mailstore/loose_mail_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "mailstore/dbx_builder.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/mail_export.h"
#include "mailstore/store_health.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/temp_dir.h"

namespace quillet::mailstore {
namespace {

namespace fs = std::filesystem;
using namespace quillet::testing;

// A store of one message whose class id begins as `classId` does.
void WriteStoreOfClass(const fs::path& file, std::span<const std::uint8_t> classId) {
    WriteDbxStore(file, {"Subject: " + file.stem().string() + "\r\n\r\nbody\r\n"});
    PatchUint32(file, 4, classId[0] | classId[1] << 8 | classId[2] << 16 | classId[3] << 24);
}

TEST(LooseMailSourceTest, ContentMakesAStoreFoldersDotDbxNamesThemAndTheRestIsLeftOutNamed) {
    TempDir dir;
    const fs::path named = dir / "named", plain = dir / "plain";
    for (const fs::path& folder : {named / "Sub", plain, dir / "empty"})
        fs::create_directories(folder);
    WriteDbxFolderList(named / "Folders.dbx", {{0, 0xFFFFFFFF, "Outlook Express", "", 0},
                                               {1, 0, "Inbox", "Inbox.dbx", 1},
                                               {2, 1, "Work", "Work.dbx", 0}});
    fs::copy_file(named / "Folders.dbx", plain / "Folders copy.dbx");
    WriteStoreOfClass(named / "Sub" / "Deep.dbx", kMessageStoreClassId);
    for (const fs::path& folder : {named, plain}) {
        WriteStoreOfClass(folder / "Inbox.dbx", kMessageStoreClassId);
        WriteStoreOfClass(folder / "Work.dbx", kMessageStoreClassId);
        WriteStoreOfClass(folder / "List.dbx", kPop3ListClassIdStart);
        WriteStoreOfClass(folder / "Away.dbx", kOfflineListClassIdStart);
        WriteStoreOfClass(folder / "Odd.dbx", std::array<std::uint8_t, 4>{1, 2, 3, 4});
        WriteFileBytes(folder / "notes.dbx", "Hello, no store");
        WriteFileBytes(folder / ".dbx", "nor this");
        ASSERT_EQ(::mkfifo((folder / "pipe.dbx").c_str(), 0600), 0);
    }
    fs::copy_file(named / "Inbox.dbx", dir / "inbox.bak");
    const std::vector<std::string> leftOut = {".dbx", "notes.dbx", "Odd.dbx", "pipe.dbx"};
    const struct {
        const char* what;
        fs::path path;
        std::vector<std::string> exported;  // below the output folder
        std::vector<std::string> leftOut;
        std::optional<ErrorKind> failure;
    } cases[] = {
        {"store file", named / "Inbox.dbx", {"Inbox"}, {}, {}},
        {"store file of another name", dir / "inbox.bak", {"inbox.bak"}, {}, {}},
        {"folder with Folders.dbx", named, {"Inbox", "Inbox.sbd", "Inbox.sbd/Work"}, leftOut, {}},
        {"folder without Folders.dbx", plain, {"Inbox", "Work"}, leftOut, {}},
        {"no store file", named / "notes.dbx", {}, {}, ErrorKind::kBadInput},
        {"FIFO", named / "pipe.dbx", {}, {}, ErrorKind::kBadInput},
        {"folder without stores", dir / "empty", {}, {}, ErrorKind::kNotFound},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto source = fs::is_directory(c.path) ? LooseStoreFolder(c.path) : LooseStoreFile(c.path);
        if (c.failure) {
            ASSERT_FALSE(source.ok());
            EXPECT_TRUE(source.status().is(*c.failure)) << source.reason();
            EXPECT_NE(source.reason().find(c.path.string()), std::string::npos) << source.reason();
            continue;
        }
        ASSERT_TRUE(source.ok()) << source.reason();
        const fs::path out = dir / "out" / c.what;
        auto summary = ExportMail(**source, {out, ExportFormat::kMbox, ReadMode::kStrict}, nullptr);
        ASSERT_TRUE(summary.ok()) << summary.reason();
        std::vector<std::string> exported;
        for (const auto& [path, bytes] : SnapshotTree(out)) exported.push_back(path);
        EXPECT_EQ(exported, c.exported);
        EXPECT_EQ(summary->storesLeftOut, c.leftOut);
        auto health = CheckMail(**source, nullptr);
        ASSERT_TRUE(health.ok());
        std::vector<std::string> damaged;
        for (const StoreHealth& store : *health) {
            if (store.damaged()) damaged.push_back(store.name);
            // Check tells what the file holds, as the source found it.
            if (store.name == "notes.dbx") {
                EXPECT_NE(store.damages[0].what.find("Hello"), std::string::npos);
            }
        }
        EXPECT_EQ(damaged, c.leftOut) << "the files left out are what check finds damaged";
    }
}

}  // namespace
}  // namespace quillet::mailstore
