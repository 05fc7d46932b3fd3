// The disc writer over the real engine: a backup written into an image file and verified file by
// file, with the engine's events brought to the window as the desktop program brings them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "disc/burn_disc_engine.h"
#include "gui/disc_event_poster.h"
#include "gui/disc_writer_options.h"
#include "gui/disc_writer_window.h"
#include "gui/gui_world.h"
#include "support/platform/shell_command.h"

namespace quillet::testing {
namespace {

TEST(DiscWriterRealEngine, WritesAndVerifiesABackupIntoAnImageFile) {
    TempDir temp;
    WriteFileBytes(temp / "weekly.qbk", std::string(300000, 'q'));
    WriteFileBytes(temp / "older" / "notes.txt", "kept\n");
    disc::BurnDiscEngine engine;
    engine.setEventPoster(QtEventPoster());
    ScriptedDialogs dialogs;
    PendingDiscFile pending{"weekly.qbk", (temp / "weekly.qbk").string()};
    DiscWriterWindow window(DiscWriterServices{.engine = engine,
                                               .dialogs = dialogs,
                                               .pending = pending,
                                               .dataFolder = ShippedDataFolder(),
                                               .endProgram = [] {}});
    ASSERT_TRUE(window.load());
    window.show();
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(QString::fromStdString((temp / "older").string()))});
    ASSERT_TRUE(window.AddDroppedFiles(drop));

    // The image-file device is listed last.
    auto& devices = Child<QComboBox>(window, "cboDevices");
    ASSERT_GT(devices.count(), 0);
    devices.setCurrentIndex(devices.count() - 1);
    emit devices.activated(devices.count() - 1);
    Child<QCheckBox>(window, "chkAutoVerify").setChecked(true);
    const std::filesystem::path image = temp / "backup.iso";
    dialogs.saveAnswers.push_back(image.string());
    QTest::mouseClick(&Child<QPushButton>(window, "cmdWriteDisc"), Qt::LeftButton);
    ASSERT_FALSE(window.isIdle()) << (dialogs.messages.empty() ? "" : dialogs.messages[0].text);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isIdle(); }, 60000));

    ASSERT_EQ(dialogs.messages.size(), 1u) << dialogs.messages[0];
    EXPECT_EQ(dialogs.messages[0].text, "Write and Verify Complete!");
    EXPECT_TRUE(std::filesystem::is_regular_file(image));
    if (!ToolOnPath("xorriso")) GTEST_SKIP() << "xorriso is not installed";
    std::string listed;
    EXPECT_EQ(RunCommand("xorriso -indev " + ShellQuote(image.string()) + " -find /", &listed), 0);
    EXPECT_NE(listed.find("/weekly.qbk"), std::string::npos) << listed;
    EXPECT_NE(listed.find("/older/notes.txt"), std::string::npos) << listed;
}

}  // namespace
}  // namespace quillet::testing
