#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "mailstore/mail_source.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Loose message stores: a ".dbx" file on its own, or the ".dbx" files a user keeps in a folder of
// their own (copied from an old machine, rescued from a dead disk), with or without Folders.dbx
// and with no identity around them. They are read in place and never written. The folder is the
// user's own, so a symbolic link in it is followed to the file it names, wherever that is; what
// is no regular file (a FIFO, a device, a socket) is never opened in a way that could block, and
// is told as no store with its reason.

// The first bytes of a regular file, for telling what it holds.
struct FileStart {
    static constexpr std::size_t kBytes = 16;
    std::vector<std::byte> bytes;  // up to kBytes
    std::uint64_t size = 0;
};

// Reads the first bytes of `file` (a link is followed). Fails with kBadInput and what it is when
// it is no regular file ("<path> is a FIFO, not a file"); with kNotFound, kAccessDenied or kIo and
// the reason when it cannot be read. Never blocks on a FIFO.
Result<FileStart> ReadFileStart(const std::filesystem::path& file);

// Whether the file begins as every Outlook Express store does (its magic).
bool StartsAsStore(const FileStart& start);

// What a file begins with, for the reason that tells why it is not what was wanted: "it is
// empty", "it begins with the text "..."", "it begins with the bytes 50 4B 03 04 ...".
std::string DescribeFileStart(const FileStart& start);

// One store file, whatever its name: fails with kBadInput, naming what it holds, when it does not
// begin as a store, and as ReadFileStart does. Its one store is told as loose stores are (see
// MailSource::StoreName), so a folder list or a store without messages exports nothing.
// Loose stores carry no word of the system that wrote them: their texts are read in `codePage`,
// which the source's description names.
Result<std::unique_ptr<MailSource>> LooseStoreFile(const std::filesystem::path& file,
                                                   const AnsiCodePage& codePage = {});

// The ".dbx" files (any case) directly in `folder`, its subfolders left alone, each told as loose
// stores are (see MailSource::StoreName). Fails with kNotFound when the folder holds none, and
// with the reason when it cannot be listed.
Result<std::unique_ptr<MailSource>> LooseStoreFolder(const std::filesystem::path& folder,
                                                     const AnsiCodePage& codePage = {});

}  // namespace quillet::mailstore
