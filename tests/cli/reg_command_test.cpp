// quillet-cli identities and reg, failures and help, on the sample prefix.
#include <gtest/gtest.h>

#include "archive/zip_archive.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "cli/sample_prefix_cli.h"
#include "cli/unknown_command.h"

namespace quillet::testing {
namespace {

using CliTest = SamplePrefixCliTest;

TEST_F(CliTest, IdentitiesListsKeyTabUserName) {
    const CliRun result = run({"identities"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, std::string(kSampleMainIdentity) + "\tMain Identity\n" +
                              kSampleZoeIdentity + "\tZo\xc3\xab \xc3\x85ngstr\xc3\xb6m\n");
}

TEST_F(CliTest, ExportedSignaturesImportIntoAnotherIdentityUnchanged) {
    const std::string first = (temp / "sig.txt").string();
    const std::string second = (temp / "sig-again.txt").string();
    ASSERT_EQ(run({"reg", "export", SampleVersionKey(kSampleMainIdentity, "\\signatures"), first})
                  .exitCode,
              0);
    const std::string text = ReadFileBytes(first);
    EXPECT_EQ(text.rfind("\\\r\n", 0), 0u);
    EXPECT_NE(text.find("=xsz:"), std::string::npos) << "a signature with line breaks";

    const CliRun imported =
        run({"reg", "import", SampleVersionKey(kSampleZoeIdentity, "\\signatures"), first});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    ASSERT_EQ(run({"reg", "export", SampleVersionKey(kSampleZoeIdentity, "\\signatures"), second})
                  .exitCode,
              0);
    EXPECT_EQ(ReadFileBytes(second), text);
}

// The command line's conventions: each input gives its exit status and, first on stderr, a line
// that holds this text; a refusal (exit status 2) is that one line alone, "quillet-cli: " first.
TEST_F(CliTest, FailuresExitWithTwoAndOneLineReason) {
    const std::string userReg = ReadFileBytes(prefix / "user.reg");
    struct Case {
        std::vector<std::string> arguments;
        std::string firstLine;
        int exitCode = 2;
        std::optional<std::string> out = std::nullopt;  // all of stdout, where it matters
    };
    WriteFileBytes(temp / "bad.txt", "\\\r\n\"n\"= dw:nine\r\n");
    const std::string p = prefix.string();
    const auto unknown = [](const char* kind, const std::string& word, const std::string& of,
                            const char* nearest, const std::string& near) {
        return std::string(kind) + " \"" + word + "\"" + of + nearest + " \"" + near + "\"";
    };
    // A zip that is no backup, and a protected backup with a wrong password.
    archive::ZipArchive zip;
    const std::string plainZip = (temp / "other.zip").string();
    ASSERT_TRUE(zip.CreateArchive(plainZip) && zip.AddFileEntry(temp / "bad.txt").ok() &&
                zip.SaveArchive());
    const std::string locked = (temp / "locked.qbk").string();
    WriteFileBytes(temp / "pw.txt", "right\n");
    WriteFileBytes(temp / "wrong.txt", "wrong\n");
    ASSERT_EQ(run({"backup", "--identity", kSampleZoeIdentity, "--items", "rules", "--out", locked,
                   "--password-file", (temp / "pw.txt").string()})
                  .exitCode,
              0);
    const std::string out = (temp / "mail").string();
    const Case cases[] = {
        {{"--prefix", p, "reg", "export", "HKEY_CURRENT_USER\\No\\Such\\Key",
          (temp / "x.txt").string()},
         "no registry key"},
        {{"--prefix", p, "reg", "import", SampleVersionKey(kSampleZoeIdentity, "\\Rules"),
          (temp / "bad.txt").string()},
         "is not a 32-bit number"},
        {{"--prefix", p, "reg", "import", "Software\\Rules", (temp / "bad.txt").string()},
         "Incorrect Format:"},
        {{"--prefix", p, "reg", "import", SampleVersionKey(kSampleZoeIdentity),
          (temp / "missing.txt").string()},
         "missing.txt"},
        {{"--prefix", p, "xyzzyplugh"}, "\"xyzzyplugh\"\n"},  // resembles no command
        {{"--prefix", p, "bakup", "--identity", "Zoe"},
         unknown(cli::kUnknownCommandText, "bakup", "", cli::kNearestCommandText, "backup")},
        {{"backup", "--identiy", "Zoe", "--out", "x.qbk"},
         unknown(cli::kUnknownOptionText, "--identiy", " of backup", cli::kNearestOptionText,
                 "--identity")},
        {{"schedule", "add", "--item=rules"},
         unknown(cli::kUnknownOptionText, "--item", " of schedule add", cli::kNearestOptionText,
                 "--items")},
        // The global options after the command too.
        {{"check", "--prefix", p, "--identity", "Nobody"}, "\"Nobody\""},
        {{"backup", "--prefix=" + p, "--identity", "Nobody", "--out", "x.qbk"}, "\"Nobody\""},
        {{"identities", "--prefix", p}, "", 0},
        // -q reports nothing; -v says each step; --progress draws the bar on any stderr.
        {{"--prefix", p, "-q", "backup", "-i", "Main Identity", "-o", out + ".qbk", "--items",
          "rules"},
         "",
         0,
         ""},
        {{"backup", "-v", "-i", "Main Identity", "-o", out + ".qbk", "--items", "rules", "--prefix",
          p},
         std::string(kItems[kRules].backupStatus) + "\n",
         0},
        {{"--progress", "backup", "-i", "Main Identity", "-o", out + ".qbk", "--items", "rules",
          "--prefix", p},
         "\r[",
         0},
        // The password from a command.
        {{"--password-command", "echo wrong", "info", locked}, cli::kWrongPasswordText},
        {{"verify", locked, "--password-command", "echo right"}, "", 0},
        {{"verify", locked, "--password-command", "false"}, "--password-command"},
        // The short options.
        {{"backup", "-i", "Nobody", "-o", "x.qbk", "--prefix", p}, "\"Nobody\""},
        {{"restore", "-n", "-i", "Nobody", "--prefix", p, (temp / "locked.qbk").string()},
         "\"Nobody\""},
        {{"info", (temp / "nothere.qbk").string()}, "nothere.qbk"},
        {{"verify", plainZip}, plainZip + " " + cli::kNotABackupText},
        {{"check", SampleAddressBook(prefix).string(), "--password-file", "/dev/null"},
         "--password-file"},
        {{"verify", locked, "--password-file", (temp / "wrong.txt").string()},
         cli::kWrongPasswordText + (" " + locked)},
        {{"info", locked, "--password-file", "/dev/null"}, cli::kWrongPasswordText},
        {{"--prefix", p, "export", "-n", "-i", "Main Identity", "-o", out},
         "",
         0},  // writes nothing
        {{"--prefix", p, "export", "--identity", "Main Identity", "--out", out}, "", 0},
        {{"--prefix", p, "export", "--identity", "Main Identity", "--out", out},
         cli::kExportForceHint},
    };
    for (const Case& c : cases) {
        const CliRun result = runAsGiven(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.firstLine;
        EXPECT_NE(result.err.substr(0, result.err.find('\n') + 1).find(c.firstLine),
                  std::string::npos)
            << result.err;
        if (c.out) {
            EXPECT_EQ(result.out, *c.out);
        }
        if (c.exitCode == 2) {
            EXPECT_EQ(result.err.rfind("quillet-cli: ", 0), 0u) << result.err;
            EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
        }
    }
    cli::CliContext withFile(
        FakeEnvironment({{"TMPDIR", (temp / "tmp").string()},
                         {cli::kPasswordFileVariable, (temp / "pw.txt").string()}}));
    EXPECT_EQ(RunCliInProcess(withFile, {"verify", locked}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(temp / "x.txt"));
    EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), userReg);
}

TEST_F(CliTest, MissingPrefixIsAClearError) {
    const CliRun missing = runAsGiven({"--prefix", (temp / "nowhere").string(), "identities"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

    std::filesystem::remove(prefix / "user.reg");
    const CliRun noUserReg = run({"identities"});
    EXPECT_EQ(noUserReg.exitCode, 2);
    EXPECT_NE(noUserReg.err.find("user.reg"), std::string::npos) << noUserReg.err;
}

TEST_F(CliTest, HelpIsAvailableEverywhere) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"reg", "--help"}, {"reg", "import", "--help"}}) {
        const CliRun result = runAsGiven(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find("Usage"), std::string::npos) << result.out;
    }
}

}  // namespace
}  // namespace quillet::testing
