#include "system/windows_path_mapper.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/platform/temp_dir.h"

namespace quillet::system {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFileBytes;

// A prefix laid out as Wine lays it out: dosdevices/c: -> ../drive_c, z: -> /, and a D: drive
// linked by absolute path to a folder outside the prefix.
class WindowsPathMapperTest : public ::testing::Test {
  protected:
    WindowsPathMapperTest() {
        fs::create_directories(m_drive / "users" / "Me" / "Documents");
        fs::create_directories(m_drive / "users" / "Me" /
                               "\xC3\x9C"
                               "ber \xC3\x84pfel");  // Über Äpfel
        fs::create_directories(m_drive / "windows");
        WriteFileBytes(m_drive / "users" / "Me" / "Documents" / "Mail.DBX", "x");
        fs::create_directories(m_temp / "other" / "Data");
        fs::create_directories(m_prefix / "dosdevices");
        fs::create_directory_symlink("../drive_c", m_prefix / "dosdevices" / "c:");
        fs::create_directory_symlink("/", m_prefix / "dosdevices" / "z:");
        fs::create_directory_symlink(m_temp / "other", m_prefix / "dosdevices" / "d:");
        // A dangling drive.
        fs::create_directory_symlink(m_temp / "nowhere", m_prefix / "dosdevices" / "e:");
    }

    TempDir m_temp;
    fs::path m_prefix = m_temp / "prefix";
    fs::path m_drive = m_prefix / "drive_c";
    WindowsPathMapper m_mapper{m_prefix};
};

TEST_F(WindowsPathMapperTest, MapsWindowsPathsOntoExistingNamesIgnoringCase) {
    const fs::path me = m_drive / "users" / "Me";
    struct Case {
        std::string windows;
        fs::path host;
    };
    const Case cases[] = {
        {"C:\\", m_drive},
        {"c:/", m_drive},
        {"C:\\users\\me\\documents\\mail.dbx", me / "Documents" / "Mail.DBX"},
        {"C:\\USERS\\ME\\DOCUMENTS", me / "Documents"},
        {"c:/users//ME\\\\Documents\\", me / "Documents"},
        {"C:\\users\\.\\me\\..\\Me\\.\\Documents", me / "Documents"},
        {"C:\\users\\me\\\xC3\xBC"
         "BER \xC3\xA4"
         "PFEL",
         me / "\xC3\x9C"
              "ber \xC3\x84pfel"},
        // Components that do not exist yet are kept as written.
        {"C:\\users\\me\\New Folder\\Inbox.dbx", me / "New Folder" / "Inbox.dbx"},
        {"C:\\users\\me\\documents\\New\\..\\mail.dbx", me / "Documents" / "Mail.DBX"},
        {"D:\\data\\file.txt", m_temp / "other" / "Data" / "file.txt"},
        {"d:\\", m_temp / "other"},
    };
    for (const Case& c : cases) {
        const auto host = m_mapper.toHost(c.windows);
        ASSERT_TRUE(host.has_value()) << c.windows;
        EXPECT_EQ(*host, c.host) << c.windows;
    }
}

TEST_F(WindowsPathMapperTest, RefusesPathsThatAreNotAbsoluteOrLeaveTheDrive) {
    const std::string refused[] = {
        "",
        "users\\me",
        "\\users\\me",
        "C:",
        "C:users\\me",
        "\\\\server\\share\\file",
        "//server/share/file",
        "\\\\?\\C:\\users",
        "\\\\.\\C:\\users",
        "Q:\\users",  // no such drive
        "E:\\x",      // drive link leads nowhere
        "1:\\x",
        "C:\\..",
        "C:\\..\\drive_c\\users",
        "C:\\users\\..\\..\\etc",
        std::string("C:\\users\0\\x", 11),
    };
    for (const std::string& path : refused) {
        EXPECT_EQ(m_mapper.toHost(path), std::nullopt) << path;
    }
}

TEST_F(WindowsPathMapperTest, MapsHostPathsBackToTheLongestMatchingDrive) {
    struct Case {
        fs::path host;
        std::optional<std::string> windows;
    };
    const Case cases[] = {
        {m_drive, "C:\\"},
        {m_drive / "users" / "Me" / "Documents", "C:\\users\\Me\\Documents"},
        {m_drive / "users" / "Me" / "", "C:\\users\\Me"},
        {m_drive / "users" / "." / "Me", "C:\\users\\Me"},
        {m_prefix / "dosdevices" / "c:" / "windows", "C:\\windows"},
        {m_temp / "other" / "Data", "D:\\Data"},
        {"/etc/hosts", "Z:\\etc\\hosts"},
        {"/", "Z:\\"},
        {"relative/path", std::nullopt},
        {m_temp / "other" / "back\\slash", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(m_mapper.toWindows(c.host), c.windows) << c.host;
    }
}

TEST_F(WindowsPathMapperTest, WithoutDriveZHostPathsOutsideDrivesHaveNoWindowsPath) {
    fs::remove(m_prefix / "dosdevices" / "z:");
    EXPECT_EQ(m_mapper.toWindows("/etc/hosts"), std::nullopt);
    EXPECT_EQ(m_mapper.toHost("Z:\\etc"), std::nullopt);
    EXPECT_EQ(m_mapper.toWindows(m_drive / "windows"), std::optional<std::string>("C:\\windows"));
}

TEST_F(WindowsPathMapperTest, RoundTripsExistingPaths) {
    for (const char* windows : {"C:\\users\\Me\\Documents\\Mail.DBX", "C:\\windows", "D:\\Data"}) {
        const auto host = m_mapper.toHost(windows);
        ASSERT_TRUE(host.has_value()) << windows;
        EXPECT_EQ(m_mapper.toWindows(*host), std::optional<std::string>(windows));
    }
}

TEST_F(WindowsPathMapperTest, ReportsDriveFolders) {
    EXPECT_EQ(m_mapper.driveFolder('C'), std::optional<fs::path>(m_drive));
    EXPECT_EQ(m_mapper.driveFolder('c'), std::optional<fs::path>(m_drive));
    EXPECT_EQ(m_mapper.driveFolder('Q'), std::nullopt);
    EXPECT_EQ(m_mapper.driveFolder('E'), std::nullopt);
    EXPECT_EQ(m_mapper.driveFolder('%'), std::nullopt);
}

}  // namespace
}  // namespace quillet::system
