#include "registry/wine_registry_file.h"

#include <gtest/gtest.h>

#include <set>

#include "registry/key_tree.h"
#include "registry/registry_store.h"
#include "registry/utf16_bytes.h"
#include "support/platform/temp_dir.h"

namespace quillet::registry {
namespace {

using quillet::testing::ReadFileBytes;
using quillet::testing::TestDataDir;

constexpr std::uint64_t kNow = 0x1dd86ae1c8fb512ULL;

std::unique_ptr<KeyTree> Parse(std::string_view text) {
    auto tree = ParseWineRegistry(text);
    EXPECT_TRUE(tree.ok()) << tree.reason();
    return tree.ok() ? std::move(tree.value()) : std::make_unique<KeyTree>();
}

std::string TextOf(const RegValue& value) {
    std::u16string units = Utf16FromLeBytes(value.data);
    EXPECT_FALSE(units.empty());
    EXPECT_EQ(units.back(), u'\0');
    units.pop_back();
    return std::string(units.begin(), units.end());  // for ASCII comparisons only
}

TEST(WineRegistryFile, FilesWrittenByWineComeBackByteForByte) {
    for (const char* name : {"wine-user.reg", "wine-system.reg", "wine-userdef.reg"}) {
        const std::string original = ReadFileBytes(TestDataDir() / name);
        ASSERT_FALSE(original.empty()) << name;
        auto tree = Parse(original);
        EXPECT_TRUE(tree->treeOrdered) << name;
        EXPECT_EQ(SerializeWineRegistry(*tree, kNow), original) << name;
    }
}

TEST(WineRegistryFile, ReadsEveryValueFormWineWrites) {
    auto tree = Parse(ReadFileBytes(TestDataDir() / "wine-user.reg"));
    auto strings = FindKey(tree->root, "Software\\Quillet Format Samples\\Strings");
    ASSERT_TRUE(strings);
    EXPECT_EQ(TextOf(*strings->findValue("")), "the default value");
    EXPECT_EQ(TextOf(*strings->findValue("lines")), "first line\r\nsecond line\r\n");
    EXPECT_EQ(TextOf(*strings->findValue("tab")), "a\tb");
    EXPECT_EQ(TextOf(*strings->findValue("QUOTE\"AND\\BACKSLASH")), "a \"quoted\" \\path\\ value");
    EXPECT_EQ(TextOf(*strings->findValue("leading")), "  two leading, one trailing ");
    EXPECT_EQ(Utf16FromLeBytes(strings->findValue("emoji")->data),
              std::u16string(u"mail \U0001F600 done") + u'\0');
    EXPECT_EQ(Utf16FromLeBytes(strings->findValue("hexafter")->data),
              std::u16string(u"\u00e9a1") + u'\0');
    EXPECT_EQ(Utf16FromLeBytes(strings->findValue("accents")->data),
              std::u16string(u"\u00c9lodie \u2014 \u00e9t\u00e9 \u00e0 No\u00ebl") + u'\0');

    auto other = FindKey(tree->root, "software\\quillet format samples\\other types");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->findValue("allbits")->data, std::string(4, '\xff'));
    EXPECT_EQ(other->findValue("big")->type, kRegQword);
    EXPECT_EQ(other->findValue("big")->data, std::string("\xf0\xde\xbc\x9a\x78\x56\x34\x12", 8));
    EXPECT_EQ(other->findValue("emptybin")->type, kRegBinary);
    EXPECT_EQ(other->findValue("emptybin")->data, "");
    EXPECT_EQ(other->findValue("expand")->type, kRegExpandSz);
    EXPECT_EQ(other->findValue("multi")->type, kRegMultiSz);
    EXPECT_EQ(Utf16FromLeBytes(other->findValue("multi")->data),
              std::u16string(u"one\0two\0three\0\0", 15));
    EXPECT_EQ(other->findValue("none")->type, kRegNone);
    EXPECT_EQ(other->findValue("longbin")->data.size(), 300u);

    // A key that has only subkeys is not written, yet exists.
    EXPECT_TRUE(FindKey(tree->root, "Software\\Quillet Format Samples\\Names\\alpha2\\only"));
    EXPECT_TRUE(
        FindKey(tree->root, "Software\\Quillet Format Samples\\Names\\Key [with] brackets"));
    auto names = FindKey(tree->root, "Software\\Quillet Format Samples\\Names");
    std::vector<std::string> order;
    for (const auto& child : names->subkeys()) order.push_back(child->name);
    EXPECT_EQ(order, (std::vector<std::string>{"Alpha", "alpha2", "Empty Key",
                                               "Key [with] brackets", "zeta", "\xc3\x89lan"}));
}

std::multiset<std::string> LinesWithoutKeyTimes(const std::string& text) {
    std::multiset<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        if (line.rfind("[", 0) != 0 && line.rfind("#time=", 0) != 0) lines.insert(line);
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

void ForgetSources(KeyNode& node) {
    for (RegValue& value : node.values) value.sourceText.clear();
    node.changed = true;
    for (const auto& child : node.subkeys()) ForgetSources(*child);
}

TEST(WineRegistryFile, EveryValueIsWrittenAsWineWritesIt) {
    // Writing every key and value anew must give Wine's own lines back, but for the key lines'
    // times: this pins the value writer to Wine's on every type, escape and continuation.
    for (const char* name : {"wine-user.reg", "wine-system.reg"}) {
        const std::string original = ReadFileBytes(TestDataDir() / name);
        auto tree = Parse(original);
        ForgetSources(*tree->root);
        EXPECT_EQ(LinesWithoutKeyTimes(SerializeWineRegistry(*tree, kNow)),
                  LinesWithoutKeyTimes(original))
            << name;
    }
}

TEST(WineRegistryFile, NewKeysGoWhereWineWouldPutThem) {
    auto tree = Parse(
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
        "\n#arch=win64\n\n[A] 1\n#time=1\n\"x\"=dword:00000001\n\n[C] 1\n#time=1\n@=\"c\"\n");
    auto b = tree->root->addSubkey("B");
    b->setValue("name", kRegSz, Utf16LeBytes(std::u16string(u"\u00e9\u20ac\0", 3)));
    tree->root->addSubkey("a")->addSubkey("deeper")->addSubkey("deepest");
    EXPECT_EQ(SerializeWineRegistry(*tree, TicksFromUnixSeconds(1704067200)),
              "WINE REGISTRY Version 2\n;; All keys relative to "
              "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n"
              "\n[A] 1\n#time=1\n\"x\"=dword:00000001\n"
              "\n[A\\\\deeper\\\\deepest] 1704067200\n#time=1da3c457689c000\n"
              "\n[B] 1704067200\n#time=1da3c457689c000\n\"name\"=\"\\xe9\\x20ac\"\n"
              "\n[C] 1\n#time=1\n@=\"c\"\n");
}

TEST(WineRegistryFile, LongBinaryDataIsContinuedAsWineDoes) {
    auto tree = Parse("WINE REGISTRY Version 2\n");
    auto key = tree->root->addSubkey("K");
    std::string bytes;
    for (int i = 0; i < 40; ++i) bytes += static_cast<char>(i);
    key->setValue("a long name", kRegBinary, bytes);
    const std::string text = SerializeWineRegistry(*tree, TicksFromUnixSeconds(0));
    EXPECT_NE(text.find("\"a long name\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,"
                        "12,13,\\\n  14,"),
              std::string::npos)
        << text;
    // And it reads back to the same bytes.
    auto again = Parse(text);
    EXPECT_EQ(FindKey(again->root, "K")->findValue("A LONG NAME")->data, bytes);
}

TEST(WineRegistryFile, EscapesRoundTripThroughTheWriter) {
    auto tree = Parse("WINE REGISTRY Version 2\n");
    auto key = tree->root->addSubkey("Odd [name] \\");
    std::u16string text =
        u"q\"b\\ \a\b\t\n\v\f\r\x1b \x01"
        u"7 \x02x \u00e9"
        u"F \U0001F600";
    text += u'\0';
    key->setValue("n\"ame", kRegSz, Utf16LeBytes(text));
    key->setValue("", kRegSz, std::string());  // zero-length: not a terminated text
    const std::string written = SerializeWineRegistry(*tree, kNow);
    auto again = Parse(written);
    ASSERT_EQ(again->root->subkeys().size(), 1u);
    const auto& node = again->root->subkeys()[0];
    EXPECT_EQ(Utf16FromLeBytes(node->findValue("n\"ame")->data), text);
    EXPECT_EQ(node->findValue("")->type, kRegSz);
    EXPECT_EQ(node->findValue("")->data, "");
    EXPECT_NE(written.find("\\001"
                           "7 \\2x \\x00e9F \\xd83d\\xde00"),
              std::string::npos)
        << written;
}

TEST(WineRegistryFile, TypesAboveAByteAreReadAndWrittenWithTheirWholeNumber) {
    const std::string values =
        "\"a\"=hex(100):01,02\n"
        "\"b\"=hex(ffffffff):\n"
        "\"c\"=hex(ffff0000):ff\n";
    const std::string notValues = "\"e\"=hex(100000000):01\n\"f\"=str(1ffffffff):\"y\"\n";
    auto tree = Parse("WINE REGISTRY Version 2\n\n[K] 5\n" + values + "\"d\"=str(10000):\"x\"\n" +
                      notValues);
    auto key = FindKey(tree->root, "K");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->findValue("a")->type, 0x100u);
    EXPECT_EQ(key->findValue("a")->data, "\x01\x02");
    EXPECT_EQ(key->findValue("b")->type, 0xffffffffu);
    EXPECT_EQ(key->findValue("c")->type, 0xffff0000u);
    EXPECT_EQ(key->findValue("d")->type, 0x10000u);
    EXPECT_EQ(key->findValue("d")->data, std::string("x\0\0\0", 4));
    // A type past 32 bits is no value: its line is kept as it is.
    EXPECT_EQ(key->findValue("e"), nullptr);
    EXPECT_EQ(key->findValue("f"), nullptr);

    ForgetSources(*tree->root);
    const std::string written = SerializeWineRegistry(*tree, kNow);
    // Only the text types are written as text, as Wine does.
    EXPECT_NE(written.find(values + "\"d\"=hex(10000):78,00,00,00\n"), std::string::npos)
        << written;
    EXPECT_NE(written.find(notValues), std::string::npos) << written;
}

TEST(WineRegistryFile, KeepsLinesItDoesNotInterpret) {
    const std::string text =
        "WINE REGISTRY Version 2\n\n[K] 5\n#time=1\n#class=\"c\"\n#link\n;comment\n"
        "\"bad\"=hex:zz\n\"v\"=\"1\"\n\n\n[L] 5\n\"w\"=dword:2\n\n";
    auto tree = Parse(text);
    EXPECT_EQ(SerializeWineRegistry(*tree, kNow), text);
    auto k = FindKey(tree->root, "K");
    k->setValue("v", kRegSz, Utf16LeBytes(std::u16string(u"2") + u'\0'));
    const std::string changed = SerializeWineRegistry(*tree, TicksFromUnixSeconds(7));
    EXPECT_NE(changed.find("[K] 7\n#time=19db1ded96a9d80\n#class=\"c\"\n#link\n;comment\n"
                           "\"bad\"=hex:zz\n\"v\"=\"2\"\n\n\n[L] 5\n"),
              std::string::npos)
        << changed;
}

}  // namespace
}  // namespace quillet::registry
