// quillet-cli on backups crafted to inflate to hundreds of megabytes: each is refused (or its item
// fails) with the reason, in little memory, leaving nothing in the temporary folder.
//
// Memory is the program's peak resident set (ru_maxrss of the child) less that of the same
// command on a small sound backup. The difference leaves out what every run holds, which under
// AddressSanitizer includes its shadow memory and runtime; ASan's quarantine, which keeps freed
// memory resident, is made small so that memory the program gave back is not counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "cli/password_input.h"
#include "support/archive/generated_archive.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

constexpr long kMemoryBoundKb = 64 * 1024;

std::string InformationLines(const std::string& items, const std::string& more) {
    return "BackupIdentity=Zo\r\nBackupItem=" + items + "\r\n" + more;
}

class HostileBackupMemoryTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = new TempDir();
        // An information file of one line of 128 MB, from an archive of about 128 KB.
        GeneratedEntry information{"quillet.dat", "BackupItem=", "A", std::uint64_t{1} << 27};
        ASSERT_TRUE(WriteGeneratedArchive(
            *folder / "information-bomb.qbk",
            {GeneratedEntry::Holding("quillet.wab", "QLTWAB book"), information}));
        // An accounts entry of twelve million short lines, beside a sound address book.
        GeneratedEntry accounts{"OBA1.TMP", "\\\r\n", "\\S\r\n\"v\"= dw:1\r\n", 0};
        accounts.size = accounts.head.size() + 6'000'000 * accounts.pattern.size();
        ASSERT_TRUE(WriteGeneratedArchive(
            *folder / "registry-bomb.qbk",
            {accounts, GeneratedEntry::Holding("quillet.wab", "QLTWAB book"),
             GeneratedEntry::Holding(
                 "quillet.dat",
                 InformationLines(
                     "11000000",
                     "BackupAccounts=OBA1.TMP\r\nBackupAddressBook=quillet.wab\r\n"))}));
        ASSERT_TRUE(WriteGeneratedArchive(
            *folder / "sound.qbk",
            {GeneratedEntry::Holding("OBA1.TMP", "\\\r\n\"v\"= dw:1\r\n"),
             GeneratedEntry::Holding("quillet.wab", "QLTWAB book"),
             GeneratedEntry::Holding(
                 "quillet.dat",
                 InformationLines(
                     "11000000",
                     "BackupAccounts=OBA1.TMP\r\nBackupAddressBook=quillet.wab\r\n"))}));
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(MakeSamplePrefix(prefix));
        std::filesystem::create_directories(tmp);
    }

    ProgramRun cli(std::vector<std::string> arguments) {
        std::string sanitizerOptions = "quarantine_size_mb=1";
        if (const char* inherited = std::getenv("ASAN_OPTIONS")) {
            sanitizerOptions = std::string(inherited) + ":" + sanitizerOptions;
        }
        const std::vector<std::string> environment{"HOME=" + temp.path().string(),
                                                   "TMPDIR=" + tmp.string(), "USER=quillet",
                                                   "LC_ALL=C", "ASAN_OPTIONS=" + sanitizerOptions};
        arguments.insert(arguments.begin(), {QUILLET_CLI_PATH, "--prefix", prefix.string()});
        return RunProgram(arguments, environment);
    }

    TempDir temp;
    std::filesystem::path prefix = temp / "prefix";
    std::filesystem::path tmp = temp / "tmp";
    static TempDir* folder;
};
TempDir* HostileBackupMemoryTest::folder = nullptr;

TEST_F(HostileBackupMemoryTest, HostileBackupsAreRefusedInLittleMemoryLeavingNothingBehind) {
    const std::string informationBomb = (*folder / "information-bomb.qbk").string();
    const std::string registryBomb = (*folder / "registry-bomb.qbk").string();
    const std::string sound = (*folder / "sound.qbk").string();
    struct Case {
        const char* name;
        std::vector<std::string> hostile;
        std::vector<std::string> baseline;  // the same command on the sound backup
        int exitCode;
        std::string err;  // what stderr holds
    };
    const std::string tooLarge = informationBomb + " " + cli::kNotABackupText +
                                 ": its information file quillet.dat holds 134217728 bytes, more "
                                 "than the 16 MB an information file may hold\n";
    const Case cases[] = {
        {"info", {"info", informationBomb}, {"info", sound}, 2, "quillet-cli: " + tooLarge},
        {"verify", {"verify", informationBomb}, {"verify", sound}, 2, "quillet-cli: " + tooLarge},
        {"restore",
         {"restore", registryBomb, "--identity", kSampleZoeIdentity},
         {"restore", sound, "--identity", kSampleZoeIdentity},
         1,
         "Restore Accounts: the entry OBA1.TMP holds"},
    };
    long worstKb = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramRun baseline = cli(c.baseline);
        EXPECT_EQ(baseline.exitCode, 0) << baseline.err;
        const ProgramRun hostile = cli(c.hostile);
        EXPECT_EQ(hostile.exitCode, c.exitCode) << hostile.err;
        EXPECT_NE(hostile.err.find(c.err), std::string::npos) << hostile.err;
        EXPECT_EQ(FolderListing(tmp), std::vector<std::string>{});

        const long extraKb = hostile.peakMemoryKb - baseline.peakMemoryKb;
        EXPECT_LT(extraKb, kMemoryBoundKb) << "peak " << hostile.peakMemoryKb << " KB against "
                                           << baseline.peakMemoryKb << " KB for a sound backup";
        worstKb = std::max(worstKb, extraKb);
    }
    std::cout << "RELIABILITY hostile_backup_extra_memory_kb " << std::max(worstKb, 0L) << '\n';
}

}  // namespace
}  // namespace quillet::testing
