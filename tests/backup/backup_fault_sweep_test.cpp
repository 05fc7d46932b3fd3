#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "backup/backup_run.h"
#include "backup/exit_status.h"
#include "backup/restore_test_world.h"
#include "backup/run_environment.h"
#include "support/platform/fault_sweep.h"
#include "support/platform/folder_snapshot.h"
#include "system/wine_system.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

constexpr char kPassword[] = "secret";
constexpr char kPrevious[] = "the previous backup, which must survive";

// Whether `file` is a backup that opens with the password and reads to the end of every entry.
bool Verifies(const fs::path& file) {
    archive::ZipArchive zip;
    if (!zip.LoadArchive(file).ok()) return false;
    zip.ReadPassword(kPassword);
    return zip.CheckReadPassword() && zip.verifyEntries().ok();
}

class BackupFaultSweepTest : public ::testing::TestWithParam<FaultKind> {};

// Whichever file call of a protected backup of every item fails, the backup is reported as not
// written, with the system's reason, and ends the run with "nothing done"; the previous backup
// file keeps its bytes (unless the new one was already renamed over it when flushing the folder
// failed, and then the new one is whole) and no temporary is left beside it. Flushes that do not
// reach the disk do not change the outcome.
TEST_P(BackupFaultSweepTest, EveryFailingCallKeepsThePreviousBackup) {
    const FaultKind& kind = GetParam();
    SweepFaults(kind, [&](FaultyFileOperations& files, const std::function<void()>& armFault) {
        SamplePrefixWorld world;
        ASSERT_TRUE(world.ready());
        const fs::path folder = world.temp / "backups";
        const fs::path target = folder / "main.qbk";
        fs::create_directories(folder);
        WriteFileBytes(target, kPrevious);
        auto system =
            system::WineSystem::Open(world.prefix.string(), world.env, world.messages, files);
        ASSERT_TRUE(system.ok()) << system.reason();
        auto run = RunEnvironment::Create(**system, world.env);
        ASSERT_TRUE(run.ok()) << run.reason();
        const BackupRequest request{
            kSampleMainIdentity,
            InteractiveHeader("host", "me", "Main Identity", "2024-05-01 10:00:00", ""),
            ItemsOf("all"), kPassword, target};

        armFault();
        const BackupOutcome outcome = RunBackup((*run)->context(), request, nullptr);

        EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"main.qbk"})
            << "no temporary is left";
        if (!AnyCallFailed(files)) {
            EXPECT_TRUE(outcome.written) << outcome.writeFailure;
            EXPECT_EQ(ExitStatusOf(outcome), kExitOk) << outcome.report();
            EXPECT_TRUE(Verifies(target));
            return;
        }
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(ExitStatusOf(outcome), kExitNothingDone);
        EXPECT_TRUE(outcome.writeFailure.find("Cannot write " + target.string() + ": ") !=
                        std::string::npos &&
                    outcome.writeFailure.find(std::strerror(kind.error)) != std::string::npos)
            << outcome.writeFailure;
        if (outcome.writeFailure.find("was replaced") == std::string::npos) {
            EXPECT_TRUE(ReadFileBytes(target) == kPrevious) << "the previous backup was changed";
        } else {
            EXPECT_TRUE(Verifies(target));
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Faults, BackupFaultSweepTest, ::testing::ValuesIn(FaultKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::testing
