#include "support/disc/simulated_disc_engine.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/platform/temp_dir.h"
#include "support/recording_disc_listener.h"

namespace quillet::disc {
namespace {

using testing::RecordingDiscListener;
using testing::TempDir;

class SimulatedDiscEngineTest : public ::testing::Test {
  protected:
    SimulatedDiscEngineTest() {
        engine.addListener(&listener);
        testing::WriteFileBytes(dir / "a", "aaa");
        testing::WriteFileBytes(dir / "b", "bbbb");
        engine.Project().FileSystem().AddFile((dir / "a").string(), "\\a");
        engine.Project().FileSystem().AddFile((dir / "b").string(), "\\f\\b");
    }

    TempDir dir;
    SimulatedDiscEngine engine;
    SimulatedDevice& drive = engine.addDevice({});
    RecordingDiscListener listener;
};

TEST_F(SimulatedDiscEngineTest, AWriteDeliversItsScriptOneEventAtATimeAndThenIsOver) {
    engine.Project().SetAutoVerify(true);
    engine.setVerifyResult("\\f\\b", kVerifyContentMismatch);
    const std::vector<ScriptedEvent> script = engine.writeScript();
    EXPECT_EQ(script.back(), ScriptedEvent(WriteStatusEvent{kWriteCompleted, 100}));
    EXPECT_EQ(script[script.size() - 2], ScriptedEvent(VerifyFinishedEvent{2, 1}));

    ASSERT_TRUE(engine.Project().WriteImage(drive));
    EXPECT_TRUE(engine.isBusy());
    EXPECT_TRUE(listener.events.empty());  // nothing is raised inside WriteImage
    ASSERT_TRUE(engine.deliverNextEvent());
    EXPECT_EQ(listener.events.size(), 1u);
    EXPECT_EQ(engine.pumpEvents(), static_cast<int>(script.size()) - 1);
    EXPECT_EQ(listener.events, script);
    EXPECT_FALSE(engine.isBusy());
}

TEST_F(SimulatedDiscEngineTest, EachWayOfEndingEarlyClosesTheWriteWithItsEndState) {
    const EngineError error{kErrorKindWrite, "Media write failed", {}, {}, 0};
    struct Case {
        const char* name;
        std::function<void()> arrange;
        bool abortAfterStart;
        int endState;
    };
    for (const Case& c : std::vector<Case>{
             {"cancelled", [] {}, true, kWriteCancelled},
             {"warning declined",
              [&] {
                  engine.warnAboutFile({2, "changed", "x"});
                  listener.continueAfterWarning = false;
              },
              false, kWriteCancelled},
             {"engine error",
              [&] {
                  listener.continueAfterWarning = true;
                  engine.failWriteWith(error);
              },
              false, kWriteFailed},
         }) {
        SCOPED_TRACE(c.name);
        listener.events.clear();
        c.arrange();
        ASSERT_TRUE(engine.Project().WriteImage(drive));
        engine.deliverNextEvent();
        if (c.abortAfterStart) engine.Project().AbortWrite();
        engine.pumpEvents();
        EXPECT_EQ(listener.writeStates().back(), c.endState);
        EXPECT_FALSE(engine.isBusy());
    }
    EXPECT_NE(std::find(listener.events.begin(), listener.events.end(),
                        ScriptedEvent(ErrorRaisedEvent{error})),
              listener.events.end());
}

TEST_F(SimulatedDiscEngineTest, RecordsTheSettingsInTheOrderTheyWereSet) {
    DataProject& project = engine.Project();
    project.SetVolumeIdentifier("Backup");
    project.SetWriteMethod(kWriteMethodDiscAtOnce);
    ASSERT_TRUE(project.WriteImage(drive));
    ASSERT_EQ(engine.writes().size(), 1u);
    EXPECT_EQ(engine.writes()[0].order,
              (std::vector<ProjectSetting>{ProjectSetting::kVolumeIdentifier,
                                           ProjectSetting::kWriteMethod}));
    EXPECT_EQ(engine.writes()[0].settings.writeMethod, kWriteMethodDiscAtOnce);
    EXPECT_EQ(engine.writes()[0].items.size(), 3u);
    EXPECT_FALSE(project.WriteImage(drive));  // one write at a time
    engine.pumpEvents();
    engine.refuseWrite();
    EXPECT_FALSE(project.WriteImage(drive));
}

TEST_F(SimulatedDiscEngineTest, ErasesFollowTheirScriptAndCanBeRefusedOrFail) {
    const DeviceError error{5, "Erase failed", "Medium error", "Simulated Drive"};
    ASSERT_TRUE(drive.EraseDisc(true, drive.EraseValue()));
    engine.pumpEvents();
    EXPECT_EQ(listener.events, drive.eraseScript());
    drive.failEraseWith(error);
    listener.events.clear();
    ASSERT_TRUE(drive.EraseDisc(false, 7));
    engine.pumpEvents();
    EXPECT_EQ(listener.events, (std::vector<ScriptedEvent>{EraseStatusEvent{kEraseStarted, 0},
                                                           DeviceErrorEvent{error}}));
    EXPECT_FALSE(engine.isBusy());
    drive.refuseErase();
    EXPECT_FALSE(drive.EraseDisc(true, 0));
    EXPECT_EQ(drive.calls().erases.back(), std::make_pair(true, std::uint32_t{0}));
    EXPECT_FALSE(engine.addDevice(SimulatedDiscEngine::ImageFileDeviceSetup()).EraseDisc(true, 0));
}

TEST_F(SimulatedDiscEngineTest, EventsGoThroughThePosterAndSkipAListenerRemovedMeanwhile) {
    std::deque<std::function<void()>> posted;
    engine.setEventPoster([&](std::function<void()> task) { posted.push_back(std::move(task)); });
    struct Leaving : DiscEventListener {
        DiscEngine* engine = nullptr;
        DiscEventListener* other = nullptr;
        void WriteStatus(int, int) override { engine->removeListener(other); }
    } leaving;
    leaving.engine = &engine;
    leaving.other = &listener;
    engine.removeListener(&listener);
    engine.addListener(&leaving);
    engine.addListener(&listener);

    ASSERT_TRUE(engine.Project().WriteImage(drive));
    EXPECT_EQ(engine.pumpEvents(), 0);
    ASSERT_EQ(posted.size(), 1u);
    while (!posted.empty()) {
        auto task = std::move(posted.front());
        posted.pop_front();
        task();
    }
    EXPECT_TRUE(listener.events.empty());
    EXPECT_FALSE(engine.isBusy());
}

TEST(EventHubTest, ATaskPostedForAnEngineThatIsGoneDoesNothing) {
    std::deque<std::function<void()>> posted;
    bool ran = false;
    {
        SimulatedDiscEngine engine;
        engine.setEventPoster([&](std::function<void()> task) { posted.push_back(task); });
        SimulatedDevice& drive = engine.addDevice({});
        struct Noting : DiscEventListener {
            bool* ran;
            void EraseStatus(int, int) override { *ran = true; }
        } noting;
        noting.ran = &ran;
        engine.addListener(&noting);
        ASSERT_TRUE(drive.EraseDisc(true, drive.EraseValue()));
    }
    ASSERT_EQ(posted.size(), 1u);
    posted.front()();
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace quillet::disc
