// The password prompt and the about window, alone and as the main window and the real dialog
// service open them.
#include <gtest/gtest.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "gui/about_window.h"
#include "gui/gui_world.h"
#include "gui/password_window.h"
#include "gui/qt_dialog_service.h"

namespace quillet::testing {
namespace {

std::vector<QString> LabelTexts(const QWidget& window) {
    std::vector<QString> texts;
    for (const QLabel* label : window.findChildren<QLabel*>()) texts.push_back(label->text());
    return texts;
}

TEST(PwdPrompt, ShowsItsCaptionsAndAnEmptyMaskedField) {
    PasswordWindow prompt(ShippedDataFolder());
    EXPECT_EQ(prompt.windowTitle(), "Please enter password");
    EXPECT_EQ(Child<QLabel>(prompt, "SkinLabel1").text(), "Please enter password:");
    EXPECT_EQ(Child<QPushButton>(prompt, "cmdOK").text(), "OK");
    EXPECT_EQ(Child<QPushButton>(prompt, "cmdExit").text(), "Cancel");
    const auto frames = prompt.findChildren<QGroupBox*>();
    ASSERT_EQ(frames.size(), 1);
    EXPECT_EQ(frames[0]->title(), "Security");
    const auto& field = Child<QLineEdit>(prompt, "txtPassword");
    EXPECT_EQ(field.echoMode(), QLineEdit::Password);
    EXPECT_EQ(field.text(), "");
    EXPECT_FALSE(prompt.styleSheet().isEmpty()) << "the shipped skin";
}

TEST(PwdPrompt, EnterInTheFieldAcceptsTheTypedText) {
    PasswordWindow prompt(ShippedDataFolder());
    prompt.show();
    auto& field = Child<QLineEdit>(prompt, "txtPassword");
    QTest::keyClicks(&field, "s3cret");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(prompt.result(), QDialog::Accepted);
    EXPECT_FALSE(prompt.isVisible());
    EXPECT_EQ(prompt.password(), "s3cret");
}

TEST(PwdPrompt, OkAcceptsCancelRejects) {
    struct Case {
        const char* button;
        const char* typed;
        int result;
    };
    for (const Case& test :
         {Case{"cmdOK", "", QDialog::Accepted}, Case{"cmdOK", "abc", QDialog::Accepted},
          Case{"cmdExit", "abc", QDialog::Rejected}}) {
        SCOPED_TRACE(std::string(test.button) + " after \"" + test.typed + "\"");
        PasswordWindow prompt(ShippedDataFolder());
        prompt.show();
        QTest::keyClicks(&Child<QLineEdit>(prompt, "txtPassword"), test.typed);
        QTest::mouseClick(&Child<QPushButton>(prompt, test.button), Qt::LeftButton);
        EXPECT_EQ(prompt.result(), test.result);
        EXPECT_FALSE(prompt.isVisible());
        EXPECT_EQ(prompt.password(), test.typed);
    }
}

TEST(PwdPrompt, FieldRefusesA21stCharacter) {
    PasswordWindow prompt(ShippedDataFolder());
    prompt.show();
    auto& field = Child<QLineEdit>(prompt, "txtPassword");
    QTest::keyClicks(&field, "12345678901234567890X");
    EXPECT_EQ(field.text(), "12345678901234567890");
}

// The dialog service the desktop program uses: OK hands the typed text over, Cancel and the
// close box leave the earlier password; every opening starts with an empty field.
TEST(PwdPrompt, RealDialogServiceKeepsThePasswordOnCancel) {
    QtDialogService service(ShippedDataFolder());
    std::string password = "earlier";
    struct Case {
        const char* situation;
        std::function<void(QWidget&)> answer;
        bool accepted;
        const char* password;
    };
    const Case cases[] = {
        {"typed and Enter",
         [](QWidget& prompt) {
             auto& field = Child<QLineEdit>(prompt, "txtPassword");
             EXPECT_EQ(field.text(), "");
             QTest::keyClicks(&field, "typed");
             QTest::keyClick(&field, Qt::Key_Return);
         },
         true, "typed"},
        {"typed and Cancel",
         [](QWidget& prompt) {
             auto& field = Child<QLineEdit>(prompt, "txtPassword");
             EXPECT_EQ(field.text(), "") << "a new prompt starts empty";
             QTest::keyClicks(&field, "other");
             QTest::mouseClick(&Child<QPushButton>(prompt, "cmdExit"), Qt::LeftButton);
         },
         false, "typed"},
        {"close box",
         [](QWidget& prompt) {
             QTest::keyClicks(&Child<QLineEdit>(prompt, "txtPassword"), "third");
             prompt.close();
         },
         false, "typed"},
        {"OK with an empty field",
         [](QWidget& prompt) {
             QTest::mouseClick(&Child<QPushButton>(prompt, "cmdOK"), Qt::LeftButton);
         },
         true, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.situation);
        bool driven = false;
        DriveNextModal(
            [&test](QWidget& prompt) {
                EXPECT_EQ(prompt.objectName(), "PasswordWindow");
                test.answer(prompt);
            },
            &driven);
        EXPECT_EQ(service.askPassword(&password), test.accepted);
        EXPECT_TRUE(driven);
        EXPECT_EQ(password, test.password);
    }
}

TEST(AboutWindow, ShowsProductVersionAndAddressesAndExitCloses) {
    AboutWindow about(ShippedDataFolder());
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Quillet");
    const std::vector<QString> labels = LabelTexts(about);
    for (const char* text :
         {"Quillet v2.20", "Thank you for using our product.", "Visit Our Website", "Our E-mail",
          AboutWindow::kWebAddress, AboutWindow::kSupportAddress}) {
        EXPECT_NE(std::find(labels.begin(), labels.end(), QString(text)), labels.end()) << text;
    }
    EXPECT_FALSE(about.styleSheet().isEmpty()) << "the shipped skin";
    auto& exit = Child<QPushButton>(about, "Command3");
    EXPECT_EQ(exit.text(), "Exit");
    QTest::mouseClick(&exit, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
}

TEST(AboutWindow, OpensModallyFromTheButtonAndTheMenuAndReturnsUnchanged) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();
    const std::vector<std::string> before = VisibleStates(window);
    const auto closeWithExit = [&window](QWidget& about) {
        EXPECT_EQ(about.objectName(), "AboutWindow");
        EXPECT_EQ(about.windowTitle(), "About Quillet");
        EXPECT_EQ(about.parentWidget(), &window);
        QTest::mouseClick(&Child<QPushButton>(about, "Command3"), Qt::LeftButton);
    };
    bool driven = false;
    DriveNextModal(closeWithExit, &driven);
    QTest::mouseClick(&Child<QPushButton>(window, "cmdAbout"), Qt::LeftButton);
    EXPECT_TRUE(driven);

    DriveNextModal(closeWithExit, &driven);
    Child<QAction>(window, "about").trigger();
    EXPECT_TRUE(driven);

    EXPECT_EQ(VisibleStates(window), before);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(world.dialogs.messages.empty());
}

TEST(AboutWindow, WindowsOpenWithoutASkinAndSayNothing) {
    TempDir noData;
    AboutWindow about(noData.path());
    PasswordWindow prompt(noData.path());
    EXPECT_TRUE(about.styleSheet().isEmpty());
    EXPECT_TRUE(prompt.styleSheet().isEmpty());
}

}  // namespace
}  // namespace quillet::testing
