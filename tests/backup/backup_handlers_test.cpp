#include "backup/backup_handlers.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "backup/backup_item.h"
#include "platform/durable_file.h"
#include "support/archive/fake_archive.h"
#include "support/backup/backup_world.h"

namespace quillet {
namespace {

using archive::FakeArchive;
using registry::kHkeyCurrentUser;
using registry::kHkeyLocalMachine;
using testing::BackupWorld;
using testing::FolderFiles;
using testing::JoinNames;
using testing::kTestIdentity;
using testing::ReadFileBytes;
using testing::TestAccountsKey;
using testing::TestOutlookExpressKey;
using testing::TestVersionKey;

constexpr char kHkcu[] = "HKEY_CURRENT_USER\\";
constexpr char kSharedAccounts[] = "Software\\Microsoft\\Internet Account Manager\\Accounts";
constexpr char kWabKey[] = "Software\\Microsoft\\WAB\\WAB4\\Wab File Name";
constexpr char kCurrentVersion[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

struct FakeArchiveHolder {
    FakeArchive fake;
};

// A world with an archive being written, whose saved entries a test can read.
class HandlerWorld : private FakeArchiveHolder, public BackupWorld {
  public:
    HandlerWorld() : BackupWorld(fake) { EXPECT_TRUE(fake.CreateArchive(temp / "out.qbk").ok()); }

    // The entries added so far, as SaveArchive stores them: name and content.
    std::vector<std::pair<std::string, std::string>> savedEntries() {
        EXPECT_TRUE(fake.SaveArchive().ok());
        return fake.archives().at(temp / "out.qbk").entries;
    }
    std::vector<std::string> savedNames() {
        std::vector<std::string> names;
        for (const auto& [name, content] : savedEntries()) names.push_back(name);
        return names;
    }
    // The files added, in order, as the archive was asked.
    std::vector<std::string> addedFiles() const {
        std::vector<std::string> added;
        for (const std::string& call : fake.calls()) {
            if (call.rfind("AddFileEntry(", 0) == 0) added.push_back(call);
        }
        return added;
    }

    using FakeArchiveHolder::fake;
    BackupHandlers handlers{context};
};

bool NotATemporary(const std::string& name) { return !IsTemporaryName(name); }

// A handler's outcome as a test result: a failure shows its reason.
::testing::AssertionResult Succeeds(const Status& outcome) {
    if (outcome) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << outcome.reason();
}
::testing::AssertionResult FailsWithAReason(const Status& outcome) {
    if (!outcome && !outcome.reason().empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "succeeded or gave no reason";
}

TEST(BackupHandlersTest, AccountsComeFromTheIdentityElseFromTheSharedKey) {
    struct Case {
        const char* name;
        bool identityAccounts;
        bool sharedAccounts;
        const char* exported;  // the account name in the export; null: the handler fails
    };
    const Case cases[] = {
        {"both keys", true, true, "Own Mail"},
        {"shared key only", false, true, "Shared Mail"},
        {"identity key only", true, false, "Own Mail"},
        {"neither key", false, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandlerWorld world;
        if (c.identityAccounts) {
            world.setText(kHkeyCurrentUser, TestAccountsKey() + "\\00000001", "Account Name",
                          "Own Mail");
        }
        if (c.sharedAccounts) {
            world.setText(kHkeyCurrentUser, std::string(kSharedAccounts) + "\\00000002",
                          "Account Name", "Shared Mail");
        }
        const Status outcome = world.handlers.run(kAccounts, kTestIdentity);
        if (c.exported == nullptr) {
            EXPECT_FALSE(outcome);
            EXPECT_FALSE(outcome.reason().empty());
            EXPECT_TRUE(world.addedFiles().empty());
            EXPECT_TRUE(world.informationLines().empty());
            EXPECT_TRUE(world.workFolderNames().empty()) << "no export file is made";
            EXPECT_FALSE(world.keyExists(kHkcu + TestAccountsKey())) << "nothing is created";
            EXPECT_FALSE(world.keyExists(std::string(kHkcu) + kSharedAccounts));
            continue;
        }
        ASSERT_TRUE(outcome) << outcome.reason();
        const auto entries = world.savedEntries();
        ASSERT_EQ(entries.size(), 1u);
        const auto& [name, content] = entries[0];
        EXPECT_TRUE(std::regex_match(name, std::regex("OBA[0-9A-F]{1,4}\\.TMP"))) << name;
        EXPECT_EQ(content.rfind("\\\r\n", 0), 0u) << content;
        EXPECT_NE(content.find("\"Account Name\"= sz:" + std::string(c.exported) + "\r\n"),
                  std::string::npos)
            << content;
        EXPECT_EQ(world.informationLines(), std::vector<std::string>{"BackupAccounts=" + name});
    }
}

struct KeyTreeItem {
    const char* handler;
    int index;
    const char* subkey;  // below the version key, as the registry shows it afterwards
    const char* prefix;
    const char* informationKey;
};

const KeyTreeItem kKeyTreeItems[] = {
    {"BackupRules", kRules, "Rules", "OBR", "BackupRules"},
    {"Backupblocksenders", kBlockSenders, "Block Senders", "OBR", "BackupBlocksenders"},
    {"BackupSignatures", kSignatures, "signatures", "OBR", "BackupSignatures"},
    {"BackupSettings", kSettings, "Mail", "OBS", "BackupSettings"},
};

TEST(BackupHandlersTest, AMissingKeyIsCreatedEmptyAndExported) {
    for (const KeyTreeItem& item : kKeyTreeItems) {
        SCOPED_TRACE(item.handler);
        HandlerWorld world;
        world.setText(kHkeyCurrentUser, TestVersionKey(), "Store Root", "C:\\x");
        const std::string key = kHkcu + TestVersionKey() + "\\" + item.subkey;
        ASSERT_FALSE(world.keyExists(key));

        ASSERT_TRUE(Succeeds(world.handlers.run(item.index, kTestIdentity)));
        EXPECT_TRUE(world.keyExists(key)) << "the created key stays";
        EXPECT_TRUE(world.modReg.EnumSubkeys(key).empty());
        const auto entries = world.savedEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_TRUE(std::regex_match(entries[0].first,
                                     std::regex(std::string(item.prefix) + "[0-9A-F]{1,4}\\.TMP")))
            << entries[0].first;
        EXPECT_EQ(entries[0].second, "\\\r\n");
        EXPECT_EQ(world.informationLines(),
                  std::vector<std::string>{item.informationKey + ("=" + entries[0].first)});
    }
}

TEST(BackupHandlersTest, KeyTreeItemsExportTheFirstVersionKeysSubtree) {
    for (const KeyTreeItem& item : kKeyTreeItems) {
        SCOPED_TRACE(item.handler);
        HandlerWorld world;
        world.setText(kHkeyCurrentUser, TestVersionKey() + "\\" + item.subkey + "\\Sub", "Wanted",
                      "yes");
        // A later version key is not looked at.
        world.setText(kHkeyCurrentUser, TestOutlookExpressKey() + "\\6.0\\" + item.subkey + "\\Sub",
                      "Other", "no");
        ASSERT_TRUE(Succeeds(world.handlers.run(item.index, kTestIdentity)));
        const auto entries = world.savedEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].second, "\\\r\n\\Sub\r\n\"Wanted\"= sz:yes\r\n");
    }
}

TEST(BackupHandlersTest, KeyTreeItemsFailWithoutAVersionKeyAndCreateNothing) {
    for (const bool outlookExpressKeyExists : {false, true}) {
        for (const KeyTreeItem& item : kKeyTreeItems) {
            SCOPED_TRACE(std::string(item.handler) +
                         (outlookExpressKeyExists ? ", empty Outlook Express key" : ", no key"));
            HandlerWorld world;
            if (outlookExpressKeyExists) {
                world.setText(kHkeyCurrentUser, TestOutlookExpressKey(), "x", "y");
            }
            EXPECT_TRUE(FailsWithAReason(world.handlers.run(item.index, kTestIdentity)));
            EXPECT_TRUE(world.modReg.EnumSubkeys(kHkcu + TestOutlookExpressKey()).empty());
            EXPECT_TRUE(world.addedFiles().empty());
            EXPECT_TRUE(world.informationLines().empty());
        }
    }
}

TEST(BackupHandlersTest, SignaturesAreFoundUnderAKeySpelledWithACapital) {
    HandlerWorld world;
    world.setText(kHkeyCurrentUser, TestVersionKey() + "\\Signatures\\00000000", "name", "Work");
    ASSERT_TRUE(Succeeds(world.handlers.run(kSignatures, kTestIdentity)));
    const auto entries = world.savedEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].second, "\\\r\n\\00000000\r\n\"name\"= sz:Work\r\n");
    const registry::SubkeyList subkeys = world.modReg.EnumSubkeys(kHkcu + TestVersionKey());
    ASSERT_EQ(subkeys.size(), 1u) << "no second key is created beside it";
    EXPECT_EQ(subkeys[0], "Signatures");
}

TEST(BackupHandlersTest, MessagesAreTheDbxFilesDirectlyInTheStoreFolderInFolderOrder) {
    HandlerWorld world;
    int yields = 0;
    world.context.yield = [&yields] { ++yields; };
    world.setText(kHkeyCurrentUser, TestVersionKey(), "Store Root",
                  "%UserProfile%\\Local Settings\\Store", registry::kRegExpandSz);
    const std::string store = "C:\\users\\me\\Local Settings\\Store\\";
    world.writeFile(store + "Inbox.dbx", "inbox");
    world.writeFile(store + "Folders.DBX", "folders");
    world.writeFile(store + "pop3uidl.dat", "not a store");
    world.writeFile(store + "dbx", "too short a name");
    world.writeFile(store + "Archive\\Old.dbx", "in a subfolder");
    std::filesystem::create_directories(world.hostPath(store + "Looks Like.dbx"));

    ASSERT_TRUE(Succeeds(world.handlers.run(kMessages, kTestIdentity)));
    const std::vector<std::string> expected = FolderFiles(
        world.hostPath(store),
        [](const std::string& name) { return name == "Inbox.dbx" || name == "Folders.DBX"; });
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(world.savedNames(), expected);
    EXPECT_EQ(world.informationLines(),
              std::vector<std::string>{"BackupMails=" + expected[0] + ";" + expected[1]});
    EXPECT_EQ(yields, 2);
}

TEST(BackupHandlersTest, MessagesFailWithoutADbxFileOrStoreFolder) {
    struct Case {
        const char* name;
        const char* storeRoot;  // null: no Store Root value
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"no DBX file", "C:\\Store", {"pop3uidl.dat", "Inbox.dbx.bak"}},
        {"empty folder", "C:\\Store", {}},
        {"only a subfolder's DBX", "C:\\Store", {"Sub\\Inbox.dbx"}},
        {"missing folder", "C:\\Elsewhere", {"Inbox.dbx"}},
        {"no Store Root", nullptr, {"Inbox.dbx"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandlerWorld world;
        world.setText(kHkeyCurrentUser, TestVersionKey(), c.storeRoot ? "Store Root" : "Other",
                      c.storeRoot ? c.storeRoot : "C:\\Store");
        std::filesystem::create_directories(world.hostPath("C:\\Store"));
        for (const std::string& file : c.files) world.writeFile("C:\\Store\\" + file, "x");
        EXPECT_TRUE(FailsWithAReason(world.handlers.run(kMessages, kTestIdentity)));
        EXPECT_TRUE(world.addedFiles().empty());
        EXPECT_TRUE(world.informationLines().empty()) << "no BackupMails line";
    }
}

TEST(BackupHandlersTest, OnlyTheExactUserProfileSpellingIsExpanded) {
    struct Case {
        const char* storeRoot;
        bool found;
    };
    const Case cases[] = {
        {"%UserProfile%\\Store", true},
        {"%USERPROFILE%\\Store", false},
        {"%userprofile%\\Store", false},
        {"%UserProfile\\Store", false},
        {"C:\\users\\me\\Store", true},
        {"C:\\USERS\\ME\\store", true},  // Windows paths ignore case
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.storeRoot);
        HandlerWorld world;
        world.setText(kHkeyCurrentUser, TestVersionKey(), "Store Root", c.storeRoot,
                      registry::kRegExpandSz);
        world.writeFile("C:\\users\\me\\Store\\Inbox.dbx", "inbox");
        const Status outcome = world.handlers.run(kMessages, kTestIdentity);
        EXPECT_EQ(outcome.ok(), c.found) << outcome.reason();
    }
}

TEST(BackupHandlersTest, StationeryIsEveryFileDirectlyInTheFolder) {
    struct Case {
        const char* name;
        std::string commonFilesDir;
    };
    const Case cases[] = {
        {"plain", "C:\\Program Files\\Common Files"},
        {"blanks around it", "  C:\\Program Files\\Common Files  "},
        {"a NUL inside", std::string("C:\\Program Files\\Common Files\0junk", 35)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandlerWorld world;
        registry::HKey key;
        ASSERT_EQ(world.store.RegCreateKey(kHkeyLocalMachine, kCurrentVersion, &key), 0);
        ASSERT_EQ(world.store.RegSetValueEx(
                      key, "CommonFilesDir", registry::kRegSz,
                      reinterpret_cast<const std::uint8_t*>(c.commonFilesDir.c_str()),
                      static_cast<std::uint32_t>(c.commonFilesDir.size() + 1)),
                  0);
        world.store.RegCloseKey(key);
        const std::string folder =
            "C:\\Program Files\\Common Files\\Microsoft Shared\\Stationery\\";
        world.writeFile(folder + "Ivy.htm", "<html>");
        world.writeFile(folder + "Ivy.gif", "GIF89a");
        world.writeFile(folder + "no extension", "x");
        world.writeFile(folder + "Extra\\Lined Paper.htm", "in a subfolder");
        world.writeFile(folder + ".Ivy.gif.quillet-2147483647-abcdefgh", "a killed run's");

        ASSERT_TRUE(Succeeds(world.handlers.run(kStationeries, "")));
        const std::vector<std::string> expected =
            FolderFiles(world.hostPath(folder), NotATemporary);
        ASSERT_EQ(expected.size(), 3u);
        EXPECT_EQ(world.savedNames(), expected);
        EXPECT_EQ(world.informationLines(),
                  std::vector<std::string>{"BackupStationeries=" + JoinNames(expected)});
    }
}

TEST(BackupHandlersTest, StationeryFailsForAnEmptyOrMissingFolder) {
    struct Case {
        const char* name;
        const char* commonFilesDir;  // null: no value
        bool makeFolder;
        const char* subfolderFile;  // a file below a subfolder, or null
    };
    const Case cases[] = {
        {"empty folder", "C:\\Common", true, nullptr},
        {"only subfolders", "C:\\Common", true, "Extra\\Lined Paper.htm"},
        {"missing folder", "C:\\Common", false, nullptr},
        {"no CommonFilesDir", nullptr, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandlerWorld world;
        if (c.commonFilesDir != nullptr) {
            world.setText(kHkeyLocalMachine, kCurrentVersion, "CommonFilesDir", c.commonFilesDir);
        } else {
            world.setText(kHkeyLocalMachine, kCurrentVersion, "ProgramFilesDir", "C:\\Common");
        }
        const std::string folder = "C:\\Common\\Microsoft Shared\\Stationery";
        if (c.makeFolder) std::filesystem::create_directories(world.hostPath(folder));
        if (c.subfolderFile) world.writeFile(folder + "\\" + c.subfolderFile, "x");
        EXPECT_TRUE(FailsWithAReason(world.handlers.run(kStationeries, "")));
        EXPECT_TRUE(world.addedFiles().empty());
        EXPECT_TRUE(world.informationLines().empty());
    }
}

TEST(BackupHandlersTest, TheAddressBookEntryIsNamedByTheFilesOwnName) {
    HandlerWorld world;
    // The registry writes the name in other letter case than the file on disk has.
    world.setText(kHkeyCurrentUser, kWabKey, "", "C:\\Users\\Me\\Address Book\\ME.WAB");
    world.writeFile("C:\\users\\me\\Address Book\\me.wab", "address book");
    ASSERT_TRUE(Succeeds(world.handlers.run(kAddressBook, "")));
    const auto entries = world.savedEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].first, "me.wab");
    EXPECT_EQ(entries[0].second, "address book");
    EXPECT_EQ(world.informationLines(), std::vector<std::string>{"BackupAddressBook=me.wab"});
}

TEST(BackupHandlersTest, TheAddressBookFailsWhenTheRegistryNamesNoFile) {
    struct Case {
        const char* name;
        const char* valueName;  // the value set on the address book key
        const char* path;
    };
    const Case cases[] = {
        {"no unnamed value", "Other", "C:\\book.wab"}, {"empty unnamed value", "", ""},
        {"file missing", "", "C:\\missing.wab"},       {"a folder", "", "C:\\folder.wab"},
        {"a relative path", "", "book.wab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandlerWorld world;
        world.setText(kHkeyCurrentUser, kWabKey, c.valueName, c.path);
        world.writeFile("C:\\book.wab", "address book");
        std::filesystem::create_directories(world.hostPath("C:\\folder.wab"));
        EXPECT_TRUE(FailsWithAReason(world.handlers.run(kAddressBook, "")));
        EXPECT_TRUE(world.addedFiles().empty());
        EXPECT_TRUE(world.informationLines().empty());
    }
}

TEST(BackupHandlersTest, EachItemWritesItsOwnLineAndExportsNeverShareAName) {
    HandlerWorld world;
    world.fillEverything();
    for (int i = 0; i < kItemCount; ++i) {
        EXPECT_TRUE(Succeeds(world.handlers.run(i, kTestIdentity))) << kItems[i].informationKey;
    }
    const std::vector<std::string> lines = world.informationLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kItemCount));
    for (int i = 0; i < kItemCount; ++i) {
        EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), kItems[i].informationKey);
    }

    // Five exports, each its own file in the work folder and its own entry.
    const auto& exports = world.handlers.exportFiles();
    ASSERT_EQ(exports.size(), 5u);
    std::set<std::string> names;
    for (const auto& file : exports) {
        EXPECT_EQ(file.parent_path(), world.context.workFolder);
        names.insert(file.filename().string());
    }
    EXPECT_EQ(names.size(), 5u);
    std::vector<std::string> entryNames = world.savedNames();
    EXPECT_EQ(std::set<std::string>(entryNames.begin(), entryNames.end()).size(),
              entryNames.size());
    for (const int i : {kAccounts, kRules, kBlockSenders, kSignatures, kSettings}) {
        const std::string value = lines[i].substr(lines[i].find('=') + 1);
        EXPECT_EQ(names.count(value), 1u) << lines[i];
    }
}

TEST(BackupHandlersTest, AFailingArchiveCallFailsTheItemWithoutItsLine) {
    for (int i = 0; i < kItemCount; ++i) {
        SCOPED_TRACE(kItems[i].informationKey);
        HandlerWorld world;
        world.fillEverything();
        world.fake.failOperation("AddFileEntry", "the archive refuses");
        const Status outcome = world.handlers.run(i, kTestIdentity);
        EXPECT_FALSE(outcome);
        EXPECT_NE(outcome.reason().find("the archive refuses"), std::string::npos)
            << outcome.reason();
        EXPECT_TRUE(world.informationLines().empty());
    }
}

TEST(BackupHandlersTest, AnExportFailsWhenTheWorkFolderIsGone) {
    HandlerWorld world;
    world.fillEverything();
    std::filesystem::remove_all(world.context.workFolder);
    EXPECT_TRUE(FailsWithAReason(world.handlers.run(kRules, kTestIdentity)));
    EXPECT_TRUE(world.addedFiles().empty());
}

}  // namespace
}  // namespace quillet
