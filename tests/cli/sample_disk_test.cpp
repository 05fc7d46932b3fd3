// The sample Windows disk (examples/make-sample-disk.sh) and quillet-cli over it.

#include "support/sample_disk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/folder_snapshot.h"
#include "support/temp_dir.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

TEST(SampleDiskMakerTest, WritesTheSameBytesAndTimesOnEveryRun) {
    TempDir temp;
    ASSERT_TRUE(MakeSampleDisk(temp / "first"));
    ASSERT_TRUE(MakeSampleDisk(temp / "second"));
    const TreeSnapshot first = SnapshotTreeWithTimes(temp / "first");
    EXPECT_TRUE(first.contains("Documents and Settings/quillet/NTUSER.DAT"));
    EXPECT_EQ(ChangedPaths(first, SnapshotTreeWithTimes(temp / "second")),
              std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
