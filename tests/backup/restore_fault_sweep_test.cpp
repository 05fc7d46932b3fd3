#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "backup/exit_status.h"
#include "backup/opened_backup.h"
#include "backup/restore_run.h"
#include "backup/restore_test_world.h"
#include "backup/run_environment.h"
#include "registry/wine_registry_file.h"
#include "support/platform/fault_sweep.h"
#include "support/platform/folder_snapshot.h"
#include "system/wine_system.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

constexpr char kPassword[] = "secret";

// The files below `root` whose names mark them as a replacement's temporaries.
std::vector<std::string> TemporariesBelow(const fs::path& root) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().find(".quillet-") != std::string::npos) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

class RestoreFaultSweepTest : public ::testing::TestWithParam<FaultKind> {};

// Whichever file call of a restore of every item into another identity fails, the run reports a
// failed item (or that it did nothing) with the system's reason, every live message store holds
// either its own bytes or the backed-up ones, whole, the registry files still read, and no
// temporary is left in the prefix. Flushes that do not reach the disk do not change the outcome.
TEST_P(RestoreFaultSweepTest, EveryFailingCallLeavesLiveFilesWhole) {
    const FaultKind& kind = GetParam();
    TempDir saved;
    const fs::path backupFile = saved / "main.qbk";
    std::map<std::string, std::string> backedUpStores;
    {
        SamplePrefixWorld source;
        ASSERT_TRUE(source.ready());
        const BackupOutcome made =
            source.backup(kSampleMainIdentity, ItemsOf("all"), backupFile, kPassword);
        ASSERT_TRUE(made.allSucceeded()) << made.report();
        backedUpStores = FilesIn(source.storeFolder(kSampleMainIdentity));
    }

    SweepFaults(kind, [&](FaultyFileOperations& files, const std::function<void()>& armFault) {
        SamplePrefixWorld world;
        ASSERT_TRUE(world.ready());
        const fs::path store = world.storeFolder(kSampleZoeIdentity);
        const std::map<std::string, std::string> liveStores = FilesIn(store);
        auto system =
            system::WineSystem::Open(world.prefix.string(), world.env, world.messages, files);
        ASSERT_TRUE(system.ok()) << system.reason();
        auto run = RunEnvironment::Create(**system, world.env);
        ASSERT_TRUE(run.ok()) << run.reason();
        OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
        ASSERT_TRUE(backup.open(backupFile, kPassword).ok());

        armFault();
        const RestoreOutcome outcome =
            RunRestore((*run)->context(), backup, {kSampleZoeIdentity, ItemsOf("all")}, nullptr);

        EXPECT_EQ(TemporariesBelow(world.prefix), std::vector<std::string>{});
        for (const char* registryFile : {"user.reg", "system.reg"}) {
            EXPECT_TRUE(
                registry::ParseWineRegistry(ReadFileBytes(world.prefix / registryFile)).ok())
                << registryFile;
        }
        for (const auto& [name, bytes] : FilesIn(store)) {
            const auto live = liveStores.find(name);
            const auto backedUp = backedUpStores.find(name);
            EXPECT_TRUE((live != liveStores.end() && live->second == bytes) ||
                        (backedUp != backedUpStores.end() && backedUp->second == bytes))
                << name << " is neither the live store nor the backed-up one";
        }
        if (!AnyCallFailed(files)) {
            EXPECT_EQ(ExitStatusOf(outcome), kExitOk) << outcome.report();
            return;
        }
        EXPECT_NE(ExitStatusOf(outcome), kExitOk) << outcome.report();
        std::string reasons = outcome.started.reason();
        for (const ItemOutcome& item : outcome.items) reasons += item.failure + "\n";
        EXPECT_NE(reasons.find(std::strerror(kind.error)), std::string::npos) << reasons;
    });
}

INSTANTIATE_TEST_SUITE_P(Faults, RestoreFaultSweepTest, ::testing::ValuesIn(FaultKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::testing
