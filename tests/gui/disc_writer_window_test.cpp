// The disc writer over the simulated engine: opening, drives and speeds, the write command and
// the engine's write and verify events.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "disc/write_settings.h"
#include "gui/disc_writer_options.h"
#include "gui/disc_writer_texts.h"
#include "gui/disc_writer_world.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;
using disc::ProjectSetting;

std::vector<std::string> Entries(const QComboBox& list) {
    std::vector<std::string> entries;
    for (int i = 0; i < list.count(); ++i) {
        entries.push_back(list.itemText(i).toStdString() + "=" +
                          list.itemData(i).toString().toStdString());
    }
    return entries;
}

TEST(DiscWriterOpening, OffersCompatibleDrivesWithTheirSpeedsAndBufferProtection) {
    struct Case {
        const char* situation;
        std::vector<int> speeds;
        std::set<int> capabilities;
        std::vector<std::string> speedEntries;  // text=speed value
        bool bufferProtection;
    };
    const Case cases[] = {
        // 1411 / 176.4 = 7.999, 423 / 176.4 = 2.398, 88 / 176.4 = 0.4989.
        {"speeds, capability 57",
         {1411, 423, 88},
         {disc::kCapabilityBufferProtection},
         {"8.0x=1411", "2.4x=423", ".5x=88"},
         true},
        {"no speeds, no capability 57",
         {},
         {disc::kCapabilityWriteCdR},
         {std::string(disc_texts::kMaximumSpeedText) + "=0"},
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.situation);
        DiscWriterWorld world;
        world.engine.addDevice({.name = "old drive", .compatible = false});
        world.engine.addDevice(
            {.name = "burner", .capabilities = test.capabilities, .writeSpeeds = test.speeds});
        DiscWriterWindow& window = world.open();

        EXPECT_EQ(Entries(Child<QComboBox>(window, "cboDevices")),
                  std::vector<std::string>{"burner=1"})
            << "incompatible drives are left out, the entry keeps the device index";
        EXPECT_EQ(Entries(Child<QComboBox>(window, "cboWriteSpeed")), test.speedEntries);
        const auto& box = Child<QCheckBox>(window, "chkUseBufferProtect");
        EXPECT_EQ(box.isChecked(), test.bufferProtection);
        EXPECT_EQ(box.isEnabled(), test.bufferProtection);
        EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
    }
}

TEST(DiscWriterOpening, BufferProtectionFollowsTheChosenDrive) {
    DiscWriterWorld world;
    world.engine.addDevice({.name = "with", .capabilities = {disc::kCapabilityBufferProtection}});
    world.engine.addDevice({.name = "without", .capabilities = {}});
    DiscWriterWindow& window = world.open();
    auto& devices = Child<QComboBox>(window, "cboDevices");
    const auto& box = Child<QCheckBox>(window, "chkUseBufferProtect");
    for (const auto& [entry, expected] : {std::pair{1, false}, {0, true}, {1, false}}) {
        devices.setCurrentIndex(entry);
        emit devices.activated(entry);
        EXPECT_EQ(box.isChecked(), expected) << entry;
        EXPECT_EQ(box.isEnabled(), expected) << entry;
    }
}

TEST(DiscWriterOpening, SetsUpTheProjectAndTheControls) {
    DiscWriterWorld world;
    world.engine.addDevice({});
    DiscWriterWindow& window = world.open();

    const auto& types = Child<QComboBox>(window, "cboVolumeType");
    ASSERT_EQ(types.count(), static_cast<int>(disc::kVolumeTypes.size()));
    EXPECT_EQ(types.currentIndex(), disc::kDefaultVolumeType);
    EXPECT_EQ(world.engine.Project().FileSystemType(), disc::kFileSystemIsoJolietUdf);
    for (const disc_options::WriteOption& option : disc_options::kWriteOptions) {
        const auto& box = Child<QCheckBox>(window, option.objectName);
        EXPECT_EQ(box.text(), option.caption);
        EXPECT_EQ(box.toolTip(), option.tooltip);
        if (option.objectName != std::string("chkUseBufferProtect")) {
            EXPECT_EQ(box.isChecked(), option.ticked) << option.objectName;
        }
    }
    auto& volumeId = Child<QLineEdit>(window, "txtVolIdentifier");
    EXPECT_EQ(volumeId.text(), disc::kBackupDiscName);
    volumeId.clear();
    QTest::keyClicks(&volumeId, QString(disc::kVolumeIdLength + 1, 'v'));
    EXPECT_EQ(volumeId.text().size(), disc::kVolumeIdLength);
    EXPECT_EQ(world.engine.Project().VolumeIdentifier(), disc::kNewDiscName)
        << "typed text reaches the engine only when a write starts";
    EXPECT_FALSE(Child<QPushButton>(window, "cmdCancel").isEnabled());
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

TEST(DiscWriterOpening, NoDevicesEndTheProgramAndNoCompatibleDriveIsSaid) {
    DiscWriterWorld failing;
    failing.engine.failInitialize();
    failing.open();
    EXPECT_FALSE(failing.opened);
    EXPECT_EQ(failing.programEnds, 1);
    EXPECT_EQ(failing.dialogs.messages,
              (std::vector<Message>{{"Devices Cannot be initialized...Contact support!",
                                     MessageIcon::None, MessageButtons::Ok}}));

    DiscWriterWorld empty;
    DiscWriterWindow& window = empty.open();
    EXPECT_TRUE(empty.opened);
    EXPECT_EQ(empty.dialogs.messages,
              (std::vector<Message>{{"There are no compatible devices reported.\r\n"
                                     "Some older devices are not currently supported.",
                                     MessageIcon::Information, MessageButtons::Ok}}));
    EXPECT_EQ(Child<QComboBox>(window, "cboDevices").count(), 0);
    EXPECT_FALSE(Child<QCheckBox>(window, "chkUseBufferProtect").isEnabled());
}

TEST(DiscWriterOpening, AddsThePendingBackupOnceAndOnlyWhenBothTextsAreSet) {
    struct Case {
        const char* situation;
        bool name;
        bool path;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {"both set", true, true, {"backup.qbk"}},
        {"name only", true, false, {}},
        {"path only", false, true, {}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.situation);
        DiscWriterWorld world;
        world.engine.addDevice({});
        WriteFileBytes(world.temp / "backup.qbk", "zip");
        if (test.name) world.pending.PendingDiscFileName = "backup.qbk";
        if (test.path) world.pending.PendingDiscFilePath = (world.temp / "backup.qbk").string();
        const PendingDiscFile before = world.pending;
        world.open();
        EXPECT_EQ(world.listedFiles(), test.listed);
        const bool added = !test.listed.empty();
        EXPECT_EQ(world.pending.PendingDiscFileName, added ? "" : before.PendingDiscFileName);
        EXPECT_EQ(world.pending.PendingDiscFilePath, added ? "" : before.PendingDiscFilePath);
        // The next opening starts with an empty image again.
        world.window->close();
        world.open();
        EXPECT_EQ(world.listedFiles(), std::vector<std::string>{});
    }
}

// A write over a drive with a disc, one file in the image.
class DiscWriterWrite : public ::testing::Test {
  protected:
    void SetUp() override {
        drive = &world.engine.addDevice({.writeSpeeds = {1411}});
        WriteFileBytes(world.temp / "a.qbk", "data");
        world.pending = {"a.qbk", (world.temp / "a.qbk").string()};
        world.open();
    }
    void TearDown() override { EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{}); }

    void click(const char* name) {
        QTest::mouseClick(&Child<QPushButton>(*world.window, name), Qt::LeftButton);
    }
    void tick(const char* name) { Child<QCheckBox>(*world.window, name).setChecked(true); }
    int bar() const { return Child<QProgressBar>(*world.window, "prgTotalProgress").value(); }
    std::string panel1() const { return world.window->panelText(1).toStdString(); }

    DiscWriterWorld world;
    disc::SimulatedDevice* drive = nullptr;
};

TEST_F(DiscWriterWrite, HandsTheOptionsOverInOrderThenWrites) {
    for (const bool discAtOnce : {false, true}) {
        SCOPED_TRACE(discAtOnce);
        Child<QCheckBox>(*world.window, "chkDiscAtOnce").setChecked(discAtOnce);
        tick("chkAutoVerify");
        // "Use File Dates" reaches the project at each click, not at the write.
        if (discAtOnce) {
            QTest::mouseClick(&Child<QCheckBox>(*world.window, "chkUseFileDates"), Qt::LeftButton);
        }
        auto& volumeId = Child<QLineEdit>(*world.window, "txtVolIdentifier");
        volumeId.setText("Typed");
        click("cmdWriteDisc");

        ASSERT_FALSE(world.engine.writes().empty());
        const disc::WriteRecord& write = world.engine.writes().back();
        const std::vector<ProjectSetting> order = {
            ProjectSetting::kVolumeIdentifier, ProjectSetting::kSettingAtWrite,
            ProjectSetting::kWriteSpeed,       ProjectSetting::kFileSystemType,
            ProjectSetting::kAutoVerify,       ProjectSetting::kMode2XA,
            ProjectSetting::kCacheImage,       ProjectSetting::kTestWrite,
            ProjectSetting::kFinalizeDisc,     ProjectSetting::kBufferProtection,
            ProjectSetting::kWriteMethod};
        ASSERT_GE(write.order.size(), order.size());
        EXPECT_EQ(std::vector<ProjectSetting>(write.order.end() - order.size(), write.order.end()),
                  order);
        EXPECT_EQ(write.settings.writeMethod,
                  discAtOnce ? disc::kWriteMethodDiscAtOnce : disc::kWriteMethodTrackAtOnce);
        EXPECT_EQ(write.settings.writeSpeed, 1411);
        EXPECT_EQ(write.settings.volumeIdentifier, "Typed");
        EXPECT_TRUE(write.settings.autoVerify);
        EXPECT_EQ(write.settings.useFileDates, !discAtOnce);
        EXPECT_FALSE(world.window->isIdle());
        world.deliverEvents();
        EXPECT_TRUE(world.window->isIdle());
    }
    EXPECT_EQ(world.dialogs.messages.size(), 2u) << "one completion message per write";
}

TEST_F(DiscWriterWrite, ChecksTheDiscBeforeAnythingReachesTheEngine) {
    const double imageSize = 4096;
    struct Case {
        const char* situation;
        disc::MediaInfo media;
        std::int64_t freeBlocks;
        std::vector<Message> messages;
    };
    const std::vector<Message> none;
    const Case cases[] = {
        {"free space equals the image", {disc::kMediaCdR, true, false}, 2, none},
        {"no disc",
         {disc::kMediaNone, false, false},
         2,
         {{"Please Insert Writable Media before continuing!", MessageIcon::Information,
           MessageButtons::Ok}}},
        {"one block short",
         {disc::kMediaCdR, true, false},
         1,
         {{disc_texts::FreeSpaceText(2048, imageSize), MessageIcon::Information,
           MessageButtons::Ok}}},
    };
    world.engine.project().setImageSize(imageSize);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.situation);
        world.dialogs.messages.clear();
        drive->setup().media = test.media;
        drive->setup().freeBlocks = test.freeBlocks;
        const std::size_t writes = world.engine.writes().size();
        EXPECT_EQ(world.window->CheckMediaForImage(), test.messages.empty());
        EXPECT_EQ(world.dialogs.messages, test.messages);
        EXPECT_EQ(world.engine.writes().size(), writes);
    }
    EXPECT_EQ(disc_texts::FreeSpaceText(2048, imageSize),
              "Free Space on the loaded disc is 0.00 MB!\r\n"
              "This data image requires 0.00 MB of Free Space!");
}

TEST_F(DiscWriterWrite, FollowsTheWriteStatus) {
    using disc::WriteStatusEvent;
    world.engine.setWriteScript({WriteStatusEvent{disc::kWritePreparingImage, 0},
                                 WriteStatusEvent{disc::kWriteWritingData, 40},
                                 WriteStatusEvent{disc::kWriteSynchronizing, 90},
                                 WriteStatusEvent{disc::kWriteClosingTrack, 95},
                                 WriteStatusEvent{disc::kWriteCompleted, 100}});
    click("cmdWriteDisc");
    struct Step {
        std::string panel;
        int bar;
    };
    const Step steps[] = {
        {*disc_texts::WriteStatusText(disc::kWritePreparingImage), 0},
        {*disc_texts::WriteStatusText(disc::kWritePreparingImage), 40},
        {*disc_texts::WriteStatusText(disc::kWritePreparingImage), 40},  // 7 changes nothing
        {*disc_texts::WriteStatusText(disc::kWriteClosingTrack), 40},
        {*disc_texts::WriteStatusText(disc::kWriteCompleted), 40},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(world.engine.deliverNextEvent());
        EXPECT_EQ(panel1(), step.panel);
        EXPECT_EQ(bar(), step.bar);
    }
    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{{"Write Complete!", MessageIcon::Information, MessageButtons::Ok}}));
    EXPECT_TRUE(world.window->isIdle());
}

TEST_F(DiscWriterWrite, AFailedOrCancelledWriteIsNeverReportedComplete) {
    using disc::WriteStatusEvent;
    disc::EngineError error;
    error.errorText = "burn failed";
    struct Case {
        const char* situation;
        std::vector<disc::ScriptedEvent> script;
        bool cancel;
        std::vector<Message> messages;
    };
    const Message errorMessage{disc_texts::EngineErrorText(error), MessageIcon::Critical,
                               MessageButtons::Ok};
    const Case cases[] = {
        {"an error, then the failed state",
         {disc::ErrorRaisedEvent{error}, WriteStatusEvent{disc::kWriteFailed, 0}},
         false,
         {errorMessage}},
        {"an error, then an engine that says completed",
         {disc::ErrorRaisedEvent{error}, WriteStatusEvent{disc::kWriteCompleted, 100}},
         false,
         {errorMessage}},
        {"cancelled",
         {WriteStatusEvent{disc::kWriteWritingData, 10},
          WriteStatusEvent{disc::kWriteCompleted, 100}},
         true,
         {{"Write Cancelled!", MessageIcon::Information, MessageButtons::Ok}}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.situation);
        world.dialogs.messages.clear();
        world.engine.setWriteScript(test.script);
        click("cmdWriteDisc");
        ASSERT_FALSE(world.window->isIdle());
        if (test.cancel) {
            click("cmdCancel");
            EXPECT_EQ(panel1(), "Aborting Write...Please Wait!");
            EXPECT_FALSE(world.window->isIdle()) << "busy until the engine ends the write";
        }
        world.deliverEvents();
        EXPECT_EQ(world.dialogs.messages, test.messages);
        EXPECT_TRUE(world.window->isIdle());
    }
}

TEST_F(DiscWriterWrite, AWriteThatCannotStartLeavesTheWindowIdle) {
    world.engine.refuseWrite();
    click("cmdWriteDisc");
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{{"Disc Write could not be started.", MessageIcon::Critical,
                                     MessageButtons::Ok}}));
    EXPECT_TRUE(world.window->isIdle());
}

TEST_F(DiscWriterWrite, ShowsWarningsAndTrackReadingInTheStatusBar) {
    const disc::FileError warning{5, "changed", "/a/b"};
    world.engine.setWriteScript({disc::FileWarningEvent{warning},
                                 disc::TrackReadingEvent{3, 1200, "Data"},
                                 disc::VerifyStartedEvent{4}});
    world.dialogs.answers.push_back(MessageAnswer::Cancel);  // the write goes on all the same
    click("cmdWriteDisc");
    const std::string panels[] = {"File Warning!", disc_texts::TrackReadingText(3, 1200, "Data"),
                                  "Auto-Verify... 4 new files."};
    for (const std::string& panel : panels) {
        ASSERT_TRUE(world.engine.deliverNextEvent());
        EXPECT_EQ(panel1(), panel);
    }
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{{disc_texts::FileWarningText(warning), MessageIcon::Exclamation,
                                     MessageButtons::OkCancel}}));
    world.deliverEvents();
    world.window->SetWriterEnabled(true);
}

TEST_F(DiscWriterWrite, ClosingIsRefusedWhileWriting) {
    click("cmdWriteDisc");
    EXPECT_FALSE(world.window->close());
    QTest::keyClick(world.window.get(), Qt::Key_Escape);
    EXPECT_TRUE(world.window->isVisible());
    EXPECT_FALSE(Child<QPushButton>(*world.window, "cmdWriteDisc").isEnabled());
    EXPECT_TRUE(Child<QPushButton>(*world.window, "cmdCancel").isEnabled());
    world.deliverEvents();
    EXPECT_TRUE(world.window->close());
}

TEST_F(DiscWriterWrite, TheImageDeviceAsksForTheImageFile) {
    world.window.reset();
    disc::SimulatedDiscEngine& engine = world.engine;
    engine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());
    world.open();
    auto& devices = Child<QComboBox>(*world.window, "cboDevices");
    devices.setCurrentIndex(1);
    emit devices.activated(1);
    const std::string image = (world.temp / "disc.iso").string();
    world.dialogs.saveAnswers = {std::nullopt, image};
    click("cmdWriteDisc");
    EXPECT_TRUE(engine.writes().empty()) << "a cancelled dialog writes nothing";
    click("cmdWriteDisc");
    ASSERT_EQ(engine.writes().size(), 1u);
    EXPECT_EQ(engine.writes()[0].device->ImageFilePath(), image);
    ASSERT_EQ(world.dialogs.saveDialogs.size(), 2u);
    EXPECT_EQ(world.dialogs.saveDialogs[0].filter, "Disc image (*.iso)");
    world.deliverEvents();
}

TEST_F(DiscWriterWrite, ShowsVerificationAndItsProgress) {
    disc::ImageItem item;
    item.imagePath = "\\a.qbk";
    item.sourcePath = "/home/a.qbk";
    struct Case {
        int result;
        int position;
        int total;
        int bar;  // before: 5
        bool message;
    };
    const Case cases[] = {
        {disc::kVerifySourceUnreadable, 1, 3, 33, true},
        {disc::kVerifyDestinationUnreadable, 2, 3, 67, true},
        {disc::kVerifyContentMismatch, 1, 8, 12, true},  // 12.5: the even neighbour
        {disc::kVerifySizeMismatch, 3, 8, 38, true},     // 37.5
        {disc::kVerifyMatched, 1, 3, 33, false},
        {disc::kVerifyEmptyFile, 2, 3, 67, false},
        {disc::kVerifyMatched, 1, 0, 5, false},  // no total: the bar stays
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.result);
        world.dialogs.messages.clear();
        Child<QProgressBar>(*world.window, "prgTotalProgress").setValue(5);
        world.engine.setWriteScript(
            {disc::VerifyStartedEvent{test.total},
             disc::FileVerifiedEvent{item, test.result, test.position, test.total},
             disc::VerifyFinishedEvent{test.total, 1}});
        click("cmdWriteDisc");
        ASSERT_TRUE(world.engine.deliverNextEvent());
        ASSERT_TRUE(world.engine.deliverNextEvent());
        EXPECT_EQ(panel1(), "Auto-Verify... " + item.imagePath);
        EXPECT_EQ(bar(), test.bar);
        if (test.message) {
            EXPECT_EQ(world.dialogs.messages,
                      (std::vector<Message>{{*disc_texts::VerifyResultLine(test.result) +
                                                 "\r\n\\a.qbk (disc)\r\n/home/a.qbk (source)",
                                             MessageIcon::None, MessageButtons::Ok}}));
        } else {
            EXPECT_EQ(world.dialogs.messages, std::vector<Message>{});
        }
        ASSERT_TRUE(world.engine.deliverNextEvent());
        EXPECT_EQ(panel1(),
                  "Auto-Verify...Complete (1 of " + std::to_string(test.total) + " MATCHED)");
        // The script has no end state; the engine is idle again, the window is told so.
        world.deliverEvents();
        world.window->SetWriterEnabled(true);
    }
}

}  // namespace
}  // namespace quillet::testing
