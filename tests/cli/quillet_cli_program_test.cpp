// The built quillet-cli program itself, end to end: its main(), its streams and its exit status.
// Every command's behaviour is tested in process (the other files here); this is the one test
// that starts the program.
#include <gtest/gtest.h>

#include "cli/commands.h"
#include "support/platform/child_process.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

TEST(QuilletCliProgram, BacksUpAndRestoresTheSamplePrefix) {
    TempDir temp;
    const std::string prefix = (temp / "prefix").string();
    ASSERT_TRUE(MakeSamplePrefix(prefix));
    std::filesystem::create_directories(temp / "tmp");
    const std::vector<std::string> environment{"HOME=" + temp.path().string(),
                                               "TMPDIR=" + (temp / "tmp").string(), "USER=quillet",
                                               "LC_ALL=C"};
    const auto cli = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {QUILLET_CLI_PATH, "--prefix", prefix});
        return RunProgram(arguments, environment);
    };
    const std::string file = (temp / "main.qbk").string();

    const ProgramRun backup = cli({"backup", "--identity", kSampleMainIdentity, "--out", file,
                                   "--items", "addressbook,rules"});
    EXPECT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_EQ(backup.out.substr(0, backup.out.find(cli::kBackupSummaryText)),
              "Backup Adress Book\tSuccessed!\nBackup Rules\tSuccessed!\n"
              "The Backup was Completed!\n");
    EXPECT_EQ(backup.err, "");

    const ProgramRun restore = cli({"restore", file, "--identity", kSampleZoeIdentity});
    EXPECT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_EQ(restore.out,
              "Restore Adress Book\tSuccessed!\nRestore Rules\tSuccessed!\n"
              "The Restore was Completed!\n");
    EXPECT_EQ(restore.err, "");

    const ProgramRun refused = cli({"restore", file, "--identity", "Nobody"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err,
              "quillet-cli: no Outlook Express identity \"Nobody\" (see quillet-cli identities)\n");
}

}  // namespace
}  // namespace quillet::testing
