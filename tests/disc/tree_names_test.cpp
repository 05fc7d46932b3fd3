#include "disc/tree_names.h"

#include <gtest/gtest.h>

namespace quillet::disc {
namespace {

TEST(TreeNamesTest, ALongFileNameKeepsItsExtensionAndAFolderIsCut) {
    const std::string stem(120, 'q'), euro = "\u20ac";
    struct Case {
        std::string name;
        bool folder;
        NameTree tree;
        std::string expected;
    };
    std::string euros;
    for (int i = 0; i < 130; ++i) euros += euro;
    for (const Case& c : std::vector<Case>{
             {"backup.qbk", false, kJolietNames, "backup.qbk"},
             {"a:b;c?.txt", false, kJolietNames, "a_b_c_.txt"},
             {stem + ".qbk", false, kJolietNames, stem.substr(0, 99) + ".qbk"},
             {stem + ".qbk", true, kJolietNames, stem.substr(0, 103)},
             {stem + "." + stem, false, kJolietNames, (stem + "." + stem).substr(0, 103)},
             // Never half a character: the emoji's two UTF-16 units go together.
             {std::string(98, 'e') + "\U0001F600x.qbk", false, kJolietNames,
              std::string(98, 'e') + ".qbk"},
             {stem + ".qbk", false, kUdfNames, stem + ".qbk"},
             {euros, false, kUdfNames, euros},
         }) {
        EXPECT_EQ(TreeName(c.name, c.folder, c.tree), c.expected) << c.name;
    }
}

TEST(TreeNamesTest, NamesATreeCannotTellApartOrHoldAreRefusedNamingThem) {
    const auto item = [](const std::string& name, const std::string& source) {
        ImageItem made;
        made.parentFolder = "\\Data";
        made.imagePath = "\\Data\\" + name;
        made.itemName = name;
        made.sourcePath = source;
        return made;
    };
    const std::string stem(110, 'b');
    const std::string euros = [] {
        std::string text(200, 'u');
        return text + "\u20ac";
    }();
    struct Case {
        int fileSystemType;
        std::vector<ImageItem> items;
        std::vector<std::string> named;  // in the reason; none when the image can be written
    };
    for (const Case& c : std::vector<Case>{
             {kFileSystemIsoJolietUdf,
              {item(stem + "1.qbk", "/1"), item(stem + "2.qbk", "/2")},
              {stem + "1.qbk", stem + "2.qbk"}},
             {kFileSystemIsoJoliet, {item("a:b", "/1"), item("a;b", "/2")}, {"a:b", "a;b"}},
             {kFileSystemIso9660, {item(stem + "1.qbk", "/1"), item(stem + "2.qbk", "/2")}, {}},
             {kFileSystemIsoUdf, {item(euros, "/1")}, {euros}},
             {kFileSystemIsoJolietUdf, {item(euros, "/1")}, {}},
             {kFileSystemIso9660, {item(std::string(256, 'x'), "/1")}, {std::string(256, 'x')}},
         }) {
        std::string source;
        const auto reason = CheckTreeNames(c.items, c.fileSystemType, source);
        ASSERT_EQ(reason.has_value(), !c.named.empty())
            << c.fileSystemType << " " << reason.value_or("");
        for (const std::string& name : c.named) {
            EXPECT_NE(reason->find("\"" + name + "\""), std::string::npos) << *reason;
        }
        if (reason) {
            EXPECT_EQ(source, c.items.back().sourcePath);
        }
    }
}

}  // namespace
}  // namespace quillet::disc
