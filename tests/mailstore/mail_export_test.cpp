#include "mailstore/mail_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "mailstore/dbx_builder.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/export_folders.h"
#include "mailstore/folder_list.h"
#include "mailstore/folder_output.h"
#include "mailstore/salvaged_message.h"
#include "support/imap/dovecot_server.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet::mailstore {
namespace {

namespace fs = std::filesystem;
using quillet::testing::ReadFileBytes;
constexpr char kRootFolder[] = "=";  // an mbox file's one folder, a Maildir's root

// The stores of a folder on disk, as an identity's store folder gives them.
class FolderSource : public MailSource {
  public:
    explicit FolderSource(fs::path folder) : m_folder(std::move(folder)) {}
    std::string description() const override { return m_folder.string(); }
    std::vector<StoreName> stores() const override {
        std::vector<StoreName> names;
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            if (entry.is_regular_file())
                names.push_back({entry.path().filename().string(), entry.file_size()});
        }
        std::sort(names.begin(), names.end(),
                  [](const StoreName& a, const StoreName& b) { return a.fileName < b.fileName; });
        return names;
    }
    Result<std::unique_ptr<StoreBytes>> openStore(const std::string& fileName) override {
        return OpenStoreFile(m_folder / fileName);
    }

  private:
    fs::path m_folder;
};

class CancellingProgress : public MailProgress {
  public:
    void storeStarted(const std::string& fileName, std::size_t, std::size_t) override {
        started.push_back(fileName);
    }
    void bytesDone(std::uint64_t done, std::uint64_t total) override {
        lastDone = done;
        lastTotal = total;
    }
    bool cancelRequested() override { return cancel; }

    std::vector<std::string> started;
    std::uint64_t lastDone = 0;
    std::uint64_t lastTotal = 0;
    bool cancel = false;
};

// Every file and folder below `root` (relative path -> bytes, or "/" for a folder).
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        tree[fs::relative(entry.path(), root).string()] =
            entry.is_directory() ? "/" : ReadFileBytes(entry.path());
    }
    return tree;
}

// The messages of each folder of an mbox file or a Maildir as Python's mailbox module reads them,
// the mboxrd quoting undone, with their flags (an mbox's "ROFA", a Maildir's "FPRS").
struct ReadBack {
    std::vector<std::string> messages, flags;
    bool operator==(const ReadBack&) const = default;
};
std::map<std::string, ReadBack> ReadMail(const char* kind, const fs::path& box,
                                         const fs::path& scratch) {
    static const std::string kScript =
        "import mailbox, os, re, sys\n"
        "kind, path, out = sys.argv[1:4]\n"
        "def dump(name, box):\n"
        "    os.makedirs(os.path.join(out, name))\n"
        "    for key in box.keys():\n"  // a Maildir's: "<time>.Q<position>.<host>"
        "        data = box.get_bytes(key)\n"
        "        if kind == 'mbox': data = re.sub(rb'(?m)^>(>*From )', rb'\\1', data)\n"
        "        at = key if kind == 'mbox' else int(key.split('.Q')[1].split('.')[0])\n"
        "        at = '%05d %s' % (at, box.get_message(key).get_flags())\n"
        "        open(os.path.join(out, name, at), 'wb').write(data)\n"
        "box = mailbox.mbox(path) if kind == 'mbox' else mailbox.Maildir(path, create=False)\n"
        "dump('=', box)\n"
        "for name in box.list_folders() if kind == 'maildir' else []:\n"
        "    dump(name, box.get_folder(name))\n";
    using quillet::testing::ShellQuote;
    fs::remove_all(scratch);
    const std::string command = "python3 -c " + ShellQuote(kScript) + " " + kind + " " +
                                ShellQuote(box.string()) + " " + ShellQuote(scratch.string());
    std::string output;
    EXPECT_EQ(quillet::testing::RunCommand(command, &output), 0) << output;
    std::map<std::string, ReadBack> folders;
    for (const auto& [path, bytes] : Tree(scratch)) {
        const auto slash = path.find('/');
        ReadBack& folder = folders[path.substr(0, slash)];
        if (slash == std::string::npos) continue;
        folder.messages.push_back(bytes);
        folder.flags.push_back(path.substr(path.find(' ', slash) + 1));
    }
    return folders;
}

// Messages whose "From " lines fall on every side of the reader's 512-byte pieces.
std::vector<std::string> TrickyMessages() {
    std::string long_body;
    for (int i = 0; long_body.size() < 3000; ++i) {
        long_body += std::string(static_cast<std::size_t>(i % 13), '>') + "From line " +
                     std::string(static_cast<std::size_t>(i % 31), 'x') + "\r\n";
    }
    return {
        "From: Ann <ann@example.org>\r\nDate: Tue, 8 Dec 2026 19:30:05 +0100\r\nSubject: one\r\n"
        "\r\nFrom the start\r\n>From quoted\r\n\r\nFrom here too\r\n",
        "Return-Path: <b@example.org>\r\nSubject: two\r\n\r\n" + long_body,
        "Subject: three\r\n\r\n\r\n",
    };
}

class MailExportTest : public ::testing::Test {
  protected:
    MailExportTest() { fs::create_directories(m_stores); }

    ExportOptions options(ExportFormat format, ReadMode mode = ReadMode::kStrict) const {
        return {m_out, format, mode, false, true};
    }

    // The folder list's tree, with a clash ignoring case, a subfolder named like a message file, a
    // store it does not name, one named as another but for case, and one that holds no messages.
    void writeNestedStores() {
        using quillet::testing::DbxFolder;
        quillet::testing::WriteDbxFolderList(
            m_stores / "Folders.dbx",
            {DbxFolder{0, 0xFFFFFFFF, "Outlook Express", "", 0},
             DbxFolder{1, 0, "Inbox", "Inbox.dbx", 1},
             DbxFolder{2, 1, "Projects/2026", "Projects.dbx", 0},
             DbxFolder{3, 0, "INBOX", "Other.dbx", 0}, DbxFolder{4, 1, "00001.eml", "Odd.dbx", 0},
             DbxFolder{5, 0, "Archive", "", 0}, DbxFolder{6, 5, "2019", "Old.dbx", 0}});
        quillet::testing::WriteDbxStore(m_stores / "Inbox.dbx", TrickyMessages());
        quillet::testing::WriteDbxStore(m_stores / "Projects.dbx", {TrickyMessages()[0]});
        quillet::testing::WriteDbxStore(m_stores / "Other.dbx", {});
        quillet::testing::WriteDbxStore(m_stores / "Orphan.dbx", {TrickyMessages()[2]});
        quillet::testing::WriteDbxStore(m_stores / "Odd.dbx", {TrickyMessages()[2]});
        quillet::testing::WriteDbxStore(m_stores / "Old.dbx", {TrickyMessages()[1]});
        quillet::testing::WriteDbxStore(m_stores / "OTHER.DBX", {TrickyMessages()[0]});
        quillet::testing::WriteFileBytes(m_stores / "pop3uidl.dbx", "not a message store");
    }

    quillet::testing::TempDir m_dir;
    fs::path m_stores = m_dir / "stores";
    fs::path m_out = m_dir / "out";
    FolderSource m_source{m_stores};
};

TEST_F(MailExportTest, RealStoresExportByteExactAsEmlAndMbox) {
    const fs::path samples = quillet::testing::TestDataDir() / "dbx";
    std::map<std::string, std::string> stored;  // store name -> its message
    for (const char* name : {"test", "test1"}) {
        const fs::path file = samples / (std::string(name) + ".dbx");
        fs::copy_file(file, m_stores / file.filename());
        auto bytes = OpenStoreFile(file);
        ASSERT_TRUE(bytes.ok());
        auto store = MessageStore::Open(**bytes, ReadMode::kStrict);
        ASSERT_TRUE(store.ok()) << store.reason();
        ASSERT_TRUE((*store)
                        ->readMessage((*store)->messages().at(0),
                                      [&](std::span<const std::byte> piece) {
                                          stored[name].append(
                                              reinterpret_cast<const char*>(piece.data()),
                                              piece.size());
                                          return Status::Ok();
                                      })
                        .ok());
    }

    CancellingProgress progress;
    auto eml = ExportMail(m_source, options(ExportFormat::kEml), &progress);
    ASSERT_TRUE(eml.ok()) << eml.reason();
    EXPECT_EQ(eml->folders, 2u);
    EXPECT_EQ(eml->messages, 2u);
    EXPECT_EQ(eml->bytes, stored["test"].size() + stored["test1"].size());
    EXPECT_TRUE(eml->notes.empty());
    EXPECT_EQ(progress.started, (std::vector<std::string>{"test.dbx", "test1.dbx"}));
    EXPECT_EQ(progress.lastDone, progress.lastTotal);
    const std::string first = EmlFileName(0, 1);
    EXPECT_EQ(Tree(m_out),
              (std::map<std::string, std::string>{{"test", "/"},
                                                  {"test/" + first, stored["test"]},
                                                  {"test1", "/"},
                                                  {"test1/" + first, stored["test1"]}}));

    if (!quillet::testing::ToolOnPath("python3")) GTEST_SKIP() << "python3 is not installed";
    fs::remove_all(m_out);
    ASSERT_TRUE(ExportMail(m_source, options(ExportFormat::kMbox), nullptr).ok());
    for (const char* name : {"test", "test1"}) {
        EXPECT_EQ(ReadMail("mbox", m_out / name, m_dir / "read")[kRootFolder].messages,
                  std::vector<std::string>{stored[name]});
    }
}

class MailExportLayoutTest : public MailExportTest,
                             public ::testing::WithParamInterface<ExportFormat> {
  protected:
    void SetUp() override { writeNestedStores(); }

    // Where a top-level folder goes.
    fs::path topFolder(const std::string& name) const {
        if (GetParam() != ExportFormat::kMaildir) return m_out / name;
        return m_out / (name == "Inbox" ? "cur" : "." + name);
    }
};

TEST_P(MailExportLayoutTest, FoldersAreLaidOutAsTheFolderListNestsThem) {
    // A dry run plans the folders the export then writes, and writes nothing.
    ExportOptions dry = options(GetParam());
    dry.dryRun = true;
    auto plan = ExportMail(m_source, dry, nullptr);
    ASSERT_TRUE(plan.ok()) << plan.reason();
    EXPECT_FALSE(std::filesystem::exists(m_out));
    std::vector<std::filesystem::path> planned;
    for (const auto& folder : plan->planned) planned.push_back(folder.relative);

    auto summary = ExportMail(m_source, options(GetParam()), nullptr);
    ASSERT_TRUE(summary.ok()) << summary.reason();
    EXPECT_EQ(summary->complete, planned);
    EXPECT_EQ(summary->folders, 7u);
    EXPECT_EQ(summary->messages, 8u);

    const std::vector<std::string> tricky = TrickyMessages();
    std::map<std::string, std::vector<std::string>> expected = {
        {"Inbox", tricky},
        {"Inbox/Projects_2026", {tricky[0]}},
        {"INBOX (2)", {}},
        {"Orphan", {tricky[2]}},
        {"OTHER", {tricky[0]}},
        {GetParam() == ExportFormat::kEml ? "Inbox/00001.eml_" : "Inbox/00001.eml", {tricky[2]}},
        {"Archive/2019", {tricky[1]}},  // below a folder without messages of its own
    };
    if (GetParam() == ExportFormat::kMaildir) {
        if (!quillet::testing::ToolOnPath("python3")) GTEST_SKIP() << "python3 is not installed";
        // Named by its path ("INBOX" above the Inbox's subfolders, "." made "_"); every one read.
        const std::map<std::string, std::string> names = {
            {"Inbox", kRootFolder},    {"Inbox/Projects_2026", "INBOX.Projects_2026"},
            {"Orphan", "Orphan"},      {"Inbox/00001.eml", "INBOX.00001_eml"},
            {"OTHER", "OTHER"},        {"Archive/2019", "Archive.2019"},
            {"INBOX (2)", "INBOX (2)"}};
        std::map<std::string, ReadBack> folders;
        for (const auto& [path, messages] : expected) {
            folders[names.at(path)] = {messages, std::vector<std::string>(messages.size(), "S")};
        }
        EXPECT_EQ(ReadMail("maildir", m_out, m_dir / "read"), folders);
        return;
    }
    std::map<std::string, std::string> tree;
    if (GetParam() == ExportFormat::kEml) {
        tree["Archive"] = "/";
        for (const auto& [folder, messages] : expected) {
            tree[folder] = "/";
            for (std::size_t i = 0; i < messages.size(); ++i) {
                tree[folder + "/" + EmlFileName(i, messages.size())] = messages[i];
            }
        }
        EXPECT_EQ(Tree(m_out), tree);
        return;
    }
    std::map<std::string, std::vector<std::string>> mboxes;
    for (const auto& [path, messages] : expected) {
        std::string file = path;
        if (const auto slash = file.find('/'); slash != std::string::npos) {
            file.insert(slash, ".sbd");
        }
        tree[file] = ReadFileBytes(m_out / file);
        mboxes[file] = messages;
    }
    tree["Inbox.sbd"] = "/";
    tree["Archive.sbd"] = "/";
    tree["Archive"] = "";  // an empty mbox beside its subfolders, as Thunderbird needs
    EXPECT_EQ(Tree(m_out), tree);
    if (!quillet::testing::ToolOnPath("python3")) GTEST_SKIP() << "python3 is not installed";
    for (const auto& [file, messages] : mboxes) {
        EXPECT_EQ(ReadMail("mbox", m_out / file, m_dir / "read")[kRootFolder].messages, messages)
            << file;
    }
}

TEST_P(MailExportLayoutTest, ReplacesNothingWithoutForce) {
    ASSERT_TRUE(ExportMail(m_source, options(GetParam()), nullptr).ok());
    const auto before = Tree(m_out);
    fs::remove_all(topFolder("Orphan"));

    auto again = ExportMail(m_source, options(GetParam()), nullptr);
    ASSERT_TRUE(again.status().is(ErrorKind::kInUse)) << again.reason();
    EXPECT_NE(again.reason().find(topFolder("Inbox").string()), std::string::npos);
    EXPECT_FALSE(fs::exists(topFolder("Orphan")));

    // A Maildir is the user's mail: what they have there stays, what an earlier export wrote goes.
    std::map<std::string, std::string> theirs;
    if (GetParam() == ExportFormat::kMaildir) {
        theirs = {{"cur/1700000000.M1P2.host:2,S", "mine"},
                  {"new/1700000001.M3P4.host", "mine too"},
                  {".Archive.2019/cur/1700000002.P5Q6.host:2,", "mine"}};
        for (const auto& [path, bytes] : theirs) {
            quillet::testing::WriteFileBytes(m_out / path, bytes);
        }
        quillet::testing::WriteFileBytes(m_out / "cur/1.Q9.elsewhere:2,S", "an earlier export's");
    }
    ExportOptions forced = options(GetParam());
    forced.force = true;
    ASSERT_TRUE(ExportMail(m_source, forced, nullptr).ok());
    auto expected = before;
    expected.insert(theirs.begin(), theirs.end());
    EXPECT_EQ(Tree(m_out), expected);
}

// A damaged store in a strict export: the stores before it stay complete, nothing of it remains.
TEST_P(MailExportLayoutTest, StrictDamageLeavesNothingHalfWritten) {
    for (const auto damage :
         {quillet::testing::DbxDamage::kChunkLoop, quillet::testing::DbxDamage::kBadNodeMarker}) {
        const auto layout =
            quillet::testing::WriteDbxStore(m_stores / "Inbox.dbx", TrickyMessages());
        fs::remove(m_stores / "Orphan.dbx");
        quillet::testing::DamageDbxStore(m_stores / "Inbox.dbx", layout, damage);
        fs::remove_all(m_out);
        auto summary = ExportMail(m_source, options(GetParam()), nullptr);
        ASSERT_TRUE(summary.status().is(ErrorKind::kCorrupt)) << summary.reason();
        // Inbox is exported first (its children after it), so nothing is complete.
        EXPECT_FALSE(fs::exists(m_out)) << quillet::testing::DbxDamageName(damage);
    }
}

// Damage in the last store: what is complete stays and is named, and an export without force goes
// on from there once the store is mended.
TEST_P(MailExportLayoutTest, StrictStopAfterCompleteFoldersLetsALaterExportGoOn) {
    auto whole = ExportMail(m_source, options(GetParam()), nullptr);
    ASSERT_TRUE(whole.ok()) << whole.reason();
    const auto expected = Tree(m_out);
    fs::remove_all(m_out);
    const fs::path old = m_stores / "Old.dbx";
    const std::string sound = ReadFileBytes(old);
    // Its second message loops: the first was written before the folder was rolled back.
    const auto layout =
        quillet::testing::WriteDbxStore(old, {TrickyMessages()[1], TrickyMessages()[0]});
    const auto& looping = layout.messages[1].chunks;
    quillet::testing::PatchUint32(old, looping.back() + kChunkNext, looping.front());

    auto stopped = ExportMail(m_source, options(GetParam()), nullptr);
    ASSERT_TRUE(stopped.ok()) << stopped.reason();
    EXPECT_NE(stopped->stopped.find("Old.dbx"), std::string::npos) << stopped->stopped;
    EXPECT_EQ(stopped->complete.size(), whole->folders - 1);
    EXPECT_EQ(stopped->messages, whole->messages - 1);
    EXPECT_TRUE(fs::exists(m_out / kIncompleteExportFile));

    // A listed folder that no longer holds what the list says is in the way.
    const fs::path orphan = topFolder("Orphan");
    const fs::path changed =
        GetParam() == ExportFormat::kMbox ? orphan
        : GetParam() == ExportFormat::kEml
            ? orphan / EmlFileName(0, 1)
            : orphan / "cur" / quillet::testing::FolderListing(orphan / "cur")[0];
    const std::string held = ReadFileBytes(changed);
    quillet::testing::WriteFileBytes(changed, held + "forged");
    auto refused = ExportMail(m_source, options(GetParam()), nullptr);
    EXPECT_TRUE(refused.status().is(ErrorKind::kInUse)) << refused.reason();
    EXPECT_NE(refused.reason().find(orphan.string()), std::string::npos) << refused.reason();
    quillet::testing::WriteFileBytes(changed, held);

    quillet::testing::WriteFileBytes(old, sound);
    auto resumed = ExportMail(m_source, options(GetParam()), nullptr);
    ASSERT_TRUE(resumed.ok()) << resumed.reason();
    EXPECT_TRUE(resumed->stopped.empty());
    EXPECT_EQ(resumed->folders, 1u);
    EXPECT_EQ(Tree(m_out), expected);
}

TEST_P(MailExportLayoutTest, CancelStopsBetweenMessagesAndLeavesNothing) {
    CancellingProgress progress;
    progress.cancel = true;
    auto summary = ExportMail(m_source, options(GetParam()), &progress);
    EXPECT_TRUE(summary.status().is(ErrorKind::kCancelled)) << summary.reason();
    EXPECT_EQ(progress.started.size(), 1u);
    EXPECT_FALSE(fs::exists(m_out));
}

constexpr const char* kFormatNames[] = {"Mbox", "Eml", "Maildir"};  // in ExportFormat's order
INSTANTIATE_TEST_SUITE_P(Formats, MailExportLayoutTest,
                         ::testing::Values(ExportFormat::kMbox, ExportFormat::kEml,
                                           ExportFormat::kMaildir),
                         [](const auto& info) { return kFormatNames[int(info.param)]; });

TEST_F(MailExportTest, LeftoversOfAKilledRunGoWhileARunAtWorkKeepsItsOwn) {
    quillet::testing::WriteDbxStore(m_stores / "Inbox.dbx", {TrickyMessages()[0]});
    // No process has an id that large; process 1 always runs.
    const fs::path killed = m_out / ".Inbox.quillet-999999999-0";
    const fs::path atWork = m_out / ".Inbox.quillet-1-0";
    fs::create_directories(killed);
    quillet::testing::WriteFileBytes(killed / EmlFileName(0, 1), "half");
    fs::create_directories(atWork);
    ASSERT_TRUE(ExportMail(m_source, options(ExportFormat::kEml), nullptr).ok());
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(atWork));
}

// Symbolic links inside the output folder: nothing outside it is created, replaced or removed,
// and the link is named.
struct LinkCase {
    const char* name;
    ExportFormat format;
    bool force;
    const char* link;  // below the output folder
    bool toFolder;     // to a folder outside (holding a file), else to a file outside
};

class LinkedOutputTest : public MailExportTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkedOutputTest, RefusesTheLinkAndTouchesNothingOutside) {
    writeNestedStores();
    const fs::path elsewhere = m_dir / "elsewhere";
    fs::create_directories(elsewhere);
    quillet::testing::WriteFileBytes(elsewhere / "keep", "mine");
    fs::create_directories(m_out);
    fs::create_symlink(GetParam().toFolder ? elsewhere : elsewhere / "keep",
                       m_out / GetParam().link);
    ExportOptions given = options(GetParam().format);
    given.force = GetParam().force;

    auto summary = ExportMail(m_source, given, nullptr);
    EXPECT_TRUE(summary.status().is(ErrorKind::kInUse)) << summary.reason();
    EXPECT_NE(summary.reason().find(LinkInTheWay(m_out / GetParam().link)), std::string::npos)
        << summary.reason();
    EXPECT_EQ(Tree(elsewhere), (std::map<std::string, std::string>{{"keep", "mine"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Links, LinkedOutputTest,
    ::testing::Values(LinkCase{"SubfoldersToAFolder", ExportFormat::kMbox, false, "Inbox.sbd",
                               true},
                      LinkCase{"MboxToAFile", ExportFormat::kMbox, true, "Inbox", false},
                      LinkCase{"EmlFolderToAFolder", ExportFormat::kEml, true, "Inbox", true},
                      LinkCase{"EmlParentToAFolder", ExportFormat::kEml, true, "Archive", true},
                      LinkCase{"MaildirNew", ExportFormat::kMaildir, true, "new", true},
                      LinkCase{"MaildirFolder", ExportFormat::kMaildir, true, ".Orphan", true}),
    [](const auto& info) { return info.param.name; });

TEST_F(MailExportTest, SalvageCountsAndNamesAStoreLeftOut) {
    for (const auto& [what, damage] : std::vector<std::pair<std::string, std::uint64_t>>{
             {"magic", 0}, {"class id", 4}, {"truncated", kHeaderSize / 2}, {"empty", 0}}) {
        const fs::path inbox = m_stores / "Inbox.dbx";
        quillet::testing::WriteDbxStore(inbox, {TrickyMessages()[0]});
        if (what == "magic" || what == "class id") {
            quillet::testing::PatchUint32(inbox, damage, 0);
        } else {
            fs::resize_file(inbox, damage);
        }
        fs::remove_all(m_out);
        auto summary =
            ExportMail(m_source, options(ExportFormat::kMbox, ReadMode::kSalvage), nullptr);
        ASSERT_TRUE(summary.ok()) << what << ": " << summary.reason();
        EXPECT_EQ(summary->storesLeftOut, std::vector<std::string>{"Inbox.dbx"}) << what;
    }
}

// Cut after its first message: the tree is gone, the first message is recovered, the two others
// the header counts are missing.
TEST_F(MailExportTest, SalvageCountsTheMessagesTheStoreHoldsButCouldNotBeFound) {
    const fs::path inbox = m_stores / "Inbox.dbx";
    const auto layout = quillet::testing::WriteDbxStore(inbox, TrickyMessages());
    fs::resize_file(inbox, layout.messages[1].chunks.front());
    auto summary = ExportMail(m_source, options(ExportFormat::kMbox, ReadMode::kSalvage), nullptr);
    ASSERT_TRUE(summary.ok()) << summary.reason();
    EXPECT_EQ(summary->messages, 1u);
    EXPECT_EQ(summary->missing, 2u);
    EXPECT_TRUE(summary->partial());
}

// A store of 200 messages cut at every 4 KiB: whatever a cut loses is told, and makes the export
// partial (exit status 1).
TEST_F(MailExportTest, SalvageOfEveryCutAccountsForEveryMessage) {
    const fs::path inbox = m_stores / "Inbox.dbx";
    const std::vector<std::string> messages(200, TrickyMessages()[0]);
    quillet::testing::WriteDbxStore(inbox, messages);
    const std::string whole = ReadFileBytes(inbox);
    int cuts = 0;
    for (std::size_t size = kHeaderSize; size < whole.size(); size += 4096, ++cuts) {
        quillet::testing::WriteFileBytes(inbox, whole.substr(0, size));
        fs::remove_all(m_out);
        auto summary =
            ExportMail(m_source, options(ExportFormat::kEml, ReadMode::kSalvage), nullptr);
        ASSERT_TRUE(summary.ok()) << size << ": " << summary.reason();
        EXPECT_GE(summary->messages + summary->skipped + summary->missing, messages.size()) << size;
        EXPECT_TRUE(summary->messages == messages.size() || summary->partial()) << size;
    }
    EXPECT_GE(cuts, 20);
}

// A chunk overwritten inside a message: its start is kept, marked, under its own number; the rest,
// which has no header, goes to the folder of fragments.
TEST_F(MailExportTest, SalvageKeepsTheStartOfADamagedMessageAndPutsItsRestApart) {
    std::string cut = "Subject: cut\r\n\r\n";
    while (cut.size() < 8 * kChunkDataSize) cut += "a line of the body\r\n";
    const std::vector<std::string> messages = {TrickyMessages()[0], cut, TrickyMessages()[2]};
    const auto layout = quillet::testing::WriteDbxStore(m_stores / "Inbox.dbx", messages);
    const std::uint32_t damaged = layout.messages[1].chunks[2];
    quillet::testing::PatchUint32(m_stores / "Inbox.dbx", damaged, 0);

    auto summary = ExportMail(m_source, options(ExportFormat::kEml, ReadMode::kSalvage), nullptr);
    ASSERT_TRUE(summary.ok()) << summary.reason();
    EXPECT_EQ(summary->cutShort, 1u);
    EXPECT_TRUE(summary->partial());
    const std::string head = cut.substr(0, 2 * kChunkDataSize);
    const auto tree = Tree(m_out);
    EXPECT_EQ(tree.at("Inbox/" + EmlFileName(1, 3)),
              DamagedMessageLine(head.size(), damaged, std::as_bytes(std::span(head))) + head);
    EXPECT_EQ(tree.at("Inbox/" + EmlFileName(2, 3)), messages[2]);
    EXPECT_EQ(tree.at(std::string(kRecoveredFragmentsFolder) + "/" + EmlFileName(0, 0)),
              cut.substr(3 * kChunkDataSize));
    EXPECT_EQ(std::count_if(summary->notes.begin(), summary->notes.end(),
                            [](const std::string& note) {
                                return note.find("(message 2: ") != std::string::npos;
                            }),
              1);
}

// A folder nested too deep: a strict export refuses it, a salvaging one puts it at the top.
TEST_F(MailExportTest, FolderNestedTooDeepIsDamage) {
    std::vector<quillet::testing::DbxFolder> folders = {{0, 0xFFFFFFFF, "Outlook Express", "", 0}};
    for (std::uint32_t id = 1; id <= kFolderDepthLimit + 1; ++id) {
        folders.push_back({id, id - 1, "Deep", id == kFolderDepthLimit + 1 ? "Deep.dbx" : "", 0});
    }
    quillet::testing::WriteDbxFolderList(m_stores / "Folders.dbx", folders);
    quillet::testing::WriteDbxStore(m_stores / "Deep.dbx", {TrickyMessages()[2]});
    auto strict = ExportMail(m_source, options(ExportFormat::kMbox), nullptr);
    EXPECT_TRUE(strict.status().is(ErrorKind::kCorrupt)) << strict.reason();
    auto salvaged = ExportMail(m_source, options(ExportFormat::kMbox, ReadMode::kSalvage), nullptr);
    ASSERT_TRUE(salvaged.ok()) << salvaged.reason();
    EXPECT_EQ(salvaged->complete, std::vector<fs::path>{"Deep"});
}

TEST_F(MailExportTest, TheTwoGigabyteWarningNamesItsStoreOnce) {
    quillet::testing::WriteDbxStore(m_stores / "Inbox.dbx", {TrickyMessages()[2]},
                                    {.gapBeforeMessages = kStoreSizeLimit});
    auto summary = ExportMail(m_source, options(ExportFormat::kMbox), nullptr);
    ASSERT_TRUE(summary.ok()) << summary.reason();
    ASSERT_EQ(summary->notes.size(), 1u);
    const std::string& note = summary->notes.front();
    EXPECT_EQ(note.find("Inbox.dbx"), note.rfind("Inbox.dbx")) << note;
}

TEST(EmlFileNameTest, NumbersFromOneWideEnoughForTheCount) {
    EXPECT_EQ(EmlFileName(0, 1), "00001.eml");
    EXPECT_EQ(EmlFileName(41, 99999), "00042.eml");
    EXPECT_EQ(EmlFileName(0, 100000), "000001.eml");
}

TEST_F(MailExportTest, SalvageSkipsDamagedMessagesAndSaysWhatItRecovered) {
    using quillet::testing::DbxPlacement;
    const std::vector<std::string> messages = TrickyMessages();
    quillet::testing::DbxStoreLayout layout;
    {
        quillet::testing::DbxStoreBuilder builder(m_stores / "Inbox.dbx");
        builder.addMessage(messages[0]);
        builder.addMessage(messages[1]);
        builder.addMessage(messages[2], {.placement = DbxPlacement::kLost});
        builder.addMessage(messages[1], {.placement = DbxPlacement::kDeleted});
        layout = builder.finish();
    }
    quillet::testing::DamageDbxStore(m_stores / "Inbox.dbx", layout,
                                     quillet::testing::DbxDamage::kChunkUsedTooLarge);

    auto summary = ExportMail(m_source, options(ExportFormat::kEml, ReadMode::kSalvage), nullptr);
    ASSERT_TRUE(summary.ok()) << summary.reason();
    EXPECT_EQ(summary->skipped, 1u);
    EXPECT_EQ(summary->recovered, 2u);
    EXPECT_EQ(summary->messages, 3u);
    EXPECT_GE(summary->notes.size(), 3u);
    for (const std::string& note : summary->notes) {
        EXPECT_NE(note.find("Inbox.dbx"), std::string::npos) << note;
    }
    const auto tree = Tree(m_out / "Inbox");
    EXPECT_FALSE(tree.contains(EmlFileName(0, 4)));
    EXPECT_EQ(tree.at(EmlFileName(1, 4)), messages[1]);
    EXPECT_EQ(tree.at(EmlFileName(2, 4)), messages[2]);
}

// Each message's state as Python's mailbox module reads it back from mbox and Maildir (with the
// bytes as they are); the received time is the Maildir file's.
TEST_F(MailExportTest, EachMessageStateIsReadBackFromMboxAndMaildir) {
    if (!quillet::testing::ToolOnPath("python3")) GTEST_SKIP() << "python3 is not installed";
    const std::vector<std::string> messages = TrickyMessages();
    {
        quillet::testing::DbxStoreBuilder builder(m_stores / "Inbox.dbx");
        builder.addMessage(messages[0], {.flags = 0x01});  // unread
        // read and flagged, received 2026-12-08 18:30:05 UTC
        builder.addMessage(messages[1], {.flags = 0xA1, .receivedTime = 134412282050000000});
        builder.addMessage(messages[2], {.flags = 0x180081});  // read, answered, forwarded
        builder.finish();
    }
    ExportOptions mbox = options(ExportFormat::kMbox);
    mbox.keepBytes = false;
    ASSERT_TRUE(ExportMail(m_source, mbox, nullptr).ok());
    EXPECT_EQ(ReadMail("mbox", m_out / "Inbox", m_dir / "read")[kRootFolder].flags,
              (std::vector<std::string>{"O", "ROF", "ROA"}));

    fs::remove_all(m_out);
    ASSERT_TRUE(ExportMail(m_source, options(ExportFormat::kMaildir), nullptr).ok());
    const ReadBack maildir{messages, {"", "FS", "PRS"}};
    EXPECT_EQ(ReadMail("maildir", m_out, m_dir / "read"),
              (std::map<std::string, ReadBack>{{kRootFolder, maildir}}));
    const std::string received = quillet::testing::FolderListing(m_out / "cur").back();
    EXPECT_EQ(received.substr(0, 14), "1796754605.Q2.");
    EXPECT_EQ(std::chrono::file_clock::to_sys(fs::last_write_time(m_out / "cur" / received)),
              std::chrono::sys_seconds(std::chrono::seconds(1796754605)));
}

// The sample prefix's Maildir served by the Dovecot the IMAP upload is tested against: its
// messages are the .eml files, every one seen.
TEST_F(MailExportTest, SamplePrefixMaildirIsServedByDovecot) {
    ASSERT_TRUE(quillet::testing::MakeSamplePrefix(m_dir / "prefix"));
    FolderSource prefix(quillet::testing::SampleStoreFolder(m_dir / "prefix",
                                                            quillet::testing::kSampleMainIdentity));
    ExportOptions eml = options(ExportFormat::kEml);
    eml.outFolder = m_dir / "eml";
    for (const ExportOptions& given : {eml, options(ExportFormat::kMaildir)}) {
        ASSERT_TRUE(ExportMail(prefix, given, nullptr).ok());
    }
    std::map<std::string, std::multiset<std::string>> exported, served;
    for (const auto& [path, bytes] : Tree(eml.outFolder)) {
        const std::size_t end = path.rfind('/');
        if (end == std::string::npos || bytes == "/") continue;
        // The eml folders "Office Mail/Inbox" are Dovecot's "Office Mail.Inbox", a "." in a
        // name written "_".
        std::string folder = path.substr(0, end);
        std::replace(folder.begin(), folder.end(), '.', '_');
        std::replace(folder.begin(), folder.end(), '/', '.');
        exported[folder == "Inbox" ? "INBOX" : folder].insert(bytes);
    }
    quillet::testing::DovecotServer dovecot(m_dir / "dovecot", {.maildir = m_out});
    ASSERT_EQ(dovecot.failure(), "");
    for (const auto& m : dovecot.readBack()) {
        EXPECT_EQ(m.flags, "\\Seen");
        served[m.mailbox].insert(m.bytes);
    }
    EXPECT_EQ(served, exported);
}

}  // namespace
}  // namespace quillet::mailstore
