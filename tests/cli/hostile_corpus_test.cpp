// Every hostile backup of the corpus through the built quillet-cli: `verify` and `restore` refuse
// the archives (exit status 2) or fail the attacked item (1), never crash, and write nothing.
// Prints the number of hostile files so handled for the reliability report.
#include <gtest/gtest.h>

#include <iostream>

#include "archive/zip_archive.h"
#include "support/archive/hostile_archives.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

constexpr int kRefused = 2;
constexpr int kItemFailed = 1;

// A backup holding these entries (name, bytes), unprotected.
void Pack(const fs::path& file, const std::vector<std::pair<std::string, std::string>>& entries) {
    TempDir staging;
    archive::ZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(file).ok());
    for (const auto& [name, bytes] : entries) {
        WriteFileBytes(staging / name, bytes);
        ASSERT_TRUE(zip.AddFileEntry(staging / name).ok()) << name;
    }
    ASSERT_TRUE(zip.SaveArchive().ok()) << file;
}

// One hostile file as a backup, and the exit statuses it must give.
struct HostileRun {
    std::string what;
    fs::path backup;
    std::optional<int> verifyStatus;  // none: a sound backup, which verify passes
    int restoreStatus;
};

TEST(HostileCorpus, EveryHostileBackupIsRefusedOrFailsItsItemAndWritesNothing) {
    TempDir temp;
    const fs::path prefix = temp / "prefix";
    ASSERT_TRUE(MakeSamplePrefix(prefix));
    fs::create_directories(temp / "tmp");
    fs::create_directories(temp / "home");
    const fs::path corpus = temp / "corpus";
    fs::create_directories(corpus);

    std::vector<HostileRun> runs;
    for (const HostileArchive& archive : WriteHostileArchives(corpus)) {
        runs.push_back({archive.file, corpus / archive.file, kRefused,
                        archive.refusedOnOpen ? kRefused : kItemFailed});
    }
    // The information files, each as the information file of a backup holding plain entries.
    const fs::path data = TestDataDir() / "hostile";
    for (const auto& entry : fs::directory_iterator(data / "information")) {
        const std::string information = ReadFileBytes(entry.path());
        const fs::path backup = corpus / ("information-" + entry.path().stem().string() + ".qbk");
        Pack(backup, {{"x.dbx", "QLTSTORE planted\r\n"},
                      {"Inbox.dbx", "QLTSTORE planted inbox\r\n"},
                      {"quillet.dat", information}});
        // A file whose syntax is broken makes the backup invalid (verify refuses it too); the
        // others name entries that fail their items.
        const bool opens = !entry.path().filename().string().starts_with("syntax-");
        runs.push_back({"information/" + entry.path().filename().string(), backup,
                        opens ? std::nullopt : std::optional<int>(kRefused),
                        opens ? kItemFailed : kRefused});
    }
    // The registry text files, each as the rules of a backup.
    for (const auto& entry : fs::directory_iterator(data / "registry-text")) {
        const fs::path backup = corpus / ("registry-" + entry.path().stem().string() + ".qbk");
        Pack(backup, {{"OBR1A.TMP", ReadFileBytes(entry.path())},
                      {"quillet.dat", "BackupItem=00100000\r\nBackupRules=OBR1A.TMP\r\n"}});
        runs.push_back({"registry-text/" + entry.path().filename().string(), backup, std::nullopt,
                        kItemFailed});
    }

    const std::vector<std::string> environment{"HOME=" + (temp / "home").string(),
                                               "TMPDIR=" + (temp / "tmp").string(), "USER=quillet",
                                               "LC_ALL=C"};
    const auto cli = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {QUILLET_CLI_PATH, "--prefix", prefix.string()});
        return RunProgram(arguments, environment);
    };
    // The first run may leave the prefix's lock file behind; nothing else may change.
    ASSERT_EQ(cli({"identities"}).exitCode, 0);

    int handled = 0;
    for (const HostileRun& run : runs) {
        SCOPED_TRACE(run.what);
        const TreeSnapshot before = SnapshotTree(temp.path());
        bool asExpected = true;
        const auto expect = [&](const ProgramRun& done, int status, const char* command) {
            EXPECT_EQ(done.exitCode, status) << command << ": " << done.err;
            if (status != 0) {
                EXPECT_NE(done.err, "") << command;
            }
            asExpected =
                asExpected && done.exitCode == status && (status == 0 || !done.err.empty());
        };
        expect(cli({"verify", run.backup.string()}), run.verifyStatus.value_or(0), "verify");
        expect(cli({"restore", run.backup.string(), "--identity", kSampleZoeIdentity}),
               run.restoreStatus, "restore");
        const std::vector<std::string> changed = ChangedPaths(before, SnapshotTree(temp.path()));
        EXPECT_EQ(changed, std::vector<std::string>{});
        if (asExpected && changed.empty()) ++handled;
    }
    EXPECT_EQ(handled, static_cast<int>(runs.size()));
    std::cout << "RELIABILITY hostile_files_refused " << handled << std::endl;
}

}  // namespace
}  // namespace quillet::testing
