#include "disc/udf_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "disc/udf_path_list.h"

namespace quillet::disc {
namespace {

TEST(UdfBridgeTest, GraftPointsEscapeNamesAndGraftFoldersInTheirHolders) {
    struct Case {
        ImageItem item;
        std::string graft;
    };
    const auto file = [](std::string imagePath, std::string source) {
        ImageItem item;
        item.imagePath = std::move(imagePath);
        item.sourcePath = std::move(source);
        return item;
    };
    ImageItem folder = file("\\x=y\\Mail", "/home/me/x=y/Mail");
    folder.isFolder = true;
    ImageItem topFolder = file("\\Mail", "/home/me/Mail");
    topFolder.isFolder = true;
    for (const Case& c : std::vector<Case>{
             {file("\\backup.qbk", "/b/backup.qbk"), "backup.qbk=/b/backup.qbk"},
             {file("\\a\\b=c.txt", "/s/b=c.txt"), "a/b\\=c.txt=/s/b=c.txt"},
             {folder, "x\\=y/=/work/0"},
             {topFolder, "/work/0"},
         }) {
        EXPECT_EQ(GraftPoint(c.item, "/work/0"), c.graft);
    }
}

TEST(UdfBridgeTest, JolietNamesGoOnlyIntoTheTypesThatNameThem) {
    ProjectSettings settings;
    settings.volumeIdentifier = "Backup CD";
    for (const auto& [type, joliet] :
         std::vector<std::pair<int, bool>>{{kFileSystemUdf, false},
                                           {kFileSystemIsoUdf, false},
                                           {kFileSystemIsoJolietUdf, true}}) {
        settings.fileSystemType = type;
        const auto arguments = UdfImageArguments(settings, "/work/list");
        const auto has = [&](const char* option) {
            return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
        };
        EXPECT_TRUE(has("-udf") && has("-R")) << type;
        EXPECT_EQ(has("-J"), joliet) << type;
        EXPECT_TRUE(std::search_n(arguments.begin(), arguments.end(), 1, "Backup CD") !=
                    arguments.end());
    }
}

}  // namespace
}  // namespace quillet::disc
