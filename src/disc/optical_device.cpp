#include "disc/optical_device.h"

#include <libburn/libburn.h>
#include <stdint.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "disc/burn_library.h"
#include "disc/media_profiles.h"

namespace quillet::disc {

using namespace ::burn;

namespace {

constexpr auto kStatusInterval = std::chrono::milliseconds(100);
constexpr int kReadyTries = 100;
// A quick erase of a disc written in place zeros its first 512 blocks: ISO 9660's volume
// descriptors start at block 16 and UDF's anchor lies at block 256, so no reader finds either.
constexpr off_t kQuickEraseBytes = 512 * 2048;

std::string Trimmed(const char* text) {
    std::string out = text;
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Capabilities: what the drive's profile list names (libburn: "the only way to inquire types
// DVD-RW, DVD+R, DVD+R DL, DVD+RW, BD-R, BD-RE"), and its CD and DVD write flags.
std::set<int> Capabilities(burn_drive_info& found) {
    int count = 0;
    int profiles[64];
    char current[64];
    std::set<int> capabilities;
    if (burn_drive_get_all_profiles(found.drive, &count, profiles, current) == 1) {
        capabilities = WriteCapabilitiesOfProfiles(std::span<const int>(profiles, count));
    }
    if (found.write_cdr) capabilities.insert(kCapabilityWriteCdR);
    if (found.write_cdrw) capabilities.insert(kCapabilityWriteCdRw);
    if (found.write_dvdr) capabilities.insert(kCapabilityWriteDvdMinusR);
    if (found.write_dvdram) capabilities.insert(kCapabilityWriteDvdRam);
    if (capabilities.empty()) return capabilities;
    burn_write_opts* options = burn_write_opts_new(found.drive);
    if (options != nullptr) {
        // 1 when the drive announces protection against buffer underruns.
        if (burn_write_opts_set_underrun_proof(options, 1) == 1) {
            capabilities.insert(kCapabilityBufferProtection);
        }
        burn_write_opts_free(options);
    }
    return capabilities;
}

void PostErase(EventHub& hub, int state, int percent) {
    if (state == kEraseCompleted || state == kEraseFailed) hub.setBusy(false);
    hub.raise([&](DiscEventListener& l) { l.EraseStatus(state, percent); });
}

// Zeros over the first blocks, or over the whole disc, for discs written in place.
bool OverwriteWithZeros(burn_drive* drive, off_t bytes, const std::atomic<bool>& abort,
                        const std::function<void(int)>& progress) {
    std::vector<char> zeros(32 * 2048, 0);
    for (off_t done = 0; done < bytes && !abort;) {
        const off_t piece = std::min<off_t>(static_cast<off_t>(zeros.size()), bytes - done);
        if (burn_random_access_write(drive, done, zeros.data(), piece, 0) <= 0) return false;
        done += piece;
        progress(static_cast<int>(100 * done / bytes));
    }
    // Stopped part-way (the engine going) is not erased.
    return !abort;
}

}  // namespace

OpticalDevice::OpticalDevice(BurnDiscEngine& engine, burn_drive_info& found)
    : BurnDevice(engine),
      m_name(Trimmed(found.vendor) + " " + Trimmed(found.product)),
      m_capabilities(Capabilities(found)) {
    char address[BURN_DRIVE_ADR_LEN] = {};
    if (burn_drive_d_get_adr(found.drive, address) > 0) m_address = address;
    // libburn gives a pseudo-drive's path without the prefix that grabs it again.
    if (!m_address.empty() && burn_drive_get_drive_role(found.drive) != 1) {
        m_address = "stdio:" + m_address;
    }
    if (m_address.empty()) m_capabilities.clear();
}

bool OpticalDevice::HasCapability(int capability) const {
    return m_capabilities.count(capability) != 0;
}

void OpticalDevice::RefreshMedia(bool /*full*/) {
    // The drive is the writer's while a write or erase runs: keep what was found before.
    if (m_engine.isBusy()) return;
    m_media = {};
    m_profile = 0;
    m_freeBlocks = 0;
    m_speeds.clear();
    GrabbedDrive grabbed(m_address, false);
    burn_drive* drive = grabbed.drive();
    if (drive == nullptr) return;
    // A drive that has just closed its tray needs a moment to know its disc.
    burn_disc_status status = burn_disc_get_status(drive);
    for (int tries = 0; status == BURN_DISC_UNREADY && tries < kReadyTries; ++tries) {
        std::this_thread::sleep_for(kStatusInterval);
        status = burn_disc_get_status(drive);
    }
    char name[80] = {};
    int profile = 0;
    if (status != BURN_DISC_EMPTY && burn_disc_get_profile(drive, &profile, name) == 1) {
        m_profile = profile;
    }
    const auto row = FindMediaProfile(m_profile);
    m_media.mediaType = MediaTypeOfProfile(m_profile);
    if (row) {
        m_media.isRewritable = row->rewritable;
        m_media.isWritable =
            row->writable && (status == BURN_DISC_BLANK || status == BURN_DISC_APPENDABLE ||
                              (row->overwritable && status == BURN_DISC_FULL));
        m_singleSpeed = row->singleSpeed;
    }
    if (m_media.isWritable) m_freeBlocks = burn_disc_available_space(drive, nullptr) / 2048;

    burn_speed_descriptor* speeds = nullptr;
    if (burn_drive_get_speedlist(drive, &speeds) == 1) {
        for (auto* s = speeds; s != nullptr; s = s->next) {
            if (s->write_speed > 0 && (s->profile_loaded == m_profile || m_profile == 0)) {
                m_speeds.push_back(s->write_speed);
            }
        }
        burn_drive_free_speedlist(&speeds);
    }
    std::sort(m_speeds.rbegin(), m_speeds.rend());
    m_speeds.erase(std::unique(m_speeds.begin(), m_speeds.end()), m_speeds.end());
}

std::int64_t OpticalDevice::FreeBlocks(bool refresh) {
    if (refresh) RefreshMedia(true);
    return m_freeBlocks;
}

int OpticalDevice::WriteSpeedAt(int index) const {
    if (index < 0 || index >= WriteSpeedCount()) return kWriteSpeedMaximum;
    return m_speeds[static_cast<size_t>(index)];
}

bool OpticalDevice::EjectTray() {
    if (m_engine.isBusy()) return false;
    GrabbedDrive grabbed(m_address, false);
    if (grabbed.drive() == nullptr) return false;
    grabbed.release(true);
    return true;
}

bool OpticalDevice::CloseTray() {
    if (m_engine.isBusy()) return false;
    // Grabbing with "load" closes the tray.
    GrabbedDrive grabbed(m_address, true);
    return grabbed.drive() != nullptr;
}

bool OpticalDevice::EraseDisc(bool quick, std::uint32_t eraseValue) {
    const auto row = FindMediaProfile(m_profile);
    if (!row || !row->rewritable || eraseValue != EraseValue()) return false;
    const std::string address = m_address, name = m_name;
    const bool overwritable = row->overwritable && m_profile != 0x13;
    return m_engine.startJob([=](std::shared_ptr<EventHub> hub,
                                 std::shared_ptr<std::atomic<bool>> abort) {
        hub->post([](EventHub& h) { PostErase(h, kEraseStarted, 0); });
        GrabbedDrive grabbed(address, false);
        burn_drive* drive = grabbed.drive();
        if (drive == nullptr) {
            DeviceError error{0, "Cannot open the drive", BurnLibrary::TakeMessages(), name};
            hub->post([error](EventHub& h) {
                h.setBusy(false);
                h.raise([&](DiscEventListener& l) { l.DeviceErrorRaised(error); });
            });
            return;
        }
        auto progress = [&](int percent) {
            hub->post([percent](EventHub& h) { PostErase(h, kEraseProgress, percent); });
        };
        bool erased = false;
        if (overwritable) {
            const off_t bytes =
                quick ? kQuickEraseBytes : burn_disc_available_space(drive, nullptr);
            erased = OverwriteWithZeros(drive, bytes, *abort, progress);
        } else {
            burn_disc_erase(drive, quick ? 1 : 0);
            burn_progress state{};
            int last = -1;
            while (burn_drive_get_status(drive, &state) != BURN_DRIVE_IDLE) {
                const int percent =
                    state.sectors > 0 ? static_cast<int>(100LL * state.sector / state.sectors) : 0;
                if (percent != last) progress(last = percent);
                std::this_thread::sleep_for(kStatusInterval);
            }
            erased = burn_drive_wrote_well(drive) == 1;
        }
        const int end = erased ? kEraseCompleted : kEraseFailed;
        hub->post([end](EventHub& h) { PostErase(h, end, end == kEraseCompleted ? 100 : 0); });
    });
}

}  // namespace quillet::disc
