#include "disc/write_settings.h"

#include <algorithm>

#include "platform/text_encoding.h"

namespace quillet::disc {

bool IsVolumeType(int fileSystemType) {
    return std::any_of(kVolumeTypes.begin(), kVolumeTypes.end(), [&](const VolumeType& type) {
        return type.fileSystemType == fileSystemType;
    });
}

bool VolumeIdFits(std::string_view volumeId) {
    return Utf8ToUtf16(volumeId).size() <= static_cast<std::size_t>(kVolumeIdLength);
}

void ApplyLoadSettings(DataProject& project) {
    project.SetSettingAtLoad(1);
    project.SetUseFileDates(true);
}

void ApplyWriteSettings(DataProject& project, const WriteSettings& settings) {
    project.SetVolumeIdentifier(settings.volumeId);
    project.SetSettingAtWrite(1);
    project.SetWriteSpeed(settings.writeSpeed);
    project.SetFileSystemType(settings.fileSystemType);
    project.SetAutoVerify(settings.autoVerify);
    project.SetMode2XA(settings.mode2XA);
    project.SetCacheImage(settings.cacheImage);
    project.SetTestWrite(settings.testWrite);
    project.SetFinalizeDisc(settings.finalizeDisc);
    project.SetBufferProtection(settings.bufferProtection);
    project.SetWriteMethod(settings.discAtOnce ? kWriteMethodDiscAtOnce : kWriteMethodTrackAtOnce);
}

double FreeBytes(DiscDevice& device, const DataProject& project) {
    return static_cast<double>(device.FreeBlocks(true)) * static_cast<double>(project.BlockSize());
}

MediaCheck CheckMediaForImage(DiscDevice& device, DataProject& project) {
    device.RefreshMedia(true);
    const MediaInfo media = device.LoadedMedia();
    if (media.mediaType == kMediaNone || !media.isWritable) return MediaCheck{};
    return MediaCheck{.writable = true,
                      .freeBytes = FreeBytes(device, project),
                      .neededBytes = project.ImageSize()};
}

}  // namespace quillet::disc
