// The disc writer's image view: drops, the File menu and its pop-ups, and the engine's image
// events mirrored in the tree and the list.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "disc/write_settings.h"
#include "gui/disc_writer_texts.h"
#include "gui/disc_writer_world.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

class DiscWriterImage : public ::testing::Test {
  protected:
    void SetUp() override {
        world.engine.addDevice({});
        std::filesystem::create_directories(world.temp / "docs" / "inner");
        WriteFileBytes(world.temp / "docs" / "inner" / "deep.txt", "deep");
        WriteFileBytes(world.temp / "one.txt", std::string(1536, 'x'));
        world.open();
    }
    void TearDown() override { EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{}); }

    QTreeWidget& tree() { return Child<QTreeWidget>(*world.window, "tvwFolders"); }
    QTreeWidget& list() { return Child<QTreeWidget>(*world.window, "lvwImageFiles"); }
    void trigger(const char* entry) { Child<QAction>(*world.window, entry).trigger(); }
    static std::string Key(const QTreeWidgetItem* item) {
        return item->data(0, Qt::UserRole).toString().toStdString();
    }
    void drop(const std::vector<std::filesystem::path>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
        data.setUrls(urls);
        EXPECT_TRUE(world.window->AddDroppedFiles(data));
    }
    // The entries of the File menu shown while it pops up over the tree or the list.
    std::vector<std::string> shownInPopUp(bool onTree) {
        std::vector<std::string> shown;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) return;
            for (QAction* action : menu->actions()) {
                if (action->isVisible()) shown.push_back(action->objectName().toStdString());
            }
            menu->close();
        });
        world.window->popUpFileMenu(onTree, world.window->mapToGlobal(QPoint(20, 20)));
        return shown;
    }

    DiscWriterWorld world;
};

TEST_F(DiscWriterImage, DroppedFilesAndFoldersGoUnderTheSelectedFolder) {
    tree().setCurrentItem(tree().topLevelItem(0));  // the root: as if nothing were selected
    drop({world.temp / "docs", world.temp / "one.txt"});
    EXPECT_EQ(world.listedFiles(), std::vector<std::string>{"one.txt"});
    ASSERT_EQ(tree().topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree().topLevelItem(0);
    EXPECT_EQ(root->text(0), disc::kBackupDiscName);
    ASSERT_EQ(root->childCount(), 1);
    QTreeWidgetItem* docs = root->child(0);
    EXPECT_EQ(Key(docs), "\\docs");
    ASSERT_EQ(docs->childCount(), 1);
    EXPECT_EQ(Key(docs->child(0)), "\\docs\\inner");
    ASSERT_EQ(list().topLevelItemCount(), 1);
    EXPECT_EQ(list().topLevelItem(0)->text(1), QLocale().toString(1.54, 'f', 2) + " KB");
    EXPECT_EQ(world.window->panelText(2).toStdString(), disc_texts::FileCountText(2));
    EXPECT_EQ(world.window->panelText(3).toStdString(), disc_texts::FolderCountText(2));

    tree().setCurrentItem(docs->child(0));
    drop({world.temp / "one.txt"});
    ASSERT_EQ(world.listedFiles(), (std::vector<std::string>{"deep.txt", "one.txt"}));
    EXPECT_EQ(Key(list().topLevelItem(1)), "\\docs\\inner\\one.txt");

    QMimeData text;
    text.setText("not a file list");
    EXPECT_FALSE(world.window->AddDroppedFiles(text));
}

TEST_F(DiscWriterImage, TheReplaceQuestionDecides) {
    drop({world.temp / "one.txt"});
    WriteFileBytes(world.temp / "other" / "one.txt", "new");
    for (const MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        world.dialogs.messages.clear();
        world.dialogs.answers.push_back(answer);
        drop({world.temp / "other" / "one.txt"});
        ASSERT_EQ(world.dialogs.messages.size(), 1u);
        EXPECT_EQ(world.dialogs.messages[0],
                  (Message{"A file already exists in the image: \r\n\\one.txt\r\n"
                           "Would you like to replace it with: \r\n" +
                               (world.temp / "other" / "one.txt").string() + " ?",
                           MessageIcon::Question, MessageButtons::OkCancel}));
        EXPECT_EQ(world.dialogs.messageTitles.back(), "Replace file...");
        EXPECT_EQ(list().topLevelItem(0)->text(1).toStdString(),
                  answer == MessageAnswer::Ok
                      ? QLocale().toString(0.003, 'f', 2).toStdString() + " KB"
                      : QLocale().toString(1.54, 'f', 2).toStdString() + " KB");
    }
}

TEST_F(DiscWriterImage, TheContextMenusShowTheirEntriesAndTheMenuBarAllEight) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(shownInPopUp(true),
              (Names{"mnuFileClear", "mnuFileRemoveFolder", "mnuFileRenameFolder"}));
    EXPECT_EQ(shownInPopUp(false),
              (Names{"mnuFileClear", "mnuFileRemoveFile", "mnuFileRenameFile"}));
    const QMenu& file = Child<QMenu>(*world.window, "mnuFile");
    for (const QAction* action : file.actions()) EXPECT_TRUE(action->isVisible());
    EXPECT_EQ(file.actions().size(), 8);
}

TEST_F(DiscWriterImage, FileMenuCommands) {
    const Message noItem{"No Item Selected.", MessageIcon::Information, MessageButtons::Ok};
    const Message rootRename{"Root directory can not be renamed.", MessageIcon::Information,
                             MessageButtons::Ok};
    drop({world.temp / "docs", world.temp / "one.txt"});
    trigger("mnuFileRemoveFolder");
    trigger("mnuFileRenameFile");
    tree().setCurrentItem(tree().topLevelItem(0));
    trigger("mnuFileRenameFolder");
    EXPECT_EQ(world.dialogs.messages, (std::vector<Message>{noItem, noItem, rootRename}));

    // A file renamed in place, then removed.
    list().setCurrentItem(list().topLevelItem(0));
    trigger("mnuFileRenameFile");
    auto* editor = list().viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "two.txt");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();  // the editor commits from the event loop
    EXPECT_EQ(world.listedFiles(), std::vector<std::string>{"two.txt"});
    list().setCurrentItem(list().topLevelItem(0));
    trigger("mnuFileRemoveFile");
    EXPECT_EQ(world.listedFiles(), std::vector<std::string>{});

    // An empty image still has the size of its own structures, which the window does not show.
    world.engine.project().setImageSize(65536);
    trigger("mnuFileClear");
    ASSERT_EQ(tree().topLevelItemCount(), 1);
    EXPECT_EQ(tree().topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(tree().topLevelItem(0)->text(0), disc::kNewDiscName);
    EXPECT_EQ(world.window->panelText(1).toStdString(), disc_texts::ImageSizeText(0));
    EXPECT_EQ(world.window->panelText(2).toStdString(), disc_texts::FileCountText(0));
    EXPECT_EQ(world.window->panelText(3).toStdString(), disc_texts::FolderCountText(0));
    EXPECT_EQ(world.dialogs.messages.size(), 3u);
}

}  // namespace
}  // namespace quillet::testing
