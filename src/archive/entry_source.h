#pragma once

#include <sys/types.h>
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "archive/source_file.h"
#include "archive/winzip_aes.h"

namespace quillet::archive {

class DeflatePipeline;

// The data of one entry as libzip reads it while it writes an archive, given to libzip as a
// zip_source. Two kinds:
//  - deflated: the entry's raw deflate stream from a DeflatePipeline. The source reports the
//    deflate method, so libzip stores the bytes as they are (no second compression); size, CRC and
//    compressed size are reported once the stream is read. With a password the source delivers the
//    stream already encrypted with WinZip AES-256 (salt and password verifier, ciphertext,
//    authentication code) and reports that encryption, so libzip stores that too as it is: the
//    entry must be given encryption method ZIP_EM_AES_256 without a password.
//  - stored: the file's bytes as they are (empty files, and compression level 0); libzip adds any
//    encryption. The file is opened when libzip starts reading the entry and closed when it is
//    done with it.
// In both, a file that is no longer the one added, or changed, makes the read fail with a reason
// (kSourceChangedReason).
//
// Used on the thread that runs zip_close(); the handlers run there too.
class EntrySource {
  public:
    // Called when libzip starts reading the entry, and after each piece handed over with the
    // number of this entry's uncompressed bytes handed over so far.
    struct Handlers {
        std::function<void()> started;
        std::function<void(std::uint64_t)> progress;
    };

    // `password` (empty: no encryption) must outlive the source.
    static std::unique_ptr<EntrySource> Deflated(DeflatePipeline& pipeline, std::size_t input,
                                                 std::uint64_t size, std::time_t modified,
                                                 int level, std::string_view password);
    // `file` must outlive the source.
    static std::unique_ptr<EntrySource> Stored(const SourceFile& file);

    ~EntrySource();
    EntrySource(const EntrySource&) = delete;
    EntrySource& operator=(const EntrySource&) = delete;

    void setHandlers(Handlers handlers) { m_handlers = std::move(handlers); }

    // A new libzip source reading this object, which must outlive it (libzip frees the source
    // itself; freeing it leaves this object alone). Null on failure (out of memory).
    zip_source_t* makeZipSource(zip_t* archive);

    // Why the last read failed, in words; empty when no read failed.
    const std::string& failureReason() const { return m_failureReason; }

  private:
    EntrySource();
    bool encrypted() const { return m_pipeline != nullptr && !m_password.empty(); }
    static zip_int64_t Callback(void* self, void* data, zip_uint64_t length,
                                zip_source_cmd_t command);
    zip_int64_t handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t fail(int zipError, std::string reason);
    zip_int64_t readDeflated(void* data, zip_uint64_t length);
    zip_int64_t readEncrypted(void* data, zip_uint64_t length);
    zip_int64_t readStored(void* data, zip_uint64_t length);

    DeflatePipeline* m_pipeline = nullptr;  // null for a stored entry
    std::size_t m_input = 0;
    const SourceFile* m_file = nullptr;      // a stored entry's file
    std::unique_ptr<SourceReader> m_reader;  // it, opened, while libzip reads the entry
    int m_level = 6;
    std::string_view m_password;
    std::uint64_t m_size = 0;
    std::time_t m_modified = 0;
    Handlers m_handlers;

    std::uint64_t m_position = 0;      // stored: bytes read so far
    std::uint64_t m_pipelineBase = 0;  // deflated: pipeline input count when opened
    bool m_finished = false;
    // Encrypted deflated entry: its cipher, and how much of its header (salt and verifier) and of
    // its trailing authentication code has been handed over.
    std::unique_ptr<WinZipAesCipher> m_cipher;
    std::size_t m_headerDone = 0;
    AesCode m_code{};
    std::size_t m_codeDone = 0;
    bool m_streamDone = false;
    zip_error_t m_error{};
    std::string m_failureReason;
};

}  // namespace quillet::archive
