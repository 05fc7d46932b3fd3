#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "disc/disc_engine.h"
#include "disc/event_hub.h"
#include "disc/image_tree.h"

// The real disc engine: optical drives through libburn, images through libisofs (and
// genisoimage for UDF), and, always present and listed last, the image-file device that writes
// the image into a file the user names through libburn's stdio pseudo-drive.
namespace quillet::disc {

inline constexpr const char* kImageFileDeviceName = "Disc image file (.iso)";

class BurnLibrary;
class BurnDiscEngine;

// What the engine's devices have in common: each is a libburn drive.
class BurnDevice : public DiscDevice {
  public:
    explicit BurnDevice(BurnDiscEngine& engine) : m_engine(engine) {}

  protected:
    friend class BurnDiscEngine;
    BurnDiscEngine& m_engine;
};

class BurnProject : public DataProject {
  public:
    explicit BurnProject(BurnDiscEngine& engine, EventHub& hub);

    ImageFileSystem& FileSystem() override { return m_tree; }
    int BlockSize() const override { return 2048; }
    // Computed by laying the image out (libisofs, or genisoimage for UDF) once per change.
    double ImageSize() override;
    bool WriteImage(DiscDevice& device) override;
    void AbortWrite() override;

    ImageTree& tree() { return m_tree; }

  private:
    BurnDiscEngine& m_engine;
    ImageTree m_tree;
    struct SizeKey {
        unsigned long long generation;
        int fileSystemType;
        bool operator==(const SizeKey&) const = default;
    };
    std::optional<SizeKey> m_sizeKey;
    double m_size = 0;
};

class BurnDiscEngine : public DiscEngine {
  public:
    BurnDiscEngine();
    // Stops a running write or erase and waits for it.
    ~BurnDiscEngine() override;

    bool InitializeDevices(bool rescan) override;
    int DeviceCount() const override { return static_cast<int>(m_devices.size()); }
    DiscDevice* DeviceAt(int index) override;
    DataProject& Project() override { return m_project; }

    void addListener(DiscEventListener* listener) override { m_hub->addListener(listener); }
    void removeListener(DiscEventListener* listener) override { m_hub->removeListener(listener); }
    void setEventPoster(EventPoster poster) override { m_hub->setPoster(std::move(poster)); }
    int pumpEvents(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) override {
        return m_hub->pump(wait);
    }
    bool isBusy() const override { return m_hub->busy(); }

    // For the devices and the project: runs `job` on the engine's worker thread, handing it the
    // hub and the abort flag; false when a write or erase runs already.
    using Job = std::function<void(std::shared_ptr<EventHub>, std::shared_ptr<std::atomic<bool>>)>;
    bool startJob(Job job);
    void abortJob();
    bool startWrite(DiscDevice& device);

  private:
    std::shared_ptr<EventHub> m_hub;
    std::shared_ptr<BurnLibrary> m_library;
    BurnProject m_project;
    std::vector<std::unique_ptr<BurnDevice>> m_devices;
    bool m_initialized = false;
    std::thread m_worker;
    std::shared_ptr<std::atomic<bool>> m_abort;
};

}  // namespace quillet::disc
