#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

// Writers of Outlook Express stores (".dbx") for tests and benchmarks, built from the format's
// fixed layout (mailstore/dbx_layout.h). They stream to the file: a store of any size is written
// with only its index (a few words per message) in memory. They give back the layout they wrote so
// that a test can damage one precise object.
//
// A failure to write the file ends the process with a message on stderr (these are test helpers;
// an unwritable temporary folder is no condition a test checks).

// Where a message goes besides its chunks.
enum class DbxPlacement {
    kIndexed,  // in the tree (the normal case)
    kLost,     // chunks and info object written, but the tree does not reach it
    kDeleted,  // chunks in the deleted-chunk form (the first 4 data bytes of each chunk are
               // overwritten); no info object, not in the tree
};

struct DbxMessageOptions {
    std::optional<std::uint32_t> index =
        std::nullopt;            // default: one more than the highest given so far
    std::uint32_t flags = 0x81;  // downloaded, read
    // Subject for the index, stored as given (Windows-1252 bytes); default: the message's own
    // Subject header (first line only).
    std::optional<std::string> subject = std::nullopt;
    std::optional<std::uint32_t> recordedSize = std::nullopt;  // default: the message's true size
    std::uint64_t receivedTime = 0;                            // FILETIME; 0 leaves the field out
    // Index, flags, size and first chunk as 4-byte indirect fields instead of direct ones (the
    // first chunk goes indirect by itself once its offset reaches 2^24).
    bool indirectFields = false;
    bool withoutBody = false;  // no chunks and no first-chunk field (a body never downloaded)
    DbxPlacement placement = DbxPlacement::kIndexed;
};

// What was written for one message.
struct DbxMessageLayout {
    std::uint32_t index = 0;
    DbxPlacement placement = DbxPlacement::kIndexed;
    std::uint32_t infoOffset = 0;       // 0 for a deleted message
    std::vector<std::uint32_t> chunks;  // in chain order
    std::uint64_t size = 0;             // bytes of the message
};

struct DbxStoreLayout {
    std::uint64_t fileSize = 0;
    std::uint32_t treeRoot = 0;              // 0 for an empty tree
    std::vector<std::uint32_t> treeNodes;    // root first, then level by level downwards
    std::uint32_t treeEntries = 0;           // values in the tree (the header's count)
    std::vector<DbxMessageLayout> messages;  // in the order added
    std::uint32_t deletedHead = 0;           // the header's head of the deleted-message list
    std::uint32_t conditionsOffset = 0;
};

struct DbxStoreOptions {
    std::uint32_t treeFanOut = 0x33;  // entries per tree node (2..0x33); small values deepen it
    // Zero bytes before the first message: stores whose offsets pass 2^24 (or 2^31) without
    // writing that much data (the file is sparse where the file system allows).
    std::uint64_t gapBeforeMessages = 0;
    // Keep each message's chunk list in the layout (a 1 GB store has about two million).
    bool recordChunks = true;
    // What the file info says the store belongs to: 3 local, 1 IMAP, 0 news, and the account.
    std::uint8_t storeKind = 3;
    std::string accountKey = "LocalStore";
};

// Writes a message store. Messages go to the file as they are added: a message's chunks at the
// end of the file, its info object into the current segment of info objects (0xC000 bytes, the
// first one opened by the conditions object, as the store lays them out). The tree and the header
// are written by finish(). Message indexes need not be added in order (the tree is sorted).
class DbxStoreBuilder {
  public:
    explicit DbxStoreBuilder(const std::filesystem::path& file, DbxStoreOptions options = {});
    ~DbxStoreBuilder();
    DbxStoreBuilder(const DbxStoreBuilder&) = delete;
    DbxStoreBuilder& operator=(const DbxStoreBuilder&) = delete;

    // Adds one RFC 822 message (CRLF line ends, as stores hold them). Returns its message index.
    std::uint32_t addMessage(std::string_view rfc822, const DbxMessageOptions& options = {});
    // Writes the tree and the header and closes the file.
    DbxStoreLayout finish();

  private:
    struct TreeValue {
        std::uint32_t index;
        std::uint32_t infoOffset;
    };
    std::uint32_t append(std::span<const char> bytes);
    void skip(std::uint64_t bytes);  // leaves a hole (zeros) for later
    void writeAt(std::uint64_t offset, std::span<const char> bytes);
    // Puts an info object into the current variable segment (a new one when it is full) and
    // returns its offset; segments are written when full and by finish().
    std::uint32_t placeInSegment(std::string object);
    std::uint32_t writeChunks(std::string_view rfc822, bool deleted, DbxMessageLayout& layout);

    std::filesystem::path m_file;
    DbxStoreOptions m_options;
    std::FILE* m_out = nullptr;
    std::vector<char> m_buffer;
    std::uint64_t m_end = 0;
    std::uint64_t m_segmentStart = 0;
    std::size_t m_segmentSize = 0;
    std::string m_segment;
    std::uint32_t m_highestIndex = 0;
    std::uint64_t m_freedBytes = 0;
    std::vector<TreeValue> m_tree;
    DbxStoreLayout m_layout;
};

// Writes a store with these messages (all with default options).
DbxStoreLayout WriteDbxStore(const std::filesystem::path& file,
                             const std::vector<std::string>& messages,
                             DbxStoreOptions options = {});

// One folder of a folder list (Folders.dbx).
struct DbxFolder {
    std::uint32_t id = 0;
    std::uint32_t parent = 0xFFFFFFFF;  // the root's parent
    std::string name;                   // Windows-1252 bytes, as stored
    std::string storeFile;              // "Inbox.dbx"; empty for a folder without a store
    std::uint32_t special = 0;          // 1 Inbox, 2 Outbox, 3 Sent, 4 Deleted, 5 Drafts
    std::uint32_t kind = 3;             // 3 local, 1 IMAP, 0 news
    std::string accountKey = "LocalStore";
};

// Writes a folder list. The root folder ("Outlook Express", id 0) is written only when listed.
// The layout's messages hold one entry per folder (index = folder id, infoOffset = its folder info
// object).
DbxStoreLayout WriteDbxFolderList(const std::filesystem::path& file,
                                  const std::vector<DbxFolder>& folders,
                                  DbxStoreOptions options = {});

// The folders of a fresh identity as Outlook Express writes them: the root, its "Local Folders"
// container (id 1), and in it Inbox, Outbox, Sent Items, Deleted Items, Drafts (ids 2 to 6) with
// their usual store files.
std::vector<DbxFolder> StandardDbxFolders();

// Damage done to a written store, one object each.
enum class DbxDamage {
    kBadNodeMarker,      // the root node's marker is not its offset
    kCountMismatch,      // the header counts one entry more than the tree holds
    kChunkLoop,          // the first indexed message's last chunk points back to its first
    kOffsetOutsideFile,  // the root node's first entry points past the end of the file
    kChunkUsedTooLarge,  // the first indexed message's first chunk claims 0x201 used bytes
    kBadInfoMarker,      // the first indexed message's info object has a wrong marker
    kTruncated,          // the file ends half-way through the root node
    kChunksShared,       // the second indexed message's last chunk leads on into the first's chain
};

inline constexpr DbxDamage kAllDbxDamages[] = {
    DbxDamage::kBadNodeMarker,     DbxDamage::kCountMismatch,     DbxDamage::kChunkLoop,
    DbxDamage::kOffsetOutsideFile, DbxDamage::kChunkUsedTooLarge, DbxDamage::kBadInfoMarker,
    DbxDamage::kTruncated,         DbxDamage::kChunksShared,
};

// A short name for test names ("BadNodeMarker").
const char* DbxDamageName(DbxDamage damage);

// Whether a reader meets the damage when it opens the store (tree, header, info objects) rather
// than when it reads a message's data (chunks).
bool DbxDamageFoundOnOpen(DbxDamage damage);

// Damages the store at `file` (written with `layout`, with at least one indexed message with a
// body; two for kChunksShared). Returns the offset of the damaged object, the one an error should
// name.
std::uint64_t DamageDbxStore(const std::filesystem::path& file, const DbxStoreLayout& layout,
                             DbxDamage damage);

// Writes a little-endian 32-bit value into an existing file.
void PatchUint32(const std::filesystem::path& file, std::uint64_t offset, std::uint32_t value);

}  // namespace quillet::testing
