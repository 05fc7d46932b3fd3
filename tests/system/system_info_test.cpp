#include "system/system_info.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "support/platform/fake_environment.h"
#include "support/platform/temp_dir.h"

namespace quillet::system {
namespace {

namespace fs = std::filesystem;
using testing::FakeEnvironment;
using testing::TempDir;
using testing::TestDataDir;
using testing::WriteFileBytes;

constexpr const char* kSid = "S-1-5-21-0-0-0-1000";

TEST(ReadUserSidTest, ReadsTheSidFromWineUserRegistryHeader) {
    EXPECT_EQ(ReadUserSid(TestDataDir() / "wine-user.reg"), std::optional<std::string>(kSid));
}

TEST(ReadUserSidTest, HandlesHeaderVariantsAndRejectsOthers) {
    TempDir temp;
    struct Case {
        const char* name;
        std::string content;
        std::optional<std::string> sid;
    };
    const std::string header = "WINE REGISTRY Version 2\n";
    const Case cases[] = {
        {"plain", header + ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-1-2-3-1001\n",
         "S-1-5-21-1-2-3-1001"},
        {"CRLF",
         "WINE REGISTRY Version 2\r\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-7\r\n",
         "S-1-5-21-7"},
        {"single backslashes", header + ";; All keys relative to REGISTRY\\User\\S-1-5-21-9\n",
         "S-1-5-21-9"},
        {"machine hive", header + ";; All keys relative to \\\\Machine\n", std::nullopt},
        {"not a SID", header + ";; All keys relative to REGISTRY\\\\User\\\\.Default\n",
         std::nullopt},
        {"no header", header + "\n[Software] 1\n", std::nullopt},
        {"empty", "", std::nullopt},
        {"too far down",
         header + std::string(20, '\n') +
             ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-1\n",
         std::nullopt},
    };
    for (const Case& c : cases) {
        const fs::path file = temp / "user.reg";
        WriteFileBytes(file, c.content);
        EXPECT_EQ(ReadUserSid(file), c.sid) << c.name;
    }
    EXPECT_EQ(ReadUserSid(temp / "missing.reg"), std::nullopt);
}

TEST(ExpandUserProfileTest, ReplacesOnlyTheExactSpelling) {
    struct Case {
        std::string text;
        std::string expanded;
    };
    const Case cases[] = {
        {"%UserProfile%\\Local Settings", "C:\\users\\me\\Local Settings"},
        {"%UserProfile%;%UserProfile%", "C:\\users\\me;C:\\users\\me"},
        {"x%UserProfile%", "xC:\\users\\me"},
        {"%USERPROFILE%\\x", "%USERPROFILE%\\x"},
        {"%userprofile%", "%userprofile%"},
        {"%UserProfile", "%UserProfile"},
        {"", ""},
        {"no variable", "no variable"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpandUserProfile(c.text, "C:\\users\\me"), c.expanded) << c.text;
    }
}

TEST(ChooseLoginNameTest, PrefersAccountNameThenUserVariableThenNumber) {
    EXPECT_EQ(ChooseLoginName("alice", FakeEnvironment({{"USER", "bob"}}), 1000), "alice");
    EXPECT_EQ(ChooseLoginName(std::nullopt, FakeEnvironment({{"USER", "bob"}}), 1000), "bob");
    EXPECT_EQ(ChooseLoginName(std::string(), FakeEnvironment({{"USER", "bob"}}), 1000), "bob");
    EXPECT_EQ(ChooseLoginName(std::nullopt, FakeEnvironment({{"USER", ""}}), 1000), "1000");
    EXPECT_EQ(ChooseLoginName(std::nullopt, FakeEnvironment({}), 42), "42");
}

TEST(HostFactsTest, FromProcessReportsHostNameAndALoginName) {
    char name[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(name, sizeof(name) - 1), 0);
    const HostFacts facts = HostFacts::FromProcess(FakeEnvironment({}));
    EXPECT_EQ(facts.hostName, name);
    EXPECT_FALSE(facts.loginName.empty());
}

class SystemInfoTest : public ::testing::Test {
  protected:
    SystemInfoTest() {
        WriteFileBytes(m_temp / "user.reg",
                       std::string("WINE REGISTRY Version 2\n;; All keys relative to "
                                   "REGISTRY\\\\User\\\\") +
                           kSid + "\n\n#arch=win64\n");
    }

    // A lookup that records the SIDs asked for and answers `answer`.
    SystemInfo::ProfileLookup lookupAnswering(std::optional<std::string> answer) {
        return [this, answer](const std::string& sid) {
            m_asked.push_back(sid);
            return answer;
        };
    }

    TempDir m_temp;
    HostFacts m_host{"mailhost", "alice"};
    std::vector<std::string> m_asked;
};

TEST_F(SystemInfoTest, AnswersHostFactsAndWindowsFolder) {
    const SystemInfo info(m_temp.path(), m_host, lookupAnswering(std::nullopt));
    EXPECT_EQ(info.computerName(), "mailhost");
    EXPECT_EQ(info.logonUser(), "alice");
    EXPECT_EQ(info.windowsFolder(), "C:\\windows");
}

TEST_F(SystemInfoTest, UserProfileComesFromTheProfileRecordedForTheSid) {
    const SystemInfo info(m_temp.path(), m_host, lookupAnswering("C:\\users\\Alice Smith"));
    EXPECT_EQ(info.userProfile(), "C:\\users\\Alice Smith");
    EXPECT_EQ(m_asked, std::vector<std::string>{kSid});
}

TEST_F(SystemInfoTest, UserProfileExpandsSystemDrive) {
    const SystemInfo info(m_temp.path(), m_host, lookupAnswering("%SystemDrive%\\users\\a"));
    EXPECT_EQ(info.userProfile(), "C:\\users\\a");
}

TEST_F(SystemInfoTest, UserProfileFallsBackToLoginName) {
    const SystemInfo unrecorded(m_temp.path(), m_host, lookupAnswering(std::nullopt));
    EXPECT_EQ(unrecorded.userProfile(), "C:\\users\\alice");
    const SystemInfo recordedEmpty(m_temp.path(), m_host, lookupAnswering(std::string()));
    EXPECT_EQ(recordedEmpty.userProfile(), "C:\\users\\alice");
    const SystemInfo noLookup(m_temp.path(), m_host, nullptr);
    EXPECT_EQ(noLookup.userProfile(), "C:\\users\\alice");

    m_asked.clear();
    const SystemInfo noUserReg(m_temp / "elsewhere", m_host, lookupAnswering("C:\\users\\x"));
    EXPECT_EQ(noUserReg.userProfile(), "C:\\users\\alice");
    EXPECT_TRUE(m_asked.empty());
}

}  // namespace
}  // namespace quillet::system
