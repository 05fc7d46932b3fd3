#include "platform/work_folder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <set>
#include <string>
#include <vector>

#include "support/platform/child_process.h"
#include "support/platform/fake_environment.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/foreign_owner_file_operations.h"
#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::FakeEnvironment;
using testing::ForeignOwnerFileOperations;
using testing::ForkChild;
using testing::Pipe;
using testing::TempDir;
using testing::WaitForChild;
using testing::WriteFileBytes;

// Fills a work folder the way a run does: files and nested folders.
void FillWithWork(const fs::path& folder) {
    WriteFileBytes(folder / "backup.ini", "[Backup]\n");
    WriteFileBytes(folder / "regs" / "accounts.reg", "REGEDIT4\n");
    WriteFileBytes(folder / "regs" / "deep" / "deeper" / "x.dbx", std::string(10000, 'x'));
    fs::create_directory_symlink("/", folder / "link-to-root");  // must not be followed
}

TEST(WorkFolderTest, CreatesPrivateFolderInTmpdirAndRemovesItWithContent) {
    TempDir temp;
    fs::path created;
    {
        auto folder = WorkFolder::Create(FakeEnvironment({{"TMPDIR", temp.path().string()}}));
        ASSERT_TRUE(folder.ok()) << folder.reason();
        created = folder->path();
        EXPECT_EQ(created.parent_path(), temp.path());
        const std::string ownPrefix = "quillet-" + std::to_string(getpid()) + "-";
        EXPECT_EQ(created.filename().string().rfind(ownPrefix, 0), 0u) << created;
        EXPECT_EQ(created.filename().string().size(), ownPrefix.size() + 6) << created;
        struct stat info {};
        ASSERT_EQ(stat(created.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        FillWithWork(created);
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(created)));
    EXPECT_TRUE(fs::exists("/"));
}

TEST(WorkFolderTest, TemporaryRootIsAnAbsoluteTmpdirElseTmp) {
    EXPECT_EQ(WorkFolder::TemporaryRoot(FakeEnvironment({})), fs::path("/tmp"));
    EXPECT_EQ(WorkFolder::TemporaryRoot(FakeEnvironment({{"TMPDIR", ""}})), fs::path("/tmp"));
    EXPECT_EQ(WorkFolder::TemporaryRoot(FakeEnvironment({{"TMPDIR", "relative"}})),
              fs::path("/tmp"));
    EXPECT_EQ(WorkFolder::TemporaryRoot(FakeEnvironment({{"TMPDIR", "/var/tmp"}})),
              fs::path("/var/tmp"));
}

TEST(WorkFolderTest, MovingHandsOverTheFolder) {
    TempDir temp;
    auto created = WorkFolder::CreateIn(temp.path());
    ASSERT_TRUE(created.ok()) << created.reason();
    const fs::path first = created->path();

    WorkFolder owner = std::move(*created);
    EXPECT_TRUE(created->path().empty());
    EXPECT_EQ(owner.path(), first);
    created = Result<WorkFolder>(WorkFolder());  // the moved-from object removes nothing
    EXPECT_TRUE(fs::is_directory(first));

    auto second = WorkFolder::CreateIn(temp.path());
    ASSERT_TRUE(second.ok());
    const fs::path secondPath = second->path();
    owner = std::move(*second);  // the folder owned until now goes
    EXPECT_FALSE(fs::exists(first));
    EXPECT_TRUE(fs::is_directory(secondPath));
    owner = WorkFolder();
    EXPECT_FALSE(fs::exists(secondPath));
}

TEST(WorkFolderTest, ReportsWhyItCannotBeCreated) {
    TempDir temp;
    const auto folder = WorkFolder::CreateIn(temp / "missing");
    EXPECT_FALSE(folder.ok());
    EXPECT_EQ(folder.reason(), "Cannot create a work folder in " + (temp / "missing").string() +
                                   ": No such file or directory");
}

// A process id that belongs to no running process: a child's that has ended.
pid_t EndedProcessId() {
    const pid_t child = ForkChild([] { return 0; });
    WaitForChild(child);
    return child;
}

enum class Entry { kFolder, kForeignFolder, kFile, kLinkToFolder };

struct StaleCase {
    std::string name;
    Entry entry;
    bool removed;
    const char* what;
};

TEST(WorkFolderTest, CreatingRemovesOnlyTheWorkFoldersOfEndedRunsOfThisUser) {
    const std::string ended = std::to_string(EndedProcessId());
    const std::string running = std::to_string(getppid());
    const std::string own = std::to_string(getpid());
    const std::vector<StaleCase> cases = {
        {"quillet-" + ended + "-a1B2c3", Entry::kFolder, true, "an ended run's"},
        {"quillet-" + ended + "-ZZ9yy8", Entry::kFolder, true, "another ended run's"},
        {"quillet-" + running + "-a1B2c3", Entry::kFolder, false, "a live run's"},
        {"quillet-" + own + "-a1B2c3", Entry::kFolder, false, "this process's own"},
        {"quillet-" + ended + "-f0r31g", Entry::kForeignFolder, false, "another user's"},
        {"quillet-" + ended + "-file01", Entry::kFile, false, "not a folder"},
        {"quillet-" + ended + "-link01", Entry::kLinkToFolder, false, "a symbolic link"},
        {"quillet-" + ended + "-a1B2c", Entry::kFolder, false, "five random letters"},
        {"quillet-" + ended + "-a1B2c3d", Entry::kFolder, false, "seven random letters"},
        {"quillet-" + ended + "-a1B2c!", Entry::kFolder, false, "not a letter"},
        {"quillet-" + ended + "a1B2c3", Entry::kFolder, false, "no dash after the id"},
        {"quillet-" + ended + "-a1B2c3.bak", Entry::kFolder, false, "a suffix"},
        {"quillet--a1B2c3", Entry::kFolder, false, "no process id"},
        {"quillet-0" + ended + "-a1B2c3", Entry::kFolder, false, "a leading zero"},
        {"quillet-+" + ended + "-a1B2c3", Entry::kFolder, false, "a sign"},
        {"quillet-99999999999999999999-a1B2c3", Entry::kFolder, false, "no such process id"},
        {"Quillet-" + ended + "-a1B2c3", Entry::kFolder, false, "another case"},
        {"xquillet-" + ended + "-a1B2c3", Entry::kFolder, false, "a longer name"},
        {".quillet-" + ended + "-a1B2c3", Entry::kFolder, false, "a hidden name"},
        {"quillet-a1B2c3", Entry::kFolder, false, "no process id at all"},
    };
    TempDir temp;
    const fs::path parent = temp / "tmp";
    fs::create_directories(parent);
    std::set<std::string> foreign;
    for (const StaleCase& c : cases) {
        const fs::path path = parent / c.name;
        switch (c.entry) {
            case Entry::kForeignFolder:
                foreign.insert(c.name);
                [[fallthrough]];
            case Entry::kFolder:
                FillWithWork(path);
                break;
            case Entry::kFile:
                WriteFileBytes(path, "not a folder");
                break;
            case Entry::kLinkToFolder:
                FillWithWork(temp / "elsewhere");
                fs::create_directory_symlink(temp / "elsewhere", path);
                break;
        }
    }
    const testing::TreeSnapshot elsewhere = testing::SnapshotTree(temp / "elsewhere");

    ForeignOwnerFileOperations files(foreign);
    auto created = WorkFolder::CreateIn(parent, files);
    ASSERT_TRUE(created.ok()) << created.reason();

    for (const StaleCase& c : cases) {
        EXPECT_EQ(fs::exists(fs::symlink_status(parent / c.name)), !c.removed)
            << c.name << " (" << c.what << ")";
        if (!c.removed && c.entry != Entry::kFile && c.entry != Entry::kLinkToFolder) {
            EXPECT_TRUE(fs::exists(parent / c.name / "regs" / "deep" / "deeper" / "x.dbx"))
                << c.name << " (" << c.what << ") was emptied";
        }
    }
    EXPECT_EQ(testing::SnapshotTree(temp / "elsewhere"), elsewhere);
    EXPECT_TRUE(fs::exists(created->path()));
}

constexpr int kChildSetupFailed = 7;
constexpr int kChildSurvived = 8;

struct ChildWithWorkFolder {
    pid_t pid = -1;
    fs::path folder;
};

// Starts a child that prepares its signal handling with `before`, creates and fills a work folder
// in `parent`, reports the folder's path and waits until `finish` closes.
ChildWithWorkFolder StartChildWithWorkFolder(const fs::path& parent, Pipe& report, Pipe& finish,
                                             void (*before)()) {
    ChildWithWorkFolder started;
    started.pid = ForkChild([&]() {
        report.closeReadEnd();
        finish.closeWriteEnd();
        before();
        auto folder = WorkFolder::CreateIn(parent);
        if (!folder.ok()) return kChildSetupFailed;
        FillWithWork(folder->path());
        report.send(folder->path().string() + "\n");
        finish.receiveByte();  // a signal may end the process here
        return kChildSurvived;
    });
    report.closeWriteEnd();
    finish.closeReadEnd();
    if (const auto line = report.receiveLine()) started.folder = *line;
    return started;
}

class WorkFolderSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(WorkFolderSignalTest, RemovedWhenProcessIsEndedBySignal) {
    const int signalNumber = GetParam();
    TempDir temp;
    Pipe report;
    Pipe finish;
    const auto child = StartChildWithWorkFolder(temp.path(), report, finish, [] {
        // The test runner may have been started with some of these ignored.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
    });
    ASSERT_GT(child.pid, 0);
    ASSERT_FALSE(child.folder.empty());
    ASSERT_TRUE(fs::exists(child.folder / "regs" / "deep" / "deeper" / "x.dbx"));

    ASSERT_EQ(kill(child.pid, signalNumber), 0);
    const int status = WaitForChild(child.pid);
    EXPECT_TRUE(WIFSIGNALED(status)) << "exit status " << status;
    EXPECT_EQ(WTERMSIG(status), signalNumber);
    EXPECT_FALSE(fs::exists(fs::symlink_status(child.folder)));
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

INSTANTIATE_TEST_SUITE_P(CleanupSignals, WorkFolderSignalTest,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) -> std::string {
                             switch (info.param) {
                                 case SIGINT:
                                     return "SIGINT";
                                 case SIGTERM:
                                     return "SIGTERM";
                                 default:
                                     return "SIGHUP";
                             }
                         });

TEST(WorkFolderTest, LeavesAnIgnoredSignalIgnored) {
    TempDir temp;
    Pipe report;
    Pipe finish;
    const auto child =
        StartChildWithWorkFolder(temp.path(), report, finish, [] { signal(SIGHUP, SIG_IGN); });
    ASSERT_GT(child.pid, 0);
    ASSERT_FALSE(child.folder.empty());
    ASSERT_EQ(kill(child.pid, SIGHUP), 0);
    finish.closeWriteEnd();  // the child carries on to the end and removes its folder itself
    const int status = WaitForChild(child.pid);
    ASSERT_TRUE(WIFEXITED(status)) << "exit status " << status;
    EXPECT_EQ(WEXITSTATUS(status), kChildSurvived);
    EXPECT_TRUE(fs::is_empty(temp.path()));
}

}  // namespace
}  // namespace quillet
