#include "cli/sample_disk.h"

#include <system_error>

#include "support/platform/child_process.h"
#include "support/platform/sample_prefix.h"

namespace quillet::testing {

bool MakeSampleDisk(const std::filesystem::path& folder, const std::vector<std::string>& options) {
    // The maker reads a sample prefix, written beside the disk and removed again.
    const std::filesystem::path prefix = folder.string() + ".prefix";
    if (!MakeSamplePrefix(prefix)) return false;
    std::vector<std::string> command{QUILLET_SAMPLE_DISK_MAKER, "--prefix", prefix.string(),
                                     "--base-hive", QUILLET_SOURCE_DIR "/examples/hives/minimal"};
    command.insert(command.end(), options.begin(), options.end());
    command.push_back(folder.string());
    const bool made = RunProgram(command).exitCode == 0;
    std::error_code ignored;
    std::filesystem::remove_all(prefix, ignored);
    return made;
}

std::filesystem::path SampleDiskProfile(const std::filesystem::path& disk) {
    return disk / "Documents and Settings" / kSampleDiskUser;
}

std::filesystem::path SampleDiskUserHive(const std::filesystem::path& disk) {
    return SampleDiskProfile(disk) / "NTUSER.DAT";
}

std::filesystem::path SampleDiskSoftwareHive(const std::filesystem::path& disk) {
    return disk / "WINDOWS/system32/config/software";
}

std::filesystem::path SampleDiskStoreFolder(const std::filesystem::path& disk,
                                            const std::string& identity) {
    return SampleDiskProfile(disk) / "Local Settings/Application Data/Identities" / identity /
           "Microsoft/Outlook Express";
}

TreeSnapshot SnapshotTreeWithTimes(const std::filesystem::path& root) {
    TreeSnapshot snapshot = SnapshotTree(root);
    for (auto& [relative, entry] : snapshot) {
        const auto time = std::filesystem::last_write_time(root / relative);
        entry += " @" + std::to_string(time.time_since_epoch().count());
    }
    snapshot["."] =
        "@" + std::to_string(std::filesystem::last_write_time(root).time_since_epoch().count());
    return snapshot;
}

}  // namespace quillet::testing
