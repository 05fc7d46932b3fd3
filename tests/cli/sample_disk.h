#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/platform/folder_snapshot.h"

namespace quillet::testing {

// The sample Windows disk that examples/make-sample-disk.sh writes: the sample prefix's data on a
// mounted Windows XP disk, profile "quillet", computer name "OLDPC".
inline constexpr char kSampleDiskUser[] = "quillet";
inline constexpr char kSampleDiskComputer[] = "OLDPC";

// Writes the sample disk into `folder` (which must not exist or be empty), passing `options`
// (--filler-mb N, --second-profile NAME) to the maker. False when the maker failed.
bool MakeSampleDisk(const std::filesystem::path& folder,
                    const std::vector<std::string>& options = {});

// Host paths inside a sample disk.
std::filesystem::path SampleDiskProfile(const std::filesystem::path& disk);
std::filesystem::path SampleDiskUserHive(const std::filesystem::path& disk);
std::filesystem::path SampleDiskSoftwareHive(const std::filesystem::path& disk);
std::filesystem::path SampleDiskStoreFolder(const std::filesystem::path& disk,
                                            const std::string& identity);

// SnapshotTree with each entry's modification time (in nanoseconds) added: equal snapshots mean
// that nothing below `root` was written or touched.
TreeSnapshot SnapshotTreeWithTimes(const std::filesystem::path& root);

}  // namespace quillet::testing
