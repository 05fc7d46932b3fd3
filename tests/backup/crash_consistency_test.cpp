// A backup over an existing backup file, a restore of the message stores, the stationery and the
// address book, a registry commit, an export of the mail and a Thunderbird profile, each killed
// with SIGKILL before every step it takes through the file-system seam and the archive's events
// (quillet_crash_child). After each kill every file is its old self or its complete new self; any
// command of quillet-cli then removes the killed run's work folder, and the next run of the
// operation what else it left, and nothing else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "backup/crash_child_protocol.h"
#include "registry/wine_registry_file.h"
#include "support/archive/backup_reader.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"
#include "thunderbird/address_book_file.h"

extern char** environ;

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kKilledStatus = 128 + SIGKILL;
// Far more steps than any of the operations takes: a guard against a child that never finishes.
constexpr long kMaxSteps = 1000;
constexpr uid_t kOtherUser = 65534;

// A process id that belongs to no running process: a child's that has ended.
pid_t EndedProcessId() {
    const pid_t child = ForkChild([] { return 0; });
    WaitForChild(child);
    return child;
}

// The text of a Wine registry file without the times Wine writes for each changed key, which
// differ from run to run.
std::string WithoutKeyTimes(const std::string& text) {
    std::istringstream in(text);
    std::string result;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#time=", 0) == 0) {
            line = "#time=";
        } else if (!line.empty() && line.front() == '[') {
            const std::size_t end = line.rfind("] ");
            if (end != std::string::npos) line.resize(end + 1);
        }
        result += line + '\n';
    }
    return result;
}

class CrashConsistencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MakeSamplePrefix(m_prefix));
        fs::create_directories(m_tmp);
        fs::create_directories(m_out);
        for (char** variable = environ; *variable != nullptr; ++variable) {
            const std::string text = *variable;
            if (text.rfind("TMPDIR=", 0) != 0) m_environment.push_back(text);
        }
        m_environment.push_back("TMPDIR=" + m_tmp.string());
        plantDecoys();
    }

    ProgramRun runChild(long killAt, const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {QUILLET_CRASH_CHILD_PATH, std::to_string(killAt)};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProgram(argv, m_environment);
    }

    // Entries that look like a run's leftovers but are not a dead run's of this user: a live
    // process's, near misses, another user's. No run may touch them.
    void plantDecoys() {
        const std::string live = std::to_string(getpid());
        const std::string ended = std::to_string(EndedProcessId());
        const bool root = geteuid() == 0;
        const std::vector<std::pair<fs::path, std::string>> targets = {
            {m_out, "main.qbk"},
            {m_prefix, "user.reg"},
            {m_prefix, "system.reg"},
            {storeFolder(), "Inbox.dbx"},
            {SampleAddressBook(m_prefix).parent_path(), SampleAddressBook(m_prefix).filename()}};
        for (const auto& [folder, target] : targets) {
            const std::string stem = "." + target + ".quillet-";
            WriteFileBytes(folder / (stem + live + "-abcdefgh"), "a live run's");
            WriteFileBytes(folder / (stem + ended + "-abcdefgh~"), "a near miss");
            WriteFileBytes(folder / (stem + "0" + ended + "-abcdefgh"), "a near miss");
            if (root) {
                const fs::path foreign = folder / (stem + ended + "-n0b0dy00");
                WriteFileBytes(foreign, "another user's");
                ASSERT_EQ(chown(foreign.c_str(), kOtherUser, kOtherUser), 0);
            }
        }
        WriteFileBytes(m_tmp / ("quillet-" + live + "-abc123") / "work", "a live run's");
        WriteFileBytes(m_tmp / ("quillet-" + ended + "-abc12") / "work", "a near miss");
        WriteFileBytes(m_tmp / ("quillet-" + ended + "-abc123"), "not a folder");
        if (root) {
            const fs::path foreign = m_tmp / ("quillet-" + ended + "-n0b0dy");
            WriteFileBytes(foreign / "work", "another user's");
            ASSERT_EQ(chown(foreign.c_str(), kOtherUser, kOtherUser), 0);
        }
    }

    fs::path storeFolder() const { return SampleStoreFolder(m_prefix, kSampleMainIdentity); }

    // The message stores, the stationery and the address book: the files a restore replaces.
    std::vector<fs::path> restoredFiles() const {
        std::vector<fs::path> files = {SampleAddressBook(m_prefix)};
        for (const fs::path& folder : {storeFolder(), SampleStationeryFolder(m_prefix)}) {
            const bool stores = folder == storeFolder();
            for (const auto& entry : fs::directory_iterator(folder)) {
                const std::string name = entry.path().filename().string();
                const bool taken = stores ? entry.path().extension() == ".dbx" : name[0] != '.';
                if (entry.is_regular_file() && taken) files.push_back(entry.path());
            }
        }
        return files;
    }

    // Kills `arguments`' operation before step 1, 2, ... until it finishes without reaching the
    // step. Before each run `reset` puts the old files back; after each kill `check(false)` says
    // whether every file is old or new, and after the next run `check(true)` whether it is new.
    // Returns the number of kills checked.
    int killAtEveryStep(const std::vector<std::string>& arguments,
                        const std::vector<fs::path>& watched, const std::function<void()>& reset,
                        const std::function<void(bool)>& check) {
        std::map<fs::path, std::vector<std::string>> before;
        for (const fs::path& folder : watched) before[folder] = FolderListing(folder);
        int kills = 0;
        for (long step = 1; step <= kMaxSteps; ++step) {
            SCOPED_TRACE(arguments.front() + " killed before step " + std::to_string(step));
            reset();
            const ProgramRun killed = runChild(step, arguments);
            if (killed.exitCode == 0) return kills;  // it finished before that step
            EXPECT_EQ(killed.exitCode, kKilledStatus) << killed.err;
            if (killed.exitCode != kKilledStatus) return kills;
            ++kills;
            check(false);
            // Whatever is new is the killed run's own temporary.
            const std::string killedMark = "quillet-" + std::to_string(killed.pid) + "-";
            for (const fs::path& folder : watched) {
                for (const std::string& name : FolderListing(folder)) {
                    const auto& old = before[folder];
                    if (std::find(old.begin(), old.end(), name) != old.end()) continue;
                    EXPECT_NE(name.find(killedMark), std::string::npos)
                        << folder / name << " is not the killed run's";
                }
            }

            // Any command, even one that makes no work folder, removes the killed run's.
            const ProgramRun tidy = RunProgram(
                {QUILLET_CLI_PATH, "list", (m_temp / "no such backup").string()}, m_environment);
            EXPECT_EQ(tidy.exitCode, 2) << tidy.err;
            EXPECT_EQ(FolderListing(m_tmp), before[m_tmp]) << "in " << m_tmp;

            const ProgramRun next = runChild(0, arguments);
            EXPECT_EQ(next.exitCode, 0) << next.err;
            check(true);
            for (const fs::path& folder : watched) {
                EXPECT_EQ(FolderListing(folder), before[folder]) << "in " << folder;
            }
            if (HasFailure()) return kills;
        }
        ADD_FAILURE() << arguments.front() << " never finished";
        return kills;
    }

    int backupOverAnExistingBackup() {
        const fs::path file = m_out / "main.qbk";
        const std::vector<std::string> arguments = {"backup", m_prefix.string(), file.string()};
        const ProgramRun first = runChild(0, arguments);
        EXPECT_EQ(first.exitCode, 0) << first.err;
        const std::string oldBackup = ReadFileBytes(file);
        const std::vector<std::string> entryNames =
            MaskedEntryNames(ReadBackupEntries(file, kCrashPassword));
        EXPECT_GE(entryNames.size(), 8u);
        return killAtEveryStep(
            arguments, {m_out, m_tmp}, [&] { WriteFileBytes(file, oldBackup); },
            [&](bool mustBeNew) {
                if (!mustBeNew && ReadFileBytes(file) == oldBackup) return;
                // Reading every entry checks each one's authentication code.
                EXPECT_EQ(MaskedEntryNames(ReadBackupEntries(file, kCrashPassword)), entryNames);
                EXPECT_NE(ReadFileBytes(file), oldBackup);
            });
    }

    int restoreOfMessagesAndAddressBook() {
        const fs::path file = m_temp / "source.qbk";
        const ProgramRun made = runChild(0, {"backup", m_prefix.string(), file.string()});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        std::map<fs::path, std::string> restored, old;
        for (const fs::path& live : restoredFiles()) {
            restored[live] = ReadFileBytes(live);
            old[live] = "the old " + live.filename().string() + " of another length";
        }
        EXPECT_GE(restored.size(), 4u);
        const auto reset = [&] {
            for (const auto& [live, bytes] : old) WriteFileBytes(live, bytes);
        };
        return killAtEveryStep({"restore", m_prefix.string(), file.string()},
                               {storeFolder(), SampleStationeryFolder(m_prefix),
                                SampleAddressBook(m_prefix).parent_path(), m_tmp},
                               reset, [&](bool mustBeNew) {
                                   for (const auto& [live, bytes] : restored) {
                                       const std::string now = ReadFileBytes(live);
                                       if (now == bytes || (!mustBeNew && now == old[live]))
                                           continue;
                                       ADD_FAILURE() << live << " is neither "
                                                     << (mustBeNew ? "" : "the old file nor ")
                                                     << "the restored one";
                                   }
                               });
    }

    int registryCommit() {
        const std::vector<fs::path> files = {m_prefix / "user.reg", m_prefix / "system.reg"};
        std::map<fs::path, std::string> old, committed;
        for (const fs::path& file : files) old[file] = ReadFileBytes(file);
        const ProgramRun first = runChild(0, {"commit", m_prefix.string()});
        EXPECT_EQ(first.exitCode, 0) << first.err;
        for (const fs::path& file : files) {
            committed[file] = WithoutKeyTimes(ReadFileBytes(file));
            EXPECT_NE(committed[file].find(std::string("\"") + kCrashValueName + "\"=\"" +
                                           kCrashNewValue + "\""),
                      std::string::npos)
                << file;
        }
        const auto reset = [&] {
            for (const auto& [file, bytes] : old) WriteFileBytes(file, bytes);
        };
        const int kills = killAtEveryStep(
            {"commit", m_prefix.string()}, {m_prefix, m_tmp}, reset, [&](bool mustBeNew) {
                for (const fs::path& file : files) {
                    const std::string now = ReadFileBytes(file);
                    EXPECT_TRUE(registry::ParseWineRegistry(now).ok()) << file << " does not load";
                    if (!mustBeNew && now == old[file]) continue;
                    EXPECT_EQ(WithoutKeyTimes(now), committed[file])
                        << file << " is neither the old file nor the committed one";
                }
            });
        reset();
        return kills;
    }

    // The mail exported as a Maildir: after a kill every folder there is whole, and the next run,
    // without --force, goes on from what the killed one completed and leaves a whole export.
    int exportOfTheMail() {
        const fs::path whole = m_temp / "whole", out = m_temp / "mail";
        const ProgramRun first = runChild(0, {"export", m_prefix.string(), whole.string()});
        EXPECT_EQ(first.exitCode, 0) << first.err;
        const TreeSnapshot expected = SnapshotTree(whole);
        return killAtEveryStep(
            {"export", m_prefix.string(), out.string()}, {m_tmp}, [&] { fs::remove_all(out); },
            [&](bool mustBeNew) {
                const TreeSnapshot now = fs::exists(out) ? SnapshotTree(out) : TreeSnapshot{};
                if (mustBeNew) {
                    EXPECT_EQ(ChangedPaths(expected, now), std::vector<std::string>{});
                    return;
                }
                for (const auto& [path, what] : now) {
                    if (path.find(".quillet-") != std::string::npos) continue;  // the killed run's
                    const auto found = expected.find(path);
                    EXPECT_TRUE(found != expected.end() && found->second == what)
                        << path << " is not whole";
                }
            });
    }

    // The profile of the main identity: none or a whole one after each kill, beside it nothing
    // but the killed run's side folder, which the next run removes as it makes the profile.
    int thunderbirdProfile() {
        const fs::path parent = m_temp / "profiles", whole = m_temp / "whole",
                       profile = parent / "oe";
        fs::create_directories(parent);
        const ProgramRun first = runChild(0, {"thunderbird", m_prefix.string(), whole.string()});
        EXPECT_EQ(first.exitCode, 0) << first.err;
        // prefs.js names the profile's own folder; the address book's cards get new ids and
        // times in every run, so of it only its size is compared.
        auto comparable = [](TreeSnapshot tree) {
            auto book = tree.find(thunderbird::kAddressBookFileName);
            if (book != tree.end()) book->second = std::to_string(book->second.size());
            return tree;
        };
        TreeSnapshot expected;
        for (auto [path, what] : SnapshotTree(whole)) {
            for (std::size_t at; (at = what.find(whole.string())) != std::string::npos;) {
                what.replace(at, whole.string().size(), profile.string());
            }
            expected.emplace(path, what);
        }
        expected = comparable(expected);
        return killAtEveryStep(
            {"thunderbird", m_prefix.string(), profile.string()}, {m_tmp},
            [&] { fs::remove_all(profile); },
            [&](bool mustBeNew) {
                for (const std::string& name : FolderListing(parent)) {
                    if (name == "oe") {
                        EXPECT_EQ(comparable(SnapshotTree(profile)), expected) << "a half profile";
                        // Killed once it was in place: the next run makes it anew.
                        if (!mustBeNew) fs::remove_all(profile);
                    } else {
                        EXPECT_FALSE(mustBeNew) << name << " stayed";
                        EXPECT_NE(name.find(".quillet-"), std::string::npos) << name;
                    }
                }
                if (mustBeNew) EXPECT_TRUE(fs::exists(profile));
            });
    }

    TempDir m_temp;
    fs::path m_prefix = m_temp / "prefix";
    fs::path m_tmp = m_temp / "tmp";
    fs::path m_out = m_temp / "out";
    std::vector<std::string> m_environment;
};

TEST_F(CrashConsistencyTest, EveryFileIsOldOrNewAfterAKillAndTheNextRunTidiesUp) {
    int kills = backupOverAnExistingBackup();
    if (!HasFailure()) kills += restoreOfMessagesAndAddressBook();
    if (!HasFailure()) kills += registryCommit();
    EXPECT_GE(kills, 50);
    std::cout << "RELIABILITY kills_survived " << kills << std::endl;
}

TEST_F(CrashConsistencyTest, AKilledMailExportGoesOnFromWhatItCompleted) {
    const int kills = exportOfTheMail();
    EXPECT_GE(kills, 20);
    std::cout << "RELIABILITY kills_survived " << kills << std::endl;
}

TEST_F(CrashConsistencyTest, AKilledThunderbirdProfileLeavesNoneOrAWholeOne) {
    const int kills = thunderbirdProfile();
    EXPECT_GE(kills, 20);
    std::cout << "RELIABILITY kills_survived " << kills << std::endl;
}

}  // namespace
}  // namespace quillet::testing
