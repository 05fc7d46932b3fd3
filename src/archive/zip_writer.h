#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/source_file.h"
#include "platform/file_operations.h"
#include "platform/status.h"

namespace quillet::archive {

struct ZipWriteRequest {
    std::filesystem::path target;   // the archive file to write or replace
    std::vector<SourceFile> files;  // entries, in order, named by their file names
    std::string password;           // empty: no encryption; else WinZip AES-256
    int level = 6;                  // 0 stores, 1 to 9 deflate
    unsigned threads = 0;           // compressing threads; 0: chosen by processors
    bool followLink = true;         // see ReplaceOptions::followLink
};

struct ZipWriteEvents {
    std::function<void(const std::string& name)> entryAdding;
    std::function<void(int percent)> progress;  // called when the percentage grows
};

// Writes a zip archive safely, as a FileReplacement of the target through `files`: writes the
// archive into a new temporary file beside the target with libzip (compressing on several
// threads, streaming each file, never holding one whole in memory, opening each file only while
// it is read), flushes it, re-opens it with a consistency check and checks every entry (name,
// order, size, method, encryption), then renames it over the target and flushes the folder. A
// replaced backup's permission bits are kept. A file that is no longer as it was gathered
// (SourceFile) fails the write. On failure returns a reason naming what failed; the target is
// unchanged (unless only flushing the folder failed, see FileReplacement) and the temporary
// removed. Event handlers run on the calling thread. Callable from any thread; calls share no
// state.
Status WriteZipArchive(const ZipWriteRequest& request, const ZipWriteEvents& events,
                       FileOperations& files = RealFileOperations());

}  // namespace quillet::archive
