#include "disc/image_tree.h"

#include <gtest/gtest.h>

#include "support/platform/temp_dir.h"
#include "support/recording_disc_listener.h"

namespace quillet::disc {
namespace {

using testing::RecordingDiscListener;
using testing::TempDir;
using testing::WriteFileBytes;
using Lines = std::vector<std::string>;

class ImageTreeTest : public ::testing::Test {
  protected:
    ImageTreeTest() { hub->addListener(&listener); }

    std::string file(const std::string& name, const std::string& content = "data") {
        const auto path = dir / name;
        std::filesystem::create_directories(path.parent_path());
        WriteFileBytes(path, content);
        return path.string();
    }

    TempDir dir;
    std::shared_ptr<EventHub> hub = EventHub::Create();
    RecordingDiscListener listener;
    ImageTree tree{*hub};
};

TEST(ImagePathTest, SplitsValidPathsAndRefusesOthers) {
    struct Case {
        std::string path;
        bool valid;
        std::vector<std::string> names;
    };
    for (const Case& c : std::vector<Case>{
             {"\\", true, {}},
             {"\\a.qbk", true, {"a.qbk"}},
             {"\\a\\b c", true, {"a", "b c"}},
             {"", false, {}},
             {"a", false, {}},
             {"\\a\\", false, {}},
             {"\\a\\\\b", false, {}},
             {"\\..", false, {}},
             {"\\a/b", false, {}},
         }) {
        const ImagePathNames split = SplitImagePath(c.path);
        EXPECT_EQ(split.valid, c.valid) << c.path;
        if (c.valid) {
            EXPECT_EQ(split.names, c.names) << c.path;
        }
    }
    EXPECT_EQ(JoinImagePath(kImageRoot, "x"), "\\x");
    EXPECT_EQ(JoinImagePath("\\a", "x"), "\\a\\x");
}

TEST_F(ImageTreeTest, AddFileMakesTheFoldersOnTheWayAndDescribesTheFile) {
    ASSERT_TRUE(tree.AddFile(file("backup.qbk", std::string(1536, 'x')), "\\a\\b\\backup.qbk"));
    EXPECT_EQ(listener.imageEvents,
              (Lines{"ItemAdded \\a", "ItemAdded \\a\\b", "ItemAdded \\a\\b\\backup.qbk"}));
    const ImageItem& added = listener.items.back();
    EXPECT_FALSE(added.isFolder);
    EXPECT_EQ(added.itemName, "backup.qbk");
    EXPECT_EQ(added.parentFolder, "\\a\\b");
    EXPECT_EQ(added.sourcePath, (dir / "backup.qbk").string());
    EXPECT_EQ(added.itemSize, 1536);
    EXPECT_EQ(listener.items.front().parentFolder, kImageRoot);
    EXPECT_EQ(tree.FileCount(), 1);
    EXPECT_EQ(tree.FolderCount(), 2);
}

TEST_F(ImageTreeTest, AddFileRefusesMissingSourcesBadPathsAndFilesInTheWayOfFolders) {
    const std::string source = file("f");
    EXPECT_FALSE(tree.AddFile((dir / "missing").string(), "\\f"));
    EXPECT_FALSE(tree.AddFile(dir.path().string(), "\\f"));  // a folder is not a file
    EXPECT_FALSE(tree.AddFile(source, "f"));
    ASSERT_TRUE(tree.AddFile(source, "\\f"));
    EXPECT_FALSE(tree.AddFile(source, "\\f\\g"));
    EXPECT_EQ(tree.FileCount(), 1);
    EXPECT_EQ(tree.FolderCount(), 0);
}

TEST_F(ImageTreeTest, AFileInTheWayIsReplacedOnlyWhenAListenerAgrees) {
    const std::string first = file("one"), second = file("two", "longer content");
    ASSERT_TRUE(tree.AddFile(first, "\\x"));
    EXPECT_FALSE(tree.AddFile(second, "\\x"));
    listener.replaceFiles = true;
    EXPECT_TRUE(tree.AddFile(second, "\\x"));
    EXPECT_EQ(listener.imageEvents, (Lines{"ItemAdded \\x", "ReplaceQuery \\x " + second,
                                           "ReplaceQuery \\x " + second, "ItemAdded \\x"}));
    EXPECT_EQ(tree.items().at(0).sourcePath, second);
    EXPECT_EQ(tree.FileCount(), 1);
}

TEST_F(ImageTreeTest, AddFolderAddsTheWholeTreeInNameOrder) {
    file("src/b.txt");
    file("src/a/inner.txt");
    std::filesystem::create_directories(dir / "src/empty");
    ASSERT_TRUE(tree.AddFolder((dir / "src").string() + "\\*.*", "\\Data"));
    EXPECT_EQ(listener.imageEvents,
              (Lines{"ItemAdded \\Data", "ItemAdded \\Data\\a", "ItemAdded \\Data\\a\\inner.txt",
                     "ItemAdded \\Data\\b.txt", "ItemAdded \\Data\\empty"}));
    EXPECT_EQ(listener.items.front().sourcePath, (dir / "src").string());
    EXPECT_EQ(tree.FileCount(), 2);
    EXPECT_EQ(tree.FolderCount(), 3);
    EXPECT_FALSE(tree.AddFolder((dir / "src/b.txt").string(), "\\Other"));
}

TEST_F(ImageTreeTest, ListFolderListsFoldersFirstThenFiles) {
    file("z");
    file("sub/y");
    tree.AddFile((dir / "z").string(), "\\z");
    tree.AddFolder((dir / "sub").string(), "\\sub");
    listener.imageEvents.clear();
    tree.ListFolder(kImageRoot);
    tree.ListFolder("\\missing");
    EXPECT_EQ(listener.imageEvents, (Lines{"ItemListed \\sub", "ItemListed \\z"}));
}

TEST_F(ImageTreeTest, RemoveItemTakesAFolderWithEverythingInIt) {
    file("sub/deeper/y");
    file("x");
    tree.AddFolder((dir / "sub").string(), "\\sub");
    tree.AddFile((dir / "x").string(), "\\x");
    listener.imageEvents.clear();
    EXPECT_FALSE(tree.RemoveItem(kImageRoot));
    EXPECT_FALSE(tree.RemoveItem("\\nothing"));
    EXPECT_TRUE(tree.RemoveItem("\\sub"));
    EXPECT_EQ(listener.imageEvents, (Lines{"ItemRemoved \\sub"}));
    EXPECT_EQ(tree.FileCount(), 1);
    EXPECT_EQ(tree.FolderCount(), 0);
}

TEST_F(ImageTreeTest, RenameFolderReportsEveryItemBelowItWithItsPreviousPath) {
    file("sub/inner/y");
    tree.AddFolder((dir / "sub").string(), "\\sub");
    listener.imageEvents.clear();
    listener.items.clear();
    ASSERT_TRUE(tree.RenameFolder("\\sub", "new"));
    EXPECT_EQ(listener.imageEvents, (Lines{"ItemRenamed \\new", "ItemRenamed \\new\\inner",
                                           "ItemRenamed \\new\\inner\\y"}));
    EXPECT_EQ(listener.items[0].previousImagePath, "\\sub");
    EXPECT_EQ(listener.items[2].previousImagePath, "\\sub\\inner\\y");
    EXPECT_EQ(listener.items[2].parentFolder, "\\new\\inner");
    EXPECT_EQ(tree.items().back().imagePath, "\\new\\inner\\y");
}

TEST_F(ImageTreeTest, RenamesAreRefusedForTheWrongKindTakenNamesAndBadNames) {
    file("a");
    file("b");
    file("sub/c");
    tree.AddFile((dir / "a").string(), "\\a");
    tree.AddFile((dir / "b").string(), "\\b");
    tree.AddFolder((dir / "sub").string(), "\\sub");
    for (const auto& [path, name, folder] : std::vector<std::tuple<std::string, std::string, bool>>{
             {"\\a", "b", false},
             {"\\a", "", false},
             {"\\a", "x\\y", false},
             {"\\a", "new", true},
             {"\\sub", "new", false},
             {"\\", "root", true},
             {"\\missing", "new", false},
         }) {
        EXPECT_FALSE(folder ? tree.RenameFolder(path, name) : tree.RenameFile(path, name))
            << path << " -> " << name;
    }
    EXPECT_TRUE(tree.RenameFile("\\a", "c"));
}

TEST_F(ImageTreeTest, ClearImageEmptiesTheImageAndSaysSo) {
    file("sub/c");
    tree.AddFolder((dir / "sub").string(), "\\sub");
    tree.ClearImage();
    EXPECT_EQ(listener.imageEvents.back(), "ImageCleared");
    EXPECT_EQ(tree.FileCount(), 0);
    EXPECT_EQ(tree.FolderCount(), 0);
    EXPECT_TRUE(tree.items().empty());
}

}  // namespace
}  // namespace quillet::disc
