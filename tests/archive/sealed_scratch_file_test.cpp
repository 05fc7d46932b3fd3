#include "archive/sealed_scratch_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "archive_test_files.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/open_files.h"
#include "support/platform/private_mount.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::FolderListing;
using quillet::testing::OpenFileBytesUnder;
using quillet::testing::TempDir;
using quillet::testing::TextContent;

std::span<const std::byte> Bytes(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

// Appends `content` in pieces of these sizes, over and over.
std::unique_ptr<SealedScratchFile> Sealed(const std::filesystem::path& folder,
                                          const std::string& content) {
    auto file = SealedScratchFile::Create(folder);
    EXPECT_TRUE(file.ok()) << file.reason();
    if (!file) return nullptr;
    const std::size_t pieces[] = {1, 15, 17, 4096, 100003, 3};
    std::size_t done = 0;
    for (std::size_t i = 0; done < content.size(); ++i) {
        const std::size_t step = std::min(pieces[i % std::size(pieces)], content.size() - done);
        const Status appended = (*file)->append(Bytes(content).subspan(done, step));
        EXPECT_TRUE(appended.ok()) << appended.reason();
        done += step;
    }
    return std::move(file.value());
}

std::string ReadBack(const SealedScratchFile& file, std::uint64_t offset, std::size_t length) {
    std::string out(length, '\0');
    const Status read =
        file.readAt(offset, std::as_writable_bytes(std::span(out.data(), out.size())));
    EXPECT_TRUE(read.ok()) << read.reason();
    return out;
}

class SealedScratchFileTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string content = TextContent(600 * 1024 + 13, 7);
};

TEST_F(SealedScratchFileTest, ReadsAnyRangeBackAsItWasWritten) {
    const auto file = Sealed(dir.path(), content);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size(), content.size());
    const struct {
        std::uint64_t offset;
        std::size_t length;
    } ranges[] = {
        {0, 0},      {0, 1},       {15, 2},     {16, 16},    {17, 100000}, {262143, 3},
        {5, 262144}, {333333, 77}, {0, 614413}, {614412, 1}, {614413, 0},  {1, 614412},
    };
    for (const auto& range : ranges) {
        SCOPED_TRACE(std::to_string(range.offset) + "+" + std::to_string(range.length));
        EXPECT_EQ(ReadBack(*file, range.offset, range.length),
                  content.substr(range.offset, range.length));
    }
}

TEST_F(SealedScratchFileTest, LeavesNoNameAndNoClearByteOnTheDisk) {
    const auto file = Sealed(dir.path(), content);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(FolderListing(dir.path()).empty());
    const std::vector<std::string> onDisk = OpenFileBytesUnder(dir.path());
    ASSERT_EQ(onDisk.size(), 1u);
    EXPECT_EQ(onDisk[0].size(), content.size());
    // No line of the text, and no stretch of it, is on the disk as it was given.
    for (std::size_t at = 0; at + 32 <= content.size(); at += 4096) {
        ASSERT_EQ(onDisk[0].find(content.substr(at, 32)), std::string::npos) << at;
    }
    // Another file of the same bytes has another key.
    const auto other = Sealed(dir.path(), content);
    ASSERT_NE(other, nullptr);
    const std::vector<std::string> both = OpenFileBytesUnder(dir.path());
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NE(both[0], both[1]);
}

TEST_F(SealedScratchFileTest, ARangePastTheEndIsRefused) {
    const auto file = Sealed(dir.path(), "twelve bytes");
    ASSERT_NE(file, nullptr);
    std::byte out[2];
    EXPECT_TRUE(file->readAt(11, out).is(ErrorKind::kBadInput));
    EXPECT_TRUE(file->readAt(13, std::span(out, 0)).is(ErrorKind::kBadInput));
}

TEST_F(SealedScratchFileTest, AMissingFolderIsNotFound) {
    EXPECT_TRUE(SealedScratchFile::Create(dir / "missing").status().is(ErrorKind::kNotFound));
}

TEST_F(SealedScratchFileTest, AFullDiskIsKindedAndNamesTheFolder) {
    const std::filesystem::path folder = dir / "small";
    std::filesystem::create_directories(folder);
    const pid_t child = testing::ForkChild([&] {
        if (!testing::MountPrivateEmptyFolder(folder, "size=64k")) return 10;
        auto file = SealedScratchFile::Create(folder);
        if (!file) return 11;
        const Status appended = (*file)->append(Bytes(content));
        if (!appended.is(ErrorKind::kDiskFull)) return 12;
        if (appended.reason().find(folder.string()) == std::string::npos) return 13;
        // A file that failed takes nothing more.
        return (*file)->append(Bytes("x")).ok() ? 14 : 0;
    });
    const int status = testing::WaitForChild(child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) GTEST_SKIP() << "cannot make a private mount namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace quillet::archive
