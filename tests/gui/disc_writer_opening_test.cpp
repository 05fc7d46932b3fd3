// The main window opens the disc writer: from the "Tools" menu and after a backup.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "gui/disc_writer_window.h"
#include "gui/disc_writer_world.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

// Notes the files of the disc writer's image once it shows modally, then closes it.
struct DiscWriterWatch {
    std::vector<std::string> files;
    ModalWatch watch{"frmMaindvdwrite", [this](QWidget& window) {
                         const auto& list = Child<QTreeWidget>(window, "lvwImageFiles");
                         for (int i = 0; i < list.topLevelItemCount(); ++i) {
                             files.push_back(list.topLevelItem(i)->text(0).toStdString());
                         }
                         window.close();
                     }};
};

TEST(DiscWriterFromMainWindow, EraseDiscOpensTheEraseWindowOnTheCurrentDrive) {
    DiscWriterWorld world;
    world.engine.addDevice({});
    DiscWriterWindow& window = world.open();
    ModalWatch watch("frmErase", [](QWidget& erase) { erase.close(); });
    Child<QAction>(window, "mnuDeviceEraseDisc").trigger();
    EXPECT_TRUE(watch.opened);
}

TEST(DiscWriterFromMainWindow, TheToolsMenuOpensItWithNothingHandedOver) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();
    DiscWriterWatch watch;
    Child<QAction>(window, "backuptocd").trigger();
    EXPECT_TRUE(watch.watch.opened);
    EXPECT_EQ(watch.files, std::vector<std::string>{});
    EXPECT_EQ(Child<QAction>(window, "backuptocd").text(), "Backup Data to CD/DVD");
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

TEST(DiscWriterFromMainWindow, TheDiscQuestionOpensItWithTheNewBackup) {
    for (const MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        SCOPED_TRACE(answer == MessageAnswer::Ok ? "OK" : "Cancel");
        MainWindowWorld world;
        MainWindow& window = world.openWindow();
        QTest::keyClick(&Child<QCheckBox>(window, "backupitem(2)"), Qt::Key_Space);
        world.dialogs.saveAnswers.push_back((world.temp / "weekly.qbk").string());
        QTest::mouseClick(&Child<QPushButton>(window, "cmdTargetFile"), Qt::LeftButton);
        world.dialogs.answers.push_back(answer);
        DiscWriterWatch watch;
        QTest::mouseClick(&Child<QPushButton>(window, "cmdApply"), Qt::LeftButton);

        ASSERT_EQ(world.dialogs.messages.size(), 2u);
        EXPECT_EQ(world.dialogs.messages[1],
                  (Message{MainWindow::kDiscQuestion, MessageIcon::Information,
                           MessageButtons::OkCancel}));
        const bool ok = answer == MessageAnswer::Ok;
        EXPECT_EQ(watch.watch.opened, ok);
        EXPECT_EQ(watch.files,
                  ok ? std::vector<std::string>{"weekly.qbk"} : std::vector<std::string>{});
        EXPECT_EQ(window.pendingDisc().PendingDiscFileName, "");
        EXPECT_EQ(window.pendingDisc().PendingDiscFilePath, "");
        EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace quillet::testing
