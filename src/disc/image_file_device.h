#pragma once

#include <string>

#include "disc/burn_disc_engine.h"

// The device that writes the image into a file: a "disc" that is always loaded and writable,
// never rewritable, with no tray, no speeds and none of the capabilities that erasing asks for.
namespace quillet::disc {

class ImageFileDevice : public BurnDevice {
  public:
    using BurnDevice::BurnDevice;

    std::string DeviceName() const override { return kImageFileDeviceName; }
    bool IsCompatible() const override { return true; }
    bool HasCapability(int) const override { return false; }
    void RefreshMedia(bool) override {}
    MediaInfo LoadedMedia() const override { return {kMediaImageFile, true, false}; }
    // The room left in the file's folder (the current folder while no file is chosen).
    std::int64_t FreeBlocks(bool refresh) override;
    int WriteSpeedCount() const override { return 0; }
    int WriteSpeedAt(int) const override { return kWriteSpeedMaximum; }
    double SpeedFactor(int speed) const override;
    bool EjectTray() override { return false; }
    bool CloseTray() override { return false; }
    std::uint32_t EraseValue() const override { return 0; }
    bool EraseDisc(bool, std::uint32_t) override { return false; }

    bool IsImageFile() const override { return true; }
    // Any path; a write fails with an output-file error when its folder cannot take the file.
    bool SetImageFilePath(const std::string& path) override;
    std::string ImageFilePath() const override { return m_path; }

  private:
    std::string m_path;
};

}  // namespace quillet::disc
