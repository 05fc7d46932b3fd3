#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "registry/key_tree.h"
#include "registry/registry_store.h"

namespace quillet::registry {

// Where the key trees behind the predefined roots come from and go to.
class KeyTreeBackend {
  public:
    virtual ~KeyTreeBackend() = default;
    // The key tree of the current-user or local-machine root, loaded on first use; null, with the
    // reason in *reason, when it cannot be had (other roots always give null).
    virtual KeyTree* tree(HKey root, std::string* reason) = 0;
    // Makes every changed key tree durable; on failure discards the changes as
    // RegistryStore::Commit() says.
    virtual Status commit() = 0;
    // Drops every change since the last commit (trees are read again on next use).
    virtual void discard() = 0;
    virtual bool hasChanges() const = 0;
};

// The registry calls over key trees held in memory. Handles opened before a Discard() or a failed
// Commit() no longer work afterwards (they report "not found").
class TreeRegistryStore : public RegistryStore {
  public:
    explicit TreeRegistryStore(std::unique_ptr<KeyTreeBackend> backend);

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

    Status Commit() override;
    void Discard() override;
    bool HasChanges() const override;

    // Why the last call that found no key tree failed (e.g. a registry file that cannot be read).
    const std::string& lastLoadError() const { return m_lastLoadError; }
    std::size_t openHandleCount() const { return m_handles.size(); }

  protected:
    KeyTreeBackend& backend() { return *m_backend; }

  private:
    struct Handle {
        std::shared_ptr<KeyNode> node;
        KeyTree* tree = nullptr;
        bool writable = false;
        std::uint64_t generation = 0;
    };
    // The key a handle stands for; false when the handle is unknown, stale or its key deleted.
    bool resolve(HKey key, Handle* out);
    HKey addHandle(Handle handle);

    std::unique_ptr<KeyTreeBackend> m_backend;
    std::unordered_map<HKey, Handle> m_handles;
    HKey m_nextHandle = 0x1000;
    std::uint64_t m_generation = 0;
    std::string m_lastLoadError;
};

}  // namespace quillet::registry
