// A backup larger than 4 GiB, end to end through the built quillet-cli: a message store of 6.8 GB
// with one 4.4 GB file is backed up with a password, verified, listed by 7z and restored, and
// the program's peak memory stays small throughout. The archive needs Zip64 for the big entry's
// sizes and for the offsets of the entries written after the first 4 GiB.
//
// Slow (minutes) and heavy on disk: it runs only when QUILLET_LARGE_TESTS=1 is set, which
// bench/reliability does; its CTest label is "large". It prints its figures as
// "RELIABILITY <key> <n>" lines.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/platform/child_process.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

constexpr std::uint64_t kFourGiB = std::uint64_t{1} << 32;
constexpr std::uint64_t kFreeSpaceNeeded = 15'000'000'000;
constexpr long kPeakMemoryLimitKb = 64 * 1024;
// The store: 6800 MB in 9 files, the first 4400 MB; every message carries an attachment, so the
// archive is about three quarters of the store, more than 4 GiB.
constexpr char kStoreTotalMb[] = "6800";
constexpr char kStoreFiles[] = "9";
constexpr char kStoreLargestMb[] = "4400";
constexpr char kStoreAttachmentEvery[] = "1";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;  // AddressSanitizer's shadow memory and quarantine inflate RSS
#else
constexpr bool kSanitized = false;
#endif

// One run of quillet-cli under /usr/bin/time: its result, wall time and peak resident memory.
struct MeasuredRun {
    ProgramRun run;
    long peakKb = -1;
    std::int64_t seconds = 0;
};

class LargeBackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::getenv("QUILLET_LARGE_TESTS") == nullptr ||
            std::string(std::getenv("QUILLET_LARGE_TESTS")) != "1") {
            GTEST_SKIP() << "the large-store run takes minutes and 15 GB of disk; set "
                            "QUILLET_LARGE_TESTS=1 to run it (bench/reliability does)";
        }
        for (const char* tool : {"7z", "md5sum"}) {
            if (!ToolOnPath(tool)) GTEST_SKIP() << tool << " is not installed";
        }
        if (!std::filesystem::exists("/usr/bin/time")) {
            GTEST_SKIP() << "/usr/bin/time is not installed (Debian package time)";
        }
        const std::uintmax_t free = std::filesystem::space(temp.path()).available;
        if (free < kFreeSpaceNeeded) {
            GTEST_SKIP() << "only " << free / 1'000'000'000 << " GB free under " << temp.path()
                         << "; the large-store run needs 15 GB";
        }
        ASSERT_TRUE(MakeSamplePrefix(prefix));
        std::filesystem::create_directories(temp / "tmp");
        WriteFileBytes(passwordFile, "large store password\n");
    }

    MeasuredRun cli(std::vector<std::string> arguments) {
        const std::filesystem::path timeFile = temp / "time.txt";
        arguments.insert(arguments.begin(), {"/usr/bin/time", "-f", "%M", "-o", timeFile.string(),
                                             QUILLET_CLI_PATH, "--prefix", prefix.string()});
        const auto start = std::chrono::steady_clock::now();
        MeasuredRun measured;
        measured.run =
            RunProgram(arguments, std::vector<std::string>{"HOME=" + temp.path().string(),
                                                           "TMPDIR=" + (temp / "tmp").string(),
                                                           "USER=quillet", "LC_ALL=C"});
        measured.seconds = std::chrono::duration_cast<std::chrono::seconds>(
                               std::chrono::steady_clock::now() - start)
                               .count();
        std::istringstream(ReadFileBytes(timeFile)) >> measured.peakKb;
        return measured;
    }

    // Checks a run's peak memory and prints its figures under `name`.
    void report(const std::string& name, const MeasuredRun& measured) {
        std::printf("RELIABILITY large_%s_seconds %lld\n", name.c_str(),
                    static_cast<long long>(measured.seconds));
        if (kSanitized) {
            std::printf("(%s peak memory %ld KB not checked: a sanitizer build)\n", name.c_str(),
                        measured.peakKb);
            return;
        }
        std::printf("RELIABILITY large_%s_peak_memory_kb %ld\n", name.c_str(), measured.peakKb);
        EXPECT_GT(measured.peakKb, 0) << name;
        EXPECT_LT(measured.peakKb, kPeakMemoryLimitKb) << name;
    }

    // "md5  name" lines of the store's message files.
    std::string storeChecksums() {
        std::string output;
        EXPECT_EQ(RunCommand("cd " + ShellQuote(store.string()) + " && md5sum *.dbx", &output), 0)
            << output;
        return output;
    }

    TempDir temp;
    std::filesystem::path prefix = temp / "prefix";
    std::filesystem::path store = SampleStoreFolder(prefix, kSampleMainIdentity);
    std::filesystem::path passwordFile = temp / "password";
    std::filesystem::path backup = temp / "large.qbk";
};

// 7z's technical listing (-slt): each entry's properties by name ("Size", "Offset", ...).
std::map<std::string, std::map<std::string, std::string>> SevenZipEntries(
    const std::string& listing) {
    std::map<std::string, std::map<std::string, std::string>> entries;
    std::istringstream in(listing.substr(listing.find("----------")));
    std::string current;
    for (std::string line; std::getline(in, line);) {
        const auto equals = line.find(" = ");
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 3);
        if (key == "Path") current = value;
        entries[current][key] = value;
    }
    return entries;
}

// Whether the file ends with a Zip64 end of central directory locator and record.
bool HasZip64EndRecord(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(-1024, std::ios::end);
    std::string tail(1024, '\0');
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    return tail.find(std::string("PK\x06\x06", 4)) != std::string::npos &&
           tail.find(std::string("PK\x06\x07", 4)) != std::string::npos;
}

TEST_F(LargeBackupTest, BacksUpVerifiesListsAndRestoresAStoreOverFourGiB) {
    for (const auto& file : std::filesystem::directory_iterator(store)) {
        if (file.path().extension() == ".dbx") std::filesystem::remove(file.path());
    }
    const ProgramRun made = RunProgram({QUILLET_MAIL_STORE_PATH, store.string(), kStoreTotalMb,
                                        kStoreFiles, kStoreLargestMb, kStoreAttachmentEvery});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::uint64_t largest = std::filesystem::file_size(store / "Folder01.dbx");
    ASSERT_GT(largest, kFourGiB);
    const std::string checksums = storeChecksums();

    const MeasuredRun backedUp =
        cli({"backup", "--identity", kSampleMainIdentity, "--items", "messages", "--out",
             backup.string(), "--password-file", passwordFile.string()});
    ASSERT_EQ(backedUp.run.exitCode, 0) << backedUp.run.err;
    report("backup", backedUp);
    const std::uint64_t archiveBytes = std::filesystem::file_size(backup);
    std::printf("RELIABILITY large_backup_bytes %llu\n",
                static_cast<unsigned long long>(archiveBytes));
    EXPECT_GT(archiveBytes, kFourGiB);
    EXPECT_TRUE(HasZip64EndRecord(backup));

    const MeasuredRun verified =
        cli({"verify", backup.string(), "--password-file", passwordFile.string()});
    EXPECT_EQ(verified.run.exitCode, 0) << verified.run.err;
    report("verify", verified);

    // 7z reads every size and offset from the Zip64 fields: the big entry's size, and the
    // entries that start beyond 4 GiB.
    std::string listing;
    ASSERT_EQ(
        RunCommand("7z l -slt -p'large store password' " + ShellQuote(backup.string()), &listing),
        0)
        << listing;
    const auto entries = SevenZipEntries(listing);
    std::uint64_t listedBytes = 0;
    std::uint64_t lastOffset = 0;
    for (const auto& file : std::filesystem::directory_iterator(store)) {
        if (file.path().extension() != ".dbx") continue;
        const std::string name = file.path().filename().string();
        ASSERT_TRUE(entries.count(name)) << name << " not listed by 7z:\n" << listing;
        EXPECT_EQ(entries.at(name).at("Size"), std::to_string(file.file_size())) << name;
        listedBytes += std::stoull(entries.at(name).at("Size"));
        lastOffset =
            std::max<std::uint64_t>(lastOffset, std::stoull(entries.at(name).at("Offset")));
    }
    EXPECT_EQ(std::stoull(entries.at("Folder01.dbx").at("Size")), largest);
    EXPECT_GT(listedBytes, kFourGiB);
    EXPECT_GT(lastOffset, kFourGiB);

    // Restored into an empty store, so that the disk holds the store only once besides the backup.
    for (const auto& file : std::filesystem::directory_iterator(store)) {
        if (file.path().extension() == ".dbx") std::filesystem::remove(file.path());
    }
    const MeasuredRun restored =
        cli({"restore", backup.string(), "--identity", kSampleMainIdentity, "--items", "messages",
             "--password-file", passwordFile.string()});
    EXPECT_EQ(restored.run.exitCode, 0) << restored.run.err;
    report("restore", restored);
    EXPECT_EQ(storeChecksums(), checksums);
}

}  // namespace
}  // namespace quillet::testing
