#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/file_operations.h"
#include "platform/message_service.h"
#include "platform/prefix_lock.h"
#include "registry/mod_reg.h"
#include "support/registry/memory_registry_store.h"
#include "system/windows_path_mapper.h"
#include "system/windows_system.h"

namespace quillet::testing {

// A Windows system for tests: a registry in memory (or the store a test gives), the drives of a
// prefix folder, and facts the test sets. It records how often the idle check and the lock were
// asked for; the idle check answers `idleCheck` (Ok while that is empty: set it to fail), and the
// lock is the one the test gives (none by default).
class FakeWindowsSystem : public system::WindowsSystem {
  public:
    struct Facts {
        std::string userProfile = "C:\\users\\quillet";
        std::string windowsFolder = "C:\\windows";
        std::string computerName = "PC";
        std::string logonUser = "quillet";
        std::string displayName = "fake system";
        bool sourceOnly = false;
        std::optional<std::filesystem::path> winePrefix;
    };

    // Over its own memoryStore; drive C: is wherever `prefix`'s dosdevices say.
    FakeWindowsSystem(std::filesystem::path prefix, MessageService& messages)
        : m_store(memoryStore),
          m_modReg(m_store, PlainMessages(messages)),
          m_paths(std::move(prefix)) {}
    // Over `store`, which must outlive the system.
    FakeWindowsSystem(registry::RegistryStore& store, std::filesystem::path prefix,
                      MessageService& messages)
        : m_store(store), m_modReg(m_store, PlainMessages(messages)), m_paths(std::move(prefix)) {}

    registry::RegistryStore& registry() override { return m_store; }
    registry::ModReg& modReg() override { return m_modReg; }
    const system::WindowsPathMapper& paths() const override { return m_paths; }
    std::string userProfile() const override { return facts.userProfile; }
    std::string windowsFolder() const override { return facts.windowsFolder; }
    std::string computerName() const override { return facts.computerName; }
    std::string logonUser() const override { return facts.logonUser; }
    std::string displayName() const override { return facts.displayName; }
    bool sourceOnly() const override { return facts.sourceOnly; }
    std::optional<std::filesystem::path> winePrefix() const override { return facts.winePrefix; }
    Status confineRead(const std::filesystem::path&) const override { return Status::Ok(); }
    Status checkIdle() override {
        ++idleChecks;
        return idleCheck ? idleCheck() : Status::Ok();
    }
    PrefixLock* lock() override {
        ++lockRequests;
        return prefixLock;
    }
    FileOperations& fileOperations() override { return *files; }

    registry::MemoryRegistryStore memoryStore;
    Facts facts;
    std::function<Status()> idleCheck;
    PrefixLock* prefixLock = nullptr;
    FileOperations* files = &RealFileOperations();
    int idleChecks = 0;
    int lockRequests = 0;

  private:
    registry::RegistryStore& m_store;
    registry::ModReg m_modReg;
    system::WindowsPathMapper m_paths;
};

}  // namespace quillet::testing
