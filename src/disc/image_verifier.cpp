#include "disc/image_verifier.h"

#include <stdint.h>
// libisofs.h needs the fixed-width integer types declared first.
#include <fcntl.h>
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "disc/burn_library.h"
#include "disc/image_tree.h"

namespace quillet::disc {

using namespace ::burn;

namespace {

constexpr size_t kPiece = 256 * 1024;

// Reads the disc in a grabbed drive for libisofs, block by block.
struct DiscBlocks {
    burn_drive* drive;
    std::uint32_t startBlock;
};

int OpenDiscSource(IsoDataSource*) { return 1; }
int CloseDiscSource(IsoDataSource*) { return 1; }
int ReadDiscBlock(IsoDataSource* source, uint32_t lba, uint8_t* buffer) {
    auto* blocks = static_cast<DiscBlocks*>(source->data);
    off_t count = 0;
    // bit1: no message of its own; the verifier reports the file that could not be read.
    const int ok = burn_read_data(blocks->drive, static_cast<off_t>(lba) * 2048,
                                  reinterpret_cast<char*>(buffer), 2048, &count, 2);
    return ok > 0 && count == 2048 ? 1 : ISO_DATA_SOURCE_FAILURE;
}
void FreeDiscSource(IsoDataSource* source) { delete static_cast<DiscBlocks*>(source->data); }

// Reads up to `size` bytes; fewer only at the end of the file. -1 on failure.
ssize_t ReadFull(int fd, char* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

ssize_t ReadFull(IsoStream* stream, char* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const int got = iso_stream_read(stream, buffer + done, size - done);
        if (got < 0) return -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

}  // namespace

struct ImageVerifier::Image {
    IsoImage* image = nullptr;
    ~Image() {
        if (image != nullptr) iso_image_unref(image);
    }
};

ImageVerifier::ImageVerifier(std::unique_ptr<Image> image) : m_image(std::move(image)) {}
ImageVerifier::~ImageVerifier() = default;

std::unique_ptr<ImageVerifier::Image> ImageVerifier::Import(void* dataSource,
                                                            std::uint32_t startBlock,
                                                            EngineError& error) {
    auto* source = static_cast<IsoDataSource*>(dataSource);
    auto image = std::make_unique<Image>();
    IsoReadOpts* options = nullptr;
    int code = iso_image_new("verify", &image->image);
    if (code >= 0) code = iso_read_opts_new(&options, 0);
    if (code >= 0) {
        iso_read_opts_set_start_block(options, startBlock);
        code = iso_image_import(image->image, source, options, nullptr);
        iso_read_opts_free(options);
    }
    iso_data_source_unref(source);
    if (code < 0) {
        error.errorKind = kErrorKindWrite;
        error.errorText = std::string("Cannot read the written image: ") + iso_error_to_msg(code);
        const std::string messages = BurnLibrary::TakeMessages();
        if (!messages.empty()) error.errorText += " (" + messages + ")";
        return nullptr;
    }
    return image;
}

std::unique_ptr<ImageVerifier> ImageVerifier::OpenFile(const std::string& path,
                                                       EngineError& error) {
    IsoDataSource* source = nullptr;
    if (int code = iso_data_source_new_from_file(path.c_str(), &source); code < 0) {
        error.errorKind = kErrorKindOutputFile;
        error.errorText = iso_error_to_msg(code);
        error.fileDetails = {code, error.errorText, path};
        return nullptr;
    }
    auto image = Import(source, 0, error);
    if (!image) return nullptr;
    return std::unique_ptr<ImageVerifier>(new ImageVerifier(std::move(image)));
}

std::unique_ptr<ImageVerifier> ImageVerifier::OpenDisc(burn_drive* drive, std::uint32_t startBlock,
                                                       EngineError& error) {
    // libisofs releases the source itself, with free().
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    if (source == nullptr) {
        error = {kErrorKindSystem, "Out of memory", {}, {}, ENOMEM};
        return nullptr;
    }
    source->refcount = 1;
    source->open = OpenDiscSource;
    source->close = CloseDiscSource;
    source->read_block = ReadDiscBlock;
    source->free_data = FreeDiscSource;
    source->data = new DiscBlocks{drive, startBlock};
    auto image = Import(source, startBlock, error);
    if (!image) return nullptr;
    return std::unique_ptr<ImageVerifier>(new ImageVerifier(std::move(image)));
}

std::optional<int> ImageVerifier::compare(const ImageItem& item, const std::atomic<bool>& stop) {
    std::string path;
    for (const std::string& name : SplitImagePath(item.imagePath).names) path += "/" + name;

    const int sourceFd = ::open(item.sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (sourceFd < 0) return kVerifySourceUnreadable;
    struct SourceCloser {
        int fd;
        ~SourceCloser() { ::close(fd); }
    } closer{sourceFd};
    struct stat info {};
    if (::fstat(sourceFd, &info) != 0) return kVerifySourceUnreadable;

    IsoNode* node = nullptr;
    if (iso_tree_path_to_node(m_image->image, path.c_str(), &node) != 1 || node == nullptr ||
        !ISO_NODE_IS_FILE(node)) {
        return kVerifyDestinationUnreadable;
    }
    IsoFile* file = reinterpret_cast<IsoFile*>(node);
    if (iso_file_get_size(file) != info.st_size) return kVerifySizeMismatch;
    if (info.st_size == 0) return kVerifyEmptyFile;

    IsoStream* stream = iso_file_get_stream(file);
    if (stream == nullptr || iso_stream_open(stream) < 0) return kVerifyDestinationUnreadable;
    std::vector<char> written(kPiece), source(kPiece);
    int result = kVerifyMatched;
    for (;;) {
        if (stop) {
            iso_stream_close(stream);
            return std::nullopt;
        }
        const ssize_t fromImage = ReadFull(stream, written.data(), kPiece);
        const ssize_t fromSource = ReadFull(sourceFd, source.data(), kPiece);
        if (fromImage < 0) {
            result = kVerifyDestinationUnreadable;
            break;
        }
        if (fromSource < 0) {
            result = kVerifySourceUnreadable;
            break;
        }
        if (fromImage != fromSource) {
            result = kVerifySizeMismatch;
            break;
        }
        if (std::memcmp(written.data(), source.data(), static_cast<size_t>(fromImage)) != 0) {
            result = kVerifyContentMismatch;
            break;
        }
        if (fromImage == 0) break;
    }
    iso_stream_close(stream);
    return result;
}

}  // namespace quillet::disc
