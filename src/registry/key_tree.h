#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quillet::registry {

// One registry value as the registry stores it: a type and raw bytes (UTF-16LE for text types).
struct RegValue {
    std::string name;  // see registry_name.h for the encoding; empty for the unnamed value
    std::u16string folded;
    std::uint32_t type = 0;
    std::string data;
    // The exact lines this value was read from (continuation lines and line ends included);
    // empty for a value set since. Written back unchanged while the value is unchanged.
    std::string sourceText;
};

// One key of a key tree. Nodes are shared so that an open handle keeps a deleted key alive.
// Not thread-safe, not even for reading: listing the subkeys may sort them first.
struct KeyNode {
    KeyNode() = default;
    KeyNode(const KeyNode&) = delete;
    KeyNode& operator=(const KeyNode&) = delete;
    // Frees the subtree without recursing, so that no depth of keys can exhaust the stack.
    ~KeyNode();

    std::string name;  // in the case it was created with (see registry_name.h for the encoding)
    std::u16string folded;
    KeyNode* parent = nullptr;
    std::vector<RegValue> values;  // in stored order
    std::unordered_map<std::u16string, std::size_t> valueIndex;

    // Lines of the key's block other than its key line, time line and values (class, link,
    // comments, lines we do not interpret), exactly as read.
    std::vector<std::string> metaLines;
    std::uint64_t modified = 0;  // 100 ns ticks since 1601 (FILETIME)

    // The blank lines before the key's block, and the block exactly as read (key line to last
    // line), kept while nothing in it changed; `changed` is set by every change to its lines.
    std::string leadingLines;
    std::string sourceBlock;
    bool hasSourceBlock = false;
    bool changed = false;
    bool deleted = false;
    std::size_t fileOrder = 0;  // position of its block in the file it was read from

    // The subkeys sorted by folded name, the order in which they enumerate. Adding and removing
    // a subkey take constant time (expected); the list is put in order on the first call after
    // them, so that any number of siblings added in any order costs O(n log n) in all.
    const std::vector<std::shared_ptr<KeyNode>>& subkeys() const;
    std::size_t subkeyCount() const { return m_subkeyIndex.size(); }
    std::shared_ptr<KeyNode> findSubkey(const std::u16string& foldedName) const;
    // Returns the subkey, creating it (as changed, without a block) when missing; `created`, when
    // given, tells which.
    std::shared_ptr<KeyNode> addSubkey(std::string_view name, bool* created = nullptr);
    // Removes a subkey with everything below it; the removed nodes are marked deleted.
    void removeSubkey(const KeyNode* child);

    const RegValue* findValue(std::string_view name) const;
    // Sets a value, keeping its position when it exists and appending it otherwise.
    void setValue(std::string_view name, std::uint32_t type, std::string data);
    // Adds a value read from a file, with its source lines; a repeated name replaces.
    void loadValue(RegValue value);

  private:
    // Subkeys hash and compare by folded name, looked up by a folded name alone.
    struct FoldedHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view folded) const {
            return std::hash<std::u16string_view>{}(folded);
        }
        std::size_t operator()(const KeyNode* node) const { return (*this)(node->folded); }
    };
    struct FoldedEqual {
        using is_transparent = void;
        static std::u16string_view Folded(std::u16string_view folded) { return folded; }
        static std::u16string_view Folded(const KeyNode* node) { return node->folded; }
        template <typename A, typename B>
        bool operator()(const A& a, const B& b) const {
            return Folded(a) == Folded(b);
        }
    };

    // Puts m_subkeys in order: drops the slots of removed subkeys, sorts, renumbers positions.
    void tidySubkeys() const;

    // The subkeys, sorted by folded name unless m_subkeysUnsorted, with empty slots where
    // subkeys were removed while m_subkeysHoles.
    mutable std::vector<std::shared_ptr<KeyNode>> m_subkeys;
    mutable bool m_subkeysUnsorted = false;
    mutable bool m_subkeysHoles = false;
    // The live subkeys, found by folded name (which never changes once a key is made).
    std::unordered_set<KeyNode*, FoldedHash, FoldedEqual> m_subkeyIndex;
    std::size_t m_position = 0;  // this key's slot in its parent's m_subkeys
};

// The key tree of one of Wine's registry files, with the lines around it. (The hive files of a
// Windows disk are read by HivexRegistryStore instead.)
struct KeyTree {
    std::shared_ptr<KeyNode> root = std::make_shared<KeyNode>();
    std::string header;   // every line before the first key block
    std::string trailer;  // blank lines after the last key block
    // True when the file listed its blocks in tree order, as Wine writes them; otherwise the
    // blocks are written back in the order read, new keys last.
    bool treeOrdered = true;
    bool changed = false;  // something differs from the file it was read from
};

// How many levels below the root of its key tree the key lies (the root itself: 0).
std::size_t KeyDepth(const KeyNode& node);

// Walks the path (components separated by backslashes; empty components ignored) from `from`.
std::shared_ptr<KeyNode> FindKey(const std::shared_ptr<KeyNode>& from, std::string_view path);

}  // namespace quillet::registry
