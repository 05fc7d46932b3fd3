#include "archive/entry_source.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "archive/deflate_pipeline.h"

namespace quillet::archive {

namespace {

// General purpose flag bits 1 and 2 tell readers how hard a deflate stream was compressed.
zip_uint16_t DeflateLevelFlags(int level) {
    if (level >= 8) return 0x0002;  // maximum
    if (level == 2) return 0x0004;  // fast
    if (level == 1) return 0x0006;  // super fast
    return 0;                       // normal
}

}  // namespace

EntrySource::EntrySource() { zip_error_init(&m_error); }

EntrySource::~EntrySource() { zip_error_fini(&m_error); }

std::unique_ptr<EntrySource> EntrySource::Deflated(DeflatePipeline& pipeline, std::size_t input,
                                                   std::uint64_t size, std::time_t modified,
                                                   int level, std::string_view password) {
    std::unique_ptr<EntrySource> source(new EntrySource());
    source->m_pipeline = &pipeline;
    source->m_input = input;
    source->m_size = size;
    source->m_modified = modified;
    source->m_level = level;
    source->m_password = password;
    return source;
}

std::unique_ptr<EntrySource> EntrySource::Stored(const SourceFile& file) {
    std::unique_ptr<EntrySource> source(new EntrySource());
    source->m_file = &file;
    source->m_size = file.size;
    source->m_modified = file.modified.tv_sec;
    return source;
}

zip_source_t* EntrySource::makeZipSource(zip_t* archive) {
    return zip_source_function(archive, &EntrySource::Callback, this);
}

zip_int64_t EntrySource::Callback(void* self, void* data, zip_uint64_t length,
                                  zip_source_cmd_t command) {
    return static_cast<EntrySource*>(self)->handle(data, length, command);
}

zip_int64_t EntrySource::fail(int zipError, std::string reason) {
    zip_error_set(&m_error, zipError, 0);
    m_failureReason = std::move(reason);
    return -1;
}

zip_int64_t EntrySource::handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
        case ZIP_SOURCE_OPEN:
            m_position = 0;
            m_finished = false;
            if (m_pipeline != nullptr) m_pipelineBase = m_pipeline->consumedInputBytes();
            if (m_file != nullptr) {
                m_reader = std::make_unique<SourceReader>(*m_file);
                if (Status opened = m_reader->open(); !opened) {
                    m_reader.reset();
                    return fail(ZIP_ER_OPEN, opened.reason());
                }
            }
            if (encrypted()) {
                Result<std::unique_ptr<WinZipAesCipher>> cipher =
                    WinZipAesCipher::ForNewEntry(AesStrength::k256, m_password);
                if (!cipher) return fail(ZIP_ER_INTERNAL, cipher.reason());
                m_cipher = std::move(*cipher);
                m_headerDone = 0;
                m_codeDone = 0;
                m_streamDone = false;
            }
            if (m_handlers.started) m_handlers.started();
            return 0;

        case ZIP_SOURCE_READ:
            if (encrypted()) return readEncrypted(data, length);
            return m_pipeline != nullptr ? readDeflated(data, length) : readStored(data, length);

        case ZIP_SOURCE_CLOSE:
            m_reader.reset();
            return 0;

        case ZIP_SOURCE_STAT: {
            auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &m_error);
            if (stat == nullptr) return -1;
            zip_stat_init(stat);
            stat->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD;
            stat->size = m_size;
            stat->mtime = m_modified;
            stat->comp_method = m_pipeline != nullptr ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
            // libzip asks again after reading the data, and takes the CRC from that answer.
            if (m_pipeline != nullptr && m_finished) {
                stat->valid |= ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE;
                stat->crc = m_pipeline->crc(m_input);
                stat->comp_size = m_pipeline->compressedSize(m_input);
                if (encrypted()) {
                    stat->comp_size +=
                        AesSaltSize(AesStrength::k256) + kAesVerifierSize + kAesCodeSize;
                }
            }
            // Declared from the first question on: libzip compares it with the entry's method
            // and, as they agree, stores the data without ciphering it again.
            if (encrypted()) {
                stat->valid |= ZIP_STAT_ENCRYPTION_METHOD;
                stat->encryption_method = ZIP_EM_AES_256;
            }
            return sizeof(*stat);
        }

        case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
            auto* attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, length, &m_error);
            if (attributes == nullptr) return -1;
            attributes->valid |=
                ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
            attributes->host_system = ZIP_OPSYS_UNIX;
            attributes->external_file_attributes = static_cast<zip_uint32_t>(S_IFREG | 0644) << 16;
            if (m_pipeline != nullptr) {
                attributes->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
                attributes->general_purpose_bit_flags = DeflateLevelFlags(m_level);
                attributes->general_purpose_bit_mask = 0x0006;
            }
            return 0;
        }

        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&m_error, data, length);

        case ZIP_SOURCE_FREE:
            return 0;  // this object belongs to the writer

        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS,
                ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);

        default:
            zip_error_set(&m_error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

zip_int64_t EntrySource::readDeflated(void* data, zip_uint64_t length) {
    const std::size_t wanted = static_cast<std::size_t>(std::min<zip_uint64_t>(length, 1u << 30));
    Result<std::size_t> count =
        m_pipeline->read(m_input, std::span(static_cast<std::byte*>(data), wanted));
    if (!count.ok()) return fail(ZIP_ER_READ, count.reason());
    if (*count == 0) m_finished = true;
    if (m_handlers.progress) {
        m_handlers.progress(m_pipeline->consumedInputBytes() - m_pipelineBase);
    }
    return static_cast<zip_int64_t>(*count);
}

zip_int64_t EntrySource::readEncrypted(void* data, zip_uint64_t length) {
    auto* out = static_cast<std::byte*>(data);
    const std::span<const std::byte> header = m_cipher->header();
    if (m_headerDone < header.size()) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<zip_uint64_t>(length, header.size() - m_headerDone));
        std::memcpy(out, header.data() + m_headerDone, count);
        m_headerDone += count;
        return static_cast<zip_int64_t>(count);
    }
    if (!m_streamDone) {
        const zip_int64_t count = readDeflated(data, length);
        if (count < 0) return count;
        if (count > 0) {
            Status encrypted = m_cipher->encrypt(std::span(out, static_cast<std::size_t>(count)));
            if (!encrypted) return fail(ZIP_ER_INTERNAL, encrypted.reason());
            return count;
        }
        Result<AesCode> code = m_cipher->code();
        if (!code) return fail(ZIP_ER_INTERNAL, code.reason());
        m_code = *code;
        m_streamDone = true;
    }
    const std::size_t count =
        static_cast<std::size_t>(std::min<zip_uint64_t>(length, m_code.size() - m_codeDone));
    std::memcpy(out, m_code.data() + m_codeDone, count);
    m_codeDone += count;
    return static_cast<zip_int64_t>(count);
}

zip_int64_t EntrySource::readStored(void* data, zip_uint64_t length) {
    if (m_reader == nullptr) return fail(ZIP_ER_INTERNAL, "The file was read before it was opened");
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<zip_uint64_t>(length, m_size - m_position));
    if (wanted == 0) {
        // libzip reads on to the end: what it stored is the file as it was added.
        if (Status same = m_reader->checkUnchanged(); !same)
            return fail(ZIP_ER_READ, same.reason());
        m_finished = true;
        return 0;
    }
    Status read = m_reader->readAt(m_position, std::span(static_cast<std::byte*>(data), wanted));
    if (!read) return fail(ZIP_ER_READ, read.reason());
    m_position += wanted;
    if (m_handlers.progress) m_handlers.progress(m_position);
    return static_cast<zip_int64_t>(wanted);
}

}  // namespace quillet::archive
