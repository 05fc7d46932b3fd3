#include "disc/tree_names.h"

#include <gtest/gtest.h>

namespace quillet::disc {
namespace {

TEST(TreeNamesTest, ALongFileNameKeepsItsExtensionAndAFolderIsCut) {
    const std::string stem(120, 'q');
    std::string euros;
    for (int i = 0; i < 130; ++i) euros += "\u20ac";
    for (const auto& [name, folder, tree, expected] :
         std::vector<std::tuple<std::string, bool, NameTree, std::string>>{
             {"backup.qbk", false, kJolietNames, "backup.qbk"},
             {"a:b;c?.txt", false, kJolietNames, "a_b_c_.txt"},
             {stem + ".qbk", false, kJolietNames, stem.substr(0, 99) + ".qbk"},
             {stem + ".qbk", true, kJolietNames, stem.substr(0, 103)},
             {stem + "." + stem, false, kJolietNames, (stem + "." + stem).substr(0, 103)},
             {std::string(98, 'e') + "\U0001F600x.qbk", false, kJolietNames,
              std::string(98, 'e') + "_.qbk"},
             {stem + ".qbk", false, kUdfNames, stem + ".qbk"},
             {euros, false, kUdfNames, euros},
         }) {
        EXPECT_EQ(TreeName(name, folder, tree), expected) << name;
    }
}

TEST(TreeNamesTest, NamesATreeCannotTellApartOrHoldAreRefusedNamingThem) {
    const auto items = [](std::vector<std::string> names) {
        std::vector<ImageItem> made(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            made[i].parentFolder = "\\Data";
            made[i].imagePath = "\\Data\\" + names[i];
            made[i].itemName = names[i];
            made[i].sourcePath = "/src/" + std::to_string(i);
        }
        return made;
    };
    const std::string a = std::string(110, 'b') + "1.qbk", b = std::string(110, 'b') + "2.qbk";
    const std::string euro = std::string(200, 'u') + "\u20ac", huge(256, 'x');
    for (const auto& [type, names, refused] :
         std::vector<std::tuple<int, std::vector<std::string>, bool>>{
             {kFileSystemIsoJolietUdf, {a, b}, true},
             {kFileSystemIsoJoliet, {"a:b", "a;b"}, true},
             {kFileSystemIso9660, {a, b}, false},
             {kFileSystemIsoUdf, {euro}, true},
             {kFileSystemIsoJolietUdf, {euro}, false},
             {kFileSystemIso9660, {huge}, true},
             {kFileSystemIsoUdf, {"smile\U0001F600.txt"}, true},
             {kFileSystemIsoJolietUdf, {"smile\U0001F600.txt"}, false},
         }) {
        std::string source;
        const auto reason = CheckTreeNames(items(names), type, source);
        ASSERT_EQ(reason.has_value(), refused) << type << " " << reason.value_or("");
        for (const std::string& name : refused ? names : std::vector<std::string>{}) {
            EXPECT_NE(reason->find("\"" + name + "\""), std::string::npos) << *reason;
        }
        EXPECT_EQ(source, refused ? "/src/" + std::to_string(names.size() - 1) : "");
    }
}

}  // namespace
}  // namespace quillet::disc
