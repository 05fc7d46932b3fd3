#include "cli/cli_context.h"

#include <ostream>

#include "cli/password_input.h"
#include "schedule/crontab_scheduler.h"

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
    windowsRootOption.reset();
    userOption.reset();
    m_disk.reset();
    m_wineParts.reset();
    m_wine.reset();
    m_zip.reset();
    m_crontab.reset();
}

const RunSystem* CliContext::system(std::ostream& err) {
    if (m_givenSystem) return &*m_givenSystem;
    if (windowsRootOption && !m_disk) {
        auto opened = WindowsDiskSystem::Open(*windowsRootOption, userOption);
        if (!opened) {
            Fail(err, opened.reason());
            return nullptr;
        }
        m_disk = std::move(opened.value());
        m_wineParts.emplace(RunSystemOf(*m_disk));
    }
    if (m_disk) return &*m_wineParts;
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

Scheduler& CliContext::scheduler(const std::optional<std::string>& winePrefix) {
    if (m_givenScheduler != nullptr) return *m_givenScheduler;
    m_crontab = std::make_unique<CrontabScheduler>(CrontabScheduler::Options{
        .crontabProgram = "crontab", .winePrefix = winePrefix, .now = LocalTimeNow});
    return *m_crontab;
}

bool CliContext::refuseWindowsDisk(std::ostream& err, const std::string& whatInstead) const {
    if (!windowsRootOption) return false;
    Fail(err,
         "a Windows disk (--windows-root) is a source only and is never changed; " + whatInstead);
    return true;
}

std::optional<std::filesystem::path> CliContext::winePrefix() const {
    if (m_givenSystem || !m_wine) return std::nullopt;
    return m_wine->prefix();
}

archive::Archive& CliContext::archive() {
    if (m_givenArchive != nullptr) return *m_givenArchive;
    m_zip = std::make_unique<archive::ZipArchive>();
    return *m_zip;
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
