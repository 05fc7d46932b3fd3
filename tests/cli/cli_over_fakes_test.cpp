// quillet-cli over the parts a test gives its context: a registry in memory, a prefix folder that
// holds only the files of one identity, an archive in memory, a password and a progress recorder.
#include <gtest/gtest.h>

#include "cli/cli_context.h"
#include "cli/password_input.h"
#include "support/archive/backup_reader.h"
#include "support/archive/fake_archive.h"
#include "support/backup/backup_world.h"
#include "support/backup/recording_progress.h"
#include "support/cli/cli_runner.h"
#include "support/platform/fake_environment.h"

namespace quillet::testing {
namespace {

using archive::FakeArchive;

class CliOverFakesTest : public ::testing::Test {
  protected:
    CliOverFakesTest() {
        world.fillEverything();
        world.system.facts.computerName = "PC-7";
        world.system.facts.logonUser = "me";
        context.useSystem(world.system);
        context.useArchive(archive);
        context.useProgress(progress);
    }

    CliRun run(const std::vector<std::string>& arguments) {
        return RunCliInProcess(context, arguments);
    }
    // Backs up these items of the world's identity into `file`; the run must succeed. The fake
    // archive keeps the backup; an empty file stands on disk for the commands that want one.
    void backUp(const std::filesystem::path& file, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments{"backup", "--identity", "Tester", "--out",
                                           file.string()};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const CliRun made = run(arguments);
        ASSERT_EQ(made.exitCode, 0) << made.err;
        WriteFileBytes(file, "");
    }

    FakeArchive archive;
    BackupWorld world{archive};
    RecordingProgress progress;
    cli::CliContext context{FakeEnvironment({{"TMPDIR", world.temp.path().string()}})};
    std::filesystem::path file = world.temp / "b.qbk";
};

TEST_F(CliOverFakesTest, IdentitiesComeFromTheGivenRegistry) {
    const CliRun listed = run({"identities"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, std::string(kTestIdentity) + "\tTester\n");
    EXPECT_EQ(listed.err, "");

    world.modReg.DeleteKeyTree("HKEY_CURRENT_USER\\Identities");
    ASSERT_TRUE(world.store.Commit().ok());
    const CliRun none = run({"identities"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, "quillet-cli: Your Windows System have not install Outlook Express \n");
}

TEST_F(CliOverFakesTest, BackupGoesThroughTheGivenArchiveAndReportsItsProgressThere) {
    const CliRun made = run(
        {"backup", "--identity", "Tester", "--out", file.string(), "--items", "rules,settings"});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out,
              "Backup Rules\tSuccessed!\nBackup Settings\tSuccessed!\nThe Backup was Completed!\n");
    EXPECT_EQ(made.err, "") << "no progress bar in the error stream";
    EXPECT_EQ(progress.statuses,
              (std::vector<std::string>{"Copying Rules...", "Copying Settings...",
                                        "Operation complete!"}));

    const FakeArchive::StoredArchive& saved = archive.archives().at(file);
    ASSERT_EQ(saved.entries.size(), 3u);
    EXPECT_EQ(MaskWorkFileNames(saved.entries[0].first), "OBR#.TMP");
    const std::vector<std::string> information = SplitCrLfLines(saved.entries[2].second);
    ASSERT_GE(information.size(), 3u);
    EXPECT_EQ(information[0], "BackupComputer=PC-7");
    EXPECT_EQ(information[1], "BackupLogonUser=me");
    EXPECT_EQ(information[2], "BackupIdentity=Tester");
    EXPECT_EQ(world.system.lockRequests, 1) << "the run holds the given system's lock";
}

TEST_F(CliOverFakesTest, ABackupThatCannotBeSavedExitsTwoAndSaysWhy) {
    archive.failOperation("SaveArchive", "no room");
    const CliRun made =
        run({"backup", "--identity", "Tester", "--out", file.string(), "--items", "rules"});
    EXPECT_EQ(made.exitCode, 2);
    EXPECT_EQ(made.out, std::string("Backup Rules\t") + kItemNotSavedText + "\n");
    EXPECT_EQ(made.err, "quillet-cli: the backup was not written: no room\n");
}

// Removes each message store just before the archive reads it.
class StoreRemover : public RecordingProgress {
  public:
    explicit StoreRemover(const std::filesystem::path& root) : m_root(root) {}
    void EntryAdding(const std::string& name) override {
        if (!name.ends_with(".dbx")) return;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root)) {
            if (entry.path().filename() == name) std::filesystem::remove(entry.path());
        }
    }

  private:
    std::filesystem::path m_root;
};

TEST_F(CliOverFakesTest, AnItemWhoseFileCannotBeReadAtTheSaveFailsOnItsOwnLine) {
    StoreRemover remover(world.temp.path());
    context.useProgress(remover);
    const CliRun made = run(
        {"backup", "--identity", "Tester", "--out", file.string(), "--items", "rules,messages"});
    EXPECT_EQ(made.exitCode, 2);
    EXPECT_EQ(made.out, std::string("Backup Rules\t") + kItemNotSavedText + "\n" +
                            std::string(kItems[kMessages].backupReportName) + "\t" +
                            kItemFailedText + "\n");
    EXPECT_EQ(made.err.rfind("quillet-cli: " + std::string(kItems[kMessages].backupReportName) +
                                 ": Cannot open the file",
                             0),
              0u)
        << made.err;
}

TEST_F(CliOverFakesTest, ThePasswordQuestionIsAnsweredByTheContext) {
    WriteFileBytes(world.temp / "password.txt", "pw\n");
    backUp(file, {"--items", "rules", "--password-file", (world.temp / "password.txt").string()});
    EXPECT_EQ(archive.archives().at(file).password, "pw");

    context.usePassword("pw");
    const CliRun info = run({"info", file.string()});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("\nProtected:yes\n"), std::string::npos) << info.out;
    const CliRun verified = run({"verify", file.string()});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
    EXPECT_EQ(verified.out, file.string() + ": 2 entries read to their end, all sound\n");

    context.usePassword("wrong");
    const CliRun refused = run({"info", file.string()});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err,
              "quillet-cli: " + std::string(cli::kWrongPasswordText) + " " + file.string() + "\n");
}

TEST_F(CliOverFakesTest, ListShowsTheGivenArchivesEntries) {
    archive.putArchive(file, {{{"one.txt", "1"}, {"quillet.dat", "BackupItem=00000000\r\n"}}, ""});
    WriteFileBytes(file, "");
    const CliRun listed = run({"list", file.string()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out, "one.txt\nquillet.dat\n");
}

}  // namespace
}  // namespace quillet::testing
