#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "disc/disc_engine.h"

struct Iso_Image;
struct iso_data_source;
// libburn declares its C API inside namespace burn when compiled as C++.
namespace burn {
struct burn_drive;
}  // namespace burn

// Reads a written image back (an image file, or a disc through its drive) and compares each of
// its files with the file it came from, a piece at a time: neither file is ever held whole. Each
// file is looked up in every tree the image's file system type carries: its content in the Rock
// Ridge tree, its name and size in Joliet (libisofs) and UDF (libudfread), under the names
// tree_names.h gives.
namespace quillet::disc {

class ImageVerifier {
  public:
    // The image in a file.
    static std::unique_ptr<ImageVerifier> OpenFile(const std::string& path, int fileSystemType,
                                                   EngineError& error);
    // The image written at block `startBlock` of the disc in a grabbed drive.
    static std::unique_ptr<ImageVerifier> OpenDisc(burn::burn_drive* drive,
                                                   std::uint32_t startBlock, int fileSystemType,
                                                   EngineError& error);
    ~ImageVerifier();
    ImageVerifier(const ImageVerifier&) = delete;
    ImageVerifier& operator=(const ImageVerifier&) = delete;

    // The FileVerified result for `item` (a file): matched, an empty file, or which side could
    // not be read or how they differ (a tree without the file, or with another size for it: the
    // image's side unreadable). `stop` is looked at between pieces; nullopt when it was set.
    std::optional<int> compare(const ImageItem& item, const std::atomic<bool>& stop);

  private:
    struct Image;
    explicit ImageVerifier(std::unique_ptr<Image> image);
    // Reads the Rock Ridge tree (or with `joliet` the Joliet tree) from `source` (taken over).
    static Iso_Image* Import(iso_data_source* source, std::uint32_t startBlock, bool joliet,
                             EngineError& error);
    // Reads each tree of `fileSystemType` from the sources `makeSource` makes (one a tree) and,
    // for UDF, through `openUdf`.
    static std::unique_ptr<ImageVerifier> Open(const std::function<iso_data_source*()>& makeSource,
                                               const std::function<bool(Image&)>& openUdf,
                                               std::uint32_t startBlock, int fileSystemType,
                                               EngineError& error);
    // Whether the Joliet and UDF trees the image carries hold `item` with `size` bytes.
    bool inTrees(const ImageItem& item, std::int64_t size) const;
    std::unique_ptr<Image> m_image;
};

}  // namespace quillet::disc
