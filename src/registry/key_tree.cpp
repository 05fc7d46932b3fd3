#include "registry/key_tree.h"

#include <algorithm>
#include <vector>

#include "registry/registry_name.h"

namespace quillet::registry {
namespace {

void MarkDeleted(KeyNode& top) {
    std::vector<KeyNode*> pending{&top};
    while (!pending.empty()) {
        KeyNode* node = pending.back();
        pending.pop_back();
        node->deleted = true;
        for (const auto& child : node->subkeys()) pending.push_back(child.get());
    }
}

}  // namespace

KeyNode::~KeyNode() {
    // Subkeys this node alone keeps alive are taken over here before they die, so each one is
    // destroyed with no subkeys of its own and destruction never nests.
    std::vector<std::shared_ptr<KeyNode>> pending = std::move(m_subkeys);
    m_subkeyIndex.clear();
    while (!pending.empty()) {
        std::shared_ptr<KeyNode> node = std::move(pending.back());
        pending.pop_back();
        if (!node) continue;  // the slot of a removed subkey
        node->parent = nullptr;
        if (node.use_count() != 1) continue;  // a handle keeps it (and its subtree) alive
        for (auto& child : node->m_subkeys) pending.push_back(std::move(child));
        node->m_subkeys.clear();
        node->m_subkeyIndex.clear();
    }
}

std::size_t KeyDepth(const KeyNode& node) {
    std::size_t depth = 0;
    for (const KeyNode* up = node.parent; up != nullptr; up = up->parent) ++depth;
    return depth;
}

const std::vector<std::shared_ptr<KeyNode>>& KeyNode::subkeys() const {
    if (m_subkeysHoles || m_subkeysUnsorted) tidySubkeys();
    return m_subkeys;
}

void KeyNode::tidySubkeys() const {
    if (m_subkeysHoles) std::erase(m_subkeys, nullptr);
    if (m_subkeysUnsorted) {
        std::sort(m_subkeys.begin(), m_subkeys.end(),
                  [](const std::shared_ptr<KeyNode>& a, const std::shared_ptr<KeyNode>& b) {
                      return a->folded < b->folded;
                  });
    }
    for (std::size_t i = 0; i < m_subkeys.size(); ++i) m_subkeys[i]->m_position = i;
    m_subkeysHoles = false;
    m_subkeysUnsorted = false;
}

std::shared_ptr<KeyNode> KeyNode::findSubkey(const std::u16string& foldedName) const {
    const auto it = m_subkeyIndex.find(std::u16string_view(foldedName));
    return it == m_subkeyIndex.end() ? nullptr : m_subkeys[(*it)->m_position];
}

std::shared_ptr<KeyNode> KeyNode::addSubkey(std::string_view subkeyName, bool* created) {
    std::u16string key = FoldName(subkeyName);
    if (created != nullptr) *created = false;
    if (auto existing = findSubkey(key)) return existing;
    if (created != nullptr) *created = true;
    // Keys mostly come in order (Wine's files list them so): then the list stays sorted.
    if (!m_subkeys.empty() && (!m_subkeys.back() || !(m_subkeys.back()->folded < key))) {
        m_subkeysUnsorted = true;
    }
    auto node = std::make_shared<KeyNode>();
    node->name = std::string(subkeyName);
    node->folded = std::move(key);
    node->parent = this;
    node->changed = true;
    node->m_position = m_subkeys.size();
    m_subkeyIndex.insert(node.get());
    m_subkeys.push_back(node);
    return node;
}

void KeyNode::removeSubkey(const KeyNode* child) {
    const auto it = m_subkeyIndex.find(std::u16string_view(child->folded));
    if (it == m_subkeyIndex.end() || *it != child) return;
    std::shared_ptr<KeyNode> removed = std::move(m_subkeys[child->m_position]);
    m_subkeyIndex.erase(it);
    m_subkeysHoles = true;
    MarkDeleted(*removed);
    removed->parent = nullptr;
}

const RegValue* KeyNode::findValue(std::string_view valueName) const {
    const auto it = valueIndex.find(FoldName(valueName));
    return it == valueIndex.end() ? nullptr : &values[it->second];
}

void KeyNode::setValue(std::string_view valueName, std::uint32_t type, std::string data) {
    std::u16string key = FoldName(valueName);
    const auto it = valueIndex.find(key);
    changed = true;
    if (it != valueIndex.end()) {
        RegValue& value = values[it->second];
        value.type = type;
        value.data = std::move(data);
        value.sourceText.clear();
        return;
    }
    valueIndex.emplace(key, values.size());
    values.push_back(RegValue{std::string(valueName), std::move(key), type, std::move(data), {}});
}

void KeyNode::loadValue(RegValue value) {
    const auto it = valueIndex.find(value.folded);
    if (it != valueIndex.end()) {
        values[it->second] = std::move(value);
        changed = true;
        return;
    }
    valueIndex.emplace(value.folded, values.size());
    values.push_back(std::move(value));
}

std::shared_ptr<KeyNode> FindKey(const std::shared_ptr<KeyNode>& from, std::string_view path) {
    std::shared_ptr<KeyNode> node = from;
    while (node && !path.empty()) {
        const size_t cut = path.find('\\');
        const std::string_view component = path.substr(0, cut);
        path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
        if (component.empty()) continue;
        node = node->findSubkey(FoldName(component));
    }
    return node;
}

}  // namespace quillet::registry
