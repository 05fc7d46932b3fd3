#include "registry/wine_prefix_registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <thread>

#include "registry/registry_text.h"
#include "support/platform/child_process.h"
#include "support/platform/fake_wine_server.h"
#include "support/platform/recording_message_service.h"
#include "support/platform/temp_dir.h"

namespace quillet::registry {
namespace {

namespace fs = std::filesystem;
using quillet::testing::FakeWineServer;
using quillet::testing::ForkChild;
using quillet::testing::Pipe;
using quillet::testing::ReadFileBytes;
using quillet::testing::RecordingMessageService;
using quillet::testing::StandardServerLockFile;
using quillet::testing::TempDir;
using quillet::testing::TestDataDir;
using quillet::testing::WaitForChild;
using quillet::testing::WriteFileBytes;

constexpr char kSamples[] = "HKEY_CURRENT_USER\\Software\\Quillet Format Samples";

// Removes from Wine registry text every block whose key line starts with `keyLinePrefix`.
std::string WithoutBlocks(const std::string& text, const std::string& keyLinePrefix) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t next = text.find("\n[", pos + 1);
        next = next == std::string::npos ? text.size() : next + 1;
        const std::string block = text.substr(pos, next - pos);
        const std::size_t key = block.find('[');
        if (key == std::string::npos ||
            block.compare(key, keyLinePrefix.size(), keyLinePrefix) != 0 ||
            block.find_first_not_of('\n') != key) {
            out += block;
        }
        pos = next;
    }
    return out;
}

class WinePrefixRegistryTest : public ::testing::Test {
  protected:
    WinePrefixRegistryTest() {
        fs::create_directories(prefix);
        fs::create_directories(tmpRoot);
        WriteFileBytes(prefix / "user.reg", original);
        WriteFileBytes(prefix / "system.reg", "WINE REGISTRY Version 2\n");
    }

    Status importText(const std::string& base, const std::string& text) {
        WriteFileBytes(temp / "import.txt", text);
        return ImportKeyFile(modReg, base, temp / "import.txt");
    }

    TempDir temp;
    fs::path prefix = temp / "prefix";
    fs::path tmpRoot = temp / "tmp";
    const std::string original = ReadFileBytes(TestDataDir() / "wine-user.reg");
    WineServerProbe probe{tmpRoot};
    PrefixLock lock{prefix};
    WinePrefixRegistry store{prefix, probe, lock, [] { return std::uint64_t{0x1dd86ae1c8fb512}; }};
    RecordingMessageService messages;
    ModReg modReg{store, PlainMessages(messages)};
};

TEST_F(WinePrefixRegistryTest, CommittingWithoutNetChangeKeepsWinesFileByteForByte) {
    ASSERT_EQ(modReg.CreateKey("HKEY_CURRENT_USER\\Software\\Transient"), kErrorSuccess);
    modReg.DeleteKey("HKEY_CURRENT_USER\\Software\\Transient");
    EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), original);
}

TEST_F(WinePrefixRegistryTest, ImportChangesOnlyTheImportedKeysBlocks) {
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Software\\Imported",
                           "\\\r\n\"a\"= sz:x\r\n\\Sub\\Deeper\r\n\"n\"= dw:7\r\n")
                    .ok());
    const std::string after = ReadFileBytes(prefix / "user.reg");
    EXPECT_NE(after, original);
    EXPECT_NE(after.find("[Software\\\\Imported\\\\Sub\\\\Deeper] "), std::string::npos);
    EXPECT_EQ(WithoutBlocks(after, "[Software\\\\Imported"), original);

    // Replacing a tree Wine wrote touches that tree's blocks and nothing else.
    const fs::path exported = temp / "names.txt";
    ASSERT_TRUE(ExportKeyTree(modReg, std::string(kSamples) + "\\Names", exported).ok());
    ASSERT_TRUE(ImportKeyFile(modReg, std::string(kSamples) + "\\Names", exported).ok());
    const std::string replaced = ReadFileBytes(prefix / "user.reg");
    EXPECT_EQ(WithoutBlocks(replaced, "[Software\\\\Quillet Format Samples\\\\Names"),
              WithoutBlocks(after, "[Software\\\\Quillet Format Samples\\\\Names"));
    const fs::path again = temp / "names-again.txt";
    ASSERT_TRUE(ExportKeyTree(modReg, std::string(kSamples) + "\\Names", again).ok());
    EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(exported));
}

TEST_F(WinePrefixRegistryTest, CommitIsRefusedWhileAWineServerRuns) {
    FakeWineServer server(StandardServerLockFile(tmpRoot, prefix));
    ASSERT_TRUE(server.locked());
    const Status status =
        importText("HKEY_CURRENT_USER\\Software\\Imported", "\\\r\n\"a\"= dw:1\r\n");
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("Wine is running"), std::string::npos) << status.reason();
    EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), original);
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\Software\\Imported"));

    server.stop();
    EXPECT_TRUE(importText("HKEY_CURRENT_USER\\Software\\Imported", "\\\r\n\"a\"= dw:1\r\n").ok());
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\Software\\Imported"));
}

TEST_F(WinePrefixRegistryTest, CommitIsRefusedWhenTheFileChangedSinceItWasRead) {
    EXPECT_TRUE(modReg.KeyExists(kSamples));  // reads user.reg
    const std::string edited = original + "\n[Software\\\\Edited] 1\n\"x\"=\"y\"\n";
    WriteFileBytes(prefix / "user.reg", edited);
    ModReg::Batch batch(modReg);
    ASSERT_EQ(modReg.CreateKey("HKEY_CURRENT_USER\\Software\\Mine"), kErrorSuccess);
    const Status status = batch.commit();
    EXPECT_NE(status.reason().find("changed by another program"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), edited);
    // The next operation reads the file again and sees the other program's change.
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\Software\\Edited"));
}

TEST_F(WinePrefixRegistryTest, MalformedRegistryFileIsAClearErrorNotAnEmptyRegistry) {
    WriteFileBytes(prefix / "user.reg", "REGEDIT4\n");
    WinePrefixRegistry broken{prefix, probe, lock};
    HKey key;
    EXPECT_EQ(broken.RegCreateKey(kHkeyCurrentUser, "Software\\X", &key), kErrorFileNotFound);
    EXPECT_NE(broken.lastLoadError().find("not a Wine registry file"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), "REGEDIT4\n");
}

TEST_F(WinePrefixRegistryTest, KilledCommitLeavesTheOldFileOrTheNewOne) {
    // A large change, so that the commit takes long enough to be interrupted at many points.
    std::string text = "\\\r\n";
    for (int key = 0; key < 400; ++key) {
        text += "\\K" + std::to_string(key) + "\r\n";
        for (int value = 0; value < 20; ++value) {
            text +=
                "\"v" + std::to_string(value) + "\"= sz:" + std::string(60, 'a' + value) + "\r\n";
        }
    }
    WriteFileBytes(temp / "big.txt", text);
    const auto commitInChild = [&](Pipe& started) {
        return ForkChild([&]() {
            WineServerProbe childProbe{tmpRoot};
            PrefixLock childLock{prefix};
            WinePrefixRegistry childStore{prefix, childProbe, childLock,
                                          [] { return std::uint64_t{0x1dd86ae1c8fb512}; }};
            ModReg childModReg{childStore, PlainMessages(messages)};
            started.send("S");
            return ImportKeyFile(childModReg, "HKEY_CURRENT_USER\\Software\\Big", temp / "big.txt")
                           .ok()
                       ? 0
                       : 1;
        });
    };

    std::string newContent;
    int trialsWithNewContent = 0;
    for (int trial = 0; trial < 12; ++trial) {
        Pipe started;
        const pid_t child = commitInChild(started);
        started.closeWriteEnd();
        ASSERT_EQ(started.receiveByte(), 'S');
        // Let the child run a little further each trial before it is killed.
        for (int spin = 0; spin < trial * trial * 150; ++spin) std::this_thread::yield();
        kill(child, SIGKILL);
        WaitForChild(child);
        const std::string now = ReadFileBytes(prefix / "user.reg");
        if (now != original) {
            if (newContent.empty()) newContent = now;
            ++trialsWithNewContent;
            EXPECT_TRUE(now == newContent) << "trial " << trial << " left a mixed file";
            WriteFileBytes(prefix / "user.reg", original);
        }
    }
    RecordProperty("trialsWithNewContent", trialsWithNewContent);
    // An uninterrupted run writes the new content, and removes what killed runs left behind.
    Pipe started;
    const pid_t child = commitInChild(started);
    started.closeWriteEnd();
    const int status = WaitForChild(child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (!newContent.empty()) {
        EXPECT_TRUE(ReadFileBytes(prefix / "user.reg") == newContent);
    }
    for (const auto& entry : fs::directory_iterator(prefix)) {
        EXPECT_EQ(entry.path().filename().string().find(".user.reg.quillet-"), std::string::npos)
            << entry.path();
    }
}

}  // namespace
}  // namespace quillet::registry
