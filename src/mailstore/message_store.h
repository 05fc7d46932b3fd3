#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "mailstore/store_bytes.h"
#include "platform/ansi_code_page.h"
#include "platform/status.h"

namespace quillet::mailstore {

class ChunkClaims;

// How a reader meets damage. Strict: the first inconsistency is the failure (a clear error naming
// the store and the offset). Salvage: every inconsistency is recorded as a StoreDamage and the
// reader goes on with what is still sound, and also scans the store for messages the tree no
// longer reaches.
enum class ReadMode { kStrict, kSalvage };

// One inconsistency found in a store.
struct StoreDamage {
    std::uint64_t offset = 0;
    std::string what;  // "bad marker in tree node", "chunk chain loops", ...
    // The damage is of the file as a whole (it cannot be read, or is no store): `offset` means
    // nothing.
    bool wholeFile = false;
};

// What a store's header says (the fields the reader uses and the health check reports).
struct DbxHeader {
    enum class Kind {
        kMessages,
        kFolderList,
        kOther,    // a store of a known kind that holds no messages (pop3uidl.dbx, Offline.dbx)
        kUnknown,  // a class id of no known kind
    };
    Kind kind = Kind::kUnknown;
    std::uint32_t treeRoot = 0;         // 0 when the tree is empty
    std::uint32_t treeEntries = 0;      // entries the header counts in the main tree
    std::uint32_t highestIndex = 0;     // the highest message index given out
    std::uint32_t spaceFreed = 0;       // bytes a compaction would give back
    std::uint32_t deletedMessages = 0;  // head of the deleted-message list, 0 when none
};

// One message the store's index (its tree) knows, or that a salvaging read recovered.
struct MessageEntry {
    enum class Origin {
        kIndex,         // reached through the tree
        kLostChain,     // a whole chunk chain that the tree does not reach
        kDeletedChain,  // the chunks of a deleted message: the first 4 bytes of each chunk's data
                        // were overwritten by the store and are lost
    };
    Origin origin = Origin::kIndex;
    std::uint32_t index = 0;         // message index (0 for recovered messages)
    std::uint32_t infoOffset = 0;    // the message info object (0 for recovered messages)
    std::uint32_t flags = 0;         // 0x80 read, 0x20 flagged, 0x80000 answered...
    std::uint32_t firstChunk = 0;    // 0: the body was never downloaded (nothing to export)
    std::uint64_t sentTime = 0;      // FILETIME; 0 when absent
    std::uint64_t receivedTime = 0;  // FILETIME; 0 when absent
    std::uint32_t recordedSize = 0;  // as the index records it (may be wrong)
    // As the index stores it, converted to UTF-8 from the system's code page: may be lossy. Headers
    // for export come from the message itself, never from here.
    std::string subject;
};

// An Outlook Express message store (".dbx") opened for reading. Nothing is ever written to it.
//
// Open reads and checks the header and walks the message tree iteratively (no recursion, so a
// hostile depth cannot exhaust the stack), checking every node's marker, parent, entry count and
// subtree counts, every offset against the store's size, and the header's count against the
// values found; it reads each message info object (direct and indirect fields). Only the entries
// are kept in memory, never message data.
//
// A store of kStoreSizeLimit bytes or more is read (offsets are unsigned) with a warning.
//
// Not thread-safe; the StoreBytes must outlive the object.
class MessageStore {
  public:
    using Sink = std::function<Status(std::span<const std::byte>)>;

    // readMessage holds a message of up to this many bytes in memory, to read its chunks once.
    static constexpr std::size_t kHeldMessageLimit = 16 << 20;

    ~MessageStore();

    // Fails (strict: at the first damage; salvage: only when the header itself is unusable) with
    // kCorrupt naming the store and the offset; with the StoreBytes' failure when reading fails.
    // A store that is not a message store (Folders.dbx, another class id) fails with kCorrupt.
    // Subjects are read in `codePage`.
    static Result<std::unique_ptr<MessageStore>> Open(const StoreBytes& bytes, ReadMode mode,
                                                      const AnsiCodePage& codePage = {});

    const DbxHeader& header() const { return m_header; }
    ReadMode mode() const { return m_mode; }

    // The messages reached through the tree, in ascending message index; then, in a salvaging
    // read, the recovered ones in file order.
    const std::vector<MessageEntry>& messages() const { return m_messages; }

    // The damage found so far (always empty in a strict read, which fails instead), in the order
    // found. readMessage adds to it in a salvaging read.
    const std::vector<StoreDamage>& damages() const { return m_damages; }

    // How many messages the store holds by its own counts: the header's, the tree's (see
    // WalkIndexTree) or the messages the tree reached, whichever is most, and never more than the
    // store's size leaves room for. A salvaging export that writes fewer tells the difference.
    std::uint64_t countedMessages() const { return m_countedMessages; }

    // Warnings that are no damage: a store of 2 GB or more.
    const std::vector<std::string>& warnings() const { return m_warnings; }

    // Hands the message's RFC 822 bytes, exactly as stored, to `sink`, a chunk at a time. The
    // whole chunk chain is checked (markers, sizes, used bytes 1..0x200, offsets, loops) before
    // the first byte is handed over, so a damaged message hands over nothing. Fails with kCorrupt
    // naming the store and the offset (and, salvaging, records the damage too); with the sink's
    // failure when the sink fails. A message without a body (firstChunk 0) hands over nothing
    // and succeeds.
    //
    // Each chunk belongs to one message: the first message of messages() read (or checked) to
    // reach a chunk keeps it, and a later one that reaches it too is damaged
    // (kChunkSharedDamage), so that the bytes read from a store never pass its size and the work
    // stays in proportion to it however many messages lead into one chain. A message read a
    // second time is read as the first time; an entry that is not one of messages() is checked on
    // its own.
    Status readMessage(const MessageEntry& message, const Sink& sink);

    // Salvaging, for a message of the tree that readMessage failed on with `damage`: the bytes of
    // its chain before the damage (the chunks before the first one that is damaged, met twice, or
    // where `damage` lies), handed to `sink` when one is given. Returns their count: 0 when the
    // first chunk is damaged.
    Result<std::uint64_t> readSoundStart(const MessageEntry& message, const Status& damage,
                                         const Sink* sink);

    // Checks the message's chunk chain as readMessage does (its chunks claimed the same way),
    // reading no data, and returns its size in bytes. Damage is recorded as readMessage records
    // it.
    Result<std::uint64_t> checkMessage(const MessageEntry& message);

  private:
    MessageStore(const StoreBytes& bytes, ReadMode mode);
    // Checks the chain of a message with a body and claims its chunks (see readMessage).
    Result<std::uint64_t> claimChain(const MessageEntry& message);

    const StoreBytes& m_bytes;
    ReadMode m_mode;
    DbxHeader m_header;
    std::vector<MessageEntry> m_messages;
    std::vector<StoreDamage> m_damages;
    std::vector<std::string> m_warnings;
    std::uint64_t m_countedMessages = 0;
    std::vector<std::byte> m_heldMessage;  // the message being read, when it is small enough
    std::unique_ptr<ChunkClaims> m_claims;
    std::vector<bool> m_claimed;  // per message: its chain was claimed (or found damaged) before
};

}  // namespace quillet::mailstore
