#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "disc/disc_engine.h"

// libburn declares its C API inside namespace burn when compiled as C++.
namespace burn {
struct burn_drive;
}  // namespace burn

// Reads a written image back (an image file, or a disc through its drive) and compares each of
// its files with the file it came from, a piece at a time: neither file is ever held whole.
namespace quillet::disc {

class ImageVerifier {
  public:
    // The image in a file.
    static std::unique_ptr<ImageVerifier> OpenFile(const std::string& path, EngineError& error);
    // The image written at block `startBlock` of the disc in a grabbed drive.
    static std::unique_ptr<ImageVerifier> OpenDisc(burn::burn_drive* drive,
                                                   std::uint32_t startBlock, EngineError& error);
    ~ImageVerifier();
    ImageVerifier(const ImageVerifier&) = delete;
    ImageVerifier& operator=(const ImageVerifier&) = delete;

    // The FileVerified result for `item` (a file): matched, an empty file, or which side could
    // not be read or how they differ. `stop` is looked at between pieces; nullopt when it was set.
    std::optional<int> compare(const ImageItem& item, const std::atomic<bool>& stop);

  private:
    struct Image;
    explicit ImageVerifier(std::unique_ptr<Image> image);
    static std::unique_ptr<Image> Import(void* source, std::uint32_t startBlock,
                                         EngineError& error);
    std::unique_ptr<Image> m_image;
};

}  // namespace quillet::disc
