#include "registry/tree_registry_store.h"

#include "registry/value_transfer.h"

namespace quillet::registry {
namespace {

bool IsPredefinedRoot(HKey key) { return key >= kHkeyClassesRoot && key <= kHkeyDynData; }

}  // namespace

TreeRegistryStore::TreeRegistryStore(std::unique_ptr<KeyTreeBackend> backend)
    : m_backend(std::move(backend)) {}

bool TreeRegistryStore::resolve(HKey key, Handle* out) {
    if (IsPredefinedRoot(key)) {
        KeyTree* tree = m_backend->tree(key, &m_lastLoadError);
        if (tree == nullptr) return false;
        *out = Handle{tree->root, tree, true, m_generation};
        return true;
    }
    const auto it = m_handles.find(key);
    if (it == m_handles.end() || it->second.generation != m_generation ||
        it->second.node->deleted) {
        return false;
    }
    *out = it->second;
    return true;
}

HKey TreeRegistryStore::addHandle(Handle handle) {
    const HKey key = m_nextHandle;
    m_nextHandle += 4;
    m_handles.emplace(key, std::move(handle));
    return key;
}

RegResult TreeRegistryStore::RegOpenKeyEx(HKey key, std::string_view subKey, std::uint32_t access,
                                          HKey* result) {
    Handle base;
    if (!resolve(key, &base)) return kErrorFileNotFound;
    std::shared_ptr<KeyNode> node = FindKey(base.node, subKey);
    if (!node) return kErrorFileNotFound;
    *result =
        addHandle(Handle{node, base.tree, (access & kKeyWrite & ~kKeyRead) != 0, m_generation});
    return kErrorSuccess;
}

RegResult TreeRegistryStore::RegCreateKey(HKey key, std::string_view subKey, HKey* result) {
    Handle base;
    if (!resolve(key, &base)) return kErrorFileNotFound;
    std::size_t depth = KeyDepth(*base.node);
    for (std::size_t start = 0; start < subKey.size();) {
        std::size_t cut = subKey.find('\\', start);
        if (cut == std::string_view::npos) cut = subKey.size();
        if (cut > start && ++depth > kMaxKeyDepth) return kErrorInvalidParameter;
        start = cut + 1;
    }
    std::shared_ptr<KeyNode> node = base.node;
    while (!subKey.empty()) {
        const std::size_t cut = subKey.find('\\');
        const std::string_view name = subKey.substr(0, cut);
        subKey = cut == std::string_view::npos ? std::string_view() : subKey.substr(cut + 1);
        if (name.empty()) continue;
        bool created = false;
        node = node->addSubkey(name, &created);
        if (created) base.tree->changed = true;
    }
    *result = addHandle(Handle{node, base.tree, true, m_generation});
    return kErrorSuccess;
}

RegResult TreeRegistryStore::RegCloseKey(HKey key) {
    if (IsPredefinedRoot(key)) return kErrorSuccess;
    return m_handles.erase(key) == 1 ? kErrorSuccess : kErrorFileNotFound;
}

RegResult TreeRegistryStore::RegDeleteKey(HKey key, std::string_view subKey) {
    Handle base;
    if (!resolve(key, &base)) return kErrorFileNotFound;
    std::shared_ptr<KeyNode> node = FindKey(base.node, subKey);
    if (!node) return kErrorFileNotFound;
    if (node->parent == nullptr || node->subkeyCount() != 0) return kErrorAccessDenied;
    node->parent->removeSubkey(node.get());
    base.tree->changed = true;
    return kErrorSuccess;
}

RegResult TreeRegistryStore::RegEnumKeyEx(HKey key, std::uint32_t index, std::string* name) {
    Handle handle;
    if (!resolve(key, &handle)) return kErrorFileNotFound;
    const auto& subkeys = handle.node->subkeys();
    if (index >= subkeys.size()) return kErrorNoMoreItems;
    *name = subkeys[index]->name;
    return kErrorSuccess;
}

RegResult TreeRegistryStore::RegEnumValue(HKey key, std::uint32_t index, std::string* name,
                                          std::uint32_t* type, std::uint8_t* data,
                                          std::uint32_t* dataSize) {
    Handle handle;
    if (!resolve(key, &handle)) return kErrorFileNotFound;
    if (index >= handle.node->values.size()) return kErrorNoMoreItems;
    const RegValue& value = handle.node->values[index];
    if (name != nullptr) *name = value.name;
    if (type != nullptr) *type = value.type;
    return CopyValueOut(ValueAsAnsi(value.type, value.data), data, dataSize);
}

RegResult TreeRegistryStore::RegQueryValueEx(HKey key, std::string_view valueName,
                                             std::uint32_t* type, std::uint8_t* data,
                                             std::uint32_t* dataSize) {
    Handle handle;
    if (!resolve(key, &handle)) return kErrorFileNotFound;
    const RegValue* value = handle.node->findValue(valueName);
    if (value == nullptr) return kErrorFileNotFound;
    if (type != nullptr) *type = value->type;
    return CopyValueOut(ValueAsAnsi(value->type, value->data), data, dataSize);
}

RegResult TreeRegistryStore::RegQueryValue(HKey key, std::string_view subKey, char* data,
                                           std::int32_t* dataSize) {
    Handle handle;
    if (!resolve(key, &handle)) return kErrorFileNotFound;
    std::shared_ptr<KeyNode> node = FindKey(handle.node, subKey);
    if (!node) return kErrorFileNotFound;
    // A key without an unnamed value answers with an empty text, as Windows does.
    const RegValue* value = node->findValue("");
    return CopyTextOut(
        value != nullptr ? ValueAsAnsi(value->type, value->data) : std::string(1, '\0'), data,
        dataSize);
}

RegResult TreeRegistryStore::RegSetValueEx(HKey key, std::string_view valueName, std::uint32_t type,
                                           const std::uint8_t* data, std::uint32_t dataSize) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), data ? dataSize : 0);
    return RegSetValueRaw(key, valueName, type, ValueFromAnsi(type, bytes));
}

RegResult TreeRegistryStore::RegEnumValueRaw(HKey key, std::uint32_t index, std::string* name,
                                             std::uint32_t* type, std::string* data) {
    Handle handle;
    if (!resolve(key, &handle)) return kErrorFileNotFound;
    if (index >= handle.node->values.size()) return kErrorNoMoreItems;
    const RegValue& value = handle.node->values[index];
    *name = value.name;
    *type = value.type;
    *data = value.data;
    return kErrorSuccess;
}

RegResult TreeRegistryStore::RegSetValueRaw(HKey key, std::string_view valueName,
                                            std::uint32_t type, std::string_view data) {
    Handle handle;
    if (!resolve(key, &handle)) return kErrorFileNotFound;
    if (!handle.writable) return kErrorAccessDenied;
    handle.node->setValue(valueName, type, std::string(data));
    handle.tree->changed = true;
    return kErrorSuccess;
}

Status TreeRegistryStore::Commit() {
    Status status = m_backend->commit();
    if (!status) ++m_generation;
    return status;
}

void TreeRegistryStore::Discard() {
    m_backend->discard();
    ++m_generation;
}

bool TreeRegistryStore::HasChanges() const { return m_backend->hasChanges(); }

}  // namespace quillet::registry
