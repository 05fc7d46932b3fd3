#include <gtest/gtest.h>

#include "cli/cli_runner.h"
#include "support/temp_dir.h"

namespace quillet::testing {
namespace {

constexpr char kMain[] = "{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}";
constexpr char kZoe[] = "{B84E2F17-9C05-4A3D-8E72-5D1F6A0C9E28}";

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(MakeSamplePrefix(prefix)); }
    CliRun run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--prefix", prefix});
        return RunCli(arguments);
    }
    static std::string versionKey(const char* identity, const std::string& below = "") {
        return std::string("HKEY_CURRENT_USER\\Identities\\") + identity +
               "\\Software\\Microsoft\\Outlook Express\\5.0" + below;
    }

    TempDir temp;
    std::string prefix = (temp / "prefix").string();
};

TEST_F(CliTest, IdentitiesListsKeyTabUserName) {
    const CliRun result = run({"identities"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, std::string(kMain) + "\tMain Identity\n" + kZoe +
                              "\tZo\xc3\xab \xc3\x85ngstr\xc3\xb6m\n");
}

TEST_F(CliTest, ExportedSignaturesImportIntoAnotherIdentityUnchanged) {
    const std::string first = (temp / "sig.txt").string();
    const std::string second = (temp / "sig-again.txt").string();
    ASSERT_EQ(run({"reg", "export", versionKey(kMain, "\\signatures"), first}).exitCode, 0);
    const std::string text = ReadFileBytes(first);
    EXPECT_EQ(text.rfind("\\\r\n", 0), 0u);
    EXPECT_NE(text.find("=xsz:"), std::string::npos) << "a signature with line breaks";

    const CliRun imported = run({"reg", "import", versionKey(kZoe, "\\signatures"), first});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    ASSERT_EQ(run({"reg", "export", versionKey(kZoe, "\\signatures"), second}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(second), text);
}

TEST_F(CliTest, FailuresExitWithTwoAndOneLineReason) {
    const std::string userReg = ReadFileBytes(temp / "prefix" / "user.reg");
    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    WriteFileBytes(temp / "bad.txt", "\\\r\n\"n\"= dw:nine\r\n");
    const Case cases[] = {
        {{"reg", "export", "HKEY_CURRENT_USER\\No\\Such\\Key", (temp / "x.txt").string()},
         "no registry key"},
        {{"reg", "import", versionKey(kZoe, "\\Rules"), (temp / "bad.txt").string()},
         "is not a 32-bit number"},
        {{"reg", "import", "Software\\Rules", (temp / "bad.txt").string()}, "Incorrect Format:"},
        {{"reg", "import", versionKey(kZoe), (temp / "missing.txt").string()}, "missing.txt"},
        {{"nonsense"}, "subcommand"},
    };
    for (const Case& c : cases) {
        const CliRun result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.reason;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "x.txt"));
    EXPECT_EQ(ReadFileBytes(temp / "prefix" / "user.reg"), userReg);
}

TEST_F(CliTest, MissingPrefixIsAClearError) {
    const CliRun missing = RunCli({"--prefix", (temp / "nowhere").string(), "identities"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;

    std::filesystem::remove(temp / "prefix" / "user.reg");
    const CliRun noUserReg = run({"identities"});
    EXPECT_EQ(noUserReg.exitCode, 2);
    EXPECT_NE(noUserReg.err.find("user.reg"), std::string::npos) << noUserReg.err;
}

TEST_F(CliTest, HelpIsAvailableEverywhere) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"reg", "--help"}, {"reg", "import", "--help"}}) {
        const CliRun result = RunCli(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find("Usage"), std::string::npos) << result.out;
    }
}

}  // namespace
}  // namespace quillet::testing
