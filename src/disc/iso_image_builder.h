#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "disc/disc_engine.h"

struct Iso_Image;
// libburn declares its C API inside namespace burn when compiled as C++.
namespace burn {
struct burn_source;
}  // namespace burn

// The image tree as a libisofs image: ISO 9660 (level 3, so that files of 4 GiB and more fit)
// with Rock Ridge names, and Joliet for the file system types that name it. Files stay on the
// host: libisofs reads them while it streams the image, so no image is ever held in memory.
namespace quillet::disc {

struct IsoImageRelease {
    void operator()(Iso_Image* image) const;
};
using IsoImagePtr = std::unique_ptr<Iso_Image, IsoImageRelease>;

// Whether a file system type carries Joliet names.
bool FileSystemHasJoliet(int fileSystemType);

// Builds the libisofs tree of `items` (each folder before what it holds) with the volume
// identifier and dates of `settings`. Null on failure, with `error` saying why (a source file
// that cannot be added names the file).
IsoImagePtr BuildIsoImage(const std::vector<ImageItem>& items, const ProjectSettings& settings,
                          EngineError& error);

// The image's byte stream for libburn, produced by a libisofs thread as libburn reads it. With
// `sizeOnly` no thread starts: the source only tells its size (get_size) and must be freed
// unread. Null on failure, with `error` saying why.
// `startBlock` is where the image will start on the disc (0 on a blank one).
burn::burn_source* CreateIsoSource(Iso_Image* image, const ProjectSettings& settings, bool sizeOnly,
                                   EngineError& error, std::uint32_t startBlock = 0);

// Bytes the image of `items` takes; nullopt when it cannot be built.
std::optional<double> IsoImageSize(const std::vector<ImageItem>& items,
                                   const ProjectSettings& settings);

}  // namespace quillet::disc
