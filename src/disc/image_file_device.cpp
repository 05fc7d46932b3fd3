#include "disc/image_file_device.h"

#include <sys/statvfs.h>

#include <filesystem>

#include "disc/media_profiles.h"

namespace quillet::disc {

std::int64_t ImageFileDevice::FreeBlocks(bool /*refresh*/) {
    std::filesystem::path folder = m_path.empty() ? "." : std::filesystem::path(m_path);
    if (!m_path.empty()) folder = folder.parent_path();
    if (folder.empty()) folder = ".";
    struct statvfs space {};
    if (::statvfs(folder.c_str(), &space) != 0) return 0;
    return static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize) /
           2048;
}

double ImageFileDevice::SpeedFactor(int speed) const {
    return speed / FindMediaProfile(0xFFFF)->singleSpeed;
}

bool ImageFileDevice::SetImageFilePath(const std::string& path) {
    m_path = path;
    return true;
}

}  // namespace quillet::disc
