#include "cli/cli_context.h"

namespace quillet::cli {

MessageAnswer StderrMessageService::showMessage(const std::string& text, MessageIcon,
                                                MessageButtons buttons) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    std::cerr << "quillet-cli: " << line << '\n';
    // Nobody can answer a question here: a question is answered "no".
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

WineSystem* CliContext::system() {
    if (!m_system) {
        auto opened = WineSystem::Open(prefixOption, m_env);
        if (!opened) {
            fail(opened.reason());
            return nullptr;
        }
        m_system = std::move(opened.value());
    }
    return m_system.get();
}

registry::ModReg* CliContext::modReg() {
    if (!m_modReg) {
        WineSystem* wine = system();
        if (wine == nullptr) return nullptr;
        m_modReg = std::make_unique<registry::ModReg>(wine->registry(), m_messages);
    }
    return m_modReg.get();
}

const Identity* CliContext::findIdentity(registry::ModReg& modReg, const std::string& nameOrKey) {
    m_identities = ListIdentities(modReg);
    const Identity* identity = FindIdentity(m_identities, nameOrKey);
    if (identity == nullptr) {
        fail("no Outlook Express identity \"" + nameOrKey + "\" (see quillet-cli identities)");
    }
    return identity;
}

int CliContext::fail(const std::string& reason) const {
    std::cerr << "quillet-cli: " << reason << '\n';
    return kExitNothingDone;
}

}  // namespace quillet::cli
