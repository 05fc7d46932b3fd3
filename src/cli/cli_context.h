#pragma once

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "backup/identity_list.h"
#include "platform/message_service.h"
#include "registry/mod_reg.h"
#include "system/wine_system.h"

namespace quillet::cli {

// Exit status of every command.
inline constexpr int kExitOk = 0;           // everything succeeded
inline constexpr int kExitPartial = 1;      // the run completed but some item failed
inline constexpr int kExitNothingDone = 2;  // bad input, refusal or error: nothing was done

// Messages a routine would show in a window go to stderr, one line each.
class StderrMessageService : public MessageService {
  public:
    MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override;
};

// What the commands share: the options given before the command, and the Wine system they
// name, opened on first use.
class CliContext {
  public:
    explicit CliContext(Environment env) : m_env(std::move(env)) {}

    std::optional<std::string> prefixOption;

    // The Wine system, opened on first call; null (with the reason printed) when it cannot be.
    WineSystem* system();
    // Key-path access to the system's registry; null when the system cannot be opened.
    registry::ModReg* modReg();
    MessageService& messages() { return m_messages; }
    const Environment& environment() const { return m_env; }

    // The identity named by its key or user name; null, with the reason printed, when the
    // prefix has none of that name.
    const Identity* findIdentity(registry::ModReg& modReg, const std::string& nameOrKey);

    // Prints "quillet-cli: <reason>" on stderr and returns kExitNothingDone.
    int fail(const std::string& reason) const;

  private:
    Environment m_env;
    StderrMessageService m_messages;
    std::unique_ptr<WineSystem> m_system;
    std::unique_ptr<registry::ModReg> m_modReg;
    std::vector<Identity> m_identities;
};

}  // namespace quillet::cli
