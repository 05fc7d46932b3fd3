#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/status.h"
#include "registry/registry_store.h"

namespace quillet::registry {

// The hive files of a Windows installation that stand behind the registry's roots.
struct HiveFiles {
    std::filesystem::path currentUser;  // the profile's NTUSER.DAT; empty for none
    std::filesystem::path software;     // <Windows>/system32/config/software
    std::filesystem::path system;       // <Windows>/system32/config/system
};

// The registry of a Windows installation on a mounted disk, read from its hive files with
// libhivex and never written. HKEY_CURRENT_USER is NTUSER.DAT; HKEY_LOCAL_MACHINE holds SOFTWARE
// and SYSTEM, and SYSTEM\CurrentControlSet stands for the control set that SYSTEM\Select's
// "Current" names, as on the running system. The files are opened read-only; a key is read from
// its file when first asked for (its subkey names are kept, its values only while they are
// being read), so a large hive costs memory only for what is used.
//
// Every call that would change a key answers access denied (RegCreateKey opens a key that
// exists); Commit() and Discard() have nothing to do. A part of a file that libhivex cannot read
// answers kErrorBadDb where it is met. Names and value data are exactly as the hive holds them
// (UTF-16 and the hive's compressed 8-bit names both come out as UTF-8). Not thread-safe.
class HivexRegistryStore : public RegistryStore {
  public:
    // Opens the three hives; fails (kCorrupt, or kNotFound for a missing file) naming the file
    // that cannot be opened.
    static Result<std::unique_ptr<HivexRegistryStore>> Open(const HiveFiles& files);
    ~HivexRegistryStore() override;

    RegResult RegOpenKeyEx(HKey key, std::string_view subKey, std::uint32_t access,
                           HKey* result) override;
    RegResult RegCreateKey(HKey key, std::string_view subKey, HKey* result) override;
    RegResult RegCloseKey(HKey key) override;
    RegResult RegDeleteKey(HKey key, std::string_view subKey) override;
    RegResult RegEnumKeyEx(HKey key, std::uint32_t index, std::string* name) override;
    RegResult RegEnumValue(HKey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                           std::uint8_t* data, std::uint32_t* dataSize) override;
    RegResult RegQueryValueEx(HKey key, std::string_view valueName, std::uint32_t* type,
                              std::uint8_t* data, std::uint32_t* dataSize) override;
    RegResult RegQueryValue(HKey key, std::string_view subKey, char* data,
                            std::int32_t* dataSize) override;
    RegResult RegSetValueEx(HKey key, std::string_view valueName, std::uint32_t type,
                            const std::uint8_t* data, std::uint32_t dataSize) override;
    RegResult RegEnumValueRaw(HKey key, std::uint32_t index, std::string* name, std::uint32_t* type,
                              std::string* data) override;
    RegResult RegSetValueRaw(HKey key, std::string_view valueName, std::uint32_t type,
                             std::string_view data) override;

    Status Commit() override { return Status::Ok(); }
    void Discard() override {}
    bool HasChanges() const override { return false; }

    // The reason every change is refused, for a message.
    static const char* ReadOnlyReason();

    // Opaque: a key of one of the hives.
    struct KeyRef {
        int hive = -1;  // index into the open hives; -1 for the machine root, which no file holds
        std::size_t node = 0;
        bool operator<(const KeyRef& other) const {
            return hive != other.hive ? hive < other.hive : node < other.node;
        }
        bool operator==(const KeyRef&) const = default;
    };

  private:
    struct OpenHive;
    struct Subkey {
        std::string name;
        std::u16string folded;
        KeyRef key;
    };
    struct Value {
        std::string name;
        std::u16string folded;
        std::uint32_t type = 0;
        std::string data;
    };

    HivexRegistryStore() = default;
    bool resolve(HKey key, KeyRef* out) const;
    RegResult find(KeyRef from, std::string_view path, KeyRef* out);
    // The subkeys of a key, sorted by folded name; null when the hive is damaged there.
    const std::vector<Subkey>* subkeys(KeyRef key);
    const std::vector<Value>* values(KeyRef key);
    RegResult value(KeyRef key, std::string_view name, const Value** out);

    std::vector<std::unique_ptr<OpenHive>> m_hives;  // current user, software, system
    std::map<KeyRef, std::vector<Subkey>> m_subkeys;
    KeyRef m_valuesOf;  // whose values m_values holds
    bool m_valuesRead = false;
    std::vector<Value> m_values;
    std::unordered_map<HKey, KeyRef> m_handles;
    HKey m_nextHandle = 0x1000;
};

}  // namespace quillet::registry
