#include "support/archive/generated_archive.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace quillet::testing {
namespace {

// The content of one entry, handed to libzip piece by piece.
class GeneratedSource {
  public:
    explicit GeneratedSource(const GeneratedEntry& entry) : m_entry(entry) {
        zip_error_init(&m_error);
    }
    ~GeneratedSource() { zip_error_fini(&m_error); }

    static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
        return static_cast<GeneratedSource*>(self)->handle(data, length, command);
    }

  private:
    zip_int64_t handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
            case ZIP_SOURCE_OPEN:
                m_position = 0;
                return 0;
            case ZIP_SOURCE_READ:
                return read(static_cast<char*>(data), length);
            case ZIP_SOURCE_CLOSE:
                return 0;
            case ZIP_SOURCE_STAT: {
                auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &m_error);
                if (stat == nullptr) return -1;
                zip_stat_init(stat);
                stat->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
                stat->size = total();
                stat->mtime = std::time(nullptr);
                return sizeof(*stat);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&m_error, data, length);
            case ZIP_SOURCE_FREE:
                delete this;
                return 0;
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                      ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                      ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
            default:
                zip_error_set(&m_error, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }

    std::uint64_t total() const {
        return m_entry.pattern.empty() ? m_entry.head.size()
                                       : std::max<std::uint64_t>(m_entry.size, m_entry.head.size());
    }

    zip_int64_t read(char* out, zip_uint64_t length) {
        const std::uint64_t wanted = std::min<std::uint64_t>(length, total() - m_position);
        for (std::uint64_t done = 0; done < wanted;) {
            const std::string* piece = &m_entry.head;
            std::uint64_t offset = m_position;
            if (m_position >= m_entry.head.size()) {
                piece = &m_entry.pattern;
                offset = (m_position - m_entry.head.size()) % m_entry.pattern.size();
            }
            const std::uint64_t count =
                std::min<std::uint64_t>(wanted - done, piece->size() - offset);
            std::memcpy(out + done, piece->data() + offset, count);
            done += count;
            m_position += count;
        }
        return static_cast<zip_int64_t>(wanted);
    }

    const GeneratedEntry m_entry;
    std::uint64_t m_position = 0;
    zip_error_t m_error{};
};

}  // namespace

GeneratedEntry GeneratedEntry::Holding(std::string name, std::string content) {
    GeneratedEntry entry;
    entry.name = std::move(name);
    entry.size = content.size();
    entry.head = std::move(content);
    return entry;
}

bool WriteGeneratedArchive(const std::filesystem::path& file,
                           const std::vector<GeneratedEntry>& entries) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) return false;
    for (const GeneratedEntry& entry : entries) {
        auto* generated = new GeneratedSource(entry);
        zip_source_t* source = zip_source_function(archive, &GeneratedSource::Callback, generated);
        if (source == nullptr) {
            delete generated;
            zip_discard(archive);
            return false;
        }
        const zip_int64_t index =
            zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                     entry.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                     entry.deflated ? 1 : 0) != 0) {
            zip_discard(archive);
            return false;
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

}  // namespace quillet::testing
