#include "system/windows_disk_system.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/platform/recording_message_service.h"
#include "support/platform/temp_dir.h"
#include "support/registry/hive_builder.h"

namespace quillet::system {
namespace {

using registry::kRegDword;
using registry::kRegExpandSz;
using registry::kRegSz;
using testing::Utf16Z;

std::string Dword(std::uint32_t number) { return std::string(reinterpret_cast<char*>(&number), 4); }

// A mounted Windows XP disk whose installation records three profiles: "ann" and "bob" (both
// with an NTUSER.DAT; `bobHasIdentities` says whether bob's holds identities) and "gone" (no
// NTUSER.DAT). The folders are written in other cases than the registry names them.
void MakeDisk(const std::filesystem::path& root, bool bobHasIdentities) {
    const std::filesystem::path config = root / "Windows" / "System32" / "CONFIG";
    std::filesystem::create_directories(config);
    std::vector<testing::HiveKey> software;
    for (const char* user : {"ann", "bob", "gone"}) {
        software.push_back(
            {std::string("Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-") + user,
             {{"ProfileImagePath", kRegExpandSz,
               Utf16Z(std::string("%SystemDrive%\\Documents and Settings\\") + user)}}});
    }
    testing::WriteHive(config / "software", software);
    testing::WriteHive(config / "system", {{"Select", {{"Current", kRegDword, Dword(1)}}},
                                           {"ControlSet001\\Control\\ComputerName\\ComputerName",
                                            {{"ComputerName", kRegSz, Utf16Z("OLDPC")}}}});
    for (const char* user : {"Ann", "Bob", "Gone"}) {
        std::filesystem::create_directories(root / "documents and settings" / user);
    }
    testing::WriteHive(root / "documents and settings" / "Ann" / "ntuser.dat",
                       {{"Identities\\{A}", {}}});
    testing::WriteHive(root / "documents and settings" / "Bob" / "NTUSER.DAT",
                       {{bobHasIdentities ? "Identities\\{B}" : "Software", {}}});
}

TEST(WindowsDiskSystemTest, ChoosesTheProfileAsAskedOrTheOnlyOneWithIdentities) {
    struct Case {
        bool bobHasIdentities;
        std::optional<std::string> user;
        std::optional<std::string> chosen;  // nullopt: refused
        ErrorKind kind;
    };
    const Case cases[] = {
        {false, std::nullopt, "ann", {}},
        {true, std::nullopt, std::nullopt, ErrorKind::kBadInput},
        {true, "BOB", "bob", {}},
        {true, "carl", std::nullopt, ErrorKind::kNotFound},
        {true, "gone", std::nullopt, ErrorKind::kNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.user.value_or("(no user)") + (c.bobHasIdentities ? ", bob too" : ""));
        testing::TempDir temp;
        MakeDisk(temp.path(), c.bobHasIdentities);
        testing::RecordingMessageService messages;
        auto system = WindowsDiskSystem::Open(temp.path(), c.user, messages);
        if (!c.chosen) {
            ASSERT_FALSE(system.ok());
            EXPECT_TRUE(system.status().is(c.kind)) << system.reason();
            continue;
        }
        ASSERT_TRUE(system.ok()) << system.reason();
        EXPECT_EQ((*system)->logonUser(), *c.chosen);
        EXPECT_EQ((*system)->userProfile(), "C:\\Documents and Settings\\" + *c.chosen);
        EXPECT_EQ((*system)->computerName(), "OLDPC");
        EXPECT_EQ((*system)->paths().toHost((*system)->userProfile() + "\\NTUSER.DAT")->filename(),
                  c.chosen == "ann" ? "ntuser.dat" : "NTUSER.DAT");
    }
}

TEST(WindowsDiskSystemTest, AFolderWithoutAnInstallationIsRefused) {
    testing::TempDir temp;
    testing::RecordingMessageService messages;
    EXPECT_TRUE(WindowsDiskSystem::Open(temp.path(), std::nullopt, messages)
                    .status()
                    .is(ErrorKind::kNotFound));
    EXPECT_TRUE(WindowsDiskSystem::Open(temp / "missing", std::nullopt, messages)
                    .status()
                    .is(ErrorKind::kNotFound));
}

TEST(WindowsDiskSystemTest, NothingALinkLeadsOutsideTheDiskIsRead) {
    testing::TempDir temp;
    const std::filesystem::path disk = temp / "disk";
    const std::filesystem::path ann = disk / "documents and settings" / "Ann";
    MakeDisk(disk, false);
    std::filesystem::create_directories(temp / "host");
    std::filesystem::create_symlink("ntuser.dat", ann / "inside");
    std::filesystem::create_symlink(temp / "host", ann / "outside folder");
    std::filesystem::create_symlink(temp / "host" / "secret", ann / "outside file");
    testing::RecordingMessageService messages;
    auto system = WindowsDiskSystem::Open(disk, "ann", messages);
    ASSERT_TRUE(system.ok()) << system.reason();
    const std::pair<std::filesystem::path, bool> cases[] = {
        {ann / "ntuser.dat", true},
        {ann / "inside", true},
        {ann / "not there", true},
        {ann / "outside folder", false},
        {ann / "outside folder" / "x", false},
        {ann / "outside file", false},
    };
    for (const auto& [path, allowed] : cases) {
        const Status confined = (*system)->confineRead(path);
        EXPECT_EQ(confined.ok(), allowed) << path;
        if (!allowed) {
            EXPECT_NE(confined.reason().find(path.string()), std::string::npos);
        }
    }
    // A hive is read only when it lies on the disk.
    std::filesystem::rename(ann / "ntuser.dat", temp / "host" / "ntuser.dat");
    std::filesystem::create_symlink(temp / "host" / "ntuser.dat", ann / "ntuser.dat");
    EXPECT_FALSE(WindowsDiskSystem::Open(disk, "ann", messages).ok());
}

}  // namespace
}  // namespace quillet::system
