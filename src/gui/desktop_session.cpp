#include "gui/desktop_session.h"

#include <QTimer>

#include "schedule/state_folder.h"
#include "system/windows_disk_system.h"
#include "system/wine_system.h"
#include "thunderbird/profiles_ini.h"

namespace quillet {

namespace {

// ~/.thunderbird/profiles.ini; empty without a home.
std::filesystem::path ThunderbirdProfiles(const Environment& env) {
    const std::optional<std::string> home = env.get("HOME");
    if (!home || home->empty()) return {};
    return thunderbird::ProfilesIniIn(*home);
}

}  // namespace

DesktopSession::DesktopSession(DesktopServices services) : m_services(std::move(services)) {}

DesktopSession::~DesktopSession() {
    m_window.reset();
    m_retiredWindows.clear();
}

std::string DesktopSession::NoSystemPrompt(const std::string& reason) {
    return "Quillet works on a Wine prefix (--prefix DIR, else $WINEPREFIX, else ~/.wine) or on a "
           "mounted Windows disk (--windows-root DIR), and has none open: " +
           reason + "\n\nChoose what to open:";
}

bool DesktopSession::start(Result<std::unique_ptr<system::WindowsSystem>> first) {
    if (first) {
        show(std::move(first.value()));
        return true;
    }
    const std::string prompt = NoSystemPrompt(first.reason());
    const std::vector<std::string> choices(std::begin(kStartChoices), std::end(kStartChoices));
    // A cancelled folder chooser or a system that failed to open comes back to the choice.
    while (!m_window) {
        const std::optional<std::size_t> choice =
            m_services.dialogs.chooseFromList(prompt, choices);
        if (!choice) return false;
        if (*choice == 0) {
            chooseWinePrefix();
        } else {
            chooseWindowsDisk();
        }
    }
    return true;
}

bool DesktopSession::chooseWinePrefix() {
    const std::optional<std::string> folder = m_services.dialogs.chooseFolder(kWinePrefixTitle);
    if (!folder) return false;
    return open(system::WineSystem::Open(*folder, m_services.env, m_services.dialogs));
}

bool DesktopSession::chooseWindowsDisk() {
    const std::optional<std::string> folder = m_services.dialogs.chooseFolder(kWindowsDiskTitle);
    if (!folder) return false;
    return open(openWindowsDisk(*folder, std::nullopt));
}

Result<std::unique_ptr<system::WindowsSystem>> DesktopSession::openWindowsDisk(
    const std::filesystem::path& root, const std::optional<std::string>& user) {
    auto opened = system::WindowsDiskSystem::Open(root, user, m_services.dialogs);
    if (opened || user || !opened.status().is(ErrorKind::kBadInput)) return opened;
    // Several profiles hold identities: the user picks one.
    auto profiles = system::WindowsDiskSystem::ListProfiles(root);
    if (!profiles) return profiles.status();
    std::vector<std::string> names;
    for (const system::DiskProfile& profile : profiles.value()) {
        if (profile.hasIdentities) names.push_back(profile.name);
    }
    const std::optional<std::size_t> choice =
        m_services.dialogs.chooseFromList(kChooseProfilePrompt, names);
    if (!choice || *choice >= names.size()) {
        return Status::Error("No user profile was chosen", ErrorKind::kCancelled);
    }
    return system::WindowsDiskSystem::Open(root, names[*choice], m_services.dialogs);
}

bool DesktopSession::open(Result<std::unique_ptr<system::WindowsSystem>> opened) {
    if (!opened) {
        if (!opened.status().is(ErrorKind::kCancelled)) {
            m_services.dialogs.showMessage(opened.reason(), MessageIcon::Critical,
                                           MessageButtons::Ok);
        }
        return false;
    }
    show(std::move(opened.value()));
    return true;
}

void DesktopSession::show(std::unique_ptr<system::WindowsSystem> system) {
    // The window being replaced may be the one whose menu asked for this, so it is only hidden
    // here; it goes, with its system, when control is back in the event loop.
    if (m_window) {
        m_retiredWindows.push_back(std::move(m_window));
        m_retiredSystems.push_back(std::move(m_system));
        QTimer::singleShot(0, this, [this] {
            m_retiredWindows.clear();
            m_retiredSystems.clear();
        });
    }
    m_system = std::move(system);
    m_window = std::make_unique<MainWindow>(windowServices(*m_system));
    if (m_services.windowMade) m_services.windowMade(*m_window);
    m_window->show();
    for (const auto& retired : m_retiredWindows) retired->hide();
}

MainWindowServices DesktopSession::windowServices(system::WindowsSystem& system) {
    Scheduler* scheduler = nullptr;
    if (m_services.makeScheduler && system.winePrefix()) {
        m_schedulers.push_back(m_services.makeScheduler(*system.winePrefix()));
        scheduler = m_schedulers.back().get();
    }
    return MainWindowServices{
        .system = system,
        .archive = m_services.archive,
        .dialogs = m_services.dialogs,
        .dataFolder = m_services.dataFolder,
        .makeWorkFolder = m_services.makeWorkFolder,
        .shellOpen = m_services.shellOpen,
        .timeText = m_services.timeText,
        .todayText = m_services.todayText,
        .entryPauseMs = m_services.entryPauseMs,
        .scheduler = scheduler,
        .programPath = m_services.programPath,
        .discEngine = m_services.discEngine,
        .pendingDisc = {},
        .endProgram = m_services.endProgram,
        .openWinePrefix = [this] { chooseWinePrefix(); },
        .openWindowsDisk = [this] { chooseWindowsDisk(); },
        .uploadLockFolder = UploadLockFolder(QuilletStateFolder(m_services.env)),
        .thunderbirdProfiles = ThunderbirdProfiles(m_services.env),
    };
}

}  // namespace quillet
