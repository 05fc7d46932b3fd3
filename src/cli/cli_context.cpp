#include "cli/cli_context.h"

#include <ostream>

#include "cli/password_input.h"
#include "disc/burn_disc_engine.h"

namespace quillet::cli {

MessageAnswer StreamMessageService::showMessage(const std::string& text, MessageIcon,
                                                MessageButtons buttons) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    m_err << "quillet-cli: " << line << '\n';
    // Nobody can answer a question here: a question is answered "no".
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

void CliContext::startRun() {
    prefixOption.reset();
    m_wineParts.reset();
    m_wine.reset();
    m_zip.reset();
}

const RunSystem* CliContext::system(std::ostream& err) {
    if (m_givenSystem) return &*m_givenSystem;
    if (!m_wine) {
        auto opened = WineSystem::Open(prefixOption, m_env);
        if (!opened) {
            Fail(err, opened.reason());
            return nullptr;
        }
        m_wine = std::move(opened.value());
        m_wineParts.emplace(RunSystemOf(*m_wine));
    }
    return &*m_wineParts;
}

archive::Archive& CliContext::archive() {
    if (m_givenArchive != nullptr) return *m_givenArchive;
    m_zip = std::make_unique<archive::ZipArchive>();
    return *m_zip;
}

disc::DiscEngine& CliContext::discEngine() {
    if (m_givenDiscEngine != nullptr) return *m_givenDiscEngine;
    if (!m_realDiscEngine) m_realDiscEngine = std::make_unique<disc::BurnDiscEngine>();
    return *m_realDiscEngine;
}

Result<std::string> CliContext::askPassword(const std::string& archiveName) {
    if (m_givenPassword) return *m_givenPassword;
    return AskPassword("Password for " + archiveName + ": ");
}

int Fail(std::ostream& err, const std::string& reason) {
    err << "quillet-cli: " << reason << '\n';
    return kExitNothingDone;
}

std::optional<Identity> FindIdentityOrSay(const std::vector<Identity>& identities,
                                          const std::string& nameOrKey, std::ostream& err) {
    const Identity* identity = FindIdentity(identities, nameOrKey);
    if (identity == nullptr) {
        Fail(err, "no Outlook Express identity \"" + nameOrKey + "\" (see quillet-cli identities)");
        return std::nullopt;
    }
    return *identity;
}

}  // namespace quillet::cli
