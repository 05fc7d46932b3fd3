#include "dbx_builder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "mailstore/dbx_layout.h"
#include "platform/case_fold.h"

namespace quillet::testing {

namespace ms = quillet::mailstore;

namespace {

constexpr std::uint32_t kConditionsOffset = ms::kHeaderSize + ms::kMessageFileInfoLength;
constexpr std::string_view kConditions =
    "((MSGCOL_FLAGS & ARF_WATCH) != 0 || (MSGCOL_FLAGS & ARF_IGNORE) != 0)";
// Info objects go to segments of this size, as the store does: the conditions object opens the
// first one, right after the file info.
constexpr std::uint32_t kVariableSegmentSize = 0xC000;
constexpr std::uint32_t kHeaderLastVariableSegment = 0x24;  // its offset, length, bytes used

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file) {
    std::fprintf(stderr, "dbx builder: %s %s\n", what.c_str(), file.string().c_str());
    std::abort();
}

void Put32(char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Append32(std::string& out, std::uint32_t value) {
    char bytes[4];
    Put32(bytes, value);
    out.append(bytes, 4);
}

// One field of an info object: direct (the value in the entry) or indirect (bytes in the data).
struct InfoField {
    std::uint8_t field;
    bool direct;
    std::uint32_t value;
    std::string data;
};

InfoField Number(std::uint8_t field, std::uint32_t value, bool indirect) {
    if (!indirect && value < ms::kInfoDirectLimit) return {field, true, value, {}};
    std::string data;
    Append32(data, value);
    return {field, false, 0, data};
}

InfoField Bytes(std::uint8_t field, std::string data) { return {field, false, 0, std::move(data)}; }

InfoField Text(std::uint8_t field, const std::string& text) {
    return Bytes(field, text + std::string(1, '\0'));
}

// The info object at `offset`: marker, body length, object length, entry count, change count,
// the entries (sorted by field) and the data in the same order; padded to 4 bytes.
std::string InfoObject(std::uint32_t offset, std::vector<InfoField> fields) {
    std::sort(fields.begin(), fields.end(),
              [](const InfoField& a, const InfoField& b) { return a.field < b.field; });
    std::string entries;
    std::string data;
    for (const InfoField& field : fields) {
        if (field.direct) {
            Append32(entries, (field.value << 8) | ms::kInfoDirectBit | field.field);
        } else {
            Append32(entries, (static_cast<std::uint32_t>(data.size()) << 8) | field.field);
            data += field.data;
        }
    }
    std::string object(ms::kInfoEntries, '\0');
    Put32(object.data(), offset);
    Put32(object.data() + ms::kInfoBodyLength,
          static_cast<std::uint32_t>(entries.size() + data.size()));
    object[ms::kInfoEntryCount] = static_cast<char>(fields.size());
    object += entries;
    object += data;
    object.resize((object.size() + 3) / 4 * 4, '\0');
    return object;
}

std::string SubjectOf(std::string_view rfc822) {
    std::size_t pos = 0;
    while (pos < rfc822.size()) {
        std::size_t end = rfc822.find("\r\n", pos);
        if (end == std::string_view::npos) end = rfc822.size();
        std::string_view line = rfc822.substr(pos, end - pos);
        if (line.empty()) break;  // end of the header
        constexpr std::string_view kName = "subject:";
        if (line.size() >= kName.size()) {
            if (AsciiLower(line.substr(0, kName.size())) == kName) {
                std::string_view value = line.substr(kName.size());
                while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
                return std::string(value);
            }
        }
        pos = end + 2;
    }
    return {};
}

// A tree node before it is written: its leftmost child and entries (value, child), as node
// numbers (-1 for none).
struct Node {
    int leftChild = -1;
    std::vector<std::pair<std::uint32_t, int>> entries;
    int parent = -1;
    std::uint32_t count = 0;  // values in this node's subtree
    std::uint32_t offset = 0;
};

// Builds a tree of the sorted values bottom-up with at most `fanOut` entries per node: each level
// is a sequence child, value, child, ..., value, child that is cut into nodes, the value between
// two nodes going up to the next level. Returns the nodes, the root last.
std::vector<Node> BuildTree(const std::vector<std::uint32_t>& values, std::size_t fanOut) {
    std::vector<Node> nodes;
    std::vector<std::uint32_t> level = values;
    std::vector<int> children(values.size() + 1, -1);
    while (!level.empty()) {
        const std::size_t n = level.size();
        const std::size_t nodeCount = (n + 1 + fanOut) / (fanOut + 1);
        const std::size_t held = n - (nodeCount - 1);
        std::vector<std::uint32_t> upValues;
        std::vector<int> upChildren;
        std::size_t next = 0;
        for (std::size_t k = 0; k < nodeCount; ++k) {
            const std::size_t take = held / nodeCount + (k < held % nodeCount ? 1 : 0);
            Node node;
            node.leftChild = children[next];
            for (std::size_t i = 0; i < take; ++i, ++next) {
                node.entries.emplace_back(level[next], children[next + 1]);
            }
            const int number = static_cast<int>(nodes.size());
            node.count = static_cast<std::uint32_t>(node.entries.size());
            auto adopt = [&](int child) {
                if (child < 0) return;
                nodes[child].parent = number;
                node.count += nodes[child].count;
            };
            adopt(node.leftChild);
            for (const auto& entry : node.entries) adopt(entry.second);
            nodes.push_back(std::move(node));
            upChildren.push_back(number);
            if (k + 1 < nodeCount) {
                upValues.push_back(level[next]);
                ++next;
            }
        }
        if (nodeCount == 1) break;
        level = std::move(upValues);
        children = std::move(upChildren);
    }
    return nodes;
}

std::string NodeBytes(const std::vector<Node>& nodes, const Node& node) {
    std::string bytes(ms::kTreeNodeSize, '\0');
    auto offsetOf = [&](int number) { return number < 0 ? 0u : nodes[number].offset; };
    auto countOf = [&](int number) { return number < 0 ? 0u : nodes[number].count; };
    Put32(bytes.data(), node.offset);
    Put32(bytes.data() + ms::kTreeNodeLeftChild, offsetOf(node.leftChild));
    Put32(bytes.data() + ms::kTreeNodeParent, offsetOf(node.parent));
    bytes[ms::kTreeNodeEntryCount] = static_cast<char>(node.entries.size());
    Put32(bytes.data() + ms::kTreeNodeLeftCount, countOf(node.leftChild));
    char* entry = bytes.data() + ms::kTreeNodeEntries;
    for (const auto& [value, child] : node.entries) {
        Put32(entry, value);
        Put32(entry + 4, offsetOf(child));
        Put32(entry + 8, countOf(child));
        entry += ms::kTreeEntrySize;
    }
    return bytes;
}

struct StoreHeader {
    bool folderList = false;
    std::uint32_t deletedHead = 0;
    std::uint32_t spaceUsed = 0;
    std::uint32_t spaceFreed = 0;
    std::uint32_t highestIndex = 0;
    std::uint32_t end = 0;
    std::uint32_t conditions = 0;
    std::uint32_t treeEntries = 0;
    std::uint32_t treeRoot = 0;
};

std::string HeaderBytes(const StoreHeader& fields) {
    std::string header(ms::kHeaderSize, '\0');
    char* bytes = header.data();
    const auto& classId = fields.folderList ? ms::kFolderListClassId : ms::kMessageStoreClassId;
    std::memcpy(bytes, ms::kDbxMagic.data(), ms::kDbxMagic.size());
    std::memcpy(bytes + ms::kDbxMagic.size(), classId.data(), classId.size());
    Put32(bytes + ms::kHeaderVersion, ms::kStoreVersion);
    Put32(bytes + ms::kHeaderVersion + 4, ms::kStoreVersion);
    Put32(bytes + ms::kHeaderFileInfoLength,
          fields.folderList ? ms::kFolderListFileInfoLength : ms::kMessageFileInfoLength);
    Put32(bytes + ms::kHeaderDeletedMessages, fields.deletedHead);
    Put32(bytes + ms::kHeaderSpaceUsed, fields.spaceUsed);
    Put32(bytes + ms::kHeaderSpaceFreed, fields.spaceFreed);
    Put32(bytes + ms::kHeaderHighestIndex, fields.highestIndex);
    Put32(bytes + ms::kHeaderMiddleEnd, fields.end);
    Put32(bytes + ms::kHeaderStoreType,
          fields.folderList ? ms::kStoreTypeFolderList : ms::kStoreTypeMessages);
    Put32(bytes + (fields.folderList ? ms::kHeaderFolderListConditions : ms::kHeaderConditions),
          fields.conditions);
    Put32(bytes + ms::kHeaderTreeEntries, fields.treeEntries);
    Put32(bytes + ms::kHeaderTreeRoot, fields.treeRoot);
    return header;
}

// Lays out the tree of `values` (info offsets in index order) from `offset` on; returns its nodes'
// bytes and fills the layout's tree fields.
std::string TreeBytes(const std::vector<std::uint32_t>& values, std::uint32_t fanOut,
                      std::uint32_t offset, DbxStoreLayout& layout) {
    std::vector<Node> nodes = BuildTree(values, fanOut);
    for (Node& node : nodes) {
        node.offset = offset;
        offset += ms::kTreeNodeSize;
    }
    std::string bytes;
    for (const Node& node : nodes) bytes += NodeBytes(nodes, node);
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) layout.treeNodes.push_back(it->offset);
    layout.treeRoot = nodes.empty() ? 0 : nodes.back().offset;
    layout.treeEntries = static_cast<std::uint32_t>(values.size());
    return bytes;
}

}  // namespace

DbxStoreBuilder::DbxStoreBuilder(const std::filesystem::path& file, DbxStoreOptions options)
    : m_file(file), m_options(options) {
    m_options.treeFanOut =
        std::clamp<std::uint32_t>(m_options.treeFanOut, 2, ms::kTreeNodeMaxEntries);
    m_out = std::fopen(file.c_str(), "wb");
    if (m_out == nullptr) Fail("cannot create", file);
    m_buffer.resize(1 << 20);
    std::setvbuf(m_out, m_buffer.data(), _IOFBF, m_buffer.size());

    // Header (written again by finish), then the file info and the conditions object.
    append(std::string(ms::kHeaderSize, '\0'));
    std::string info(ms::kMessageFileInfoLength, '\0');
    Put32(info.data(), 1);
    info[0x04] = static_cast<char>(m_options.storeKind);
    std::memcpy(info.data() + 0x05, m_options.accountKey.data(),
                std::min<std::size_t>(m_options.accountKey.size(), 0x100 - 0x05));
    const std::array<std::uint8_t, 12> kInfo214 = {1, 0, 0, 0, 0, 0, 0, 0, 0xFA, 0x0F, 0, 0};
    std::memcpy(info.data() + 0x214, kInfo214.data(), kInfo214.size());
    Put32(info.data() + 0x348, 0x00010001);
    append(info);
    std::string conditions(8, '\0');
    Put32(conditions.data(), kConditionsOffset);
    Put32(conditions.data() + 4, 0x48);
    conditions += kConditions;
    conditions.resize(8 + 0x48, '\0');
    m_layout.conditionsOffset = kConditionsOffset;
    m_segmentStart = kConditionsOffset;
    m_segmentSize = kVariableSegmentSize;
    m_segment = conditions;
    skip(kVariableSegmentSize + m_options.gapBeforeMessages);
}

DbxStoreBuilder::~DbxStoreBuilder() {
    if (m_out != nullptr) std::fclose(m_out);
}

std::uint32_t DbxStoreBuilder::append(std::span<const char> bytes) {
    const std::uint64_t offset = m_end;
    if (offset + bytes.size() > 0xFFFFFFFFull) Fail("store passes 4 GB:", m_file);
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_out) != bytes.size())
        Fail("cannot write", m_file);
    m_end += bytes.size();
    return static_cast<std::uint32_t>(offset);
}

void DbxStoreBuilder::skip(std::uint64_t bytes) {
    m_end += bytes;
    if (m_end > 0xFFFFFFFFull) Fail("store passes 4 GB:", m_file);
    if (std::fseek(m_out, static_cast<long>(m_end), SEEK_SET) != 0) Fail("cannot seek in", m_file);
}

void DbxStoreBuilder::writeAt(std::uint64_t offset, std::span<const char> bytes) {
    if (std::fseek(m_out, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), m_out) != bytes.size() ||
        std::fseek(m_out, static_cast<long>(m_end), SEEK_SET) != 0) {
        Fail("cannot write", m_file);
    }
}

std::uint32_t DbxStoreBuilder::placeInSegment(std::string object) {
    if (m_segment.size() + object.size() > std::max<std::size_t>(m_segmentSize, object.size())) {
        writeAt(m_segmentStart, m_segment);
        m_segmentStart = m_end;
        m_segmentSize = std::max<std::size_t>(kVariableSegmentSize, object.size());
        m_segment.clear();
        skip(m_segmentSize);
    }
    const auto offset = static_cast<std::uint32_t>(m_segmentStart + m_segment.size());
    Put32(object.data(), offset);
    m_segment += object;
    return offset;
}

std::uint32_t DbxStoreBuilder::writeChunks(std::string_view rfc822, bool deleted,
                                           DbxMessageLayout& layout) {
    const std::size_t count = (rfc822.size() + ms::kChunkDataSize - 1) / ms::kChunkDataSize;
    const std::uint32_t first = static_cast<std::uint32_t>(m_end);
    std::array<char, ms::kChunkSize> chunk;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t self = first + static_cast<std::uint32_t>(i * ms::kChunkSize);
        const std::uint32_t next = i + 1 < count ? self + ms::kChunkSize : 0;
        const std::size_t used =
            std::min<std::size_t>(ms::kChunkDataSize, rfc822.size() - i * ms::kChunkDataSize);
        chunk.fill('\0');
        std::memcpy(chunk.data() + ms::kChunkData, rfc822.data() + i * ms::kChunkDataSize, used);
        Put32(chunk.data(), self);
        if (deleted) {
            Put32(chunk.data() + ms::kChunkSizeField, ms::kDeletedChunkSizeField);
            Put32(chunk.data() + ms::kChunkUsed, ms::kChunkSize);
            Put32(chunk.data() + ms::kChunkNext, next);
            Put32(chunk.data() + ms::kDeletedChunkPrevious, i == 0 ? 0 : self - ms::kChunkSize);
        } else {
            Put32(chunk.data() + ms::kChunkSizeField, ms::kChunkDataSize);
            Put32(chunk.data() + ms::kChunkUsed, static_cast<std::uint32_t>(used));
            Put32(chunk.data() + ms::kChunkNext, next);
        }
        append(chunk);
        if (m_options.recordChunks) layout.chunks.push_back(self);
    }
    if (deleted) m_freedBytes += count * ms::kChunkSize;
    return count == 0 ? 0 : first;
}

std::uint32_t DbxStoreBuilder::addMessage(std::string_view rfc822,
                                          const DbxMessageOptions& options) {
    DbxMessageLayout layout;
    layout.index = options.index.value_or(m_highestIndex + 1);
    layout.placement = options.placement;
    layout.size = options.withoutBody ? 0 : rfc822.size();
    m_highestIndex = std::max(m_highestIndex, layout.index);

    const bool deleted = options.placement == DbxPlacement::kDeleted;
    const std::uint32_t firstChunk = options.withoutBody ? 0 : writeChunks(rfc822, deleted, layout);
    if (deleted) {
        m_layout.deletedHead = firstChunk;
    } else {
        const bool indirect = options.indirectFields;
        std::vector<InfoField> fields = {
            Number(ms::kFieldIndex, layout.index, indirect),
            Number(ms::kFieldFlags, options.flags, indirect),
            Text(ms::kFieldSubject, options.subject.value_or(SubjectOf(rfc822))),
            Number(ms::kFieldSize,
                   options.recordedSize.value_or(static_cast<std::uint32_t>(layout.size)),
                   indirect),
        };
        if (firstChunk != 0) fields.push_back(Number(ms::kFieldFirstChunk, firstChunk, indirect));
        if (options.receivedTime != 0) {
            std::string time;
            Append32(time, static_cast<std::uint32_t>(options.receivedTime));
            Append32(time, static_cast<std::uint32_t>(options.receivedTime >> 32));
            fields.push_back(Bytes(ms::kFieldReceived, time));
        }
        layout.infoOffset = placeInSegment(InfoObject(0, std::move(fields)));
        if (options.placement == DbxPlacement::kIndexed) {
            m_tree.push_back({layout.index, layout.infoOffset});
        }
    }
    m_layout.messages.push_back(std::move(layout));
    return m_layout.messages.back().index;
}

DbxStoreLayout DbxStoreBuilder::finish() {
    std::stable_sort(m_tree.begin(), m_tree.end(),
                     [](const TreeValue& a, const TreeValue& b) { return a.index < b.index; });
    std::vector<std::uint32_t> values;
    values.reserve(m_tree.size());
    for (const TreeValue& value : m_tree) values.push_back(value.infoOffset);
    writeAt(m_segmentStart, m_segment);
    append(TreeBytes(values, m_options.treeFanOut, static_cast<std::uint32_t>(m_end), m_layout));
    m_layout.fileSize = m_end;

    StoreHeader header;
    header.deletedHead = m_layout.deletedHead;
    header.spaceUsed = static_cast<std::uint32_t>(m_end - kConditionsOffset);
    header.spaceFreed = static_cast<std::uint32_t>(m_freedBytes);
    header.highestIndex = m_highestIndex;
    header.end = static_cast<std::uint32_t>(m_end);
    header.conditions = m_layout.conditionsOffset;
    header.treeEntries = m_layout.treeEntries;
    header.treeRoot = m_layout.treeRoot;
    std::string headerBytes = HeaderBytes(header);
    Put32(headerBytes.data() + kHeaderLastVariableSegment, m_segmentStart);
    Put32(headerBytes.data() + kHeaderLastVariableSegment + 4,
          static_cast<std::uint32_t>(m_segmentSize));
    Put32(headerBytes.data() + kHeaderLastVariableSegment + 8,
          static_cast<std::uint32_t>(m_segment.size()));
    writeAt(0, headerBytes);
    if (std::fclose(m_out) != 0) Fail("cannot close", m_file);
    m_out = nullptr;
    return std::move(m_layout);
}

DbxStoreLayout WriteDbxStore(const std::filesystem::path& file,
                             const std::vector<std::string>& messages, DbxStoreOptions options) {
    DbxStoreBuilder builder(file, options);
    for (const std::string& message : messages) builder.addMessage(message);
    return builder.finish();
}

DbxStoreLayout WriteDbxFolderList(const std::filesystem::path& file,
                                  const std::vector<DbxFolder>& folders, DbxStoreOptions options) {
    DbxStoreLayout layout;
    std::string bytes(ms::kHeaderSize + ms::kFolderListFileInfoLength, '\0');
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tree;  // folder id, info offset
    for (const DbxFolder& folder : folders) {
        std::vector<InfoField> fields = {
            Number(ms::kFolderFieldId, folder.id, false),
            Number(ms::kFolderFieldParent, folder.parent, false),
            Text(ms::kFolderFieldName, folder.name),
        };
        if (!folder.storeFile.empty())
            fields.push_back(Text(ms::kFolderFieldStoreFile, folder.storeFile));
        if (!folder.accountKey.empty())
            fields.push_back(Text(ms::kFolderFieldAccountKey, folder.accountKey));
        if (folder.special != 0)
            fields.push_back(Number(ms::kFolderFieldSpecial, folder.special, false));
        fields.push_back(Number(ms::kFolderFieldStoreKind, folder.kind, false));
        const auto offset = static_cast<std::uint32_t>(bytes.size());
        bytes += InfoObject(offset, std::move(fields));
        tree.emplace_back(folder.id, offset);
        layout.messages.push_back({folder.id, DbxPlacement::kIndexed, offset, {}, 0});
    }
    std::stable_sort(tree.begin(), tree.end());
    std::vector<std::uint32_t> values;
    for (const auto& entry : tree) values.push_back(entry.second);
    const auto treeOffset = static_cast<std::uint32_t>(bytes.size());
    bytes +=
        TreeBytes(values, std::clamp<std::uint32_t>(options.treeFanOut, 2, ms::kTreeNodeMaxEntries),
                  treeOffset, layout);
    layout.fileSize = bytes.size();

    StoreHeader header;
    header.folderList = true;
    header.spaceUsed =
        static_cast<std::uint32_t>(bytes.size() - ms::kHeaderSize - ms::kFolderListFileInfoLength);
    header.end = static_cast<std::uint32_t>(bytes.size());
    header.treeEntries = layout.treeEntries;
    header.treeRoot = layout.treeRoot;
    for (const DbxFolder& folder : folders)
        header.highestIndex = std::max(header.highestIndex, folder.id);
    const std::string headerBytes = HeaderBytes(header);
    bytes.replace(0, headerBytes.size(), headerBytes);

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) Fail("cannot write", file);
    return layout;
}

std::vector<DbxFolder> StandardDbxFolders() {
    constexpr std::uint32_t kRoot = 0;
    constexpr std::uint32_t kLocal = 1;
    return {
        {kRoot, ms::kRootFolderParent, "Outlook Express", "", 0},
        {kLocal, kRoot, "Local Folders", "", 0},
        {2, kLocal, "Inbox", "Inbox.dbx", 1},
        {3, kLocal, "Outbox", "Outbox.dbx", 2},
        {4, kLocal, "Sent Items", "Sent Items.dbx", 3},
        {5, kLocal, "Deleted Items", "Deleted Items.dbx", 4},
        {6, kLocal, "Drafts", "Drafts.dbx", 5},
    };
}

const char* DbxDamageName(DbxDamage damage) {
    switch (damage) {
        case DbxDamage::kBadNodeMarker:
            return "BadNodeMarker";
        case DbxDamage::kCountMismatch:
            return "CountMismatch";
        case DbxDamage::kChunkLoop:
            return "ChunkLoop";
        case DbxDamage::kOffsetOutsideFile:
            return "OffsetOutsideFile";
        case DbxDamage::kChunkUsedTooLarge:
            return "ChunkUsedTooLarge";
        case DbxDamage::kBadInfoMarker:
            return "BadInfoMarker";
        case DbxDamage::kTruncated:
            return "Truncated";
        case DbxDamage::kChunksShared:
            return "ChunksShared";
    }
    return "?";
}

bool DbxDamageFoundOnOpen(DbxDamage damage) {
    return damage != DbxDamage::kChunkLoop && damage != DbxDamage::kChunkUsedTooLarge &&
           damage != DbxDamage::kChunksShared;
}

void PatchUint32(const std::filesystem::path& file, std::uint64_t offset, std::uint32_t value) {
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    char bytes[4];
    Put32(bytes, value);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream.write(bytes, 4);
    stream.close();
    if (!stream) Fail("cannot patch", file);
}

std::uint64_t DamageDbxStore(const std::filesystem::path& file, const DbxStoreLayout& layout,
                             DbxDamage damage) {
    std::vector<const DbxMessageLayout*> withBody;
    for (const DbxMessageLayout& candidate : layout.messages) {
        if (candidate.placement == DbxPlacement::kIndexed && !candidate.chunks.empty()) {
            withBody.push_back(&candidate);
        }
    }
    if (withBody.empty() || layout.treeRoot == 0) Fail("no indexed message with a body in", file);
    const DbxMessageLayout* message = withBody.front();
    const std::uint32_t root = layout.treeRoot;
    switch (damage) {
        case DbxDamage::kBadNodeMarker:
            PatchUint32(file, root, root + 4);
            return root;
        case DbxDamage::kCountMismatch:
            PatchUint32(file, ms::kHeaderTreeEntries, layout.treeEntries + 1);
            return ms::kHeaderTreeEntries;
        case DbxDamage::kChunkLoop:
            PatchUint32(file, message->chunks.back() + ms::kChunkNext, message->chunks.front());
            return message->chunks.front();
        case DbxDamage::kOffsetOutsideFile:
            PatchUint32(file, root + ms::kTreeNodeEntries,
                        static_cast<std::uint32_t>(layout.fileSize + 0x10000));
            return root;
        case DbxDamage::kChunkUsedTooLarge:
            PatchUint32(file, message->chunks.front() + ms::kChunkUsed, ms::kChunkDataSize + 1);
            return message->chunks.front();
        case DbxDamage::kBadInfoMarker:
            PatchUint32(file, message->infoOffset, message->infoOffset + 4);
            return message->infoOffset;
        case DbxDamage::kTruncated:
            std::filesystem::resize_file(file, root + ms::kTreeNodeSize / 2);
            return root;
        case DbxDamage::kChunksShared:
            if (withBody.size() < 2) Fail("no second indexed message with a body in", file);
            PatchUint32(file, withBody[1]->chunks.back() + ms::kChunkNext, message->chunks.front());
            return message->chunks.front();
    }
    return 0;
}

}  // namespace quillet::testing
