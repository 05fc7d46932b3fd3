#include "support/disc/simulated_disc_engine.h"

#include <cmath>

namespace quillet::disc {

namespace {

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

bool EndsWrite(const ScriptedEvent& event) {
    const auto* status = std::get_if<WriteStatusEvent>(&event);
    return status != nullptr && IsWriteEndState(status->state);
}

bool EndsErase(const ScriptedEvent& event) {
    if (std::holds_alternative<DeviceErrorEvent>(event)) return true;
    const auto* status = std::get_if<EraseStatusEvent>(&event);
    return status != nullptr && (status->state == kEraseCompleted || status->state == kEraseFailed);
}

}  // namespace

bool Raise(const ScriptedEvent& event, DiscEventListener& listener) {
    return std::visit(Overloaded{
                          [&](const WriteStatusEvent& e) {
                              listener.WriteStatus(e.state, e.percent);
                              return true;
                          },
                          [&](const FileWarningEvent& e) { return listener.FileWarning(e.error); },
                          [&](const TrackReadingEvent& e) {
                              listener.TrackReading(e.track, e.number, e.text);
                              return true;
                          },
                          [&](const ErrorRaisedEvent& e) {
                              listener.ErrorRaised(e.error);
                              return true;
                          },
                          [&](const VerifyStartedEvent& e) {
                              listener.VerifyStarted(e.files);
                              return true;
                          },
                          [&](const FileVerifiedEvent& e) {
                              listener.FileVerified(e.item, e.result, e.position, e.total);
                              return true;
                          },
                          [&](const VerifyFinishedEvent& e) {
                              listener.VerifyFinished(e.total, e.matched);
                              return true;
                          },
                          [&](const EraseStatusEvent& e) {
                              listener.EraseStatus(e.state, e.percent);
                              return true;
                          },
                          [&](const DeviceErrorEvent& e) {
                              listener.DeviceErrorRaised(e.error);
                              return true;
                          },
                      },
                      event);
}

// --- SimulatedDevice ---------------------------------------------------------------------------

SimulatedDevice::SimulatedDevice(SimulatedDiscEngine& engine, DeviceSetup setup)
    : m_engine(engine),
      m_setup(std::move(setup)),
      m_eraseScript({EraseStatusEvent{kEraseStarted, 0}, EraseStatusEvent{kEraseProgress, 50},
                     EraseStatusEvent{kEraseCompleted, 100}}) {}

bool SimulatedDevice::HasCapability(int capability) const {
    m_calls.capabilities.push_back(capability);
    return m_setup.capabilities.count(capability) != 0;
}

void SimulatedDevice::RefreshMedia(bool full) { m_calls.refreshMedia.push_back(full); }

std::int64_t SimulatedDevice::FreeBlocks(bool refresh) {
    m_calls.freeBlocks.push_back(refresh);
    return m_setup.media.isWritable ? m_setup.freeBlocks : 0;
}

int SimulatedDevice::WriteSpeedAt(int index) const {
    if (index < 0 || index >= WriteSpeedCount()) return 0;
    return m_setup.writeSpeeds[static_cast<size_t>(index)];
}

bool SimulatedDevice::EjectTray() {
    ++m_calls.ejects;
    return !m_setup.imageFile;
}

bool SimulatedDevice::CloseTray() {
    ++m_calls.closes;
    return !m_setup.imageFile;
}

bool SimulatedDevice::EraseDisc(bool quick, std::uint32_t eraseValue) {
    m_calls.erases.emplace_back(quick, eraseValue);
    if (m_refuseErase || m_setup.imageFile) return false;
    return m_engine.startErase(m_eraseScript);
}

void SimulatedDevice::failEraseWith(DeviceError error) {
    m_eraseScript = {EraseStatusEvent{kEraseStarted, 0}, DeviceErrorEvent{std::move(error)}};
}

bool SimulatedDevice::SetImageFilePath(const std::string& path) {
    if (!m_setup.imageFile) return false;
    m_imageFilePath = path;
    return true;
}

// --- SimulatedProject --------------------------------------------------------------------------

SimulatedProject::SimulatedProject(SimulatedDiscEngine& engine)
    : m_engine(engine), m_tree(*engine.m_hub) {}

double SimulatedProject::ImageSize() {
    if (m_imageSize) return *m_imageSize;
    double blocks = 20;
    for (const ImageItem& item : m_tree.items()) {
        blocks += item.isFolder ? 1 : std::ceil(item.itemSize / BlockSize());
    }
    return blocks * BlockSize();
}

bool SimulatedProject::WriteImage(DiscDevice& device) {
    const bool started = m_engine.startWrite(device);
    m_order.clear();
    return started;
}

void SimulatedProject::AbortWrite() { m_engine.abortWrite(); }

// --- SimulatedDiscEngine -----------------------------------------------------------------------

SimulatedDiscEngine::SimulatedDiscEngine() : m_hub(EventHub::Create()), m_project(*this) {}

SimulatedDiscEngine::~SimulatedDiscEngine() { m_hub->close(); }

SimulatedDevice& SimulatedDiscEngine::addDevice(DeviceSetup setup) {
    m_devices.push_back(std::make_unique<SimulatedDevice>(*this, std::move(setup)));
    return *m_devices.back();
}

DeviceSetup SimulatedDiscEngine::ImageFileDeviceSetup() {
    DeviceSetup setup;
    setup.name = "Disc image file (.iso)";
    setup.capabilities = {};
    setup.writeSpeeds = {};
    setup.media = {kMediaImageFile, true, false};
    setup.freeBlocks = std::int64_t{1} << 31;
    setup.eraseValue = 0;
    setup.imageFile = true;
    return setup;
}

bool SimulatedDiscEngine::InitializeDevices(bool /*rescan*/) { return !m_failInitialize; }

DiscDevice* SimulatedDiscEngine::DeviceAt(int index) {
    if (index < 0 || index >= DeviceCount()) return nullptr;
    return m_devices[static_cast<size_t>(index)].get();
}

std::vector<ScriptedEvent> SimulatedDiscEngine::writeScript() {
    if (m_writeScript) return *m_writeScript;
    std::vector<ScriptedEvent> script = {WriteStatusEvent{kWritePreparingImage, 0}};
    for (const FileError& warning : m_fileWarnings) script.push_back(FileWarningEvent{warning});
    script.push_back(WriteStatusEvent{kWriteLeadIn, 0});
    script.push_back(WriteStatusEvent{kWriteWritingData, 0});
    if (m_writeError) {
        script.push_back(ErrorRaisedEvent{*m_writeError});
        script.push_back(WriteStatusEvent{kWriteFailed, 0});
        return script;
    }
    script.push_back(WriteStatusEvent{kWriteWritingData, 50});
    script.push_back(WriteStatusEvent{kWriteWritingData, 100});
    script.push_back(WriteStatusEvent{kWriteClosingTrack, 100});
    script.push_back(WriteStatusEvent{kWriteLeadOut, 100});
    if (m_project.AutoVerify()) {
        std::vector<ImageItem> files;
        for (ImageItem& item : m_project.tree().items()) {
            if (!item.isFolder) files.push_back(std::move(item));
        }
        const int total = static_cast<int>(files.size());
        script.push_back(VerifyStartedEvent{total});
        int matched = 0;
        for (int i = 0; i < total; ++i) {
            auto result = m_verifyResults.find(files[static_cast<size_t>(i)].imagePath);
            const int code = result == m_verifyResults.end() ? kVerifyMatched : result->second;
            if (code == kVerifyMatched || code == kVerifyEmptyFile) ++matched;
            script.push_back(FileVerifiedEvent{files[static_cast<size_t>(i)], code, i + 1, total});
        }
        script.push_back(VerifyFinishedEvent{total, matched});
    }
    script.push_back(WriteStatusEvent{kWriteCompleted, 100});
    return script;
}

bool SimulatedDiscEngine::startWrite(DiscDevice& device) {
    if (m_refuseWrite || m_hub->busy()) return false;
    if (device.IsImageFile() && device.ImageFilePath().empty()) return false;
    m_writes.push_back(
        {&device, m_project.settings(), m_project.settingOrder(), m_project.tree().items()});
    m_abortRequested = false;
    m_hub->setBusy(true);
    postStep(std::make_shared<std::vector<ScriptedEvent>>(writeScript()), 0, true);
    return true;
}

void SimulatedDiscEngine::abortWrite() {
    ++m_aborts;
    if (m_hub->busy()) m_abortRequested = true;
}

bool SimulatedDiscEngine::startErase(std::vector<ScriptedEvent> script) {
    if (m_hub->busy()) return false;
    m_hub->setBusy(true);
    postStep(std::make_shared<std::vector<ScriptedEvent>>(std::move(script)), 0, false);
    return true;
}

void SimulatedDiscEngine::postStep(std::shared_ptr<std::vector<ScriptedEvent>> script, size_t index,
                                   bool write) {
    m_hub->post([this, script, index, write](EventHub& hub) {
        if (index >= script->size()) {
            hub.setBusy(false);
            return;
        }
        if (write && m_abortRequested) {
            m_abortRequested = false;
            hub.setBusy(false);
            hub.raise(
                [](DiscEventListener& listener) { listener.WriteStatus(kWriteCancelled, 0); });
            return;
        }
        const ScriptedEvent& event = (*script)[index];
        const bool ends = write ? EndsWrite(event) : EndsErase(event);
        if (ends) hub.setBusy(false);
        const bool goOn =
            hub.raiseAll([&](DiscEventListener& listener) { return Raise(event, listener); });
        if (!goOn && write) m_abortRequested = true;
        if (!ends) postStep(script, index + 1, write);
    });
}

}  // namespace quillet::disc
