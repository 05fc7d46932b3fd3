#include "registry/registry_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "platform/text_encoding.h"
#include "registry/utf16_bytes.h"
#include "support/platform/recording_message_service.h"
#include "support/platform/temp_dir.h"
#include "support/registry/memory_registry_store.h"

namespace quillet::registry {
namespace {

using quillet::testing::ReadFileBytes;
using quillet::testing::RecordingMessageService;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;

class RegistryTextTest : public ::testing::Test {
  public:
    static std::string Text(std::u16string_view text) {
        std::u16string units(text);
        units += u'\0';
        return Utf16LeBytes(units);
    }
    static std::string Dword(std::uint32_t n) {
        return std::string(reinterpret_cast<char*>(&n), 4);
    }

  protected:
    void set(const std::string& subkey, const std::string& name, std::uint32_t type,
             const std::string& stored) {
        HKey key;
        ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, subkey, &key), kErrorSuccess);
        ASSERT_EQ(store.RegSetValueRaw(key, name, type, stored), kErrorSuccess);
        store.RegCloseKey(key);
    }
    // The worked example: a key with five values of the four plain types and three subkeys.
    void makeExample(const std::string& at) {
        set(at, "", kRegSz, Text(u"main"));
        set(at, "Mode", kRegDword, Dword(5));
        set(at, "Flags", kRegDword, Dword(0xFFFFFFFF));
        set(at, "Blob", kRegBinary, std::string("\x01\x00\xff", 3));
        set(at, "Path", kRegExpandSz, Text(u"%UserProfile%\\Mail"));
        set(at + "\\Colors", "Back", kRegSz, Text(u"white"));
        HKey key;
        ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, at + "\\Colors\\Dark", &key), 0);
        store.RegCloseKey(key);
        set(at + "\\Fonts", "Size", kRegDword, Dword(12));
    }

    std::string exportText(const std::string& keyPath) {
        const auto file = dir / "export.txt";
        EXPECT_TRUE(ExportKeyTree(modReg, keyPath, file).ok());
        return ReadFileBytes(file);
    }

    Status importText(const std::string& base, const std::string& text) {
        const auto file = dir / "import.txt";
        WriteFileBytes(file, text);
        return ImportKeyFile(modReg, base, file);
    }

    TempDir dir;
    MemoryRegistryStore store;
    RecordingMessageService messages;
    ModReg modReg{store, PlainMessages(messages)};
};

constexpr char kExample[] =
    "\\\r\n"
    "\"\"= sz:main\r\n"
    "\"Mode\"= dw:5\r\n"
    "\"Flags\"= dw:-1\r\n"
    "\"Blob\"=bin:1,0,255\r\n"
    "\"Path\"=esz:%UserProfile%\\Mail\r\n"
    "\\Colors\r\n"
    "\"Back\"= sz:white\r\n"
    "\\Colors\\Dark\r\n"
    "\\Fonts\r\n"
    "\"Size\"= dw:12\r\n";

TEST_F(RegistryTextTest, WorkedExampleExportsToTheByteAndImportsElsewhere) {
    makeExample("Software\\Source");
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Software\\Source"), kExample);

    set("Software\\Example\\Stale\\Deep", "old", kRegSz, Text(u"gone"));
    set("Software\\Example", "old", kRegSz, Text(u"gone"));
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Software\\Example", kExample).ok());
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\Software\\Example\\Stale"));
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Software\\Example"), kExample);
    EXPECT_EQ(store.commitCount(), 1);
}

TEST_F(RegistryTextTest, EveryValueTypeSurvivesExportImportExport) {
    const std::string signature = "Best regards,\r\nJo\r\n\\\\server\\share\r\n";
    set("Src", "sig", kRegSz, Text(u"Best regards,\r\nJo\r\n\\\\server\\share\r\n"));
    set("Src", "lonelf", kRegExpandSz, Text(u"%UserProfile%\nline"));
    set("Src", "multi", kRegMultiSz, Utf16LeBytes(std::u16string(u"one\0two\0\0", 9)));
    set("Src", "qword", kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    set("Src", "none", kRegNone, std::string("\x00\x00", 2));
    set("Src", "emptybin", kRegBinary, "");
    set("Src", "shortdword", kRegDword, std::string("\x07", 1));
    set("Src", "unterminated", kRegSz, Utf16LeBytes(u"abc"));
    set("Src", "emoji \xf0\x9f\x98\x80 name", kRegSz, Text(u"\u00e9t\u00e9 \U0001F600"));
    set("Src", "quote\"name", kRegSz, Text(u"  spaced  "));
    set("Src\\Sub", "n", kRegDword, Dword(0x80000000));

    const std::string first = exportText("HKEY_CURRENT_USER\\Src");
    EXPECT_NE(
        first.find("\"sig\"=xsz:Best regards,\\r\\nJo\\r\\n\\\\\\\\server\\\\share\\r\\n\r\n"),
        std::string::npos)
        << first;
    EXPECT_NE(first.find("\"multi\"=r07:111,0,110,0,101,0,0,0,116,0,119,0,111,0,0,0,0,0\r\n"),
              std::string::npos);
    EXPECT_NE(first.find("\"n\"= dw:-2147483648\r\n"), std::string::npos);
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Dst\\Below", first).ok());
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Dst\\Below"), first);

    HKey key;
    ASSERT_EQ(store.RegOpenKeyEx(kHkeyCurrentUser, "Dst\\Below", kKeyRead, &key), 0);
    std::uint8_t buffer[128];
    std::uint32_t size = sizeof buffer;
    std::uint32_t type = 0;
    ASSERT_EQ(store.RegQueryValueEx(key, "sig", &type, buffer, &size), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size - 1), signature);
    std::string name, data;
    for (std::uint32_t i = 0; store.RegEnumValueRaw(key, i, &name, &type, &data) == 0; ++i) {
        if (name == "multi") {
            EXPECT_EQ(type, kRegMultiSz);
            EXPECT_EQ(data, Utf16LeBytes(std::u16string(u"one\0two\0\0", 9)));
        } else if (name == "unterminated") {
            EXPECT_EQ(data, Utf16LeBytes(u"abc"));
        }
    }
    store.RegCloseKey(key);
}

std::string Repeat(std::string_view text, int times, std::string prefix = "") {
    for (int i = 0; i < times; ++i) prefix += text;
    return prefix;
}

TEST_F(RegistryTextTest, LongestNonAsciiKeyNamesSurviveAReplacingRoundTrip) {
    // Key names of 255 characters, far longer than 260 bytes in UTF-8.
    const std::string accented = Repeat("\xc3\xa9", 255);
    const std::string emoji = Repeat("\xf0\x9f\x98\x80", 127, "x");  // 509 bytes
    set("Src", "v", kRegSz, Text(u"\u00fcber"));
    set("Src\\" + accented, "name", kRegSz, Text(u"Zo\u00eb"));
    set("Src\\" + accented + "\\Below", "deep", kRegDword, Dword(1));
    set("Src\\" + emoji + "\\" + accented, "text", kRegSz, Text(u"\U0001F600 \u00e9t\u00e9"));
    const std::string stale = Repeat("\xc3\xb6", 255);
    set("Dst\\" + stale + "\\Old", "old", kRegSz, Text(u"gone"));

    const std::string text = exportText("HKEY_CURRENT_USER\\Src");
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_NE(text.find("\r\n\\" + accented + "\\Below\r\n\"deep\"= dw:1\r\n"), std::string::npos);
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Dst", text).ok());
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Dst"), text);
    EXPECT_EQ(
        *modReg.EnumValues("HKEY_CURRENT_USER\\Dst\\" + emoji + "\\" + accented).findText("text"),
        "\xf0\x9f\x98\x80 \xc3\xa9t\xc3\xa9");
    EXPECT_FALSE(modReg.KeyExists("HKEY_CURRENT_USER\\Dst\\" + stale));
    EXPECT_EQ(modReg.EnumSubkeys("HKEY_CURRENT_USER\\Dst").size(), 2u);
}

struct LineBreakName {
    const char* label;
    bool keyName;  // else a value name
    const char* lineBreak;
    const char* shown;  // as the reason writes it
};

void PrintTo(const LineBreakName& name, std::ostream* out) { *out << name.label; }

class LineBreakNameTest : public RegistryTextTest,
                          public ::testing::WithParamInterface<LineBreakName> {};

TEST_P(LineBreakNameTest, ExportIsRefusedWithTheReasonAndLeavesNoFile) {
    const LineBreakName& c = GetParam();
    const std::string name = std::string("first") + c.lineBreak + "\"= sz:injected";
    set("Src", "plain", kRegSz, Text(u"kept"));
    set(c.keyName ? "Src\\Sub\\" + name : "Src\\Sub", c.keyName ? "v" : name, kRegSz, Text(u"x"));
    const auto file = dir / "export.txt";
    WriteFileBytes(file, "an older export");

    const Status status = ExportKeyTree(modReg, "HKEY_CURRENT_USER\\Src", file);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(
        status.reason(),
        std::string("cannot export HKEY_CURRENT_USER\\Src\\Sub: the ") +
            (c.keyName ? "key" : "value") + " name \"first" + c.shown +
            "\"= sz:injected\" holds a line break, which the registry text form cannot carry");
    EXPECT_FALSE(std::filesystem::exists(file));
}

INSTANTIATE_TEST_SUITE_P(Names, LineBreakNameTest,
                         ::testing::Values(LineBreakName{"KeyLf", true, "\n", "\\n"},
                                           LineBreakName{"KeyCr", true, "\r", "\\r"},
                                           LineBreakName{"KeyCrLf", true, "\r\n", "\\r\\n"},
                                           LineBreakName{"ValueLf", false, "\n", "\\n"},
                                           LineBreakName{"ValueCr", false, "\r", "\\r"},
                                           LineBreakName{"ValueCrLf", false, "\r\n", "\\r\\n"}),
                         [](const ::testing::TestParamInfo<LineBreakName>& info) {
                             return info.param.label;
                         });

// A value of each type, and the line the export writes for it.
struct TypedValue {
    const char* label;
    std::uint32_t type;
    std::string stored;
    const char* line;
};

void PrintTo(const TypedValue& value, std::ostream* out) { *out << value.label; }

class ValueTypeTest : public RegistryTextTest, public ::testing::WithParamInterface<TypedValue> {};

TEST_P(ValueTypeTest, ExportWritesTheValueAndImportGivesItBackAsStored) {
    const TypedValue& c = GetParam();
    set("Src", "v", c.type, c.stored);
    const std::string text = exportText("HKEY_CURRENT_USER\\Src");
    EXPECT_EQ(text, std::string("\\\r\n") + c.line + "\r\n");

    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Dst", text).ok());
    HKey key;
    ASSERT_EQ(store.RegOpenKeyEx(kHkeyCurrentUser, "Dst", kKeyRead, &key), 0);
    std::string name, data;
    std::uint32_t type = 0;
    ASSERT_EQ(store.RegEnumValueRaw(key, 0, &name, &type, &data), 0);
    EXPECT_EQ(name, "v");
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, c.stored);
    EXPECT_EQ(store.RegEnumValueRaw(key, 1, &name, &type, &data), kErrorNoMoreItems);
    store.RegCloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(
    Types, ValueTypeTest,
    ::testing::Values(
        TypedValue{"None", 0, std::string("\0\1", 2), "\"v\"=r00:0,1"},
        TypedValue{"Text", 1, RegistryTextTest::Text(u"text"), "\"v\"= sz:text"},
        TypedValue{"Expandable", 2, RegistryTextTest::Text(u"%x%"), "\"v\"=esz:%x%"},
        TypedValue{"Binary", 3, "\x01\xff", "\"v\"=bin:1,255"},
        TypedValue{"Number", 4, RegistryTextTest::Dword(7), "\"v\"= dw:7"},
        TypedValue{"BigEndian", 5, std::string("\0\0\0\7", 4), "\"v\"=r05:0,0,0,7"},
        TypedValue{"Link", 6, Utf16LeBytes(u"\\R"), "\"v\"=r06:92,0,82,0"},
        TypedValue{"Multi", 7, Utf16LeBytes(std::u16string(u"a\0\0", 3)), "\"v\"=r07:97,0,0,0,0,0"},
        TypedValue{"ResourceList", 8, "\x01", "\"v\"=r08:1"},
        TypedValue{"ResourceDescriptor", 9, "", "\"v\"=r09:"},
        TypedValue{"ResourceRequirements", 0xa, "\x02", "\"v\"=r0a:2"},
        TypedValue{"Qword", 0xb, std::string("\1\0\0\0\0\0\0\x80", 8),
                   "\"v\"=r0b:1,0,0,0,0,0,0,128"},
        TypedValue{"LastOfOneByte", 0xff, "\x03", "\"v\"=rff:3"},
        TypedValue{"FirstAboveOneByte", 0x100, "\x01\x02", "\"v\"=rxt:100:1,2"},
        TypedValue{"SixteenBits", 0xffff, "", "\"v\"=rxt:ffff:"},
        TypedValue{"SeventeenBits", 0x10000, std::string(1, '\0'), "\"v\"=rxt:10000:0"},
        TypedValue{"HighHalf", 0xffff0000, "\x09", "\"v\"=rxt:ffff0000:9"},
        TypedValue{"Largest", 0xffffffff, "\xff", "\"v\"=rxt:ffffffff:255"}),
    [](const ::testing::TestParamInfo<TypedValue>& info) { return info.param.label; });

// A name the form cannot carry, and how the refusal shows it.
struct UncarriedName {
    const char* label;
    bool keyName;  // else a value name
    std::string name;
    const char* shown;
    const char* flaw;
};

void PrintTo(const UncarriedName& name, std::ostream* out) { *out << name.label; }

// One character longer than the buffer a key name is listed into.
const std::string kLongKeyName(261, 'k');

class UncarriedNameTest : public RegistryTextTest,
                          public ::testing::WithParamInterface<UncarriedName> {};

TEST_P(UncarriedNameTest, ExportIsRefusedWithTheReasonAndLeavesNoFile) {
    const UncarriedName& c = GetParam();
    set("Src", "plain", kRegSz, Text(u"kept"));
    set(c.keyName ? "Src\\Sub\\" + c.name : "Src\\Sub", c.keyName ? "v" : c.name, kRegSz,
        Text(u"x"));
    const auto file = dir / "export.txt";
    WriteFileBytes(file, "an older export");

    const Status status = ExportKeyTree(modReg, "HKEY_CURRENT_USER\\Src", file);
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.reason(), std::string("cannot export HKEY_CURRENT_USER\\Src\\Sub: the ") +
                                   (c.keyName ? "key" : "value") + " name \"" + c.shown +
                                   "\" holds " + c.flaw +
                                   ", which the registry text form cannot carry");
    EXPECT_FALSE(std::filesystem::exists(file));
}

INSTANTIATE_TEST_SUITE_P(
    Names, UncarriedNameTest,
    ::testing::Values(
        UncarriedName{"ValueLoneHigh", false, "a\xed\xa0\x80z", "a\\xd800z",
                      "a lone UTF-16 surrogate"},
        UncarriedName{"ValueLoneLow", false, "\xed\xb0\x80", "\\xdc00", "a lone UTF-16 surrogate"},
        UncarriedName{"KeyReversedPair", true, "\xed\xb8\x80\xed\xa0\xbd\xc3\xa9",
                      "\\xde00\\xd83d\xc3\xa9", "a lone UTF-16 surrogate"},
        UncarriedName{"KeyZero", true, std::string("a\0b", 3), "a\\0b", "a zero character"},
        UncarriedName{"KeyTrailingZero", true, std::string("a\0", 2), "a\\0", "a zero character"},
        UncarriedName{"KeyLongerThanItsBuffer", true, kLongKeyName, kLongKeyName.c_str(),
                      "more than 260 characters"}),
    [](const ::testing::TestParamInfo<UncarriedName>& info) { return info.param.label; });

TEST_F(RegistryTextTest, ValueNamesWithZerosSurviveExportImport) {
    const std::string names[] = {"a", std::string("a\0", 2), std::string("a\0b", 3),
                                 std::string(1, '\0')};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        set("Src", names[i], kRegDword, Dword(static_cast<std::uint32_t>(i)));
    }
    const std::string text = exportText("HKEY_CURRENT_USER\\Src");
    EXPECT_NE(text.find(std::string("\r\n\"a") + '\0' + "\"= dw:1\r\n"), std::string::npos);
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Dst", text).ok());
    HKey key;
    ASSERT_EQ(store.RegOpenKeyEx(kHkeyCurrentUser, "Dst", kKeyRead, &key), 0);
    std::string name, data;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0; i < std::size(names); ++i) {
        ASSERT_EQ(store.RegEnumValueRaw(key, i, &name, &type, &data), 0);
        EXPECT_EQ(name, names[i]) << i;
        EXPECT_EQ(data, Dword(i)) << i;
    }
    EXPECT_EQ(store.RegEnumValueRaw(key, 4, &name, &type, &data), kErrorNoMoreItems);
    store.RegCloseKey(key);
}

TEST_F(RegistryTextTest, EmptyKeyExportsAsOneLineAndImportEmptiesTheTarget) {
    HKey key;
    ASSERT_EQ(store.RegCreateKey(kHkeyCurrentUser, "Empty", &key), 0);
    store.RegCloseKey(key);
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Empty"), "\\\r\n");
    set("Target\\Child", "x", kRegSz, Text(u"y"));
    set("Target", "x", kRegSz, Text(u"y"));
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\Target", "\\\r\n").ok());
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\Target"));
    EXPECT_TRUE(modReg.EnumSubkeys("HKEY_CURRENT_USER\\Target").empty());
    EXPECT_TRUE(modReg.EnumValues("HKEY_CURRENT_USER\\Target").empty());
}

// Every file of the hostile registry text corpus (tests/data/hostile/registry-text) is refused
// with the reason, and changes nothing.
TEST_F(RegistryTextTest, MalformedFilesChangeNothing) {
    struct Malformed {
        const char* file;
        const char* reason;
    };
    const Malformed corpus[] = {
        {"binary-empty-piece.txt", "line 2: binary data"},
        {"binary-hex-piece.txt", "line 2: binary data"},
        {"binary-negative-piece.txt", "line 2: binary data"},
        {"binary-piece-too-large.txt", "line 2: binary data"},
        {"binary-trailing-comma.txt", "line 2: binary data"},
        {"bom-utf16le.txt", "byte-order mark of UTF-16LE"},
        {"bom-utf8.txt", "byte-order mark of UTF-8"},
        {"dword-empty.txt", "line 2: \"\" is not a 32-bit number"},
        {"dword-not-a-number.txt", "line 2: \"12x\" is not a 32-bit number"},
        {"dword-too-large.txt", "line 4: \"4294967296\" is not a 32-bit number"},
        {"equals-too-early.txt", "line 2: a value line without \"=\""},
        {"escape-at-end.txt", "line 2: a text with a bad escape"},
        {"escape-unknown.txt", "line 2: a text with a bad escape"},
        {"key-empty-name.txt", "line 2: a key line with an empty key name"},
        {"key-trailing-backslash.txt", "line 3: a key line with an empty key name"},
        {"lone-cr-splits-value.txt", "line 3: a value line without \"=\""},
        {"name-without-equals.txt", "line 3: a value line without \"=\""},
        {"no-equals.txt", "line 4: a value line without \"=\""},
        {"rxt-bytes-too-large.txt", "line 2: binary data"},
        {"rxt-type-empty.txt", "line 2: a value type that is not"},
        {"rxt-type-negative.txt", "line 2: a value type that is not"},
        {"rxt-type-not-hex.txt", "line 2: a value type that is not"},
        {"rxt-type-too-large.txt", "line 2: a value type that is not"},
        {"rxt-type-without-bytes.txt", "line 2: a value type that is not"},
        {"typed-bytes-not-numbers.txt", "line 2: binary data"},
        // The "=" stands second when characters are counted, not bytes.
        {"value-mark-after-non-ascii.txt", "line 2: a value line without \"=\""},
    };
    const std::filesystem::path folder = quillet::testing::TestDataDir() / "hostile/registry-text";
    std::set<std::string> listed;
    for (const Malformed& malformed : corpus) listed.insert(malformed.file);
    std::set<std::string> present;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        present.insert(entry.path().filename().string());
    }
    EXPECT_EQ(present, listed) << "every file of the corpus has its expected reason here";

    makeExample("Target");
    ASSERT_TRUE(store.Commit().ok());
    const std::string before = store.committedText(kHkeyCurrentUser);
    const int commits = store.commitCount();
    for (const Malformed& malformed : corpus) {
        SCOPED_TRACE(malformed.file);
        const Status status =
            ImportKeyFile(modReg, "HKEY_CURRENT_USER\\Target", folder / malformed.file);
        EXPECT_FALSE(status.ok());
        EXPECT_NE(status.reason().find(malformed.reason), std::string::npos) << status.reason();
        EXPECT_NE(status.reason().find("nothing changed"), std::string::npos) << status.reason();
        EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Target"), kExample);
    }
    EXPECT_EQ(store.committedText(kHkeyCurrentUser), before);
    EXPECT_EQ(store.commitCount(), commits);
}

// A text of exactly `bytes` bytes, under the line bounds: the root line, then lines of up to 512 KB
// of a type no reader knows, which are skipped (so that the store stays small and quick to commit).
std::string TextOfSize(std::size_t bytes) {
    std::string text = "\\\r\n";
    for (int number = 0; text.size() < bytes; ++number) {
        const std::string head = "\"v" + std::to_string(number) + "\"=unk:";
        const std::size_t room = bytes - text.size() - head.size() - 2;
        text += head + std::string(std::min<std::size_t>(room, 512 * 1024), 'a') + "\r\n";
    }
    return text;
}

// `count` lines: the root line, then the same value set again and again.
std::string TextOfLines(std::size_t count) {
    std::string text = "\\\r\n";
    for (std::size_t i = 1; i < count; ++i) text += "\"v\"= dw:1\r\n";
    return text;
}

TEST_F(RegistryTextTest, FilesBeyondTheSizeAndLineBoundsChangeNothing) {
    const std::string lineHead = "\\\r\n\"v\"= sz:";
    struct Case {
        const char* name;
        std::string text;
        std::string refusal;  // empty: imported
    };
    const Case cases[] = {
        {"file at the size bound", TextOfSize(kMaxRegistryTextBytes), ""},
        {"file a byte larger", TextOfSize(kMaxRegistryTextBytes + 1),
         "holds more than the 8 MB a registry text file may hold; nothing changed"},
        {"lines at the bound", TextOfLines(kMaxRegistryTextLines), ""},
        {"a line more", TextOfLines(kMaxRegistryTextLines + 1),
         "more than 200000 lines, more than a registry text file may hold; nothing changed"},
        {"line at the length bound",
         lineHead + std::string(kMaxRegistryTextLineBytes - (lineHead.size() - 3), 'a') + "\r\n",
         ""},
        {"line a byte longer",
         lineHead + std::string(kMaxRegistryTextLineBytes + 1 - (lineHead.size() - 3), 'a') +
             "\r\n",
         "line 2: longer than the 1 MB a line of a registry text file may hold; nothing changed"},
        {"key name at the length bound",
         "\\\r\n\\Sub\\" + std::string(kKeyNameBufferChars, 'k') + "\r\n", ""},
        {"key name a character longer",
         "\\\r\n\\Sub\\" + std::string(kKeyNameBufferChars + 1, 'k') + "\r\n",
         "line 2: a key name of " + std::to_string(kKeyNameBufferChars + 1) +
             " characters, more than the " + std::to_string(kKeyNameBufferChars)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modReg.DeleteKeyTree("HKEY_CURRENT_USER\\Target");
        makeExample("Target");
        ASSERT_TRUE(store.Commit().ok());
        const int commits = store.commitCount();
        const Status status = importText("HKEY_CURRENT_USER\\Target", c.text);
        if (c.refusal.empty()) {
            EXPECT_TRUE(status.ok()) << status.reason();
            EXPECT_EQ(store.commitCount(), commits + 1);
            continue;
        }
        EXPECT_TRUE(status.is(ErrorKind::kCorrupt));
        EXPECT_NE(status.reason().find(c.refusal), std::string::npos) << status.reason();
        EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Target"), kExample);
        EXPECT_EQ(store.commitCount(), commits);
    }
}

// A tree whose text the reader would refuse is refused when exported, so that no backup holds it.
TEST_F(RegistryTextTest, ExportBeyondTheReadBackBoundsFailsLeavingNoFile) {
    // "255," per byte: one value of this many bytes makes a line of about 1 MB.
    const std::size_t bytesPerLine = kMaxRegistryTextLineBytes / 4 - 16;
    struct Case {
        const char* name;
        std::size_t values;
        std::size_t valueBytes;
        bool exported;
    };
    const Case cases[] = {
        {"the longest line the reader takes", 1, bytesPerLine, true},
        {"a line longer than the reader takes", 1, bytesPerLine + 16, false},
        {"more bytes than the reader takes", kMaxRegistryTextBytes / (bytesPerLine * 4) + 1,
         bytesPerLine, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        modReg.DeleteKeyTree("HKEY_CURRENT_USER\\Big");
        for (std::size_t i = 0; i < c.values; ++i) {
            set("Big", "v" + std::to_string(i), kRegBinary, std::string(c.valueBytes, '\xff'));
        }
        const auto file = dir / "big.txt";
        const Status status = ExportKeyTree(modReg, "HKEY_CURRENT_USER\\Big", file);
        EXPECT_EQ(status.ok(), c.exported) << status.reason();
        EXPECT_EQ(std::filesystem::exists(file), c.exported);
        if (c.exported) {
            EXPECT_TRUE(importText("HKEY_CURRENT_USER\\Copy", ReadFileBytes(file)).ok());
        }
    }
}

TEST_F(RegistryTextTest, ReaderFollowsThePlainFormsRules) {
    // Unknown types are skipped, spaces around binary pieces ignored, the first "=" ends the
    // name, a value before any key line sets nothing, an empty line ends the file.
    const std::string text =
        "\"early\"= sz:nowhere\r\n"
        "\\\r\n"
        "\"skip\"=mul:whatever\r\n"
        "\"pieces\"=bin: 1 , 2 ,3\r\n"
        "\"a=b\"= sz:x\r\n"
        "\"lead\"= sz:  both  \r\n"
        "\"big\"= dw:-1\r\n"
        "\r\n"
        "\"after\"= sz:never read\r\n";
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\R", text).ok());
    const ValueList values = modReg.EnumValues("HKEY_CURRENT_USER\\R");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(std::get<std::vector<std::uint8_t>>(*values.find("pieces")),
              (std::vector<std::uint8_t>{1, 2, 3}));
    // The name ends at the first "=", so the type field is read from inside the name.
    EXPECT_EQ(values.find("a=b"), nullptr);
    EXPECT_EQ(*values.findText("lead"), "  both  ");
    EXPECT_EQ(std::get<std::int32_t>(*values.find("big")), -1);
    EXPECT_EQ(values.find("after"), nullptr);
    EXPECT_EQ(values.find("early"), nullptr);
}

// The quotes around a value's name and the ":" of its type mark are skipped as whole characters,
// whatever stands there, so that no name or text begins or ends inside a character.
struct MarkCharacterCase {
    const char* line;
    const char* name;
    const char* text;
};

// Names each case by its line, escaped, instead of by its pointers, which change from run to run.
void PrintTo(const MarkCharacterCase& c, std::ostream* out) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char* p = c.line; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (std::isalnum(byte) || byte == '=' || byte == ':') {
            *out << *p;
        } else {
            *out << '<' << kHex[byte >> 4] << kHex[byte & 0xF] << '>';
        }
    }
}

class MarkCharacterTest : public RegistryTextTest,
                          public ::testing::WithParamInterface<MarkCharacterCase> {};

TEST_P(MarkCharacterTest, NonAsciiCharactersInPlaceOfTheMarksAreSkippedWhole) {
    const MarkCharacterCase& c = GetParam();
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\M", std::string("\\\r\n") + c.line + "\r\n").ok());
    const ValueList values = modReg.EnumValues("HKEY_CURRENT_USER\\M");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.begin()->first, c.name);
    ASSERT_NE(values.findText(c.name), nullptr);
    EXPECT_EQ(*values.findText(c.name), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MarkCharacterTest,
    ::testing::Values(MarkCharacterCase{"\"Type\xc3\x9d= sz:x", "Type", "x"},
                      MarkCharacterCase{"\xc3\x9dName\"= sz:x", "Name", "x"},
                      MarkCharacterCase{"\xe2\x82\xacName\xe2\x82\xac= sz:x", "Name", "x"},
                      MarkCharacterCase{"\"a\"= sz\xc3\xa9text", "a", "text"},
                      MarkCharacterCase{"\"Type\xdd= sz:x", "Type", "x"},
                      MarkCharacterCase{"\"\xc3\xa9\"= sz:\xc3\xa9", "\xc3\xa9", "\xc3\xa9"}));

TEST_F(RegistryTextTest, KeyLineEndsAtItsFirstZero) {
    // The registry takes a key path as text that ends at its first zero: a key line holding one
    // names the key before it, and only a line whose last character is a backslash replaces the
    // base.
    const std::string zero(1, '\0');
    const std::string text = "\\\r\n\\A\r\n\\A" + zero + "junk\r\n\"v\"= sz:x\r\n\\A\\" + zero +
                             "\\B\r\n\"w\"= sz:y\r\n";
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\N", text).ok());
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\N"), "\\\r\n\\A\r\n\"v\"= sz:x\r\n\"w\"= sz:y\r\n");
}

TEST_F(RegistryTextTest, FilesWithoutTheRootLineAddBelowTheBase) {
    set("T", "keep", kRegSz, Text(u"kept"));
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\T", "\\New\r\n\"v\"= dw:1\r\n").ok());
    EXPECT_NE(modReg.EnumValues("HKEY_CURRENT_USER\\T").findText("keep"), nullptr);
    EXPECT_TRUE(modReg.KeyExists("HKEY_CURRENT_USER\\T\\New"));
    // An empty file changes nothing at all.
    const int commits = store.commitCount();
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\T", "").ok());
    EXPECT_EQ(store.commitCount(), commits);
}

TEST_F(RegistryTextTest, RefusesBadBasePathsAndWholeRoots) {
    EXPECT_FALSE(importText("HKEY_CURRENT_USER", kExample).ok());
    EXPECT_FALSE(importText("Software\\X", kExample).ok());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Incorrect Format:\n\nSoftware\\X");
}

TEST_F(RegistryTextTest, ReadsWindows1252FilesAndWritesUtf8) {
    ASSERT_TRUE(importText("HKEY_CURRENT_USER\\E", "\\\r\n\"n\"= sz:Caf\xe9 \x80\r\n").ok());
    EXPECT_EQ(*modReg.EnumValues("HKEY_CURRENT_USER\\E").findText("n"), "Caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\E"), "\\\r\n\"n\"= sz:Caf\xc3\xa9 \xe2\x82\xac\r\n");
}

TEST_F(RegistryTextTest, FailedCommitOfAnImportLeavesTheTargetUnchanged) {
    makeExample("Target");
    ASSERT_TRUE(store.Commit().ok());
    store.failNextCommit("Wine is running");
    const Status status = importText("HKEY_CURRENT_USER\\Target", "\\\r\n\"only\"= dw:1\r\n");
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.reason(), "Wine is running");
    EXPECT_EQ(exportText("HKEY_CURRENT_USER\\Target"), kExample);
}

}  // namespace
}  // namespace quillet::registry
