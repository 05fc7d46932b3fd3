#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "backup/run_environment.h"
#include "platform/message_service.h"
#include "platform/status.h"
#include "platform/wine_prefix.h"
#include "registry/mod_reg.h"
#include "system/windows_disk_system.h"
#include "system/wine_system.h"

namespace quillet {

// The Windows system the desktop program has open: a Wine prefix, or a mounted Windows disk that
// is only ever read. It holds the system and the key-path access to its registry; the main window
// is built on its parts and must go before it.
class OpenSystem {
  public:
    // The prefix `prefix` (else $WINEPREFIX, else ~/.wine); fails with WineSystem::Open's reason.
    static Result<std::unique_ptr<OpenSystem>> OpenWinePrefix(
        const std::optional<std::string>& prefix, const Environment& env, MessageService& messages);
    // The installation whose root is `root`, for the profile `user` (else the only one holding
    // identities); fails with WindowsDiskSystem::Open's reason and kind.
    static Result<std::unique_ptr<OpenSystem>> OpenWindowsDisk(
        const std::filesystem::path& root, const std::optional<std::string>& user,
        MessageService& messages);

    // "Quillet - <prefix>" or "Quillet - Windows disk <root> (<user>)".
    const std::string& title() const { return m_title; }
    // A disk is read only: backups are made from it, nothing is restored into it.
    bool sourceOnly() const { return m_disk != nullptr; }
    const RunSystem& parts() const { return m_parts; }
    registry::ModReg& modReg() { return m_modReg; }
    const std::string& windowsFolder() const { return m_windowsFolder; }
    // The folder of an open Wine prefix; nullopt for a disk.
    std::optional<std::filesystem::path> winePrefix() const {
        return m_wine ? std::optional(m_wine->prefix()) : std::nullopt;
    }

  private:
    OpenSystem(std::unique_ptr<WineSystem> wine, std::unique_ptr<WindowsDiskSystem> disk,
               RunSystem parts, std::string windowsFolder, std::string title,
               MessageService& messages);

    std::unique_ptr<WineSystem> m_wine;
    std::unique_ptr<WindowsDiskSystem> m_disk;
    RunSystem m_parts;
    std::string m_windowsFolder;
    std::string m_title;
    registry::ModReg m_modReg;
};

}  // namespace quillet
