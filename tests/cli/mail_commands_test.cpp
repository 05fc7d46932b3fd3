// quillet-cli export and check on the sample prefix, whose stores are real message stores, and on
// a protected backup of it.

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/sample_prefix_cli.h"
#include "support/imap/dovecot_server.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"

namespace quillet::testing {
namespace {

class CliMailTest : public SamplePrefixCliTest {
  protected:
    std::filesystem::path inbox() const {
        return SampleStoreFolder(prefix, kSampleMainIdentity) / "Inbox.dbx";
    }
    std::string passwordFile() const { return (temp / "password.txt").string(); }
    // A protected backup of the main identity, its password in passwordFile().
    std::string makeBackup() {
        WriteFileBytes(passwordFile(), "PASSWORD\n");
        const std::string backup = (temp / "main.qbk").string();
        CliRun made = run({"backup", "--identity", "Main Identity", "--out", backup,
                           "--password-file", passwordFile()});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return backup;
    }
};

TEST_F(CliMailTest, ExportOfAProtectedBackupEqualsExportOfThePrefixItWasMadeFrom) {
    const std::string backup = makeBackup(), passwordFile = this->passwordFile();

    for (const std::string format : {"mbox", "eml", "maildir"}) {
        SCOPED_TRACE(format);
        const std::filesystem::path fromPrefix = temp / ("prefix-" + format);
        const std::filesystem::path fromBackup = temp / ("backup-" + format);
        CliRun direct = run({"export", "--identity", "Main Identity", "--out", fromPrefix.string(),
                             "--format", format});
        ASSERT_EQ(direct.exitCode, 0) << direct.err;
        EXPECT_NE(direct.out.find("\nMessages: 12\n"), std::string::npos) << direct.out;
        CliRun restored = runAsGiven({"export", backup, "--password-file", passwordFile, "--out",
                                      fromBackup.string(), "--format", format});
        ASSERT_EQ(restored.exitCode, 0) << restored.err;
        EXPECT_EQ(restored.out.substr(restored.out.find("\nFolders:")),
                  direct.out.substr(direct.out.find("\nFolders:")));
        const TreeSnapshot expected = SnapshotTree(fromPrefix);
        EXPECT_EQ(expected.size(), format == "mbox" ? 11u : format == "eml" ? 21u : 45u);
        EXPECT_EQ(SnapshotTree(fromBackup), expected);
        // The local Inbox at the top, an IMAP account's folders in one named after it.
        const std::filesystem::path inbox = format == "mbox"  ? fromPrefix / "Inbox"
                                            : format == "eml" ? fromPrefix / "Inbox" / "00001.eml"
                                                              : fromPrefix / "cur";
        const std::filesystem::path office = format == "mbox"  ? fromPrefix / "Office Mail.sbd"
                                             : format == "eml" ? fromPrefix / "Office Mail"
                                                               : fromPrefix / ".Office Mail.Inbox";
        EXPECT_TRUE(std::filesystem::exists(inbox) && std::filesystem::exists(office));
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
    EXPECT_EQ(Lines(sound.out).size(), 8u) << sound.out;
    EXPECT_NE(sound.out.find("\tfolder Office Mail/Inbox\n"), std::string::npos) << sound.out;

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
const std::filesystem::path kLooseStores = TestDataDir() / "dbx";

TEST_F(CliMailTest, ExportReadsAFolderOfStoresInEveryFormat) {
    for (const char* format : {"mbox", "eml", "maildir"}) {
        const std::string out = (temp / format).string();
        CliRun exported =
            runAsGiven({"export", kLooseStores.string(), "--out", out, "--format", format});
        ASSERT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_NE(exported.out.find("\nMessages: 2\n"), std::string::npos) << exported.out;
    }
    // Loose stores carry no code page: --codepage gives it, and the summary says which was used.
    CliRun cyrillic = runAsGiven({"export", kLooseStores.string(), "--out",
                                  (temp / "cyrillic").string(), "--codepage", "1251"});
    EXPECT_EQ(cyrillic.exitCode, 0) << cyrillic.err;
    EXPECT_NE(cyrillic.out.find(" 1251)"), std::string::npos) << cyrillic.out;
    EXPECT_EQ(runAsGiven({"export", kLooseStores.string(), "--out", (temp / "none").string(),
                          "--codepage", "65000000"})
                  .exitCode,
              2);
    EXPECT_EQ(FolderListing(temp / "mbox"), (std::vector<std::string>{"test", "test1"}));
}

TEST_F(CliMailTest, CheckReadsAStoreFileAndSaysWhatAPathIsNot) {
    CliRun checked = runAsGiven({"check", (kLooseStores / "test.dbx").string()});
    EXPECT_EQ(checked.exitCode, 0) << checked.err;
    EXPECT_EQ(Lines(checked.out).size(), 1u) << checked.out;
    EXPECT_EQ(runAsGiven({"check", kLooseStores.string(), "--password-file",
                          (kLooseStores / "README.md").string()})
                  .exitCode,
              2);
    CliRun notice = runAsGiven({"check", (kLooseStores / "README.md").string()});
    EXPECT_EQ(notice.exitCode, 2);
    EXPECT_NE(notice.err.find("# dbx-samples"), std::string::npos) << "names what it holds";
    // A file that is no store is damaged as a whole: its line names no offset.
    const std::filesystem::path stick = temp / "stick";
    std::filesystem::copy(kLooseStores, stick);
    std::filesystem::copy_file(stick / "README.md", stick / "notes.dbx");
    CliRun folder = runAsGiven({"check", stick.string()});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_EQ(folder.out.find(" at offset 0x0\n"), std::string::npos) << folder.out;
}

// The account takes the output folder's place, for the prefix, a backup and loose stores alike
// (what the server then holds is imap_tests' to check).
TEST_F(CliMailTest, UploadsThePrefixABackupOrLooseStoresToAnImapAccount) {
    DovecotServer server(temp / "dovecot");
    ASSERT_EQ(server.failure(), "");
    const std::string imapPassword = (temp / "imap-password.txt").string();
    WriteFileBytes(imapPassword, std::string(DovecotServer::kPassword) + "\n");
    const std::string url = "imaps://" + std::string(DovecotServer::kUser) +
                            "@127.0.0.1:" + std::to_string(server.port());
    const std::vector<std::string> account = {
        "--imap",     url,         "--imap-password-file",
        imapPassword, "--ca-file", server.certificate().string()};
    const std::string backup = makeBackup();
    for (auto [arguments, messages] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"--prefix", prefix.string(), "export", "--identity", "Main Identity",
               "--imap-folder", "Prefix"},
              12},
             {{"export", backup, "--password-file", passwordFile(), "--imap-folder", "Backup"}, 12},
             {{"export", kLooseStores.string(), "--imap-folder", "Loose"}, 2},
             {{"--json", "export", kLooseStores.string(), "--imap-folder", "Json"}, 2}}) {
        arguments.insert(arguments.end(), account.begin(), account.end());
        CliRun uploaded = runAsGiven(arguments);
        ASSERT_EQ(uploaded.exitCode, 0) << uploaded.err;
        if (arguments[0] == "--json") {
            const ProgramRun read = RunProgram(
                {"/usr/bin/python3", "-c",
                 "import json, sys; print(json.loads(sys.argv[1])['messages'])", uploaded.out});
            EXPECT_EQ(read.out, std::to_string(messages) + "\n") << uploaded.out << read.err;
            continue;
        }
        EXPECT_NE(uploaded.out.find("\nMessages: " + std::to_string(messages) + "\n"),
                  std::string::npos)
            << uploaded.out;
    }
    const std::vector<ImapReadMessage> held = server.readBack();
    EXPECT_EQ(held.size(), 28u);
    // The local Inbox right under the upload's folder.
    EXPECT_EQ(std::count_if(held.begin(), held.end(),
                            [](const ImapReadMessage& m) { return m.mailbox == "Prefix.Inbox"; }),
              3);
}

TEST_F(CliMailTest, ExportNeedsExactlyOneSource) {
    EXPECT_EQ(run({"export", "--out", (temp / "out").string()}).exitCode, 2);
}

}  // namespace
}  // namespace quillet::testing
