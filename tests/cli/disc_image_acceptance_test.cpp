// The built quillet-cli with the real disc engine writes a backup into an image file: tools we did
// not write (xorriso, isoinfo, 7z, udfinfo) read the image, every file's content is its source's,
// and a write killed half-way leaves no image under the chosen name, or the previous one whole.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "disc/udf_bridge.h"
#include "support/platform/child_process.h"
#include "support/platform/noise_bytes.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

ProgramRun RunCli(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUILLET_CLI_PATH);
    return RunProgram(arguments);
}

// A real backup of the sample prefix and a folder of other files, and where their image goes.
class DiscImageWorld : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MakeSamplePrefix(temp / "prefix"));
        const ProgramRun backup =
            RunCli({"--prefix", (temp / "prefix").string(), "backup", "--identity",
                    kSampleMainIdentity, "--out", backupFile.string()});
        ASSERT_EQ(backup.exitCode, 0) << backup.err;
        WriteFileBytes(folder / "notes.txt", "weekly backups\n");
        WriteFileBytes(folder / "deeper" / "store.dbx", NoiseBytes(3u << 20, 7));
        WriteFileBytes(folder / "deeper" / "empty.txt", "");
    }

    // Each source file and its path in the image (with '/').
    std::vector<std::pair<fs::path, std::string>> sources() const {
        std::vector<std::pair<fs::path, std::string>> all = {
            {backupFile, "/" + backupFile.filename().string()}};
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            all.emplace_back(entry.path(), "/" + folder.filename().string() + "/" +
                                               fs::relative(entry.path(), folder).string());
        }
        return all;
    }

    TempDir temp;
    const fs::path backupFile = temp / "quillet12-08-26.qbk";
    const fs::path folder = temp / "More Files";
    const fs::path image = temp / "out" / "backup.iso";
};

// The volume type to write ("" the default, ISO9660/Joliet/UDF).
class DiscImageAcceptance : public DiscImageWorld,
                            public ::testing::WithParamInterface<const char*> {};

// A tool that lists the image: its program and command line ("IMG" stands for the image).
struct ListingTool {
    const char* program;
    const char* command;
};
constexpr ListingTool kListingTools[] = {
    {"xorriso", "xorriso -indev IMG -find / 2>&1"},
    {"isoinfo", "isoinfo -l -J -i IMG"},
    {"7z", "7z l IMG"},
};

TEST_P(DiscImageAcceptance, AVerifiedImageIsReadFileForFileByOtherTools) {
    const std::string volumeType = GetParam();
    for (const char* program : {"xorriso", "isoinfo", "7z"}) {
        if (!ToolOnPath(program)) GTEST_SKIP() << program << " is missing (scripts/setup.sh)";
    }
    fs::create_directories(image.parent_path());
    std::vector<std::string> arguments = {
        "disc",     "write",       "--device",    "image:" + image.string(),
        "--verify", "--volume-id", "QUILLET_TEST"};
    if (!volumeType.empty()) arguments.insert(arguments.end(), {"--volume-type", volumeType});
    arguments.insert(arguments.end(), {backupFile.string(), folder.string()});
    const ProgramRun written = RunCli(arguments);
    ASSERT_EQ(written.exitCode, 0) << written.err;
    ASSERT_TRUE(fs::is_regular_file(image));
    EXPECT_EQ(fs::file_size(image) % 2048, 0u);

    for (const ListingTool& tool : kListingTools) {
        std::string command = tool.command;
        command.replace(command.find("IMG"), 3, ShellQuote(image.string()));
        std::string listing;
        EXPECT_EQ(RunCommand(command, &listing), 0) << command << "\n" << listing;
        for (const auto& [source, imagePath] : sources()) {
            EXPECT_NE(listing.find(fs::path(imagePath).filename().string()), std::string::npos)
                << tool.program << " does not list " << imagePath << ":\n"
                << listing;
        }
    }

    const fs::path extracted = temp / "extracted";
    std::string output;
    ASSERT_EQ(RunCommand("xorriso -osirrox on -indev " + ShellQuote(image.string()) +
                             " -extract / " + ShellQuote(extracted.string()) + " 2>&1",
                         &output),
              0)
        << output;
    for (const auto& [source, imagePath] : sources()) {
        const fs::path copy = extracted / imagePath.substr(1);
        ASSERT_TRUE(fs::is_regular_file(copy)) << imagePath << " was not extracted";
        EXPECT_TRUE(ReadFileBytes(copy) == ReadFileBytes(source)) << imagePath << " differs";
    }
}

TEST_F(DiscImageWorld, TheDefaultVolumeTypeIsARealUdfBridge) {
    if (!ToolOnPath("udfinfo")) GTEST_SKIP() << "udfinfo (udftools) is missing";
    fs::create_directories(image.parent_path());
    const ProgramRun written = RunCli({"disc", "write", "--device", "image:" + image.string(),
                                       "--volume-id", "QUILLET_UDF", backupFile.string()});
    ASSERT_EQ(written.exitCode, 0) << written.err;
    std::string info;
    ASSERT_EQ(RunCommand("udfinfo " + ShellQuote(image.string()) + " 2>&1", &info), 0) << info;
    EXPECT_NE(info.find("QUILLET_UDF"), std::string::npos) << info;
}

// "" is the default volume type (ISO9660/Joliet/UDF); 3 is ISO9660/Joliet.
INSTANTIATE_TEST_SUITE_P(VolumeTypes, DiscImageAcceptance, ::testing::Values("", "3"),
                         [](const auto& info) {
                             return std::string(*info.param == '\0' ? "Default" : "Joliet");
                         });

// A write that fails ends within half a minute with status 2 and its reason, and leaves the
// previous image as it was and nothing beside it.
struct FailedImageWrite {
    const char* name;
    const char* volumeType;   // "" the default
    const char* limits;       // shell commands run before quillet-cli
    const char* reason = "";  // a part of the reason said
};
void PrintTo(const FailedImageWrite& test, std::ostream* out) { *out << test.name; }

// Puts a genisoimage first on PATH whose -print-size answers 64 blocks short.
constexpr const char* kAnnouncesLess =
    R"(real=$(command -v genisoimage) && mkdir bin && printf '%s\n' '#!/bin/sh' )"
    R"('if [ "$1" = -print-size ]; then echo $(( $("$0.real" "$@") - 64 )); )"
    R"(else exec "$0.real" "$@"; fi' > bin/genisoimage && ln -s "$real" bin/genisoimage.real && )"
    R"(chmod +x bin/genisoimage && PATH=$PWD/bin:$PATH;)";

class FailedImageWriteTest : public ::testing::TestWithParam<FailedImageWrite> {};

TEST_P(FailedImageWriteTest, EndsAtOnceWithItsReasonAndLeavesThePreviousImage) {
    const FailedImageWrite& test = GetParam();
    if (!ToolOnPath("genisoimage")) GTEST_SKIP() << "genisoimage is missing";
    TempDir temp;
    const fs::path big = temp / "big.qbk";
    WriteFileBytes(big, NoiseBytes(60u << 20, 5));
    const fs::path out = temp / "out";
    const fs::path image = out / "backup.iso";
    const std::string previous = "the previous image";
    WriteFileBytes(image, previous);

    std::string command = "cd " + ShellQuote(temp.path().string()) + " && " + test.limits +
                          " exec timeout 30 " + ShellQuote(QUILLET_CLI_PATH) +
                          " disc write --device " + ShellQuote("image:" + image.string());
    if (*test.volumeType != '\0') command += std::string(" --volume-type ") + test.volumeType;
    command += " " + ShellQuote(big.string());
    std::string output;
    EXPECT_EQ(RunCommand(command, &output), 2) << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_NE(output.find(test.reason), std::string::npos) << output;
    EXPECT_TRUE(ReadFileBytes(image) == previous) << "the previous image was changed";
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    DiscImage, FailedImageWriteTest,
    ::testing::Values(
        // A file-size limit below the image's size: the image file cannot grow past it.
        FailedImageWrite{"UdfPastAFileSizeLimit", "", "ulimit -f 20000; trap '' XFSZ;"},
        FailedImageWrite{"IsoPastAFileSizeLimit", "3", "ulimit -f 20000; trap '' XFSZ;"},
        // genisoimage announces 64 blocks fewer than it writes (as when a source grows between
        // the two runs): libburn stops reading at the announced size.
        FailedImageWrite{"UdfLongerThanAnnounced", "", kAnnouncesLess, disc::kImageGrew}),
    [](const auto& info) { return std::string(info.param.name); });

// Waits, without sleeping, until a file is written in the folder that `inotifyFd` watches (true)
// or the process `child` ends first (false).
bool WaitForFirstWrite(int inotifyFd, pid_t child) {
    const int childFd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    if (childFd < 0) return false;
    pollfd watched[2] = {{inotifyFd, POLLIN, 0}, {childFd, POLLIN, 0}};
    const int ready = poll(watched, 2, -1);
    close(childFd);
    return ready > 0 && (watched[0].revents & POLLIN) != 0;
}

class KilledDiscWrite : public ::testing::TestWithParam<bool> {};

TEST_P(KilledDiscWrite, LeavesNoImageUnderTheChosenNameOrThePreviousOneWhole) {
    const bool previousImage = GetParam();
    TempDir temp;
    const fs::path big = temp / "big.qbk";
    WriteFileBytes(big, NoiseBytes(96u << 20, 11));
    const fs::path out = temp / "out";
    fs::create_directories(out);
    const fs::path image = out / "backup.iso";
    const std::string previous = "the previous image";
    if (previousImage) WriteFileBytes(image, previous);

    const int inotifyFd = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotifyFd, 0);
    ASSERT_GE(inotify_add_watch(inotifyFd, out.c_str(), IN_MODIFY), 0);
    std::vector<std::string> arguments = {
        QUILLET_CLI_PATH, "disc", "write",    "--device",  "image:" + image.string(),
        "--volume-type",  "3",    "--verify", big.string()};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = ForkChild([&argv] {
        execv(argv[0], argv.data());
        return 127;
    });
    ASSERT_GT(child, 0);

    // Killed at its first write into the image's folder.
    const bool caught = WaitForFirstWrite(inotifyFd, child);
    close(inotifyFd);
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(caught);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the write ended before it was killed";

    if (previousImage) {
        EXPECT_TRUE(ReadFileBytes(image) == previous) << "the previous image was changed";
    } else {
        EXPECT_FALSE(fs::exists(image));
    }
}

INSTANTIATE_TEST_SUITE_P(DiscImage, KilledDiscWrite, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "OverAPreviousImage" : "IntoANewName");
});

}  // namespace
}  // namespace quillet::testing
