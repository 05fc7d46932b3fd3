#include "mailstore/message_store.h"

#include <algorithm>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_header.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/index_tree.h"
#include "mailstore/indexed_info.h"
#include "mailstore/store_damage.h"
#include "mailstore/store_salvage.h"
#include "mailstore/store_scan.h"
#include "platform/ansi_code_page.h"

namespace quillet::mailstore {
namespace {

MessageEntry EntryOf(const IndexedInfo& info, std::uint32_t offset, const AnsiCodePage& codePage) {
    MessageEntry entry;
    entry.origin = MessageEntry::Origin::kIndex;
    entry.index = info.integer(kFieldIndex);
    entry.infoOffset = offset;
    entry.flags = info.integer(kFieldFlags);
    entry.firstChunk = info.integer(kFieldFirstChunk);
    entry.sentTime = info.filetime(kFieldSent);
    entry.receivedTime = info.filetime(kFieldReceived);
    entry.recordedSize = info.integer(kFieldSize);
    entry.subject = codePage.decode(info.text(kFieldSubject));
    return entry;
}

}  // namespace

MessageStore::MessageStore(const StoreBytes& bytes, ReadMode mode)
    : m_bytes(bytes), m_mode(mode), m_claims(std::make_unique<ChunkClaims>(bytes.size())) {}

MessageStore::~MessageStore() = default;

Result<std::unique_ptr<MessageStore>> MessageStore::Open(const StoreBytes& bytes, ReadMode mode,
                                                         const AnsiCodePage& codePage) {
    Result<DbxHeader> header = ReadDbxHeader(bytes);
    if (!header) return header.status();
    if (header->kind != DbxHeader::Kind::kMessages) {
        return DamageAt(bytes, 0, "not a message store");
    }
    std::unique_ptr<MessageStore> store(new MessageStore(bytes, mode));
    store->m_header = *header;
    if (bytes.size() >= kStoreSizeLimit) {
        store->m_warnings.push_back(bytes.name() +
                                    ": 2 GB or larger, more than Outlook Express itself can read");
    }

    std::vector<MessageEntry>& messages = store->m_messages;
    std::vector<StoreDamage>& damages = store->m_damages;
    std::uint64_t treeCount = 0;
    Status walked = WalkIndexTree(
        bytes, header->treeRoot, header->treeEntries, mode, damages,
        [&](std::uint32_t value) -> Status {
            Result<IndexedInfo> info = IndexedInfo::Read(bytes, value);
            if (!info) return info.status();
            messages.push_back(EntryOf(*info, value, codePage));
            return Status::Ok();
        },
        &treeCount);
    if (!walked) return walked;

    std::stable_sort(
        messages.begin(), messages.end(),
        [](const MessageEntry& a, const MessageEntry& b) { return a.index < b.index; });
    // One message listed twice would be exported twice: the second listing is the damage.
    auto sameIndex = [](const MessageEntry& a, const MessageEntry& b) {
        return a.index == b.index;
    };
    for (std::size_t i = 1; i < messages.size(); ++i) {
        if (!sameIndex(messages[i - 1], messages[i])) continue;
        Status twice = DamageAt(bytes, messages[i].infoOffset, "message index listed twice");
        if (Status noted = NoteDamage(bytes, twice, mode, damages); !noted) return noted;
    }
    const std::size_t listed = messages.size();
    messages.erase(std::unique(messages.begin(), messages.end(), sameIndex), messages.end());
    // A message listed twice is counted twice; every message has an info object of its own, so
    // a count past what the store's size leaves room for is no count of messages.
    const std::uint64_t twice = listed - messages.size();
    const std::uint64_t counted = std::max<std::uint64_t>({header->treeEntries, treeCount, listed});
    store->m_countedMessages = std::min(counted - twice, bytes.size() / kInfoEntries);

    if (mode == ReadMode::kSalvage) AppendRecoveredMessages(bytes, messages, damages);
    store->m_claimed.assign(messages.size(), false);
    return store;
}

Status MessageStore::readMessage(const MessageEntry& message, const Sink& sink) {
    if (message.firstChunk == 0) return Status::Ok();
    if (message.origin == MessageEntry::Origin::kDeletedChain) {
        Status read = StreamDeletedChain(m_bytes, message.firstChunk, sink);
        if (Status noted = NoteDamage(m_bytes, read, m_mode, m_damages); !noted) return noted;
        return read;
    }
    if (Result<std::uint64_t> claimed = claimChain(message); !claimed) {
        // Salvaging, the damage is recorded too; the message still fails.
        Status noted = NoteDamage(m_bytes, claimed.status(), m_mode, m_damages);
        return noted ? claimed.status() : noted;
    }
    // A small message is read once, checked as it is read, and handed over whole; a larger one is
    // checked first and read again, so that memory stays bounded.
    bool tooLarge = false;
    m_heldMessage.clear();
    Status held =
        StreamChunkChain(m_bytes, message.firstChunk, [&](std::span<const std::byte> piece) {
            if (m_heldMessage.size() + piece.size() > kHeldMessageLimit) {
                tooLarge = true;
                return Status::Error("the message is read in two passes", ErrorKind::kCancelled);
            }
            m_heldMessage.insert(m_heldMessage.end(), piece.begin(), piece.end());
            return Status::Ok();
        });
    if (held) return sink(m_heldMessage);
    Result<std::uint64_t> checked =
        tooLarge ? CheckChunkChain(m_bytes, message.firstChunk) : Result<std::uint64_t>(held);
    if (!checked) {
        // Salvaging, the damage is recorded too; the message still fails.
        Status noted = NoteDamage(m_bytes, checked.status(), m_mode, m_damages);
        return noted ? checked.status() : noted;
    }
    return StreamChunkChain(m_bytes, message.firstChunk, sink);
}

Result<std::uint64_t> MessageStore::readSoundStart(const MessageEntry& message,
                                                   const Status& damage, const Sink* sink) {
    if (message.firstChunk == 0 || message.origin != MessageEntry::Origin::kIndex) {
        return std::uint64_t{0};
    }
    // A loop is told at the chain's first chunk, which is no place to stop: the chunk met twice is.
    const StoreDamage where = DamageFrom(m_bytes, damage);
    const std::uint64_t stopAt = where.offset == message.firstChunk ? 0 : where.offset;
    return StreamSoundStart(m_bytes, message.firstChunk, stopAt, sink);
}

Result<std::uint64_t> MessageStore::checkMessage(const MessageEntry& message) {
    if (message.firstChunk == 0) return std::uint64_t{0};
    Result<std::uint64_t> size = std::uint64_t{message.recordedSize};
    if (message.origin == MessageEntry::Origin::kDeletedChain) {
        if (Status read =
                StreamDeletedChain(m_bytes, message.firstChunk,
                                   [](std::span<const std::byte>) { return Status::Ok(); });
            !read) {
            size = read;
        }
    } else {
        size = claimChain(message);
    }
    if (!size) {
        Status noted = NoteDamage(m_bytes, size.status(), m_mode, m_damages);
        if (!noted) return noted;
    }
    return size;
}

Result<std::uint64_t> MessageStore::claimChain(const MessageEntry& message) {
    const bool listed = !m_messages.empty() && &message >= m_messages.data() &&
                        &message < m_messages.data() + m_messages.size();
    const std::size_t position =
        listed ? static_cast<std::size_t>(&message - m_messages.data()) : 0;
    if (!listed || m_claimed[position]) return CheckChunkChain(m_bytes, message.firstChunk);
    m_claimed[position] = true;
    return CheckChunkChain(m_bytes, message.firstChunk, m_claims.get(),
                           static_cast<std::uint32_t>(position + 1));
}

}  // namespace quillet::mailstore
