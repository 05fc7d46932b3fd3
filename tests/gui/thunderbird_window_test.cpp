// The "Move to Thunderbird" window, opened from the main window's Tools menu.
#include "gui/thunderbird_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "gui/gui_world.h"
#include "gui/thunderbird_texts.h"

namespace quillet::testing {
namespace {

TEST(ThunderbirdWindowTest, ToolsMenuMovesTheChosenIdentityIntoANewProfile) {
    MainWindowWorld world;
    MainWindow& main = world.openWindow();
    QAction& entry = *Child<QMenu>(main, "mnuTools").actions().at(2);
    EXPECT_EQ(entry.text(), thunderbird_texts::kMenuCaption);
    const std::filesystem::path profile = world.temp / "profile";

    bool driven = false;
    DriveNextModal(
        [&](QWidget& dialog) {
            EXPECT_EQ(dialog.windowTitle(), thunderbird_texts::kWindowTitle);
            world.dialogs.folderAnswers.push_back(profile.string());
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdBrowse"), Qt::LeftButton);
            Child<QCheckBox>(dialog, "chkRegister").setChecked(false);
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdMove"), Qt::LeftButton);
            const QString report = Child<QPlainTextEdit>(dialog, "txtReport").toPlainText();
            EXPECT_TRUE(report.contains("\nMessages: 12\n")) << report.toStdString();
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdClose"), Qt::LeftButton);
        },
        &driven);
    entry.trigger();
    EXPECT_TRUE(driven);
    EXPECT_TRUE(std::filesystem::is_regular_file(profile / "prefs.js"));
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
