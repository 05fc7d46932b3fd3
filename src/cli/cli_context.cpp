#include "cli/cli_context.h"

#include <ostream>

#include "cli/password_input.h"
#include "disc/burn_disc_engine.h"
#include "schedule/crontab_scheduler.h"
#include "schedule/state_folder.h"
#include "system/windows_disk_system.h"
#include "system/wine_system.h"

namespace quillet::cli {

MessageAnswer StreamMessageService::showMessage(const std::string& text, MessageIcon,
                                                MessageButtons buttons) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    m_err << "quillet-cli: " << line << '\n';
    ++m_shown;
    // Nobody can answer a question here: a question is answered "no".
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
}

void CliContext::startRun(std::ostream& err) {
    m_err = &err;
    quiet = false;
    verbose = false;
    json = false;
    progressOption.reset();
    passwordCommand.reset();
    prefixOption.reset();
    windowsRootOption.reset();
    userOption.reset();
    m_opened.reset();
    m_systemMessages.reset();
    m_zip.reset();
    m_crontab.reset();
}

system::WindowsSystem* CliContext::system(std::ostream& err) {
    if (m_givenSystem != nullptr) return m_givenSystem;
    if (m_opened) return m_opened.get();
    auto messages = std::make_unique<StreamMessageService>(err);
    Result<std::unique_ptr<system::WindowsSystem>> opened =
        windowsRootOption
            ? Result<std::unique_ptr<system::WindowsSystem>>(
                  system::WindowsDiskSystem::Open(*windowsRootOption, userOption, *messages))
            : system::WineSystem::Open(prefixOption, m_env, *messages);
    if (!opened) {
        Fail(err, opened.reason());
        return nullptr;
    }
    m_systemMessages = std::move(messages);
    m_opened = std::move(opened.value());
    return m_opened.get();
}

Scheduler& CliContext::scheduler(const std::optional<std::string>& winePrefix) {
    if (m_givenScheduler != nullptr) return *m_givenScheduler;
    m_crontab = std::make_unique<CrontabScheduler>(
        CrontabScheduler::Options{.crontabProgram = "crontab",
                                  .winePrefix = winePrefix,
                                  .clock = {},
                                  .zoneFile = kSystemZoneFile,
                                  .stateFolder = QuilletStateFolder(m_env),
                                  .lockFile = {}});
    return *m_crontab;
}

bool CliContext::refuseWindowsDisk(std::ostream& err, const std::string& whatInstead) const {
    if (!windowsRootOption) return false;
    Fail(err,
         "a Windows disk (--windows-root) is a source only and is never changed; " + whatInstead);
    return true;
}

std::optional<std::filesystem::path> CliContext::winePrefix() const {
    const system::WindowsSystem* current = m_givenSystem ? m_givenSystem : m_opened.get();
    return current ? current->winePrefix() : std::nullopt;
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
