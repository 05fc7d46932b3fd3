#include "registry/hive.h"

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
        for (const auto& child : node->subkeys) pending.push_back(child.get());
    }
}

}  // namespace

KeyNode::~KeyNode() {
    // Subkeys this node alone keeps alive are taken over here before they die, so each one is
    // destroyed with no subkeys of its own and destruction never nests.
    std::vector<std::shared_ptr<KeyNode>> pending = std::move(subkeys);
    while (!pending.empty()) {
        std::shared_ptr<KeyNode> node = std::move(pending.back());
        pending.pop_back();
        node->parent = nullptr;
        if (node.use_count() != 1) continue;  // a handle keeps it (and its subtree) alive
        for (auto& child : node->subkeys) pending.push_back(std::move(child));
        node->subkeys.clear();
    }
}

std::size_t KeyDepth(const KeyNode& node) {
    std::size_t depth = 0;
    for (const KeyNode* up = node.parent; up != nullptr; up = up->parent) ++depth;
    return depth;
}

std::shared_ptr<KeyNode> KeyNode::findSubkey(const std::u16string& foldedName) const {
    const auto it = std::lower_bound(subkeys.begin(), subkeys.end(), foldedName,
                                     [](const std::shared_ptr<KeyNode>& node,
                                        const std::u16string& key) { return node->folded < key; });
    if (it != subkeys.end() && (*it)->folded == foldedName) return *it;
    return nullptr;
}

std::shared_ptr<KeyNode> KeyNode::addSubkey(std::string_view subkeyName) {
    std::u16string key = FoldName(subkeyName);
    const auto it = std::lower_bound(subkeys.begin(), subkeys.end(), key,
                                     [](const std::shared_ptr<KeyNode>& node,
                                        const std::u16string& k) { return node->folded < k; });
    if (it != subkeys.end() && (*it)->folded == key) return *it;
    auto node = std::make_shared<KeyNode>();
    node->name = std::string(subkeyName);
    node->folded = std::move(key);
    node->parent = this;
    node->changed = true;
    return *subkeys.insert(it, std::move(node));
}

void KeyNode::removeSubkey(const KeyNode* child) {
    const auto it = std::find_if(subkeys.begin(), subkeys.end(),
                                 [child](const auto& node) { return node.get() == child; });
    if (it == subkeys.end()) return;
    MarkDeleted(**it);
    (*it)->parent = nullptr;
    subkeys.erase(it);
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
