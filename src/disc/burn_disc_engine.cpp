#include "disc/burn_disc_engine.h"

#include <libburn/libburn.h>
#include <stdint.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "disc/burn_library.h"
#include "disc/disc_write_job.h"
#include "disc/image_file_device.h"
#include "disc/iso_image_builder.h"
#include "disc/optical_device.h"
#include "disc/udf_bridge.h"

namespace quillet::disc {

using namespace ::burn;

// --- BurnProject -------------------------------------------------------------------------------

BurnProject::BurnProject(BurnDiscEngine& engine, EventHub& hub) : m_engine(engine), m_tree(hub) {}

double BurnProject::ImageSize() {
    const SizeKey key{m_tree.generation(), FileSystemType()};
    if (m_sizeKey == key) return m_size;
    const std::vector<ImageItem> items = m_tree.items();
    std::optional<double> size;
    if (FileSystemHasUdf(FileSystemType())) {
        EngineError error;
        std::optional<UdfBridge> udf = UdfBridge::Prepare(items, settings(), error);
        if (udf) {
            if (auto bytes = udf->imageSize(error)) size = static_cast<double>(*bytes);
        }
    } else {
        size = IsoImageSize(items, settings());
    }
    if (!size) {
        // The image cannot be laid out now (a source went away): its files' blocks at least.
        double blocks = 0;
        for (const ImageItem& item : items) blocks += std::ceil(item.itemSize / BlockSize());
        size = blocks * BlockSize();
    }
    m_sizeKey = key;
    m_size = *size;
    return m_size;
}

bool BurnProject::WriteImage(DiscDevice& device) { return m_engine.startWrite(device); }

void BurnProject::AbortWrite() { m_engine.abortJob(); }

namespace {

constexpr const char* kNotARegularFile =
    "Not a regular file: an image is written only into a new file or over a regular file";

// Whether `path` may take an image: it is a regular file (or a link to one), or there is none to
// look at (the replacement then says why it cannot be written). A device or a pipe is never
// replaced by a file of the same name.
bool RegularTarget(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode);
}

}  // namespace

// --- BurnDiscEngine ----------------------------------------------------------------------------

BurnDiscEngine::BurnDiscEngine()
    : m_hub(EventHub::Create()),
      m_library(BurnLibrary::Acquire()),
      m_project(*this, *m_hub),
      m_abort(std::make_shared<std::atomic<bool>>(false)) {}

BurnDiscEngine::~BurnDiscEngine() {
    *m_abort = true;
    if (m_worker.joinable()) m_worker.join();
    m_hub->close();
    m_devices.clear();
}

bool BurnDiscEngine::InitializeDevices(bool rescan) {
    if (!m_library) return false;
    if (m_initialized && !rescan) return true;
    if (isBusy()) return false;
    m_devices.clear();

    burn_drive_info* found = nullptr;
    unsigned int count = 0;
    int scanned = 0;
    while ((scanned = burn_drive_scan(&found, &count)) == 0) {
    }
    if (scanned > 0) {
        for (unsigned int i = 0; i < count; ++i) {
            m_devices.push_back(std::make_unique<OpticalDevice>(*this, found[i]));
            // Give up the scan's hold: each operation grabs the drive by its address.
            burn_drive_info_forget(&found[i], 0);
        }
        burn_drive_info_free(found);
    }
    BurnLibrary::TakeMessages();
    m_devices.push_back(std::make_unique<ImageFileDevice>(*this));
    m_initialized = true;
    return true;
}

DiscDevice* BurnDiscEngine::DeviceAt(int index) {
    if (index < 0 || index >= DeviceCount()) return nullptr;
    return m_devices[static_cast<size_t>(index)].get();
}

bool BurnDiscEngine::startJob(Job job) {
    if (isBusy()) return false;
    if (m_worker.joinable()) m_worker.join();
    m_abort = std::make_shared<std::atomic<bool>>(false);
    m_hub->setBusy(true);
    m_worker = std::thread(std::move(job), m_hub, m_abort);
    return true;
}

void BurnDiscEngine::abortJob() {
    if (isBusy()) *m_abort = true;
}

bool BurnDiscEngine::startWrite(DiscDevice& device) {
    auto* ours = dynamic_cast<BurnDevice*>(&device);
    if (ours == nullptr || &ours->m_engine != this || isBusy() || !m_library) return false;

    WriteJob job;
    job.items = m_project.tree().items();
    job.settings = m_project.settings();
    job.deviceName = device.DeviceName();
    if (device.IsImageFile()) {
        if (device.ImageFilePath().empty()) return false;
        job.imageFilePath = std::filesystem::absolute(device.ImageFilePath()).string();
        job.replacement = std::make_unique<FileReplacement>(job.imageFilePath);
        if (Status begun = RegularTarget(job.imageFilePath) ? job.replacement->begin()
                                                            : Status::Error(kNotARegularFile);
            !begun) {
            // Started, and failed at once: the reason names the file.
            EngineError error;
            error.errorKind = kErrorKindOutputFile;
            error.errorText = begun.reason();
            error.fileDetails = {0, begun.reason(), job.imageFilePath};
            return startJob([error](std::shared_ptr<EventHub> hub, auto) {
                hub->post([error](EventHub& h) {
                    h.raise([&](DiscEventListener& l) { l.ErrorRaised(error); });
                    h.setBusy(false);
                    h.raise([&](DiscEventListener& l) { l.WriteStatus(kWriteFailed, 0); });
                });
            });
        }
        job.driveAddress = "stdio:" + job.replacement->temporary().string();
    } else {
        job.driveAddress = static_cast<OpticalDevice&>(device).address();
    }
    auto shared = std::make_shared<WriteJob>(std::move(job));
    return startJob(
        [shared](std::shared_ptr<EventHub> hub, std::shared_ptr<std::atomic<bool>> abort) {
            shared->hub = std::move(hub);
            shared->abort = std::move(abort);
            RunWriteJob(std::move(*shared));
        });
}

}  // namespace quillet::disc
