#include "mailstore/index_tree.h"

#include <array>

#include "mailstore/dbx_layout.h"
#include "mailstore/store_damage.h"

namespace quillet::mailstore {
namespace {

std::uint32_t LittleEndian32(const std::byte* raw) {
    return static_cast<std::uint32_t>(raw[0]) | static_cast<std::uint32_t>(raw[1]) << 8 |
           static_cast<std::uint32_t>(raw[2]) << 16 | static_cast<std::uint32_t>(raw[3]) << 24;
}

struct TreeEntry {
    std::uint32_t value = 0;
    std::uint32_t child = 0;
    std::uint32_t childValues = 0;
};

struct TreeNode {
    std::uint32_t leftChild = 0;
    std::uint32_t leftValues = 0;
    std::uint32_t entryCount = 0;
    std::array<TreeEntry, kTreeNodeMaxEntries> entries;
};

constexpr std::size_t kCachedLevels = 32;
constexpr char kEntryOutside[] = "tree entry pointing outside the store";

// Whether an offset cannot be that of an object of the store.
bool Outside(const StoreBytes& bytes, std::uint32_t offset) {
    return offset < kHeaderSize || offset >= bytes.size();
}

Result<TreeNode> ReadNode(const StoreBytes& bytes, std::uint32_t offset, std::uint32_t parent) {
    if (offset < kHeaderSize || offset > bytes.size() || bytes.size() - offset < kTreeNodeSize) {
        return DamageAt(bytes, offset, "tree node outside the store");
    }
    std::array<std::byte, kTreeNodeSize> raw;
    if (Status read = bytes.readAt(offset, raw); !read) return read;
    if (LittleEndian32(raw.data()) != offset) {
        return DamageAt(bytes, offset, "bad marker in tree node");
    }
    if (LittleEndian32(raw.data() + kTreeNodeParent) != parent) {
        return DamageAt(bytes, offset, "tree node with a wrong parent");
    }
    TreeNode node;
    node.entryCount = static_cast<std::uint32_t>(raw[kTreeNodeEntryCount]);
    if (node.entryCount > kTreeNodeMaxEntries) {
        return DamageAt(bytes, offset, "too many entries in tree node");
    }
    node.leftChild = LittleEndian32(raw.data() + kTreeNodeLeftChild);
    node.leftValues = LittleEndian32(raw.data() + kTreeNodeLeftCount);
    for (std::uint32_t i = 0; i < node.entryCount; ++i) {
        const std::byte* entry = raw.data() + kTreeNodeEntries + i * kTreeEntrySize;
        node.entries[i] = {LittleEndian32(entry), LittleEndian32(entry + 4),
                           LittleEndian32(entry + 8)};
    }
    return node;
}

// One node on the way down: where it is, what led to it and how far its walk has come.
struct Frame {
    std::uint32_t node = 0;
    std::uint32_t parent = 0;
    std::uint32_t expectedValues = 0;  // what the parent (or the header) counts below it
    std::uint64_t foundValues = 0;
    std::int32_t nextEntry = -1;  // -1: the leftmost subtree comes next
};

class TreeWalk {
  public:
    TreeWalk(const StoreBytes& bytes, ReadMode mode, std::vector<StoreDamage>& damages,
             const std::function<Status(std::uint32_t)>& visit)
        : m_bytes(bytes),
          m_mode(mode),
          m_damages(damages),
          m_visit(visit),
          // Real nodes do not overlap, and every value has an info object of its own.
          m_nodeBudget(bytes.size() / kTreeNodeSize),
          m_valueBudget(bytes.size() / kInfoEntries) {}

    Status run(std::uint32_t root, std::uint32_t expectedValues) {
        if (root == 0) {
            if (expectedValues == 0) return Status::Ok();
            return note(DamageAt(m_bytes, kHeaderTreeEntries,
                                 "the header counts values the tree does not hold"));
        }
        m_stack.push_back({root, 0, expectedValues, 0, -1});
        while (!m_stack.empty()) {
            if (Status step = this->step(); !step) return step;
            if (m_stopped) break;
        }
        return Status::Ok();
    }

  private:
    Status step() {
        Frame top = m_stack.back();
        std::size_t level = m_stack.size() - 1;
        TreeNode reread;
        const TreeNode* node = level < m_path.size() ? &m_path[level] : &reread;
        if (level >= m_path.size()) {
            Result<TreeNode> read = ReadNode(m_bytes, top.node, top.parent);
            if (!read) {
                leave();
                return note(read.status());
            }
            reread = *read;
            if (level == m_path.size() && level < kCachedLevels) {
                m_path.push_back(reread);
                node = &m_path.back();
            }
        }
        if (top.nextEntry < 0) {
            if (++m_nodes > m_nodeBudget) {
                m_stopped = true;
                return note(DamageAt(m_bytes, top.node, "tree holds more nodes than the store"));
            }
            m_stack.back().nextEntry = 0;
            return descend(top.node, node->leftChild, node->leftValues);
        }
        if (static_cast<std::uint32_t>(top.nextEntry) < node->entryCount) {
            const TreeEntry& entry = node->entries[static_cast<std::size_t>(top.nextEntry)];
            ++m_stack.back().nextEntry;
            ++m_stack.back().foundValues;
            if (++m_values > m_valueBudget) {
                m_stopped = true;
                return note(DamageAt(m_bytes, top.node, "tree holds more values than the store"));
            }
            Status visited = Outside(m_bytes, entry.value)
                                 ? note(DamageAt(m_bytes, top.node, kEntryOutside))
                                 : note(m_visit(entry.value));
            if (!visited) return visited;
            return descend(top.node, entry.child, entry.childValues);
        }
        leave();
        if (top.foundValues == top.expectedValues) return Status::Ok();
        if (m_stack.empty()) {
            return note(DamageAt(m_bytes, kHeaderTreeEntries,
                                 "the header's count disagrees with the tree"));
        }
        return note(DamageAt(m_bytes, top.node, "wrong value count in tree node"));
    }

    Status descend(std::uint32_t node, std::uint32_t child, std::uint32_t childValues) {
        if (child != 0 && Outside(m_bytes, child)) {
            m_stack.back().foundValues += childValues;
            return note(DamageAt(m_bytes, node, kEntryOutside));
        }
        if (child != 0) {
            m_stack.push_back({child, node, childValues, 0, -1});
            return Status::Ok();
        }
        if (childValues == 0) return Status::Ok();
        // Counted as recorded, so the node's own count is not reported wrong for it as well.
        m_stack.back().foundValues += childValues;
        return note(DamageAt(m_bytes, node, "values counted for a missing subtree"));
    }

    // Ends the walk of the top node; its parent counts what the node was recorded to hold.
    void leave() {
        if (m_stack.size() == 1) m_counted = m_stack.back().foundValues;
        std::uint32_t recorded = m_stack.back().expectedValues;
        m_stack.pop_back();
        if (m_path.size() > m_stack.size()) m_path.resize(m_stack.size());
        if (!m_stack.empty()) m_stack.back().foundValues += recorded;
    }

    Status note(const Status& status) { return NoteDamage(m_bytes, status, m_mode, m_damages); }

  public:
    std::uint64_t counted() const { return m_counted; }

  private:
    const StoreBytes& m_bytes;
    ReadMode m_mode;
    std::vector<StoreDamage>& m_damages;
    const std::function<Status(std::uint32_t)>& m_visit;
    std::uint64_t m_nodeBudget;
    std::uint64_t m_valueBudget;
    std::uint64_t m_nodes = 0;
    std::uint64_t m_values = 0;
    bool m_stopped = false;
    std::uint64_t m_counted = 0;  // the root's count of what it holds, once it was left
    std::vector<Frame> m_stack;
    // The nodes of the path's top levels, read once: reading a node again each time the walk
    // comes back to it would pull the store's read window away from the info objects. Deeper
    // levels, which only a hostile store has, are read again instead, so memory stays small.
    std::vector<TreeNode> m_path;
};

}  // namespace

Status WalkIndexTree(const StoreBytes& bytes, std::uint32_t root, std::uint32_t expectedValues,
                     ReadMode mode, std::vector<StoreDamage>& damages,
                     const std::function<Status(std::uint32_t value)>& visit,
                     std::uint64_t* counted) {
    TreeWalk walk(bytes, mode, damages, visit);
    Status walked = walk.run(root, expectedValues);
    if (counted != nullptr) *counted = walk.counted();
    return walked;
}

Status NoteDamage(const StoreBytes& bytes, const Status& status, ReadMode mode,
                  std::vector<StoreDamage>& damages) {
    if (status.ok() || mode == ReadMode::kStrict || !status.is(ErrorKind::kCorrupt)) {
        return status;
    }
    damages.push_back(DamageFrom(bytes, status));
    return Status::Ok();
}

}  // namespace quillet::mailstore
