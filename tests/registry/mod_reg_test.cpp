#include "registry/mod_reg.h"

#include <gtest/gtest.h>

#include "support/platform/recording_message_service.h"
#include "support/registry/memory_registry_store.h"

namespace quillet::registry {
namespace {

using quillet::testing::RecordingMessageService;

class ModRegTest : public ::testing::Test {
  protected:
    void setString(const std::string& subkey, const std::string& name, const std::string& text,
                   std::uint32_t type = kRegSz) {
        HKey key;
        ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, subkey, &key), kErrorSuccess);
        ASSERT_EQ(store.RegSetValueEx(key, name, type,
                                      reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                      static_cast<std::uint32_t>(text.size() + 1)),
                  kErrorSuccess);
        store.RegCloseKey(key);
    }
    void setDword(const std::string& subkey, const std::string& name, std::uint32_t number) {
        HKey key;
        ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, subkey, &key), kErrorSuccess);
        ASSERT_EQ(store.RegSetValueEx(key, name, kRegDword,
                                      reinterpret_cast<const std::uint8_t*>(&number), 4),
                  kErrorSuccess);
        store.RegCloseKey(key);
    }

    MemoryRegistryStore store;
    RecordingMessageService messages;
    ModReg modReg{store, PlainMessages(messages)};
};

TEST_F(ModRegTest, SplitKeyPathSeparatesRootAndSubkeyPath) {
    struct Case {
        std::string path;
        HKey root;
        std::string rest;
    };
    const Case cases[] = {
        {"HKEY_CURRENT_USER", kHkeyCurrentUser, ""},
        {"HKEY_CURRENT_USER\\Identities", kHkeyCurrentUser, "Identities"},
        {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft", kHkeyLocalMachine, "SOFTWARE\\Microsoft"},
        {"HKEY_DYN_DATA\\x", kHkeyDynData, "x"},
        {"HKEY_CLASSES_ROOT", kHkeyClassesRoot, ""},
        // Begins with HKEY_ but names no root: no root, no message.
        {"HKEY_NOWHERE\\x", kNoRoot, "HKEY_NOWHERE\\x"},
        {"HKEY_current_user\\x", kNoRoot, "HKEY_current_user\\x"},
    };
    for (const Case& c : cases) {
        std::string path = c.path;
        EXPECT_EQ(modReg.SplitKeyPath(path), c.root) << c.path;
        EXPECT_EQ(path, c.rest) << c.path;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModRegTest, MalformedKeyPathsShowIncorrectFormatAndFail) {
    for (const std::string bad : {"hkey_current_user\\Software", "",
                                  "HKEY_CURRENT_USER\\Software\\", "Software\\Microsoft"}) {
        messages.shown.clear();
        std::string path = bad;
        EXPECT_EQ(modReg.SplitKeyPath(path), kNoRoot);
        EXPECT_EQ(path, bad);
        ASSERT_EQ(messages.shown.size(), 1u) << bad;
        EXPECT_EQ(messages.shown[0].text, "Incorrect Format:\n\n" + bad);
        EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
    }
    messages.shown.clear();
    EXPECT_FALSE(modReg.KeyExists("hkey_current_user\\Software"));
    EXPECT_NE(modReg.CreateKey("HKEY_CURRENT_USER\\Software\\"), kErrorSuccess);
    EXPECT_TRUE(modReg.EnumSubkeys("").empty());
    EXPECT_EQ(messages.shown.size(), 3u);
}

TEST_F(ModRegTest, CreateKeyMakesEveryMissingKeyAndCommitsOnce) {
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\A"));
    EXPECT_EQ(modReg.CreateKey("HKEY_CURRENT_USER\\A\\B\\C"), kErrorSuccess);
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\A"));
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\a\\b\\c"));
    EXPECT_EQ(store.commitCount(), 1);
    EXPECT_EQ(store.openHandleCount(), 0u);
    EXPECT_NE(store.committedText(kHkeyCurrentUser).find("[A\\\\B\\\\C]"), std::string::npos);
    EXPECT_NE(modReg.CreateKey("HKEY_USERS\\X"), kErrorSuccess);
}

TEST_F(ModRegTest, FailedCommitLeavesTheRegistryAsItWas) {
    store.failNextCommit("disk full");
    EXPECT_NE(modReg.CreateKey("HKEY_CURRENT_USER\\A"), kErrorSuccess);
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\A"));
    // A batch gives the store's reason.
    store.failNextCommit("disk full");
    ModReg::Batch batch(modReg);
    EXPECT_EQ(modReg.CreateKey("HKEY_CURRENT_USER\\A"), kErrorSuccess);
    EXPECT_EQ(batch.commit().reason(), "disk full");
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\A"));
}

TEST_F(ModRegTest, DeleteKeyTreeRemovesDeepestKeysFirst) {
    setDword("Root\\One\\Two\\Three", "x", 1);
    setDword("Root\\One\\Side", "y", 2);
    setDword("Keep", "z", 3);
    modReg.DeleteKeyTree("HKEY_CURRENT_USER\\Root\\One");
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\Root\\One"));
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\Root"));
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\Keep"));
    // DeleteKey alone refuses a key that still has subkeys.
    setDword("Root\\P\\Q", "x", 1);
    modReg.DeleteKey("HKEY_CURRENT_USER\\Root\\P");
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\Root\\P\\Q"));
    modReg.DeleteKey("HKEY_CURRENT_USER\\Root\\P\\Q");
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\Root\\P\\Q"));
}

TEST_F(ModRegTest, EnumSubkeysIsSortedWithoutRegardToCaseAndEmptyForMissingKeys) {
    for (const char* name : {"zeta", "Alpha", "beta", "_under", "\xc3\x89lan"}) {
        setDword(std::string("List\\") + name, "v", 1);
    }
    const SubkeyList list = modReg.EnumSubkeys("HKEY_CURRENT_USER\\List");
    std::vector<std::string> names(list.begin(), list.end());
    EXPECT_EQ(names, (std::vector<std::string>{"_under", "Alpha", "beta", "zeta", "\xc3\x89lan"}));
    EXPECT_TRUE(list.contains("ALPHA"));
    EXPECT_TRUE(modReg.EnumSubkeys("HKEY_CURRENT_USER\\Missing").empty());
}

TEST_F(ModRegTest, EnumValuesGivesTextNumbersAndBytesInStoredOrder) {
    setString("V", "b-text", "hello");
    setDword("V", "a-number", 0xFFFFFFFF);
    setString("V", "expand", "%UserProfile%\\x", kRegExpandSz);
    setString("V", "long", std::string(5000, 'L'));
    HKey key;
    ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, "V", &key), kErrorSuccess);
    ASSERT_EQ(store.RegSetValueRaw(key, "bin", kRegBinary, std::string("\x01\x00\xff", 3)),
              kErrorSuccess);
    store.RegCloseKey(key);

    const ValueList values = modReg.EnumValues("HKEY_CURRENT_USER\\V");
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[0].first, "b-text");
    EXPECT_EQ(*values.findText("B-TEXT"), "hello");
    EXPECT_EQ(std::get<std::int32_t>(*values.find("a-number")), -1);
    EXPECT_EQ(*values.findText("expand"), "%UserProfile%\\x");
    // Longer than the first 4096-byte buffer: read again with the size asked for.
    EXPECT_EQ(*values.findText("long"), std::string(5000, 'L'));
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(*values.find("bin")),
              (std::vector<std::uint8_t>{1, 0, 255}));
    EXPECT_TRUE(modReg.EnumValues("HKEY_CURRENT_USER\\Missing").empty());
}

TEST_F(ModRegTest, ReadStringValueDropsLeadingSpacesKeepsTrailingOnesAndSaysError) {
    setString("S", "padded", "  text ");
    setString("S", "empty", "");
    setString("S", "toolong", std::string(255, 'x'));
    setString("S", "fits", std::string(254, 'x'));
    EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\S", "padded"), "text ");
    EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\S", "empty"), "");
    EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\S", "toolong"), "Error");
    EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\S", "fits"), std::string(254, 'x'));
    EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\S", "missing"), "Error");
    EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\Nope", "padded"), "Error");
}

std::string Repeat(std::string_view text, int times, std::string prefix = "") {
    for (int i = 0; i < times; ++i) prefix += text;
    return prefix;
}

TEST_F(ModRegTest, ReadStringValueLimitCountsCharactersNotBytes) {
    const std::string e = "\xc3\xa9";             // 2 bytes, 1 character
    const std::string grin = "\xf0\x9f\x98\x80";  // 4 bytes, 2 characters (a surrogate pair)
    struct Case {
        std::string text;
        bool fits;  // at most 254 characters and the terminating zero
    };
    const Case cases[] = {
        {Repeat(e, 254), true},
        {Repeat(e, 255), false},
        {Repeat(grin, 127), true},
        {Repeat(grin, 127, "x"), false},
    };
    for (const Case& c : cases) {
        setString("S", "v", c.text);
        EXPECT_EQ(modReg.ReadStringValue("HKEY_CURRENT_USER\\S", "v"), c.fits ? c.text : "Error")
            << c.text.size() << " bytes";
    }
}

TEST_F(ModRegTest, ReadDefaultValueReadsTheUnnamedValue) {
    setString("WAB\\WAB4\\Wab File Name", "", "C:\\users\\me\\a.wab");
    setDword("NoDefault", "other", 1);
    std::string value = "unchanged";
    EXPECT_TRUE(modReg.ReadDefaultValue("HKEY_CURRENT_USER\\WAB\\WAB4\\Wab File Name", value));
    EXPECT_EQ(value, "C:\\users\\me\\a.wab");
    EXPECT_TRUE(modReg.ReadDefaultValue("HKEY_CURRENT_USER\\NoDefault", value));
    EXPECT_EQ(value, "");
    value = "unchanged";
    EXPECT_FALSE(modReg.ReadDefaultValue("HKEY_CURRENT_USER\\Missing", value));
    EXPECT_FALSE(modReg.ReadDefaultValue("HKEY_USERS\\x", value));
    EXPECT_EQ(value, "unchanged");
}

TEST_F(ModRegTest, NonAsciiNamesAndTextSurviveTheTextCalls) {
    setString("Identities\\{1}", "Username", "Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m \xf0\x9f\x98\x80");
    EXPECT_EQ(*modReg.EnumValues("HKEY_CURRENT_USER\\Identities\\{1}").findText("username"),
              "Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m \xf0\x9f\x98\x80");
    ASSERT_TRUE(store.Commit().ok());
    EXPECT_NE(store.committedText(kHkeyCurrentUser)
                  .find("\"Username\"=\"Zo\\xeb \\xc5ngstr\\xf6m \\xd83d\\xde00\""),
              std::string::npos);
}

}  // namespace
}  // namespace quillet::registry
