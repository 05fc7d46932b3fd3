#include "registry/mod_reg.h"

#include <algorithm>
#include <cstring>

#include "registry/registry_name.h"

namespace quillet::registry {
namespace {

constexpr std::uint32_t kFirstDataBuffer = 4096;
constexpr std::uint32_t kStringBufferChars = 255;

struct RootName {
    std::string_view name;
    HKey key;
};

constexpr RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
    {"HKEY_USERS", kHkeyUsers},
    {"HKEY_PERFORMANCE_DATA", kHkeyPerformanceData},
    {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig},
    {"HKEY_DYN_DATA", kHkeyDynData},
};

std::string CutAtZero(std::string text) {
    const std::size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

}  // namespace

bool SubkeyList::contains(std::string_view name) const {
    return std::any_of(m_names.begin(), m_names.end(),
                       [&](const std::string& item) { return NamesEqual(item, name); });
}

const ValueData* ValueList::find(std::string_view name) const {
    for (const auto& [itemName, data] : m_items) {
        if (NamesEqual(itemName, name)) return &data;
    }
    return nullptr;
}

const std::string* ValueList::findText(std::string_view name) const {
    return std::get_if<std::string>(find(name));
}

ModReg::ModReg(RegistryStore& store, BadKeyPathListener onBadKeyPath)
    : m_store(store), m_onBadKeyPath(std::move(onBadKeyPath)) {}

HKey ModReg::RootFromName(std::string_view rootName) {
    for (const RootName& root : kRoots) {
        if (root.name == rootName) return root.key;
    }
    return kNoRoot;
}

HKey ModReg::SplitKeyPath(std::string& path) {
    if (path.compare(0, 5, "HKEY_") != 0 || path.size() < 5 || path.back() == '\\') {
        if (m_onBadKeyPath) m_onBadKeyPath("Incorrect Format:\n\n" + path);
        return kNoRoot;
    }
    const std::size_t backslash = path.find('\\');
    if (backslash == std::string::npos) {
        const HKey root = RootFromName(path);
        if (root != kNoRoot) path.clear();
        return root;
    }
    const HKey root = RootFromName(std::string_view(path).substr(0, backslash));
    if (root != kNoRoot) path.erase(0, backslash + 1);
    return root;
}

bool ModReg::OpenForReading(const std::string& keyPath, HKey* key) {
    std::string path = keyPath;
    const HKey root = SplitKeyPath(path);
    if (root == kNoRoot) return false;
    return m_store.RegOpenKeyEx(root, path, kKeyRead, key) == kErrorSuccess;
}

bool ModReg::KeyExists(const std::string& keyPath) {
    HKey key;
    if (!OpenForReading(keyPath, &key)) return false;
    m_store.RegCloseKey(key);
    return true;
}

RegResult ModReg::CreateKey(const std::string& keyPath) {
    std::string path = keyPath;
    const HKey root = SplitKeyPath(path);
    if (root == kNoRoot) return kErrorFileNotFound;
    HKey key;
    const RegResult result = m_store.RegCreateKey(root, path, &key);
    if (result != kErrorSuccess) return result;
    m_store.RegCloseKey(key);
    return commitChange() ? kErrorSuccess : kErrorAccessDenied;
}

void ModReg::DeleteKey(const std::string& keyPath) {
    std::string path = keyPath;
    const HKey root = SplitKeyPath(path);
    if (root == kNoRoot) return;
    // A key directly below a root is deleted from the root itself.
    const std::size_t lastBackslash = path.rfind('\\');
    const std::string parentPath =
        lastBackslash == std::string::npos ? std::string() : path.substr(0, lastBackslash);
    const std::string name =
        path.substr(lastBackslash == std::string::npos ? 0 : lastBackslash + 1);
    if (name.empty()) return;
    HKey parent;
    if (m_store.RegOpenKeyEx(root, parentPath, kKeyWrite, &parent) != kErrorSuccess) return;
    const bool deleted = m_store.RegDeleteKey(parent, name) == kErrorSuccess;
    m_store.RegCloseKey(parent);
    if (deleted) (void)commitChange();  // DeleteKey reports nothing; a Batch tells the outcome
}

void ModReg::DeleteKeyTree(const std::string& keyPath) {
    Batch batch(*this);
    deleteKeyTree(keyPath);
    (void)batch.commit();  // DeleteKeyTree reports nothing; an outer Batch tells the outcome
}

void ModReg::deleteKeyTree(const std::string& keyPath) {
    // Recurses once a level, which no store lets go past kMaxKeyDepth. The whole list is taken
    // before anything is deleted, so deleting does not shift it.
    const SubkeyList subkeys = EnumSubkeys(keyPath);
    for (const std::string& name : subkeys) deleteKeyTree(keyPath + "\\" + name);
    DeleteKey(keyPath);
}

SubkeyList ModReg::EnumSubkeys(const std::string& keyPath) {
    SubkeyList list;
    HKey key;
    if (!OpenForReading(keyPath, &key)) return list;
    std::string name;
    for (std::uint32_t index = 0; m_store.RegEnumKeyEx(key, index, &name) == kErrorSuccess;
         ++index) {
        name.resize(FirstChars(name, kKeyNameBufferChars).size());
        list.add(CutAtZero(name));
    }
    m_store.RegCloseKey(key);
    return list;
}

ValueList ModReg::EnumValues(const std::string& keyPath) {
    ValueList list;
    HKey key;
    if (!OpenForReading(keyPath, &key)) return list;
    std::vector<std::uint8_t> buffer(kFirstDataBuffer);
    for (std::uint32_t index = 0;; ++index) {
        std::string name;
        std::uint32_t type = 0;
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        RegResult result = m_store.RegEnumValue(key, index, &name, &type, buffer.data(), &size);
        if (result == kErrorMoreData) {
            buffer.resize(size);
            result = m_store.RegEnumValue(key, index, &name, &type, buffer.data(), &size);
        }
        if (result != kErrorSuccess) break;
        if (type == kRegSz || type == kRegExpandSz) {
            list.add(name, std::string(reinterpret_cast<const char*>(buffer.data()),
                                       size == 0 ? 0 : size - 1));
        } else if (type == kRegDword && size >= 4) {
            std::uint32_t number = 0;
            std::memcpy(&number, buffer.data(), 4);
            list.add(name, static_cast<std::int32_t>(number));
        } else {
            list.add(name, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + size));
        }
    }
    m_store.RegCloseKey(key);
    return list;
}

std::string ModReg::ReadStringValue(const std::string& keyPath, const std::string& valueName) {
    HKey key;
    if (!OpenForReading(keyPath, &key)) return "Error";
    // The buffer holds 255 characters, whatever their UTF-8 length: the data is read whole and
    // its characters, terminating zero included, are counted against it.
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    RegResult result = m_store.RegQueryValueEx(key, valueName, &type, nullptr, &size);
    std::string buffer(size, '\0');
    if (result == kErrorSuccess) {
        result = m_store.RegQueryValueEx(key, valueName, &type,
                                         reinterpret_cast<std::uint8_t*>(buffer.data()), &size);
    }
    m_store.RegCloseKey(key);
    if (result != kErrorSuccess || CharCount(buffer) > kStringBufferChars) return "Error";
    // As with a buffer filled with spaces beforehand, trimming spaces and dropping the last
    // character (the terminating zero) leaves the text without its leading spaces but with its
    // trailing ones.
    const std::size_t first = buffer.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    const std::size_t last = buffer.find_last_not_of(' ');
    buffer = buffer.substr(first, last - first + 1);
    buffer.pop_back();
    return buffer;
}

bool ModReg::ReadDefaultValue(const std::string& keyPath, std::string& value) {
    std::string path = keyPath;
    const HKey root = SplitKeyPath(path);
    if (root == kNoRoot) return false;
    std::int32_t size = 0;
    RegResult result = m_store.RegQueryValue(root, path, nullptr, &size);
    if (result != kErrorSuccess && result != kErrorMoreData) return false;
    std::string buffer(static_cast<std::size_t>(size), '\0');
    result = m_store.RegQueryValue(root, path, buffer.data(), &size);
    if (result != kErrorSuccess) return false;
    value = buffer.substr(0, size > 0 ? static_cast<std::size_t>(size) - 1 : 0);
    return true;
}

Status ModReg::commitChange() {
    if (m_batchDepth > 0) return Status::Ok();
    return m_store.Commit();
}

ModReg::Batch::Batch(ModReg& modReg) : m_modReg(modReg) { ++m_modReg.m_batchDepth; }

ModReg::Batch::~Batch() {
    if (m_done) return;
    if (--m_modReg.m_batchDepth == 0) m_modReg.m_store.Discard();
}

Status ModReg::Batch::commit() {
    m_done = true;
    if (--m_modReg.m_batchDepth > 0) return Status::Ok();
    return m_modReg.m_store.Commit();
}

}  // namespace quillet::registry
