#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "registry/wine_prefix_registry.h"
#include "registry/wine_registry_file.h"
#include "support/platform/fault_sweep.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/temp_dir.h"

namespace quillet::registry {
namespace {

namespace fs = std::filesystem;
using quillet::testing::AnyCallFailed;
using quillet::testing::FaultKind;
using quillet::testing::FaultKinds;
using quillet::testing::FaultyFileOperations;
using quillet::testing::FolderListing;
using quillet::testing::ReadFileBytes;
using quillet::testing::SweepFaults;
using quillet::testing::TempDir;
using quillet::testing::TestDataDir;
using quillet::testing::WriteFileBytes;

constexpr char kKey[] = "Software\\Swept";
constexpr char kKeyLine[] = "[Software\\\\Swept]";

class WinePrefixCommitSweepTest : public ::testing::TestWithParam<FaultKind> {};

// Whichever file call of a commit that changes both files fails, the commit says why, naming the
// file and the system's error, and each file holds either its old bytes or its whole new content,
// with no temporary left; a failure before any rename leaves both files as they were. Flushes
// that do not reach the disk do not change the outcome.
TEST_P(WinePrefixCommitSweepTest, EveryFailingCallLeavesEachFileOldOrWholeNew) {
    const FaultKind& kind = GetParam();
    const std::string userBefore = ReadFileBytes(TestDataDir() / "wine-user.reg");
    const std::string systemBefore = ReadFileBytes(TestDataDir() / "wine-userdef.reg");
    SweepFaults(kind, [&](FaultyFileOperations& files, const std::function<void()>& armFault) {
        TempDir temp;
        const fs::path prefix = temp / "prefix";
        fs::create_directories(prefix);
        WriteFileBytes(prefix / "user.reg", userBefore);
        WriteFileBytes(prefix / "system.reg", systemBefore);
        WineServerProbe probe{temp / "tmp"};
        PrefixLock lock{prefix};
        WinePrefixRegistry store{prefix, probe, lock,
                                 [] { return std::uint64_t{0x1dd86ae1c8fb512}; }, files};
        for (HKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
            HKey key;
            ASSERT_EQ(store.RegCreateKey(root, kKey, &key), kErrorSuccess);
            store.RegCloseKey(key);
        }

        armFault();
        const Status committed = store.Commit();

        const std::string userAfter = ReadFileBytes(prefix / "user.reg");
        const std::string systemAfter = ReadFileBytes(prefix / "system.reg");
        EXPECT_EQ(FolderListing(prefix), (std::vector<std::string>{"system.reg", "user.reg"}))
            << "no temporary is left";
        if (!AnyCallFailed(files)) {
            EXPECT_TRUE(committed.ok()) << committed.reason();
            EXPECT_NE(userAfter.find(kKeyLine), std::string::npos);
            EXPECT_NE(systemAfter.find(kKeyLine), std::string::npos);
            return;
        }
        ASSERT_FALSE(committed.ok());
        EXPECT_TRUE(committed.reason().starts_with("Cannot write " + prefix.string() + "/"))
            << committed.reason();
        EXPECT_NE(committed.reason().find(std::strerror(kind.error)), std::string::npos)
            << committed.reason();
        if (committed.reason().ends_with("nothing was written.")) {
            EXPECT_EQ(userAfter, userBefore);
            EXPECT_EQ(systemAfter, systemBefore);
        }
        for (const auto& [after, before] :
             {std::pair{userAfter, userBefore}, std::pair{systemAfter, systemBefore}}) {
            if (after == before) continue;
            EXPECT_NE(after.find(kKeyLine), std::string::npos) << "a new file holds the change";
            EXPECT_TRUE(ParseWineRegistry(after).ok()) << "a new file is whole";
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Faults, WinePrefixCommitSweepTest, ::testing::ValuesIn(FaultKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::registry
