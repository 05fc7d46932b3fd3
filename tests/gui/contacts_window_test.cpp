// The "Export Contacts" window, opened from the main window's Tools menu.
#include "gui/contacts_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "gui/contacts_texts.h"
#include "gui/gui_world.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

TEST(ContactsWindowTest, ToolsMenuWritesTheSystemsContactsToTheChosenFile) {
    MainWindowWorld world;
    MainWindow& main = world.openWindow();
    QAction& entry = *Child<QMenu>(main, "mnuTools").actions().at(3);
    EXPECT_EQ(entry.text(), contacts_texts::kMenuCaption);
    const std::filesystem::path out = world.temp / "contacts.vcf";

    bool driven = false;
    DriveNextModal(
        [&](QWidget& dialog) {
            EXPECT_EQ(dialog.windowTitle(), contacts_texts::kWindowTitle);
            world.dialogs.saveAnswers.push_back(out.string());
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdBrowseOut"), Qt::LeftButton);
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdExport"), Qt::LeftButton);
            EXPECT_FALSE(Child<QPlainTextEdit>(dialog, "txtReport").toPlainText().isEmpty());
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdClose"), Qt::LeftButton);
        },
        &driven);
    entry.trigger();
    EXPECT_TRUE(driven);
    EXPECT_NE(ReadFileBytes(out).find("FN:Frédéric Martin\r\n"), std::string::npos);
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
