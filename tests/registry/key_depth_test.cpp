// How deep keys may lie: the 512-level limit at every way into the registry, and key trees of any
// depth handled without recursing.
#include <gtest/gtest.h>

#include <filesystem>

#include "registry/registry_text.h"
#include "registry/wine_prefix_registry.h"
#include "registry/wine_registry_file.h"
#include "support/platform/recording_message_service.h"
#include "support/platform/temp_dir.h"
#include "support/registry/memory_registry_store.h"

namespace quillet::registry {
namespace {

namespace fs = std::filesystem;
using quillet::testing::ReadFileBytes;
using quillet::testing::RecordingMessageService;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;

// `levels` names joined by `separator`, e.g. "K\K\K".
std::string Nested(std::size_t levels, std::string_view separator = "\\") {
    std::string path;
    for (std::size_t i = 0; i < levels; ++i) {
        if (i > 0) path += separator;
        path += 'K';
    }
    return path;
}

struct DepthCase {
    const char* label;
    std::size_t baseLevels;  // of the key the path starts from, below the root
    std::size_t levels;      // of the path below that key
    bool accepted;
};

void PrintTo(const DepthCase& c, std::ostream* out) { *out << c.label; }

const DepthCase kDepthCases[] = {
    {"512FromTheRoot", 0, 512, true},        {"513FromTheRoot", 0, 513, false},
    {"512BelowAKey", 3, 509, true},          {"513BelowAKey", 3, 510, false},
    {"100000FromTheRoot", 0, 100000, false},
};

class StoreDepthTest : public ::testing::TestWithParam<DepthCase> {
  protected:
    MemoryRegistryStore store;
};

TEST_P(StoreDepthTest, CreatingAKeyDeeperThan512LevelsFailsAndCreatesNothing) {
    const DepthCase& c = GetParam();
    HKey base = kHkeyCurrentUser;
    if (c.baseLevels > 0) {
        ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, Nested(c.baseLevels), &base), kErrorSuccess);
    }
    HKey key = kNoRoot;
    const RegResult result = store.RegCreateKey(base, Nested(c.levels), &key);
    if (c.accepted) {
        EXPECT_EQ(result, kErrorSuccess);
        store.RegCloseKey(key);
    } else {
        EXPECT_EQ(result, kErrorInvalidParameter);
        std::string name;
        EXPECT_EQ(store.RegEnumKeyEx(base, 0, &name), kErrorNoMoreItems);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, StoreDepthTest, ::testing::ValuesIn(kDepthCases));

class TextImportDepthTest : public ::testing::TestWithParam<DepthCase> {
  protected:
    TempDir dir;
    MemoryRegistryStore store;
    RecordingMessageService messages;
    ModReg modReg{store, PlainMessages(messages)};
};

TEST_P(TextImportDepthTest, AFileWithAKeyDeeperThan512LevelsChangesNothing) {
    const DepthCase& c = GetParam();
    const std::string base = "HKEY_CURRENT_USER\\" + Nested(c.baseLevels, "\\");
    HKey key;
    ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, Nested(c.baseLevels), &key), kErrorSuccess);
    ASSERT_EQ(store.RegSetValueRaw(key, "Old", kRegBinary, "x"), kErrorSuccess);
    store.RegCloseKey(key);
    ASSERT_TRUE(store.Commit().ok());
    const std::string before = store.committedText(kHkeyCurrentUser);
    const int commits = store.commitCount();

    // Every level on a line of its own, as an export of the tree would have it.
    std::string text = "\\\r\n";
    for (std::size_t level = 1; level <= c.levels; ++level) {
        text += "\\" + Nested(level) + "\r\n\"v\"= dw:1\r\n";
    }
    WriteFileBytes(dir / "import.txt", text);
    const Status status = ImportKeyFile(modReg, base, dir / "import.txt");

    const std::string deepest = base + "\\" + Nested(c.levels);
    if (c.accepted) {
        EXPECT_TRUE(status.ok()) << status.reason();
        EXPECT_TRUE(modReg.KeyExists(deepest));
    } else {
        EXPECT_FALSE(status.ok());
        EXPECT_NE(status.reason().find("deeper than the 512 levels"), std::string::npos)
            << status.reason();
        EXPECT_NE(status.reason().find("nothing changed"), std::string::npos) << status.reason();
        EXPECT_EQ(store.committedText(kHkeyCurrentUser), before);
        EXPECT_EQ(store.commitCount(), commits);
        EXPECT_FALSE(store.HasChanges());
    }
}

// The base key itself counts: it is at least one level below its root.
const DepthCase kImportCases[] = {
    {"512BelowAKeyAtTheTop", 1, 511, true},
    {"513BelowAKeyAtTheTop", 1, 512, false},
    {"512BelowADeeperKey", 3, 509, true},
    {"513BelowADeeperKey", 3, 510, false},
};

INSTANTIATE_TEST_SUITE_P(Depths, TextImportDepthTest, ::testing::ValuesIn(kImportCases));

class WineFileDepthTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(WineFileDepthTest, AUserRegWithAKeyDeeperThan512LevelsIsAClearError) {
    const DepthCase& c = GetParam();
    TempDir temp;
    const fs::path prefix = temp / "prefix";
    fs::create_directories(prefix);
    fs::create_directories(temp / "tmp");
    const std::string userReg = "WINE REGISTRY Version 2\n\n[" + Nested(c.levels, "\\\\") +
                                "] 1700000000\n#time=1d9c5a0f0000000\n\"v\"=dword:00000001\n";
    WriteFileBytes(prefix / "user.reg", userReg);
    WriteFileBytes(prefix / "system.reg", "WINE REGISTRY Version 2\n");
    WineServerProbe probe{temp / "tmp"};
    PrefixLock lock{prefix};
    WinePrefixRegistry store{prefix, probe, lock};

    HKey key = kNoRoot;
    const RegResult result = store.RegOpenKeyEx(kHkeyCurrentUser, Nested(c.levels), kKeyRead, &key);
    if (c.accepted) {
        EXPECT_EQ(result, kErrorSuccess) << store.lastLoadError();
        store.RegCloseKey(key);
    } else {
        EXPECT_EQ(result, kErrorFileNotFound);
        const std::string& reason = store.lastLoadError();
        EXPECT_NE(reason.find((prefix / "user.reg").string()), std::string::npos) << reason;
        EXPECT_NE(reason.find("deeper than the 512 levels"), std::string::npos) << reason;
    }
    EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), userReg);
}

const DepthCase kWineFileCases[] = {
    {"512", 0, 512, true},
    {"513", 0, 513, false},
    {"100000", 0, 100000, false},
};

INSTANTIATE_TEST_SUITE_P(Depths, WineFileDepthTest, ::testing::ValuesIn(kWineFileCases));

TEST(KeyDepth, ATreeOf512LevelsExports) {
    TempDir dir;
    MemoryRegistryStore store;
    RecordingMessageService messages;
    ModReg modReg{store, PlainMessages(messages)};
    HKey key;
    ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, Nested(512), &key), kErrorSuccess);
    store.RegCloseKey(key);

    ASSERT_TRUE(ExportKeyTree(modReg, "HKEY_CURRENT_USER\\K", dir / "export.txt").ok());
    std::string expected = "\\\r\n";
    for (std::size_t level = 1; level <= 511; ++level) expected += "\\" + Nested(level) + "\r\n";
    EXPECT_EQ(ReadFileBytes(dir / "export.txt"), expected);
}

// A key tree frees and deletes key trees of any depth without recursing.
TEST(KeyDepth, AHiveOfAnyDepthIsDeletedAndFreed) {
    constexpr std::size_t kLevels = 100000;
    auto tree = std::make_unique<KeyTree>();
    KeyNode* node = tree->root.get();
    for (std::size_t i = 0; i < kLevels; ++i) node = node->addSubkey("K").get();
    EXPECT_EQ(KeyDepth(*node), kLevels);

    const std::shared_ptr<KeyNode> top = tree->root->subkeys().front();
    tree->root->removeSubkey(top.get());
    EXPECT_TRUE(top->deleted);
    tree->root->addSubkey("Second")->addSubkey("K");
    tree.reset();
}

}  // namespace
}  // namespace quillet::registry
