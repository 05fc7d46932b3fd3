#pragma once

#include <set>
#include <string>
#include <vector>

#include "disc/burn_disc_engine.h"

namespace burn {
struct burn_drive_info;
}  // namespace burn

// An optical drive found by libburn. It is grabbed only for each operation (looking at the disc,
// writing, erasing, the tray) and released after it, so that other programs can use it between.
namespace quillet::disc {

class OpticalDevice : public BurnDevice {
  public:
    // The drive as found by a scan (before the scan's hold on it is given up).
    OpticalDevice(BurnDiscEngine& engine, burn::burn_drive_info& found);

    std::string DeviceName() const override { return m_name; }
    bool IsCompatible() const override { return !m_capabilities.empty(); }
    bool HasCapability(int capability) const override;
    void RefreshMedia(bool full) override;
    MediaInfo LoadedMedia() const override { return m_media; }
    std::int64_t FreeBlocks(bool refresh) override;
    int WriteSpeedCount() const override { return static_cast<int>(m_speeds.size()); }
    int WriteSpeedAt(int index) const override;
    double SpeedFactor(int speed) const override { return speed / m_singleSpeed; }
    bool EjectTray() override;
    bool CloseTray() override;
    // The loaded disc's profile: an erase of another disc than the one looked at is refused.
    std::uint32_t EraseValue() const override { return static_cast<std::uint32_t>(m_profile); }
    bool EraseDisc(bool quick, std::uint32_t eraseValue) override;

    const std::string& address() const { return m_address; }

  private:
    std::string m_address;
    std::string m_name;
    std::set<int> m_capabilities;
    MediaInfo m_media;
    int m_profile = 0;
    std::int64_t m_freeBlocks = 0;
    std::vector<int> m_speeds;
    double m_singleSpeed = 176.4;
};

}  // namespace quillet::disc
