#include "disc/image_verifier.h"

#include <stdint.h>
// libisofs.h needs the fixed-width integer types declared first.
#include <fcntl.h>
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>
#include <sys/stat.h>
#include <udfread/blockinput.h>
#include <udfread/udfread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "disc/burn_library.h"
#include "disc/image_tree.h"
#include "disc/iso_image_builder.h"
#include "disc/tree_names.h"

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

IsoDataSource* NewDiscSource(burn_drive* drive, std::uint32_t startBlock) {
    // libisofs releases the source itself, with free().
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    if (source == nullptr) return nullptr;
    source->refcount = 1;
    source->open = OpenDiscSource;
    source->close = CloseDiscSource;
    source->read_block = ReadDiscBlock;
    source->free_data = FreeDiscSource;
    source->data = new DiscBlocks{drive, startBlock};
    return source;
}

// The disc for libudfread: the block input comes first, so that its callbacks find the drive.
struct UdfDiscInput {
    udfread_block_input input;
    burn_drive* drive;
};
int ReadUdfBlocks(udfread_block_input* input, uint32_t lba, void* buffer, uint32_t blocks, int) {
    auto* disc = reinterpret_cast<UdfDiscInput*>(input);
    off_t count = 0;
    const off_t bytes = static_cast<off_t>(blocks) * 2048;
    const int ok = burn_read_data(disc->drive, static_cast<off_t>(lba) * 2048,
                                  static_cast<char*>(buffer), bytes, &count, 2);
    return ok > 0 ? static_cast<int>(count / 2048) : -1;
}

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
    IsoImage* joliet = nullptr;  // the Joliet tree, for the types that carry one
    udfread* udf = nullptr;      // the UDF tree, for the UDF types
    UdfDiscInput udfDisc{};
    std::vector<NameTree> names;  // the names of the Joliet or UDF tree
    ~Image() {
        if (image != nullptr) iso_image_unref(image);
        if (joliet != nullptr) iso_image_unref(joliet);
        if (udf != nullptr) udfread_close(udf);
    }
};

ImageVerifier::ImageVerifier(std::unique_ptr<Image> image) : m_image(std::move(image)) {}
ImageVerifier::~ImageVerifier() = default;

IsoImage* ImageVerifier::Import(IsoDataSource* source, std::uint32_t startBlock, bool joliet,
                                EngineError& error) {
    if (source == nullptr) {
        error = {kErrorKindSystem, "Out of memory", {}, {}, ENOMEM};
        return nullptr;
    }
    IsoImage* image = nullptr;
    IsoReadOpts* options = nullptr;
    int code = iso_image_new("verify", &image);
    if (code >= 0) code = iso_read_opts_new(&options, 0);
    if (code >= 0) {
        iso_read_opts_set_start_block(options, startBlock);
        if (joliet) {
            iso_read_opts_set_no_rockridge(options, 1);
            iso_read_opts_set_no_iso1999(options, 1);
            iso_read_opts_set_preferjoliet(options, 1);
        }
        code = iso_image_import(image, source, options, nullptr);
        iso_read_opts_free(options);
    }
    iso_data_source_unref(source);
    if (code < 0) {
        if (image != nullptr) iso_image_unref(image);
        error.errorKind = kErrorKindWrite;
        error.errorText = std::string("Cannot read the written image: ") + iso_error_to_msg(code);
        const std::string messages = BurnLibrary::TakeMessages();
        if (!messages.empty()) error.errorText += " (" + messages + ")";
        return nullptr;
    }
    return image;
}

std::unique_ptr<ImageVerifier> ImageVerifier::Open(
    const std::function<IsoDataSource*()>& makeSource, const std::function<bool(Image&)>& openUdf,
    std::uint32_t startBlock, int fileSystemType, EngineError& error) {
    auto image = std::make_unique<Image>();
    image->names = NameTreesOf(fileSystemType);
    image->image = Import(makeSource(), startBlock, false, error);
    if (image->image == nullptr) return nullptr;
    if (FileSystemHasJoliet(fileSystemType)) {
        image->joliet = Import(makeSource(), startBlock, true, error);
        if (image->joliet == nullptr) return nullptr;
    }
    if (FileSystemHasUdf(fileSystemType)) {
        image->udf = udfread_init();
        if (image->udf == nullptr || !openUdf(*image)) {
            error.errorKind = kErrorKindWrite;
            error.errorText = "Cannot read the UDF tree of the written image";
            return nullptr;
        }
    }
    return std::unique_ptr<ImageVerifier>(new ImageVerifier(std::move(image)));
}

std::unique_ptr<ImageVerifier> ImageVerifier::OpenFile(const std::string& path, int fileSystemType,
                                                       EngineError& error) {
    int failure = 0;
    const auto makeSource = [&]() -> IsoDataSource* {
        IsoDataSource* source = nullptr;
        if (int code = iso_data_source_new_from_file(path.c_str(), &source); code < 0) {
            failure = code;
            return nullptr;
        }
        return source;
    };
    const auto openUdf = [&](Image& image) { return udfread_open(image.udf, path.c_str()) >= 0; };
    auto verifier = Open(makeSource, openUdf, 0, fileSystemType, error);
    if (failure < 0) {
        error = {};
        error.errorKind = kErrorKindOutputFile;
        error.errorText = iso_error_to_msg(failure);
        error.fileDetails = {failure, error.errorText, path};
    }
    return verifier;
}

std::unique_ptr<ImageVerifier> ImageVerifier::OpenDisc(burn_drive* drive, std::uint32_t startBlock,
                                                       int fileSystemType, EngineError& error) {
    const auto makeSource = [&]() { return NewDiscSource(drive, startBlock); };
    const auto openUdf = [&](Image& image) {
        image.udfDisc.input.read = ReadUdfBlocks;
        image.udfDisc.drive = drive;
        return udfread_open_input(image.udf, &image.udfDisc.input) >= 0;
    };
    return Open(makeSource, openUdf, startBlock, fileSystemType, error);
}

bool ImageVerifier::inTrees(const ImageItem& item, std::int64_t size) const {
    if (m_image->joliet != nullptr) {
        IsoNode* node = nullptr;
        const std::string path = TreePath(item, kJolietNames);
        if (iso_tree_path_to_node(m_image->joliet, path.c_str(), &node) != 1 || node == nullptr ||
            !ISO_NODE_IS_FILE(node) ||
            iso_file_get_size(reinterpret_cast<IsoFile*>(node)) != size) {
            return false;
        }
    }
    if (m_image->udf != nullptr) {
        const std::string path = TreePath(item, m_image->names.front());
        UDFFILE* file = udfread_file_open(m_image->udf, path.c_str());
        if (file == nullptr) return false;
        const std::int64_t udfSize = udfread_file_size(file);
        udfread_file_close(file);
        if (udfSize != size) return false;
    }
    return true;
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
    if (!inTrees(item, info.st_size)) return kVerifyDestinationUnreadable;
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
