// quillet-cli thunderbird on the sample prefix and on a backup of it, and the real Thunderbird
// opening the profile made.

#include <gtest/gtest.h>

#include "cli/sample_prefix_cli.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/shell_command.h"
#include "thunderbird/address_book_file.h"
#include "thunderbird/profile_plan.h"

namespace quillet::testing {
namespace {

class ThunderbirdCommandTest : public SamplePrefixCliTest {
  protected:
    std::filesystem::path profile = temp / "profile";
};

TEST_F(ThunderbirdCommandTest, ThunderbirdOpensTheProfileWithEveryAccountFolderAndContact) {
    if (!ToolOnPath("thunderbird")) GTEST_SKIP() << "thunderbird is not installed";
    CliRun made = run({"thunderbird", "--identity", "Main Identity", "--profile", profile.string(),
                       "--no-register"});
    ASSERT_EQ(made.exitCode, 0) << made.err << made.out;
    EXPECT_NE(made.out.find("Password of \"Main Mail\": " +
                            std::string(thunderbird::kPasswordNotCarried)),
              std::string::npos)
        << made.out;

    // A check extension lists what Thunderbird found into profile-check.json and quits it as
    // File > Quit does; Thunderbird loads extensions put in the profile when told to.
    const std::filesystem::path extensions = profile / "extensions";
    std::filesystem::create_directories(extensions);
    std::string output;
    ASSERT_EQ(RunCommand("cd " + ShellQuote(QUILLET_PROFILE_CHECK) + " && python3 -m zipfile -c " +
                             ShellQuote((extensions / "profile-check@quillet.test.xpi").string()) +
                             " manifest.json background.js schema.json implementation.js",
                         &output),
              0)
        << output;
    WriteFileBytes(profile / "user.js", "user_pref(\"extensions.autoDisableScopes\", 0);\n");
    const int status = RunCommand("HOME=" + ShellQuote((temp / "home").string()) +
                                      " timeout 280 thunderbird --headless --profile " +
                                      ShellQuote(profile.string()),
                                  &output);
    EXPECT_EQ(status, 0) << "Thunderbird quits cleanly\n" << output;
    const std::string found = ReadFileBytes(profile / "profile-check.json");
    for (const char* expected :
         {"{\"name\":\"Main Mail\",\"type\":\"pop3\"",
          "{\"name\":\"Office Mail\",\"type\":\"imap\"",
          "{\"name\":\"Sample News\",\"type\":\"nntp\"",
          "\"name\":\"Local Folders\",\"type\":\"none\"",
          "{\"name\":\"Inbox\",\"path\":\"/Inbox\",\"total\":3,\"unread\":0",
          "{\"name\":\"Inbox\",\"path\":\"/Office Mail/Inbox\",\"total\":2,",
          "\"folders\":[{\"name\":\"example.quillet.users\",\"path\":\"/example.quillet.users\"",
          "{\"name\":\"Frédéric Martin\",\"email\":\"frederic@example.org\"}"}) {
        EXPECT_NE(found.find(expected), std::string::npos) << expected << "\n" << found;
    }
    const std::string prefs = ReadFileBytes(profile / "prefs.js");
    EXPECT_NE(prefs.find("user_pref(\"mail.accountmanager.accounts\", "
                         "\"account1,account2,account3,account4\");"),
              std::string::npos)
        << prefs;
}

TEST_F(ThunderbirdCommandTest, ABackupBecomesARegisteredProfileAndATakenFolderIsRefused) {
    WriteFileBytes(temp / "password.txt", "PASSWORD\n");
    const std::string backup = (temp / "main.qbk").string();
    ASSERT_EQ(run({"backup", "--identity", "Main Identity", "--out", backup, "--password-file",
                   (temp / "password.txt").string()})
                  .exitCode,
              0);
    std::filesystem::create_directories(profile);
    WriteFileBytes(profile / "mine.txt", "the user's");
    const std::vector<std::string> command = {"thunderbird",     backup,
                                              "--password-file", (temp / "password.txt").string(),
                                              "--profile",       profile.string()};
    const TreeSnapshot before = SnapshotTree(temp / "home");
    EXPECT_EQ(runAsGiven(command).exitCode, 2);
    EXPECT_EQ(SnapshotTree(temp / "home"), before);
    EXPECT_EQ(ReadFileBytes(profile / "mine.txt"), "the user's");

    std::filesystem::remove(profile / "mine.txt");
    CliRun made = runAsGiven(command);
    EXPECT_EQ(made.exitCode, 0) << made.err << made.out;
    EXPECT_NE(ReadFileBytes(profile / "prefs.js").find("\"pop.example.com\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(profile / thunderbird::kAddressBookFileName));
    EXPECT_NE(ReadFileBytes(temp / "home" / ".thunderbird" / "profiles.ini")
                  .find("\nName=Outlook Express - Main Identity\nIsRelative=0\nPath=" +
                        profile.string() + "\n"),
              std::string::npos);
    EXPECT_TRUE(FolderListing(temp / "tmp").empty()) << "the work folders are removed";
}

TEST_F(ThunderbirdCommandTest, ADamagedStoreGivesWhatItStillHoldsAndExitStatusOne) {
    const std::filesystem::path inbox =
        SampleStoreFolder(prefix, kSampleMainIdentity) / "Inbox.dbx";
    std::filesystem::resize_file(inbox, std::filesystem::file_size(inbox) - 600);
    CliRun made = run({"thunderbird", "--identity", "Main Identity", "--profile", profile.string(),
                       "--no-register"});
    EXPECT_EQ(made.exitCode, 1) << made.err << made.out;
    EXPECT_TRUE(
        std::filesystem::is_regular_file(profile / "Mail" / "Local Folders" / "Sent Items"));
}

}  // namespace
}  // namespace quillet::testing
