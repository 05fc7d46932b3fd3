#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "disc/disc_engine.h"
#include "disc/event_hub.h"
#include "disc/image_tree.h"

// A disc engine for tests: scripted drives and discs, the image kept in memory (its files stay
// on the host), and writes and erases that raise a fixed, deterministic sequence of events, one
// event per delivery. It records what it was asked so that a test can check it, and can be told
// to fail in each of the ways the real engine can.
namespace quillet::disc {

// The events a write or an erase can raise, as data.
struct WriteStatusEvent {
    int state = 0;
    int percent = 0;
    bool operator==(const WriteStatusEvent&) const = default;
};
struct FileWarningEvent {
    FileError error;
    bool operator==(const FileWarningEvent&) const = default;
};
struct TrackReadingEvent {
    int track = 1;
    std::int64_t number = 0;
    std::string text;
    bool operator==(const TrackReadingEvent&) const = default;
};
struct ErrorRaisedEvent {
    EngineError error;
    bool operator==(const ErrorRaisedEvent&) const = default;
};
struct VerifyStartedEvent {
    int files = 0;
    bool operator==(const VerifyStartedEvent&) const = default;
};
struct FileVerifiedEvent {
    ImageItem item;
    int result = kVerifyMatched;
    int position = 0;
    int total = 0;
    bool operator==(const FileVerifiedEvent&) const = default;
};
struct VerifyFinishedEvent {
    int total = 0;
    int matched = 0;
    bool operator==(const VerifyFinishedEvent&) const = default;
};
struct EraseStatusEvent {
    int state = 0;
    int percent = 0;
    bool operator==(const EraseStatusEvent&) const = default;
};
struct DeviceErrorEvent {
    DeviceError error;
    bool operator==(const DeviceErrorEvent&) const = default;
};
using ScriptedEvent = std::variant<WriteStatusEvent, FileWarningEvent, TrackReadingEvent,
                                   ErrorRaisedEvent, VerifyStartedEvent, FileVerifiedEvent,
                                   VerifyFinishedEvent, EraseStatusEvent, DeviceErrorEvent>;

// Raises one scripted event on a listener (what the engine does on delivery). Returns the flag a
// FileWarning returned, true for the other events.
bool Raise(const ScriptedEvent& event, DiscEventListener& listener);

// A drive and its disc.
struct DeviceSetup {
    std::string name = "Simulated Drive";
    bool compatible = true;
    std::set<int> capabilities = {kCapabilityBufferProtection, kCapabilityWriteCdR,
                                  kCapabilityWriteCdRw};
    std::vector<int> writeSpeeds = {};  // speed values, fastest first
    // Speed value of single speed: SpeedFactor(v) = v / singleSpeed.
    double singleSpeed = 176.4;
    MediaInfo media = {kMediaCdR, true, false};
    std::int64_t freeBlocks = 359846;  // an empty 700 MB CD
    std::uint32_t eraseValue = 0x11;
    bool imageFile = false;
};

class SimulatedDiscEngine;

class SimulatedDevice : public DiscDevice {
  public:
    SimulatedDevice(SimulatedDiscEngine& engine, DeviceSetup setup);

    std::string DeviceName() const override { return m_setup.name; }
    bool IsCompatible() const override { return m_setup.compatible; }
    bool HasCapability(int capability) const override;
    void RefreshMedia(bool full) override;
    MediaInfo LoadedMedia() const override { return m_setup.media; }
    std::int64_t FreeBlocks(bool refresh) override;
    int WriteSpeedCount() const override { return static_cast<int>(m_setup.writeSpeeds.size()); }
    int WriteSpeedAt(int index) const override;
    double SpeedFactor(int speed) const override { return speed / m_setup.singleSpeed; }
    bool EjectTray() override;
    bool CloseTray() override;
    std::uint32_t EraseValue() const override { return m_setup.eraseValue; }
    bool EraseDisc(bool quick, std::uint32_t eraseValue) override;
    bool IsImageFile() const override { return m_setup.imageFile; }
    bool SetImageFilePath(const std::string& path) override;
    std::string ImageFilePath() const override { return m_imageFilePath; }

    // The disc changes (a test puts another one in).
    DeviceSetup& setup() { return m_setup; }

    // Failures to inject.
    // EraseDisc returns false (and raises nothing).
    void refuseErase(bool refuse = true) { m_refuseErase = refuse; }
    // The events of the next erases; by default started, progress at 50, completed.
    void setEraseScript(std::vector<ScriptedEvent> script) { m_eraseScript = std::move(script); }
    // The erase starts and then the drive fails: started, DeviceErrorRaised(error), no end state.
    void failEraseWith(DeviceError error);
    std::vector<ScriptedEvent> eraseScript() const { return m_eraseScript; }

    // What was asked, in order.
    struct Calls {
        std::vector<int> capabilities;   // HasCapability arguments
        std::vector<bool> refreshMedia;  // RefreshMedia arguments
        std::vector<bool> freeBlocks;    // FreeBlocks arguments
        int ejects = 0;
        int closes = 0;
        std::vector<std::pair<bool, std::uint32_t>> erases;  // EraseDisc arguments
    };
    const Calls& calls() const { return m_calls; }
    void clearCalls() { m_calls = {}; }

  private:
    SimulatedDiscEngine& m_engine;
    DeviceSetup m_setup;
    std::string m_imageFilePath;
    bool m_refuseErase = false;
    std::vector<ScriptedEvent> m_eraseScript;
    mutable Calls m_calls;
};

// What one WriteImage saw.
struct WriteRecord {
    DiscDevice* device = nullptr;
    ProjectSettings settings;           // the project's settings then
    std::vector<ProjectSetting> order;  // the setters called since the previous write
    std::vector<ImageItem> items;       // the image then
};

class SimulatedProject : public DataProject {
  public:
    explicit SimulatedProject(SimulatedDiscEngine& engine);

    ImageFileSystem& FileSystem() override { return m_tree; }
    ImageTree& tree() { return m_tree; }
    int BlockSize() const override { return 2048; }
    // 20 blocks of volume descriptors and tables, one block per folder and the blocks of every
    // file, unless a test fixed the size.
    double ImageSize() override;
    bool WriteImage(DiscDevice& device) override;
    void AbortWrite() override;

    void setImageSize(std::optional<double> bytes) { m_imageSize = bytes; }
    // The setters called so far (since the last write), in order.
    const std::vector<ProjectSetting>& settingOrder() const { return m_order; }

  protected:
    void settingChanged(ProjectSetting which) override { m_order.push_back(which); }

  private:
    SimulatedDiscEngine& m_engine;
    ImageTree m_tree;
    std::optional<double> m_imageSize;
    std::vector<ProjectSetting> m_order;
};

class SimulatedDiscEngine : public DiscEngine {
  public:
    SimulatedDiscEngine();
    ~SimulatedDiscEngine() override;

    // The drives, in DeviceAt order. The returned device lives as long as the engine.
    SimulatedDevice& addDevice(DeviceSetup setup);
    // The image-file device as the real engine lists it: a file "disc", never erasable.
    static DeviceSetup ImageFileDeviceSetup();

    bool InitializeDevices(bool rescan) override;
    int DeviceCount() const override { return static_cast<int>(m_devices.size()); }
    DiscDevice* DeviceAt(int index) override;
    DataProject& Project() override { return m_project; }
    SimulatedProject& project() { return m_project; }

    void addListener(DiscEventListener* listener) override { m_hub->addListener(listener); }
    void removeListener(DiscEventListener* listener) override { m_hub->removeListener(listener); }
    void setEventPoster(EventPoster poster) override { m_hub->setPoster(std::move(poster)); }
    int pumpEvents(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) override {
        return m_hub->pump(wait);
    }
    bool isBusy() const override { return m_hub->busy(); }
    // Without a poster: delivers the next queued event only; false when none is queued.
    bool deliverNextEvent() { return m_hub->runOne(); }

    // Failures to inject.
    void failInitialize(bool fail = true) { m_failInitialize = fail; }
    // WriteImage returns false (and raises nothing).
    void refuseWrite(bool refuse = true) { m_refuseWrite = refuse; }
    // The events of the next writes, replacing the ones made from the image.
    void setWriteScript(std::vector<ScriptedEvent> script) { m_writeScript = std::move(script); }
    void clearWriteScript() { m_writeScript.reset(); }
    // The write fails after its first progress: ErrorRaised(error), then WriteStatus failed.
    void failWriteWith(EngineError error) { m_writeError = std::move(error); }
    // FileWarning(error) after the image is prepared; the write goes on when it returns true.
    void warnAboutFile(FileError error) { m_fileWarnings.push_back(std::move(error)); }
    // Verification reports `result` for the file at `imagePath` (matched otherwise).
    void setVerifyResult(const std::string& imagePath, int result) {
        m_verifyResults[imagePath] = result;
    }

    // The events the next write of the current image and settings raises (without a cancel).
    std::vector<ScriptedEvent> writeScript();

    const std::vector<WriteRecord>& writes() const { return m_writes; }
    int abortCount() const { return m_aborts; }

  private:
    friend class SimulatedDevice;
    friend class SimulatedProject;

    bool startWrite(DiscDevice& device);
    void abortWrite();
    bool startErase(std::vector<ScriptedEvent> script);
    // Delivers event `index` of the running script, then posts the next one.
    void postStep(std::shared_ptr<std::vector<ScriptedEvent>> script, size_t index, bool write);

    std::shared_ptr<EventHub> m_hub;
    SimulatedProject m_project;
    std::vector<std::unique_ptr<SimulatedDevice>> m_devices;
    bool m_failInitialize = false;
    bool m_refuseWrite = false;
    std::optional<std::vector<ScriptedEvent>> m_writeScript;
    std::optional<EngineError> m_writeError;
    std::vector<FileError> m_fileWarnings;
    std::map<std::string, int> m_verifyResults;
    std::vector<WriteRecord> m_writes;
    int m_aborts = 0;
    bool m_abortRequested = false;
};

}  // namespace quillet::disc
