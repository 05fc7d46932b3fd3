// quillet-cli identities and reg, failures and help, on the sample prefix.
#include <gtest/gtest.h>

#include "cli/sample_prefix_cli.h"

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

TEST_F(CliTest, FailuresExitWithTwoAndOneLineReason) {
    const std::string userReg = ReadFileBytes(prefix / "user.reg");
    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    WriteFileBytes(temp / "bad.txt", "\\\r\n\"n\"= dw:nine\r\n");
    const Case cases[] = {
        {{"reg", "export", "HKEY_CURRENT_USER\\No\\Such\\Key", (temp / "x.txt").string()},
         "no registry key"},
        {{"reg", "import", SampleVersionKey(kSampleZoeIdentity, "\\Rules"),
          (temp / "bad.txt").string()},
         "is not a 32-bit number"},
        {{"reg", "import", "Software\\Rules", (temp / "bad.txt").string()}, "Incorrect Format:"},
        {{"reg", "import", SampleVersionKey(kSampleZoeIdentity), (temp / "missing.txt").string()},
         "missing.txt"},
        {{"xyzzyplugh"}, "\"xyzzyplugh\"\n"},  // resembles no command
        {{"bakup", "--identity", "Zoe"}, "\"backup\""},  // the nearest command
    };
    for (const Case& c : cases) {
        const CliRun result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.reason;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    }
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
