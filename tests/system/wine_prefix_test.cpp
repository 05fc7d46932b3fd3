#include "system/wine_prefix.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "support/platform/fake_environment.h"
#include "support/platform/temp_dir.h"

namespace quillet::system {
namespace {

namespace fs = std::filesystem;
using testing::FakeEnvironment;
using testing::TempDir;
using testing::WriteFileBytes;

class LocateWinePrefixTest : public ::testing::Test {
  protected:
    // A folder that looks like a prefix: it holds a user.reg.
    fs::path makePrefix(const std::string& name) {
        const fs::path prefix = m_temp / name;
        WriteFileBytes(prefix / "user.reg", "WINE REGISTRY Version 2\n");
        return prefix;
    }

    TempDir m_temp;
};

TEST_F(LocateWinePrefixTest, ChoosesOptionThenWineprefixThenHome) {
    const fs::path option = makePrefix("option");
    const fs::path fromVariable = makePrefix("variable");
    const fs::path home = m_temp / "home";
    const fs::path fromHome = makePrefix("home/.wine");

    struct Case {
        const char* name;
        std::optional<std::string> explicitDir;
        std::map<std::string, std::string> variables;
        fs::path expected;
    };
    const Case cases[] = {
        {"option wins",
         option.string(),
         {{"WINEPREFIX", fromVariable.string()}, {"HOME", home.string()}},
         option},
        {"WINEPREFIX next",
         std::nullopt,
         {{"WINEPREFIX", fromVariable.string()}, {"HOME", home.string()}},
         fromVariable},
        {"empty WINEPREFIX ignored",
         std::nullopt,
         {{"WINEPREFIX", ""}, {"HOME", home.string()}},
         fromHome},
        {"HOME last", std::nullopt, {{"HOME", home.string()}}, fromHome},
    };
    for (const Case& c : cases) {
        const auto located = LocateWinePrefix(c.explicitDir, FakeEnvironment(c.variables));
        ASSERT_TRUE(located.ok()) << c.name << ": " << located.reason();
        EXPECT_EQ(*located, c.expected) << c.name;
    }
}

TEST_F(LocateWinePrefixTest, ReturnsAbsoluteNormalisedPath) {
    const fs::path prefix = makePrefix("prefix");
    const std::string messy = (m_temp / "prefix" / ".." / "." / "prefix").string() + "//";
    const auto located = LocateWinePrefix(messy, FakeEnvironment({}));
    ASSERT_TRUE(located.ok()) << located.reason();
    EXPECT_EQ(*located, prefix);

    const fs::path relative = fs::relative(prefix);
    ASSERT_TRUE(relative.is_relative());
    const auto fromRelative = LocateWinePrefix(relative.string(), FakeEnvironment({}));
    ASSERT_TRUE(fromRelative.ok()) << fromRelative.reason();
    EXPECT_TRUE(fromRelative->is_absolute());
    EXPECT_EQ(*fromRelative, prefix);
}

TEST_F(LocateWinePrefixTest, ExplainsWhyAFolderIsNotAPrefix) {
    const fs::path missing = m_temp / "missing";
    const fs::path empty = m_temp / "empty";
    fs::create_directories(empty);
    const fs::path file = m_temp / "file";
    WriteFileBytes(file, "x");

    struct Case {
        std::optional<std::string> explicitDir;
        std::map<std::string, std::string> variables;
        std::string reason;
    };
    const Case cases[] = {
        {missing.string(), {}, "Wine prefix " + missing.string() + " does not exist"},
        {std::nullopt,
         {{"HOME", missing.string()}},
         "Wine prefix " + (missing / ".wine").string() + " does not exist"},
        {empty.string(),
         {},
         "Wine prefix " + empty.string() + " has no user.reg: not a Wine prefix"},
        {file.string(), {}, "Wine prefix " + file.string() + " is not a folder"},
        {(file / "sub").string(), {}, "Wine prefix " + (file / "sub").string() + " does not exist"},
        {std::string(), {}, "The Wine prefix folder name is empty"},
        {std::nullopt,
         {{"HOME", ""}},
         "Cannot find the Wine prefix: neither WINEPREFIX nor HOME is set (use --prefix DIR)"},
    };
    for (const Case& c : cases) {
        const auto located = LocateWinePrefix(c.explicitDir, FakeEnvironment(c.variables));
        EXPECT_FALSE(located.ok()) << c.reason;
        EXPECT_EQ(located.reason(), c.reason);
    }
}

TEST(EnvironmentTest, ProcessEnvironmentReadsRealVariables) {
    constexpr const char* kName = "QUILLET_APP_TEST_VARIABLE";
    const Environment env = Environment::Process();
    ASSERT_EQ(unsetenv(kName), 0);
    EXPECT_EQ(env.get(kName), std::nullopt);
    ASSERT_EQ(setenv(kName, "value", 1), 0);
    EXPECT_EQ(env.get(kName), std::optional<std::string>("value"));
    ASSERT_EQ(setenv(kName, "", 1), 0);
    EXPECT_EQ(env.get(kName), std::optional<std::string>(""));
    unsetenv(kName);
}

}  // namespace
}  // namespace quillet::system
