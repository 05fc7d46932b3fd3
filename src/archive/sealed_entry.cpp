#include "archive/sealed_entry.h"

#include <optional>

#include "archive/sealed_scratch_file.h"

namespace quillet::archive {
namespace {

class SealedEntry : public WindowedByteSource {
  public:
    SealedEntry(std::string name, std::unique_ptr<SealedScratchFile> file, std::size_t windowSize)
        : WindowedByteSource(std::move(name), file->size(), windowSize), m_file(std::move(file)) {}

  protected:
    Status readExact(std::uint64_t offset, std::span<std::byte> out) const override {
        Status read = m_file->readAt(offset, out);
        if (!read) return Status::Error(name() + ": " + read.reason(), read.kind());
        return read;
    }

  private:
    std::unique_ptr<SealedScratchFile> m_file;
};

}  // namespace

Result<std::unique_ptr<ByteSource>> ReadEntrySealed(Archive& archive, const std::string& entry,
                                                    const std::filesystem::path& workFolder,
                                                    std::size_t windowSize) {
    auto file = SealedScratchFile::Create(workFolder);
    if (!file) return file.status();
    SealedScratchFile& sealed = **file;
    std::optional<Status> spillFailure;
    const Status read = archive.ReadEntry(entry, [&](std::span<const std::byte> data) {
        Status kept = sealed.append(data);
        if (!kept) spillFailure = kept;
        return kept;
    });
    if (spillFailure) return *spillFailure;
    if (!read) {
        if (read.is(ErrorKind::kCorrupt)) return read;
        return Status::Error(entry + ": " + read.reason(), ErrorKind::kCorrupt);
    }
    return std::unique_ptr<ByteSource>(
        std::make_unique<SealedEntry>(entry, std::move(file.value()), windowSize));
}

}  // namespace quillet::archive
