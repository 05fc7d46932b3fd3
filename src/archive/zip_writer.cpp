#include "archive/zip_writer.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/archive_output.h"
#include "archive/deflate_pipeline.h"
#include "archive/entry_source.h"
#include "archive/zip_error_text.h"
#include "platform/durable_file.h"

namespace quillet::archive {

namespace {

struct ExpectedEntry {
    std::string name;
    std::uint64_t size;
    zip_uint16_t method;
};

// The part of a save that libzip does: all entries into `temp`.
class ArchiveBuilder {
  public:
    ArchiveBuilder(const ZipWriteRequest& request, const ZipWriteEvents& events,
                   FileOperations& fileOperations)
        : m_request(request), m_events(events), m_fileOperations(fileOperations) {}

    // Writes the archive into `temp`, open as `fd`.
    Status build(const std::filesystem::path& temp, int fd, std::vector<ExpectedEntry>& expected);

  private:
    void reportProgress(std::uint64_t bytesDone);

    const ZipWriteRequest& m_request;
    const ZipWriteEvents& m_events;
    FileOperations& m_fileOperations;
    std::uint64_t m_totalBytes = 0;
    int m_percent = -1;
};

void ArchiveBuilder::reportProgress(std::uint64_t bytesDone) {
    const int percent = m_totalBytes == 0
                            ? 100
                            : static_cast<int>(std::min<std::uint64_t>(bytesDone, m_totalBytes) *
                                               100 / m_totalBytes);
    if (percent > m_percent) {
        m_percent = percent;
        if (m_events.progress) m_events.progress(percent);
    }
}

Status ArchiveBuilder::build(const std::filesystem::path& temp, int fd,
                             std::vector<ExpectedEntry>& expected) {
    for (const SourceFile& file : m_request.files) m_totalBytes += file.size;

    const int level = std::clamp(m_request.level, 0, 9);
    DeflateSettings settings;
    settings.level = std::max(level, 1);
    settings.threads = m_request.threads;
    DeflatePipeline pipeline(settings);
    std::vector<const SourceFile*> pipelineInputs;
    // Declared before the archive, so that they outlive it: discarding the archive frees the
    // libzip sources, which refer to them.
    std::vector<std::unique_ptr<EntrySource>> sources;

    // Declared before the archive, so that it outlives it; libzip writes straight into the
    // temporary, through the file operations.
    ArchiveOutput output(fd, m_fileOperations);
    zip_error_t openError;
    zip_error_init(&openError);
    zip_source_t* outputSource = output.makeZipSource(&openError);
    zip_t* opened = outputSource == nullptr
                        ? nullptr
                        : zip_open_from_source(outputSource, ZIP_CREATE | ZIP_TRUNCATE, &openError);
    if (opened == nullptr) {
        if (outputSource != nullptr) zip_source_free(outputSource);
        const std::string reason = zip_error_strerror(&openError);
        zip_error_fini(&openError);
        return Status::Error("Cannot start the archive '" + temp.string() + "': " + reason);
    }
    zip_error_fini(&openError);
    // Until zip_close() succeeds the archive is discarded, never closed: a failed close leaves
    // libzip's state unusable.
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(opened, &zip_discard);

    std::uint64_t bytesBefore = 0;
    for (const SourceFile& file : m_request.files) {
        const bool stored = level == 0 || file.size == 0;
        std::unique_ptr<EntrySource> source =
            stored ? EntrySource::Stored(file)
                   : EntrySource::Deflated(pipeline, pipelineInputs.size(), file.size,
                                           file.modified.tv_sec, level, m_request.password);
        if (!stored) pipelineInputs.push_back(&file);

        const std::string name = file.path.filename().string();
        source->setHandlers(EntrySource::Handlers{
            [this, name] {
                if (m_events.entryAdding) m_events.entryAdding(name);
            },
            [this, bytesBefore](std::uint64_t bytes) { reportProgress(bytesBefore + bytes); }});
        bytesBefore += file.size;

        zip_source_t* zipSource = source->makeZipSource(archive.get());
        if (zipSource == nullptr) {
            return Status::Error("Cannot add '" + name + "': " + zip_strerror(archive.get()));
        }
        const zip_int64_t index = zip_file_add(archive.get(), name.c_str(), zipSource, 0);
        if (index < 0) {
            zip_source_free(zipSource);
            return Status::Error("Cannot add '" + name + "': " + zip_strerror(archive.get()));
        }
        const auto entry = static_cast<zip_uint64_t>(index);
        if (stored && zip_set_file_compression(archive.get(), entry, ZIP_CM_STORE, 0) != 0) {
            return Status::Error("Cannot add '" + name + "': " + zip_strerror(archive.get()));
        }
        // A deflated entry's source delivers its data encrypted already (in large batches, where
        // libzip would cipher 16 bytes per call): libzip is told the method but no password, and
        // stores the data as it is. A stored entry is encrypted by libzip.
        if (!m_request.password.empty() &&
            zip_file_set_encryption(archive.get(), entry, ZIP_EM_AES_256,
                                    stored ? m_request.password.c_str() : nullptr) != 0) {
            return Status::Error("Cannot encrypt '" + name + "': " + zip_strerror(archive.get()));
        }
        sources.push_back(std::move(source));
        expected.push_back(
            {name, file.size, static_cast<zip_uint16_t>(stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE)});
    }

    if (Status started = pipeline.start(std::move(pipelineInputs)); !started) return started;

    if (zip_close(archive.get()) != 0) {
        // Name the file whose reading failed, if that was the cause; else libzip's reason
        // (a write error such as a full disk).
        for (std::size_t i = 0; i < sources.size(); ++i) {
            if (!sources[i]->failureReason().empty()) {
                return Status::Error("Cannot add '" + m_request.files[i].path.string() +
                                     "' to the archive: " + sources[i]->failureReason());
            }
        }
        if (!output.failureReason().empty()) {
            return Status::Error("Cannot write " + m_request.target.string() + ": " +
                                 output.failureReason());
        }
        return Status::Error(std::string("Cannot write the archive: ") +
                             zip_strerror(archive.get()));
    }
    archive.release();  // zip_close() freed it
    reportProgress(m_totalBytes);
    return Status::Ok();
}

// An archive without entries: libzip would delete the file instead of writing one.
Status WriteEmptyArchive(FileReplacement& replacement) {
    static constexpr char kEndOfCentralDirectory[22] = {'P', 'K', 5, 6};
    return replacement.write(
        std::string_view(kEndOfCentralDirectory, sizeof(kEndOfCentralDirectory)));
}

// Re-opens the written archive with libzip's consistency check and compares its directory with
// what was meant to be written.
Status CheckWrittenArchive(const std::filesystem::path& temp,
                           const std::vector<ExpectedEntry>& expected, bool encrypted) {
    int openError = 0;
    zip_t* opened = zip_open(temp.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError);
    if (opened == nullptr) {
        return Status::Error("The written archive does not read back: " + ZipErrorText(openError));
    }
    std::unique_ptr<zip_t, decltype(&zip_discard)> archive(opened, &zip_discard);
    if (zip_get_num_entries(archive.get(), 0) != static_cast<zip_int64_t>(expected.size())) {
        return Status::Error("The written archive does not hold the expected number of entries");
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive.get(), i, ZIP_FL_ENC_RAW, &stat) != 0) {
            return Status::Error("The written archive's entry " + std::to_string(i + 1) +
                                 " does not read back: " + zip_strerror(archive.get()));
        }
        const zip_uint16_t wantedEncryption = encrypted ? ZIP_EM_AES_256 : ZIP_EM_NONE;
        if (stat.name == nullptr || expected[i].name != stat.name ||
            stat.size != expected[i].size || stat.comp_method != expected[i].method ||
            stat.encryption_method != wantedEncryption) {
            return Status::Error("The written archive's entry '" + expected[i].name +
                                 "' does not match what was written");
        }
    }
    return Status::Ok();
}

}  // namespace

Status WriteZipArchive(const ZipWriteRequest& request, const ZipWriteEvents& events,
                       FileOperations& fileOperations) {
    ReplaceOptions options;
    options.followLink = request.followLink;
    FileReplacement replacement(request.target, fileOperations, options);
    if (Status begun = replacement.begin(); !begun) return begun;
    std::vector<ExpectedEntry> expected;
    if (request.files.empty()) {
        if (Status written = WriteEmptyArchive(replacement); !written) return written;
        if (events.progress) events.progress(100);
    } else {
        ArchiveBuilder builder(request, events, fileOperations);
        if (Status built =
                builder.build(replacement.temporary(), replacement.descriptor(), expected);
            !built)
            return built;
    }
    if (Status flushed = replacement.flush(); !flushed) return flushed;
    if (Status checked =
            CheckWrittenArchive(replacement.temporary(), expected, !request.password.empty());
        !checked) {
        return checked;
    }
    return replacement.commit();
}

}  // namespace quillet::archive
