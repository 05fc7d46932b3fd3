// The erase window over the simulated engine: the disc checks, the erase's events, closing.
#include "gui/erase_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "gui/gui_world.h"
#include "gui/scripted_dialogs.h"
#include "support/disc/simulated_disc_engine.h"

namespace quillet::testing {
namespace {

using disc::DeviceSetup;
using Message = ScriptedDialogs::Message;

constexpr std::uint32_t kEraseValue = 0x2A;

// A drive with these capabilities and a disc of that media type, the window over it, shown.
struct EraseWorld {
    EraseWorld(int mediaType, bool rewritable, std::set<int> capabilities)
        : device(engine.addDevice(DeviceSetup{.name = "Rewriter",
                                              .capabilities = std::move(capabilities),
                                              .media = {mediaType, true, rewritable},
                                              .eraseValue = kEraseValue})),
          window(engine, device, dialogs) {
        window.show();
    }

    void clickErase() {
        QTest::mouseClick(&Child<QPushButton>(window, "cmdErase"), Qt::LeftButton);
    }
    bool buttonsEnabled() {
        return Child<QPushButton>(window, "cmdErase").isEnabled() &&
               Child<QPushButton>(window, "cmdCancel").isEnabled();
    }
    QString status() { return Child<QLabel>(window, "lblStatus").text(); }
    int progress() { return Child<QProgressBar>(window, "prgEraseProgress").value(); }

    disc::SimulatedDiscEngine engine;
    disc::SimulatedDevice& device;
    ScriptedDialogs dialogs;
    EraseWindow window;
};

// Every capability of the format table.
std::set<int> AllEraseCapabilities() {
    std::set<int> all;
    for (const auto& format : EraseWindow::kEraseFormats) all.insert(format.capability);
    return all;
}

// The capabilities the window asks, in order, up to and including the format at `last`.
std::vector<int> CapabilitiesAskedThrough(std::size_t last) {
    std::vector<int> asked;
    for (std::size_t i = 0; i <= last; ++i)
        asked.push_back(EraseWindow::kEraseFormats[i].capability);
    return asked;
}

TEST(FrmErase, ShowsItsControlsReadyWithQuickEraseTicked) {
    EraseWorld world(disc::kMediaCdRw, true, {});
    EXPECT_EQ(world.window.objectName(), "frmErase");
    EXPECT_EQ(world.window.windowTitle(), "Erase Re-Writable CD/DVD");
    auto& quick = Child<QCheckBox>(world.window, "chkQuikErase");
    EXPECT_EQ(quick.text(), "Perform Quick Erase");
    EXPECT_TRUE(quick.isChecked());
    EXPECT_EQ(Child<QPushButton>(world.window, "cmdErase").text(), "&Erase");
    EXPECT_EQ(Child<QPushButton>(world.window, "cmdCancel").text(), "&Cancel");
    EXPECT_TRUE(world.buttonsEnabled());
    EXPECT_EQ(world.status(), "");
    EXPECT_EQ(world.progress(), 0);
    EXPECT_TRUE(
        Child<QLabel>(world.window, "lblNote").text().startsWith("NOTE: If not performing"));
}

// What "&Erase" does with a disc and a drive: the message it shows (none when the erase starts),
// the capabilities it asks in order, and the erase it starts.
struct CheckCase {
    const char* name;
    int mediaType;
    bool rewritable;
    std::set<int> capabilities;
    bool quick;
    bool refuseStart;
    std::optional<Message> message;
    std::vector<int> asked;
    bool erased;
};
void PrintTo(const CheckCase& test, std::ostream* out) { *out << test.name; }

class EraseChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(EraseChecks, AskTheDriveInOrderAndEraseOrCloseWithTheirMessage) {
    const CheckCase& test = GetParam();
    EraseWorld world(test.mediaType, test.rewritable, test.capabilities);
    world.device.refuseErase(test.refuseStart);
    Child<QCheckBox>(world.window, "chkQuikErase").setChecked(test.quick);
    world.clickErase();

    EXPECT_EQ(world.device.calls().refreshMedia, std::vector<bool>{false});
    EXPECT_EQ(world.device.calls().capabilities, test.asked);
    std::vector<Message> expected;
    if (test.message) expected.push_back(*test.message);
    EXPECT_EQ(world.dialogs.messages, expected);
    using Erase = std::pair<bool, std::uint32_t>;
    const std::vector<Erase> erases = test.erased || test.refuseStart
                                          ? std::vector<Erase>{{test.quick, kEraseValue}}
                                          : std::vector<Erase>{};
    EXPECT_EQ(world.device.calls().erases, erases);
    EXPECT_EQ(world.window.isVisible(), test.erased) << "a refused erase closes the window";
    EXPECT_TRUE(world.dialogs.problems().empty());
}

constexpr char kUnsupported[] = "Selected drive does not support re-writable discs of this format.";
const auto kInformation = [](const char* text) {
    return Message{text, MessageIcon::Information, MessageButtons::Ok};
};

INSTANTIATE_TEST_SUITE_P(
    FrmErase, EraseChecks,
    ::testing::Values(CheckCase{"NoDisc",
                                disc::kMediaNone,
                                false,
                                AllEraseCapabilities(),
                                true,
                                false,
                                kInformation("No Media Loaded."),
                                {},
                                false},
                      CheckCase{"WriteOnceDisc",
                                disc::kMediaCdR,
                                false,
                                AllEraseCapabilities(),
                                true,
                                false,
                                kInformation("The current media is not re-writable."),
                                {},
                                false},
                      // The drive can blank CD-RW (the first pair) but not this DVD-RW.
                      CheckCase{"DvdRwInACdRwDrive",
                                disc::kMediaDvdMinusRw,
                                true,
                                {disc::kCapabilityWriteCdRw},
                                true,
                                false,
                                kInformation(kUnsupported),
                                CapabilitiesAskedThrough(4),
                                false},
                      CheckCase{"CdRwAsksOnlyTheFirstCapability",
                                disc::kMediaCdRw,
                                true,
                                {disc::kCapabilityWriteCdRw},
                                true,
                                false,
                                std::nullopt,
                                {disc::kCapabilityWriteCdRw},
                                true},
                      CheckCase{"BdReAsksEveryCapability", disc::kMediaBdRe, true,
                                AllEraseCapabilities(), false, false, std::nullopt,
                                CapabilitiesAskedThrough(4), true},
                      CheckCase{"EraseThatCannotStart", disc::kMediaDvdPlusRw, true,
                                AllEraseCapabilities(), true, true,
                                Message{"Could not start Erase operation!!!", MessageIcon::Critical,
                                        MessageButtons::Ok},
                                CapabilitiesAskedThrough(3), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrmErase, AnEraseRunsBusyRefusingToCloseAndClosesAfterItsCompletedMessage) {
    EraseWorld world(disc::kMediaCdRw, true, {disc::kCapabilityWriteCdRw});
    world.device.setEraseScript({disc::EraseStatusEvent{disc::kEraseStarted, 5},
                                 disc::EraseStatusEvent{disc::kEraseProgress, 60},
                                 disc::EraseStatusEvent{disc::kEraseCompleted, 100}});
    world.clickErase();
    ASSERT_TRUE(world.engine.deliverNextEvent());
    EXPECT_TRUE(world.window.isBusy());
    EXPECT_EQ(world.status(), "Erasing Disc...Please Wait!!");
    EXPECT_FALSE(Child<QPushButton>(world.window, "cmdErase").isEnabled());
    EXPECT_FALSE(Child<QPushButton>(world.window, "cmdCancel").isEnabled());
    EXPECT_EQ(world.progress(), 5);

    EXPECT_FALSE(world.window.close());
    QTest::keyClick(&world.window, Qt::Key_Escape);
    EXPECT_TRUE(world.window.isVisible()) << "closing refused while busy";

    ASSERT_TRUE(world.engine.deliverNextEvent());
    EXPECT_EQ(world.progress(), 60);
    EXPECT_TRUE(world.dialogs.messages.empty());
    ASSERT_TRUE(world.engine.deliverNextEvent());
    EXPECT_EQ(world.status(), "Erase operation complete!!!");
    EXPECT_EQ(world.dialogs.messages, std::vector<Message>{kInformation("Erase Completed!!!")});
    EXPECT_FALSE(world.window.isBusy());
    EXPECT_TRUE(world.buttonsEnabled());
    EXPECT_FALSE(world.window.isVisible());
}

TEST(FrmErase, AFailedEraseClosesWithoutAMessageAndHearsNoMoreEvents) {
    EraseWorld world(disc::kMediaCdRw, true, {disc::kCapabilityWriteCdRw});
    world.device.setEraseScript({disc::EraseStatusEvent{disc::kEraseStarted, 0},
                                 disc::EraseStatusEvent{disc::kEraseFailed, 0}});
    world.clickErase();
    world.engine.pumpEvents();
    EXPECT_EQ(world.status(), "Error Erasing Disc!!!");
    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_FALSE(world.window.isVisible());

    // Another erase of the drive no longer reaches the closed window.
    world.device.setEraseScript({disc::EraseStatusEvent{disc::kEraseStarted, 40}});
    ASSERT_TRUE(world.device.EraseDisc(true, kEraseValue));
    world.engine.pumpEvents();
    EXPECT_EQ(world.status(), "Error Erasing Disc!!!");
    EXPECT_FALSE(world.window.isBusy());
}

TEST(FrmErase, ADeviceErrorShowsItsTextAndLeavesTheWindowOpenAndReady) {
    EraseWorld world(disc::kMediaCdRw, true, {disc::kCapabilityWriteCdRw});
    world.device.failEraseWith(disc::DeviceError{.errorCode = 3,
                                                 .textA = "Blank failed",
                                                 .textB = "Medium not present",
                                                 .textC = "/dev/sr0"});
    world.clickErase();
    world.engine.pumpEvents();
    const Message shown{"Device Error: (3)   Blank failed\r\n(/dev/sr0) Medium not present",
                        MessageIcon::Critical, MessageButtons::Ok};
    EXPECT_EQ(world.dialogs.messages, std::vector<Message>{shown});
    EXPECT_FALSE(world.window.isBusy());
    EXPECT_TRUE(world.buttonsEnabled());
    EXPECT_TRUE(world.window.isVisible());
    EXPECT_TRUE(world.window.close());
}

}  // namespace
}  // namespace quillet::testing
