// quillet-cli export and check on the sample prefix, whose stores are real message stores, and on
// a protected backup of it.

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/sample_prefix_cli.h"
#include "support/imap/dovecot_server.h"
#include "support/platform/folder_snapshot.h"

namespace quillet::testing {
namespace {

class CliMailTest : public SamplePrefixCliTest {
  protected:
    std::filesystem::path inbox() const {
        return SampleStoreFolder(prefix, kSampleMainIdentity) / "Inbox.dbx";
    }
};

TEST_F(CliMailTest, ExportOfAProtectedBackupEqualsExportOfThePrefixItWasMadeFrom) {
    const std::string passwordFile = (temp / "password.txt").string();
    WriteFileBytes(passwordFile, "PASSWORD\n");
    const std::string backup = (temp / "main.qbk").string();
    CliRun made = run({"backup", "--identity", "Main Identity", "--out", backup, "--password-file",
                       passwordFile});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    for (const std::string format : {"mbox", "eml", "maildir"}) {
        SCOPED_TRACE(format);
        const std::filesystem::path fromPrefix = temp / ("prefix-" + format);
        const std::filesystem::path fromBackup = temp / ("backup-" + format);
        CliRun direct = run({"export", "--identity", "Main Identity", "--out", fromPrefix.string(),
                             "--format", format});
        ASSERT_EQ(direct.exitCode, 0) << direct.err;
        EXPECT_NE(direct.out.find("\nMessages: 7\n"), std::string::npos) << direct.out;
        CliRun restored = runAsGiven({"export", backup, "--password-file", passwordFile, "--out",
                                      fromBackup.string(), "--format", format});
        ASSERT_EQ(restored.exitCode, 0) << restored.err;
        EXPECT_EQ(restored.out.substr(restored.out.find("\nFolders:")),
                  direct.out.substr(direct.out.find("\nFolders:")));
        const TreeSnapshot expected = SnapshotTree(fromPrefix);
        EXPECT_EQ(expected.size(), format == "mbox" ? 4u : format == "eml" ? 11u : 25u);
        EXPECT_EQ(SnapshotTree(fromBackup), expected);
    }
    EXPECT_TRUE(FolderListing(temp / "tmp").empty()) << "the work folders are removed";
    // --keep-bytes leaves the state lines out of the mbox files.
    CliRun kept = run({"export", "--identity", "Main Identity", "--out", (temp / "kept").string(),
                       "--keep-bytes"});
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(ReadFileBytes(temp / "kept" / "Inbox").find("\nStatus: "), std::string::npos);
}

TEST_F(CliMailTest, CheckExitsWithOneWhenAStoreIsDamaged) {
    CliRun sound = run({"check", "--identity", "Main Identity"});
    EXPECT_EQ(sound.exitCode, 0) << sound.err;
    EXPECT_EQ(Lines(sound.out).size(), 5u) << sound.out;

    std::string bytes = ReadFileBytes(inbox());
    bytes[0xE4] ^= 0x01;  // the tree root no longer points at the tree node
    WriteFileBytes(inbox(), bytes);
    CliRun damaged = run({"check", "--identity", "Main Identity"});
    EXPECT_EQ(damaged.exitCode, 1) << damaged.err;
    EXPECT_NE(damaged.out.find("Inbox.dbx\tdamaged"), std::string::npos) << damaged.out;

    CliRun strict =
        run({"export", "--identity", "Main Identity", "--out", (temp / "out").string()});
    EXPECT_EQ(strict.exitCode, 2);
    EXPECT_NE(strict.err.find("Inbox.dbx"), std::string::npos) << strict.err;
    EXPECT_FALSE(std::filesystem::exists(temp / "out" / "Inbox"));

    // A store a salvaging export leaves out whole makes it partial.
    bytes[0] ^= 0x01;  // the magic
    WriteFileBytes(inbox(), bytes);
    CliRun leftOut = run({"export", "--identity", "Main Identity", "--out",
                          (temp / "salvaged").string(), "--salvage"});
    EXPECT_EQ(leftOut.exitCode, 1) << leftOut.err;
    EXPECT_NE(leftOut.out.find("Inbox.dbx"), std::string::npos) << leftOut.out;
}

// A folder of loose stores: the real ones of tests/data/dbx, with their notice beside them.
class CliLooseMailTest : public CliMailTest {
  protected:
    void SetUp() override {
        CliMailTest::SetUp();
        std::filesystem::create_directories(stick);
        for (const char* file : {"test.dbx", "test1.dbx", "README.md"}) {
            std::filesystem::copy_file(TestDataDir() / "dbx" / file, stick / file);
        }
    }
    const std::filesystem::path stick = temp / "stick";
};

TEST_F(CliLooseMailTest, ExportReadsAFolderOfStores) {
    CliRun exported = runAsGiven({"export", stick.string(), "--out", (temp / "out").string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(FolderListing(temp / "out"), (std::vector<std::string>{"test", "test1"}));
}

TEST_F(CliLooseMailTest, CheckReadsAStoreFileAndSaysWhatAPathIsNot) {
    CliRun checked = runAsGiven({"check", (stick / "test.dbx").string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.err;
    EXPECT_EQ(Lines(checked.out).size(), 1u) << checked.out;
    EXPECT_EQ(
        runAsGiven({"check", stick.string(), "--password-file", (stick / "README.md").string()})
            .exitCode,
        2);
    CliRun notice = runAsGiven({"check", (stick / "README.md").string()});
    EXPECT_EQ(notice.exitCode, 2);
    EXPECT_NE(notice.err.find("# dbx-samples"), std::string::npos) << "names what it holds";
    // A file that is no store is damaged as a whole: its line names no offset.
    std::filesystem::copy_file(stick / "README.md", stick / "notes.dbx");
    CliRun folder = runAsGiven({"check", stick.string()});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.out.find(" at offset 0x0\n"), std::string::npos) << folder.out;
}

TEST_F(CliMailTest, UploadOfAProtectedBackupEqualsUploadOfThePrefixItWasMadeFrom) {
    DovecotServer server(temp / "dovecot");
    ASSERT_EQ(server.failure(), "");
    const std::string passwordFile = (temp / "password.txt").string();
    WriteFileBytes(passwordFile, "PASSWORD\n");
    const std::string imapPasswordFile = (temp / "imap-password.txt").string();
    WriteFileBytes(imapPasswordFile, std::string(DovecotServer::kPassword) + "\n");
    const std::string backup = (temp / "main.qbk").string();
    ASSERT_EQ(run({"backup", "--identity", "Main Identity", "--out", backup, "--password-file",
                   passwordFile})
                  .exitCode,
              0);
    const std::string account = "imaps://" + std::string(DovecotServer::kUser) +
                                "@127.0.0.1:" + std::to_string(server.port());
    auto upload = [&](std::vector<std::string> arguments, const std::string& folder) {
        arguments.insert(arguments.end(),
                         {"--imap", account, "--imap-password-file", imapPasswordFile,
                          "--imap-folder", folder, "--ca-file", server.certificate().string()});
        return arguments;
    };
    CliRun direct = run(upload({"export", "--identity", "Main Identity"}, "Prefix"));
    ASSERT_EQ(direct.exitCode, 0) << direct.err;
    EXPECT_NE(direct.out.find("\nMessages: 7\n"), std::string::npos) << direct.out;
    CliRun restored =
        runAsGiven(upload({"export", backup, "--password-file", passwordFile}, "Backup"));
    ASSERT_EQ(restored.exitCode, 0) << restored.err;

    // The same messages, states and dates in the same folders.
    auto held = server.readBack();
    ASSERT_TRUE(held);
    std::vector<std::string> fromPrefix, fromBackup;
    for (const ImapReadMessage& m : *held) {
        const std::string line = m.mailbox.substr(m.mailbox.find('.')) + " " + m.flags + " " +
                                 std::to_string(m.internalDate) + " " + m.bytes;
        (m.mailbox.starts_with("Prefix.") ? fromPrefix : fromBackup).push_back(line);
    }
    std::sort(fromPrefix.begin(), fromPrefix.end());
    std::sort(fromBackup.begin(), fromBackup.end());
    EXPECT_EQ(fromPrefix.size(), 7u);
    EXPECT_EQ(fromBackup, fromPrefix);
}

TEST_F(CliMailTest, ExportNeedsExactlyOneSource) {
    EXPECT_EQ(run({"export", "--out", (temp / "out").string()}).exitCode, 2);
}

}  // namespace
}  // namespace quillet::testing
