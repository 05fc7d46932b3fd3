#include "registry/registry_name.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "registry/utf16_bytes.h"
#include "registry/wine_prefix_registry.h"
#include "support/platform/temp_dir.h"

namespace quillet::registry {
namespace {

namespace fs = std::filesystem;
using quillet::testing::ReadFileBytes;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;

// Two names of one key that differ in UTF-16 but would look alike in plain UTF-8 or without a
// final zero, written as Wine writes them between quotes and in key lines.
struct NamePair {
    const char* label;
    const char* written;
    const char* other;
};

void PrintTo(const NamePair& pair, std::ostream* out) { *out << pair.label; }

constexpr NamePair kNamePairs[] = {
    {"LoneHigh", "a\\xd800", "a\\xfffd"},
    {"LoneLow", "\\xdc00b", "\\xfffdb"},
    {"ReversedPair", "\\xde00\\xd83d", "\\xfffd\\xfffd"},
    {"LoneHighBeforeHexDigit", "\\xd8001", "\\xd800"},
    {"TrailingZero", "a\\0", "a"},
    {"EmbeddedZero", "a\\0b", "ab"},
    {"ProperPair", "\\xd83d\\xde00", "\\xfffd"},
};

class NameRoundTripTest : public ::testing::TestWithParam<NamePair> {
  protected:
    NameRoundTripTest() {
        fs::create_directories(prefix);
        fs::create_directories(temp / "tmp");
        const NamePair& pair = GetParam();
        original = std::string("WINE REGISTRY Version 2\n") + "\n[Names] 1700000000\n" + "\"" +
                   pair.written + "\"=\"one\"\n" + "\"" + pair.other + "\"=\"two\"\n" +
                   "\n[Names\\\\" + pair.written + "] 1700000000\n\"v\"=\"one\"\n" +
                   "\n[Names\\\\" + pair.other + "] 1700000000\n\"v\"=\"two\"\n";
        WriteFileBytes(prefix / "user.reg", original);
        WriteFileBytes(prefix / "system.reg", "WINE REGISTRY Version 2\n");
    }

    // The text of the value `name` of `key`, read through its name as listed.
    static std::string TextOf(RegistryStore& store, HKey key, const std::string& name) {
        std::uint32_t type = 0;
        char data[16] = {};
        std::uint32_t size = sizeof data;
        EXPECT_EQ(
            store.RegQueryValueEx(key, name, &type, reinterpret_cast<std::uint8_t*>(data), &size),
            kErrorSuccess);
        return std::string(data);
    }

    // Sets every value of Names and of its subkeys again (same type and data), under the name it
    // is listed with, so that each name line and key line is written anew; returns the names as
    // listed.
    static std::vector<std::string> RewriteAll(RegistryStore& store) {
        std::vector<std::string> names;
        HKey namesKey;
        EXPECT_EQ(store.RegOpenKeyEx(kHkeyCurrentUser, "Names", kKeyWrite, &namesKey), 0);
        std::string name, data;
        std::uint32_t type = 0;
        for (std::uint32_t i = 0; store.RegEnumValueRaw(namesKey, i, &name, &type, &data) == 0;
             ++i) {
            EXPECT_EQ(store.RegSetValueRaw(namesKey, name, type, data), 0);
            names.push_back(name);
        }
        for (std::uint32_t i = 0; store.RegEnumKeyEx(namesKey, i, &name) == 0; ++i) {
            HKey subkey;
            EXPECT_EQ(store.RegOpenKeyEx(namesKey, name, kKeyWrite, &subkey), 0);
            // The subkey found by its name is the one whose "v" matches the value of that name.
            EXPECT_EQ(TextOf(store, subkey, "v"), TextOf(store, namesKey, name)) << i;
            std::string valueName;
            EXPECT_EQ(store.RegEnumValueRaw(subkey, 0, &valueName, &type, &data), 0);
            EXPECT_EQ(store.RegSetValueRaw(subkey, valueName, type, data), 0);
            store.RegCloseKey(subkey);
            names.push_back(name);
        }
        store.RegCloseKey(namesKey);
        return names;
    }

    TempDir temp;
    fs::path prefix = temp / "prefix";
    std::string original;
    WineServerProbe probe{temp / "tmp"};
    PrefixLock lock{prefix};
    WinePrefixRegistry store{prefix, probe, lock, [] { return std::uint64_t{0x1dd86ae1c8fb512}; }};
};

TEST_P(NameRoundTripTest, BothNamesAreKeptAndWrittenBackUnitForUnit) {
    const NamePair& pair = GetParam();
    const std::vector<std::string> names = RewriteAll(store);
    ASSERT_EQ(names.size(), 4u) << "two values and two subkeys";
    EXPECT_NE(names[0], names[1]);
    EXPECT_NE(names[2], names[3]);
    ASSERT_TRUE(store.Commit().ok());

    const std::string written = ReadFileBytes(prefix / "user.reg");
    EXPECT_NE(written.find(std::string("\n\"") + pair.written + "\"=\"one\"\n"), std::string::npos)
        << written;
    EXPECT_NE(written.find(std::string("\n\"") + pair.other + "\"=\"two\"\n"), std::string::npos)
        << written;
    EXPECT_NE(written.find(std::string("\n[Names\\\\") + pair.written + "] "), std::string::npos)
        << written;
    EXPECT_NE(written.find(std::string("\n[Names\\\\") + pair.other + "] "), std::string::npos)
        << written;

    // Read again from the file: the same names, each with its own value.
    WinePrefixRegistry again{prefix, probe, lock};
    EXPECT_EQ(RewriteAll(again), names);
}

INSTANTIATE_TEST_SUITE_P(Names, NameRoundTripTest, ::testing::ValuesIn(kNamePairs),
                         [](const ::testing::TestParamInfo<NamePair>& info) {
                             return info.param.label;
                         });

TEST(RegistryName, LoneSurrogatesCountCompareAndFoldAsUtf16Units) {
    const std::string loneHigh = NameFromUtf16(u"A\xd800");
    EXPECT_EQ(loneHigh, "A\xed\xa0\x80");
    EXPECT_EQ(NameToUtf16(loneHigh), u"A\xd800");
    EXPECT_TRUE(HasLoneSurrogate(loneHigh));
    EXPECT_FALSE(HasLoneSurrogate(NameFromUtf16(u"A\xd83d\xde00")));
    EXPECT_EQ(NameFromUtf16(u"A\xd83d\xde00"), "A\xf0\x9f\x98\x80");
    EXPECT_EQ(FoldName(loneHigh), u"a\xd800");
    EXPECT_TRUE(NamesEqual(loneHigh, "a\xed\xa0\x80"));
    EXPECT_FALSE(NamesEqual(loneHigh, NameFromUtf16(u"a\xdc00")));
    EXPECT_FALSE(NamesEqual(loneHigh, "a\xef\xbf\xbd"));  // U+FFFD
    EXPECT_EQ(CharCount(loneHigh), 2u);
    EXPECT_EQ(FirstChars(loneHigh + "b", 2), loneHigh);
    EXPECT_EQ(FirstChars(loneHigh, 1), "A");
}

}  // namespace
}  // namespace quillet::registry
