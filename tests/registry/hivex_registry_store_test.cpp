#include "registry/hivex_registry_store.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/platform/temp_dir.h"
#include "support/registry/hive_builder.h"

namespace quillet::registry {
namespace {

using testing::HiveKey;
using testing::HiveValue;
using testing::Utf16Z;

std::string Dword(std::uint32_t number) { return std::string(reinterpret_cast<char*>(&number), 4); }

// A profile's hive and the two machine hives of one installation.
class HivexRegistryStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::WriteHive(files.currentUser,
                           {
                               {"Identities\\{K}", {{"Username", kRegSz, Utf16Z("Zo\xc3\xab")}}},
                               {"Values", kValues},
                               {"Zo\xc3\xab\\b", {}},
                               {"alpha", {}},
                               {"Beta", {}},
                           });
        testing::WriteHive(files.software, {{"Microsoft\\Windows\\CurrentVersion",
                                             {{"CommonFilesDir", kRegSz, Utf16Z("C:\\Common")}}}});
        testing::WriteHive(files.system, {
                                             {"Select", {{"Current", kRegDword, Dword(2)}}},
                                             {"ControlSet001\\Control\\ComputerName\\ComputerName",
                                              {{"ComputerName", kRegSz, Utf16Z("WRONG")}}},
                                             {"ControlSet002\\Control\\ComputerName\\ComputerName",
                                              {{"ComputerName", kRegSz, Utf16Z("OLDPC")}}},
                                         });
    }

    std::unique_ptr<HivexRegistryStore> Open() {
        auto store = HivexRegistryStore::Open(files);
        EXPECT_TRUE(store.ok()) << store.reason();
        return store ? std::move(*store) : nullptr;
    }

    const std::vector<HiveValue> kValues{
        {"", kRegSz, Utf16Z("default")},
        {"text", kRegSz, Utf16Z("h\xc3\xa9llo")},
        {"path", kRegExpandSz, Utf16Z("%SystemRoot%\\x")},
        {"bytes", kRegBinary, std::string("\x00\x01\xff", 3)},
        {"number", kRegDword, Dword(0xdeadbeef)},
        {"several", kRegMultiSz, Utf16Z("a") + Utf16Z("b") + std::string(2, '\0')},
        {"big", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)},
        {"odd type", 0x12345, "raw"},
    };
    testing::TempDir temp;
    HiveFiles files{temp / "NTUSER.DAT", temp / "software", temp / "system"};
};

TEST_F(HivexRegistryStoreTest, EveryValueComesBackWithItsTypeAndStoredBytes) {
    auto store = Open();
    HKey key;
    ASSERT_EQ(store->RegOpenKeyEx(kHkeyCurrentUser, "VALUES", kKeyRead, &key), kErrorSuccess);
    std::string name, data;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0; i < kValues.size(); ++i) {
        ASSERT_EQ(store->RegEnumValueRaw(key, i, &name, &type, &data), kErrorSuccess);
        EXPECT_EQ(name, kValues[i].name);
        EXPECT_EQ(type, kValues[i].type);
        EXPECT_EQ(data, kValues[i].data) << name;
    }
    EXPECT_EQ(store->RegEnumValueRaw(key, kValues.size(), &name, &type, &data), kErrorNoMoreItems);
    char text[16];
    std::uint32_t size = sizeof text;
    ASSERT_EQ(
        store->RegQueryValueEx(key, "TEXT", &type, reinterpret_cast<std::uint8_t*>(text), &size),
        kErrorSuccess);
    EXPECT_EQ(std::string(text, size), std::string("h\xc3\xa9llo") + '\0');
    std::int32_t defaultSize = sizeof text;
    ASSERT_EQ(store->RegQueryValue(kHkeyCurrentUser, "Values", text, &defaultSize), kErrorSuccess);
    EXPECT_STREQ(text, "default");
}

TEST_F(HivexRegistryStoreTest, KeysEnumerateSortedAndOpenWithoutRegardToCase) {
    auto store = Open();
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; store->RegEnumKeyEx(kHkeyCurrentUser, i, &name) == kErrorSuccess;
         ++i) {
        names.push_back(name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"alpha", "Beta", "Identities", "Values", "Zo\xc3\xab"}));
    HKey key;
    EXPECT_EQ(store->RegOpenKeyEx(kHkeyCurrentUser, "ZO\xc3\x8b\\B", kKeyRead, &key),
              kErrorSuccess);
    EXPECT_EQ(store->RegOpenKeyEx(kHkeyCurrentUser, "missing", kKeyRead, &key), kErrorFileNotFound);
}

TEST_F(HivexRegistryStoreTest, MachineRootHoldsSoftwareAndSystemWithTheCurrentControlSet) {
    auto store = Open();
    HKey key;
    ASSERT_EQ(store->RegOpenKeyEx(kHkeyLocalMachine,
                                  "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                                  kKeyRead, &key),
              kErrorSuccess);
    char text[16];
    std::uint32_t size = sizeof text;
    std::uint32_t type = 0;
    ASSERT_EQ(store->RegQueryValueEx(key, "ComputerName", &type,
                                     reinterpret_cast<std::uint8_t*>(text), &size),
              kErrorSuccess);
    EXPECT_STREQ(text, "OLDPC");
    EXPECT_EQ(store->RegOpenKeyEx(kHkeyLocalMachine, "software\\Microsoft\\Windows\\CurrentVersion",
                                  kKeyRead, &key),
              kErrorSuccess);
    EXPECT_EQ(store->RegOpenKeyEx(kHkeyUsers, "", kKeyRead, &key), kErrorFileNotFound);
}

TEST_F(HivexRegistryStoreTest, RefusesEveryChangeAndLeavesTheFilesAsTheyWere) {
    const std::string before = testing::ReadFileBytes(files.currentUser);
    const auto modified = std::filesystem::last_write_time(files.currentUser);
    auto store = Open();
    HKey key;
    const std::uint8_t one = 1;
    EXPECT_EQ(store->RegOpenKeyEx(kHkeyCurrentUser, "Values", kKeyWrite, &key), kErrorAccessDenied);
    EXPECT_EQ(store->RegCreateKey(kHkeyCurrentUser, "New", &key), kErrorAccessDenied);
    ASSERT_EQ(store->RegCreateKey(kHkeyCurrentUser, "Values", &key), kErrorSuccess);
    EXPECT_EQ(store->RegSetValueEx(key, "text", kRegBinary, &one, 1), kErrorAccessDenied);
    EXPECT_EQ(store->RegSetValueRaw(key, "new", kRegBinary, "x"), kErrorAccessDenied);
    EXPECT_EQ(store->RegDeleteKey(kHkeyCurrentUser, "alpha"), kErrorAccessDenied);
    EXPECT_TRUE(store->Commit().ok());
    EXPECT_FALSE(store->HasChanges());
    store.reset();
    EXPECT_EQ(testing::ReadFileBytes(files.currentUser), before);
    EXPECT_EQ(std::filesystem::last_write_time(files.currentUser), modified);
}

TEST_F(HivexRegistryStoreTest, AHiveThatCannotBeReadIsAnErrorNamingTheFile) {
    const std::string good = testing::ReadFileBytes(files.software);
    struct Case {
        const char* name;
        std::string bytes;
        ErrorKind kind;
    };
    std::string damagedHeader = good;
    damagedHeader[0] = 'x';
    const Case cases[] = {
        {"damaged header", damagedHeader, ErrorKind::kCorrupt},
        {"truncated", good.substr(0, good.size() / 3), ErrorKind::kCorrupt},
        {"empty", "", ErrorKind::kCorrupt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::WriteFileBytes(files.software, c.bytes);
        auto store = HivexRegistryStore::Open(files);
        ASSERT_FALSE(store.ok());
        EXPECT_TRUE(store.status().is(c.kind)) << store.reason();
        EXPECT_NE(store.reason().find(files.software.string()), std::string::npos);
    }
    testing::WriteFileBytes(files.software, good);
    std::filesystem::remove(files.system);
    EXPECT_TRUE(HivexRegistryStore::Open(files).status().is(ErrorKind::kNotFound));
}

}  // namespace
}  // namespace quillet::registry
