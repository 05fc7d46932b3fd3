#include "registry/hivex_registry_store.h"

#include <hivex.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "registry/registry_name.h"
#include "registry/value_transfer.h"

namespace quillet::registry {
namespace {

constexpr int kCurrentUser = 0;
constexpr int kSoftware = 1;
constexpr int kSystem = 2;
constexpr int kMachineRoot = -1;

// Frees what libhivex allocated for us.
struct FreeDeleter {
    void operator()(void* memory) const { std::free(memory); }
};
template <typename T>
using Owned = std::unique_ptr<T, FreeDeleter>;

}  // namespace

struct HivexRegistryStore::OpenHive {
    hive_h* handle = nullptr;
    std::filesystem::path file;
    ~OpenHive() {
        if (handle != nullptr) hivex_close(handle);
    }
};

const char* HivexRegistryStore::ReadOnlyReason() {
    return "the registry of a Windows disk is only read, never changed";
}

Result<std::unique_ptr<HivexRegistryStore>> HivexRegistryStore::Open(const HiveFiles& files) {
    std::unique_ptr<HivexRegistryStore> store(new HivexRegistryStore());
    for (const std::filesystem::path* file : {&files.currentUser, &files.software, &files.system}) {
        if (file->empty()) {  // no current user: HKEY_CURRENT_USER reports "not found"
            store->m_hives.push_back(nullptr);
            continue;
        }
        std::error_code error;
        if (!std::filesystem::is_regular_file(*file, error)) {
            return Status::Error("the registry file " + file->string() + " does not exist",
                                 ErrorKind::kNotFound);
        }
        auto hive = std::make_unique<OpenHive>();
        hive->file = *file;
        errno = 0;
        hive->handle = hivex_open(file->c_str(), 0);
        if (hive->handle == nullptr) {
            const int why = errno;
            return Status::Error("cannot read the registry file " + file->string() +
                                     " (damaged or not a registry hive" +
                                     (why != 0 ? std::string(": ") + std::strerror(why) : "") + ")",
                                 ErrorKind::kCorrupt);
        }
        store->m_hives.push_back(std::move(hive));
    }
    return store;
}

HivexRegistryStore::~HivexRegistryStore() = default;

bool HivexRegistryStore::resolve(HKey key, KeyRef* out) const {
    if (key == kHkeyCurrentUser) {
        if (!m_hives[kCurrentUser]) return false;
        *out = KeyRef{kCurrentUser, hivex_root(m_hives[kCurrentUser]->handle)};
        return true;
    }
    if (key == kHkeyLocalMachine) {
        *out = KeyRef{kMachineRoot, 0};
        return true;
    }
    const auto it = m_handles.find(key);
    if (it == m_handles.end()) return false;
    *out = it->second;
    return true;
}

const std::vector<HivexRegistryStore::Subkey>* HivexRegistryStore::subkeys(KeyRef key) {
    const auto cached = m_subkeys.find(key);
    if (cached != m_subkeys.end()) return &cached->second;

    std::vector<Subkey> list;
    if (key.hive == kMachineRoot) {
        list.push_back({"SOFTWARE",
                        FoldName("SOFTWARE"),
                        {kSoftware, hivex_root(m_hives[kSoftware]->handle)}});
        list.push_back(
            {"SYSTEM", FoldName("SYSTEM"), {kSystem, hivex_root(m_hives[kSystem]->handle)}});
    } else {
        hive_h* hive = m_hives[key.hive]->handle;
        Owned<hive_node_h> children(hivex_node_children(hive, key.node));
        if (!children) return nullptr;
        for (const hive_node_h* child = children.get(); *child != 0; ++child) {
            Owned<char> name(hivex_node_name(hive, *child));
            if (!name) return nullptr;
            list.push_back(
                {name.get(), FoldName(std::string_view(name.get())), {key.hive, *child}});
        }
    }
    std::sort(list.begin(), list.end(),
              [](const Subkey& a, const Subkey& b) { return a.folded < b.folded; });
    const bool systemRoot = key.hive == kSystem && key.node == hivex_root(m_hives[kSystem]->handle);
    if (systemRoot) {
        // CurrentControlSet is no key of the file: the running system makes it stand for the
        // control set that Select names.
        m_subkeys[key] = list;
        KeyRef select;
        const Value* current = nullptr;
        if (find(key, "Select", &select) == kErrorSuccess &&
            value(select, "Current", &current) == kErrorSuccess && current->type == kRegDword &&
            current->data.size() == 4) {
            std::uint32_t number = 0;
            std::memcpy(&number, current->data.data(), 4);
            char setName[32];
            std::snprintf(setName, sizeof setName, "ControlSet%03u", number);
            KeyRef controlSet;
            KeyRef existing;
            if (find(key, setName, &controlSet) == kErrorSuccess &&
                find(key, "CurrentControlSet", &existing) != kErrorSuccess) {
                list.push_back({"CurrentControlSet", FoldName("CurrentControlSet"), controlSet});
                std::sort(list.begin(), list.end(),
                          [](const Subkey& a, const Subkey& b) { return a.folded < b.folded; });
            }
        }
    }
    return &(m_subkeys[key] = std::move(list));
}

const std::vector<HivexRegistryStore::Value>* HivexRegistryStore::values(KeyRef key) {
    if (m_valuesRead && m_valuesOf == key) return &m_values;
    m_valuesRead = false;
    m_values.clear();
    if (key.hive != kMachineRoot) {
        hive_h* hive = m_hives[key.hive]->handle;
        Owned<hive_value_h> list(hivex_node_values(hive, key.node));
        if (!list) return nullptr;
        for (const hive_value_h* entry = list.get(); *entry != 0; ++entry) {
            Owned<char> name(hivex_value_key(hive, *entry));
            // Any 32-bit type can be stored, not only those hive_type names: read it as a number.
            std::uint32_t type = 0;
            static_assert(sizeof(hive_type) == sizeof type);
            std::size_t length = 0;
            Owned<char> data(
                hivex_value_value(hive, *entry, reinterpret_cast<hive_type*>(&type), &length));
            if (!name || (!data && length != 0)) {
                m_values.clear();
                return nullptr;
            }
            m_values.push_back({name.get(), FoldName(std::string_view(name.get())), type,
                                data ? std::string(data.get(), length) : std::string()});
        }
    }
    m_valuesOf = key;
    m_valuesRead = true;
    return &m_values;
}

RegResult HivexRegistryStore::find(KeyRef from, std::string_view path, KeyRef* out) {
    KeyRef key = from;
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        const std::string_view component = path.substr(0, cut);
        path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
        if (component.empty()) continue;
        const std::vector<Subkey>* list = subkeys(key);
        if (list == nullptr) return kErrorBadDb;
        const std::u16string folded = FoldName(component);
        const auto it = std::lower_bound(
            list->begin(), list->end(), folded,
            [](const Subkey& subkey, const std::u16string& name) { return subkey.folded < name; });
        if (it == list->end() || it->folded != folded) return kErrorFileNotFound;
        key = it->key;
    }
    *out = key;
    return kErrorSuccess;
}

RegResult HivexRegistryStore::value(KeyRef key, std::string_view name, const Value** out) {
    const std::vector<Value>* list = values(key);
    if (list == nullptr) return kErrorBadDb;
    const std::u16string folded = FoldName(name);
    for (const Value& value : *list) {
        if (value.folded == folded) {
            *out = &value;
            return kErrorSuccess;
        }
    }
    return kErrorFileNotFound;
}

RegResult HivexRegistryStore::RegOpenKeyEx(HKey key, std::string_view subKey, std::uint32_t access,
                                           HKey* result) {
    KeyRef base;
    if (!resolve(key, &base)) return kErrorFileNotFound;
    if ((access & kKeyWrite & ~kKeyRead) != 0) return kErrorAccessDenied;
    KeyRef found;
    if (const RegResult status = find(base, subKey, &found); status != kErrorSuccess) return status;
    *result = m_nextHandle;
    m_nextHandle += 4;
    m_handles.emplace(*result, found);
    return kErrorSuccess;
}

RegResult HivexRegistryStore::RegCreateKey(HKey key, std::string_view subKey, HKey* result) {
    const RegResult opened = RegOpenKeyEx(key, subKey, kKeyRead, result);
    return opened == kErrorFileNotFound ? kErrorAccessDenied : opened;
}

RegResult HivexRegistryStore::RegCloseKey(HKey key) {
    if (key >= kHkeyClassesRoot && key <= kHkeyDynData) return kErrorSuccess;
    return m_handles.erase(key) == 1 ? kErrorSuccess : kErrorFileNotFound;
}

RegResult HivexRegistryStore::RegDeleteKey(HKey, std::string_view) { return kErrorAccessDenied; }

RegResult HivexRegistryStore::RegEnumKeyEx(HKey key, std::uint32_t index, std::string* name) {
    KeyRef ref;
    if (!resolve(key, &ref)) return kErrorFileNotFound;
    const std::vector<Subkey>* list = subkeys(ref);
    if (list == nullptr) return kErrorBadDb;
    if (index >= list->size()) return kErrorNoMoreItems;
    *name = (*list)[index].name;
    return kErrorSuccess;
}

RegResult HivexRegistryStore::RegEnumValue(HKey key, std::uint32_t index, std::string* name,
                                           std::uint32_t* type, std::uint8_t* data,
                                           std::uint32_t* dataSize) {
    KeyRef ref;
    if (!resolve(key, &ref)) return kErrorFileNotFound;
    const std::vector<Value>* list = values(ref);
    if (list == nullptr) return kErrorBadDb;
    if (index >= list->size()) return kErrorNoMoreItems;
    const Value& value = (*list)[index];
    if (name != nullptr) *name = value.name;
    if (type != nullptr) *type = value.type;
    return CopyValueOut(ValueAsAnsi(value.type, value.data), data, dataSize);
}

RegResult HivexRegistryStore::RegQueryValueEx(HKey key, std::string_view valueName,
                                              std::uint32_t* type, std::uint8_t* data,
                                              std::uint32_t* dataSize) {
    KeyRef ref;
    if (!resolve(key, &ref)) return kErrorFileNotFound;
    const Value* found = nullptr;
    if (const RegResult status = value(ref, valueName, &found); status != kErrorSuccess) {
        return status;
    }
    if (type != nullptr) *type = found->type;
    return CopyValueOut(ValueAsAnsi(found->type, found->data), data, dataSize);
}

RegResult HivexRegistryStore::RegQueryValue(HKey key, std::string_view subKey, char* data,
                                            std::int32_t* dataSize) {
    KeyRef base;
    if (!resolve(key, &base)) return kErrorFileNotFound;
    KeyRef ref;
    if (const RegResult status = find(base, subKey, &ref); status != kErrorSuccess) return status;
    const Value* found = nullptr;
    const RegResult status = value(ref, "", &found);
    if (status == kErrorBadDb) return status;
    // A key without an unnamed value answers with an empty text, as Windows does.
    return CopyTextOut(
        status == kErrorSuccess ? ValueAsAnsi(found->type, found->data) : std::string(1, '\0'),
        data, dataSize);
}

RegResult HivexRegistryStore::RegSetValueEx(HKey, std::string_view, std::uint32_t,
                                            const std::uint8_t*, std::uint32_t) {
    return kErrorAccessDenied;
}

RegResult HivexRegistryStore::RegEnumValueRaw(HKey key, std::uint32_t index, std::string* name,
                                              std::uint32_t* type, std::string* data) {
    KeyRef ref;
    if (!resolve(key, &ref)) return kErrorFileNotFound;
    const std::vector<Value>* list = values(ref);
    if (list == nullptr) return kErrorBadDb;
    if (index >= list->size()) return kErrorNoMoreItems;
    *name = (*list)[index].name;
    *type = (*list)[index].type;
    *data = (*list)[index].data;
    return kErrorSuccess;
}

RegResult HivexRegistryStore::RegSetValueRaw(HKey, std::string_view, std::uint32_t,
                                             std::string_view) {
    return kErrorAccessDenied;
}

}  // namespace quillet::registry
