// The hostile Wine registry files (tests/data/hostile/wine-reg, and huge ones made here): a file
// whose header or key lines cannot be read is a clear error; a value line that cannot be read is
// not read as a value but kept byte for byte, also when other keys change.
#include <gtest/gtest.h>

#include <set>

#include "registry/registry_store.h"
#include "registry/utf16_bytes.h"
#include "registry/wine_registry_file.h"
#include "support/platform/temp_dir.h"

namespace quillet::registry {
namespace {

using quillet::testing::ReadFileBytes;
using quillet::testing::TestDataDir;

constexpr std::uint64_t kNow = 0x1dd86ae1c8fb512ULL;

enum class Outcome {
    kRefused,  // ParseWineRegistry fails with `expected` in its reason
    kKept,     // the value "a" is not read; its line is kept
    kRead,     // the value "a" is read, as the bytes `expected`
};

struct HostileWineFile {
    std::string name;
    Outcome outcome;
    std::string expected{};
    std::string text{};  // filled from the corpus file, or made here
};

std::string Text(std::u16string_view text) {
    std::u16string units(text);
    units += u'\0';
    return Utf16LeBytes(units);
}

// A key block holding `valueLines` after a sound value, and a sound block after it unless the
// file is to end with `valueLines`, as the corpus files are.
std::string Wrapped(const std::string& valueLines, bool atTheEnd = false) {
    return "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
           "#arch=win32\n\n[Software\\\\Hostile] 1700000000\n#time=1da0b1c2d3e4f50\n"
           "\"before\"=\"kept\"\n" +
           valueLines +
           (atTheEnd ? "" : "\n[Software\\\\Later] 1700000000\n\"after\"=dword:00000001\n");
}

std::vector<HostileWineFile> Corpus() {
    constexpr std::size_t kHugeBytes = 1536 * 1024;  // a line of 4.5 MB
    std::string hexLine;
    std::string continued;
    hexLine.reserve(kHugeBytes * 3);
    for (std::size_t i = 0; i < kHugeBytes; ++i) {
        hexLine += i + 1 < kHugeBytes ? "5a," : "5a";
        // Wine's own form: 25 bytes a line, continued by a backslash.
        continued += i + 1 < kHugeBytes ? (i % 25 == 24 ? "5a,\\\n  " : "5a,") : "5a";
    }
    const std::string huge(kHugeBytes, '\x5a');
    const std::string notWine = "not a Wine registry file";
    const std::string noBracket = "line 6: a key line without its closing \"]\"";
    std::vector<HostileWineFile> corpus = {
        {"empty.reg", Outcome::kRefused, notWine},
        {"not-wine-registry.reg", Outcome::kRefused, notWine},
        {"key-unterminated.reg", Outcome::kRefused, noBracket},
        {"key-escaped-bracket.reg", Outcome::kRefused, noBracket},
        {"value-dword-too-long.reg", Outcome::kKept},
        {"value-escape-at-end.reg", Outcome::kKept},
        {"value-hex-bad-digit.reg", Outcome::kKept},
        {"value-hex-continued-at-end.reg", Outcome::kKept},
        {"value-hex-odd-digits.reg", Outcome::kKept},
        {"value-text-after-string.reg", Outcome::kKept},
        {"value-type-unterminated.reg", Outcome::kKept},
        {"value-unterminated-name.reg", Outcome::kKept},
        {"value-unterminated-string.reg", Outcome::kKept},
        {"value-utf8-cut.reg", Outcome::kKept},
        // Wine reads an escape it does not know as the character escaped, "\x" without digits
        // as "x".
        {"value-escape-unknown.reg", Outcome::kRead, Text(u"8q")},
        {"value-escape-x-without-digits.reg", Outcome::kRead, Text(u"xZZ")},
    };
    for (HostileWineFile& file : corpus) {
        file.text = ReadFileBytes(TestDataDir() / "hostile/wine-reg" / file.name);
    }
    corpus.push_back(
        {"(made) huge hex line", Outcome::kRead, huge, Wrapped("\"a\"=hex:" + hexLine + "\n")});
    corpus.push_back({"(made) huge hex line continued", Outcome::kRead, huge,
                      Wrapped("\"a\"=hex:" + continued + "\n")});
    corpus.push_back({"(made) huge hex line with a bad last digit", Outcome::kKept, "",
                      Wrapped("\"a\"=hex:" + hexLine + "z\n")});
    corpus.push_back({"(made) huge hex line continued past the end", Outcome::kKept, "",
                      Wrapped("\"a\"=hex:" + hexLine + ",\\\n", true)});
    return corpus;
}

TEST(HostileWineRegistry, UnreadableFilesAreRefusedAndUnreadableValuesKept) {
    const std::vector<HostileWineFile> corpus = Corpus();
    std::set<std::string> listed;
    for (const HostileWineFile& file : corpus) listed.insert(file.name);
    for (const auto& entry :
         std::filesystem::directory_iterator(TestDataDir() / "hostile/wine-reg")) {
        EXPECT_TRUE(listed.contains(entry.path().filename().string()))
            << entry.path() << " has no expected outcome here";
    }

    for (const HostileWineFile& file : corpus) {
        SCOPED_TRACE(file.name);
        Result<std::unique_ptr<KeyTree>> tree = ParseWineRegistry(file.text);
        if (file.outcome == Outcome::kRefused) {
            EXPECT_FALSE(tree.ok());
            if (!tree.ok()) {
                EXPECT_NE(tree.reason().find(file.expected), std::string::npos) << tree.reason();
            }
            continue;
        }
        ASSERT_TRUE(tree.ok()) << tree.reason();
        std::shared_ptr<KeyNode> key = FindKey((*tree)->root, "Software\\Hostile");
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->findValue("before"));
        EXPECT_EQ(key->findValue("before")->data, Text(u"kept"));
        const RegValue* value = key->findValue("a");
        if (file.outcome == Outcome::kKept) {
            EXPECT_EQ(value, nullptr);
        } else if (value == nullptr) {
            ADD_FAILURE() << "the value was not read";
        } else {
            EXPECT_TRUE(value->data == file.expected) << "the value was read otherwise";
        }
        EXPECT_TRUE(SerializeWineRegistry(**tree, kNow) == file.text)
            << "an unchanged tree is not written back byte for byte";

        // A change elsewhere keeps the block as it was read.
        const std::size_t block = file.text.find("[Software\\\\Hostile]");
        ASSERT_NE(block, std::string::npos);
        const std::size_t later = file.text.find("[Software\\\\Later]");
        (*tree)->root->addSubkey("Elsewhere")->setValue("new", kRegDword, std::string(4, '\0'));
        const std::string changed = SerializeWineRegistry(**tree, kNow);
        EXPECT_TRUE(changed.find(file.text.substr(block, later - block)) != std::string::npos)
            << "the block holding the unreadable line changed";
    }
}

}  // namespace
}  // namespace quillet::registry
