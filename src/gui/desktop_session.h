#pragma once

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/main_window.h"
#include "platform/environment.h"
#include "system/windows_system.h"

namespace quillet {

// What the desktop program keeps while the open system changes; main() fills it with the real
// things, tests with fakes. Everything referred to must outlive the session.
struct DesktopServices {
    archive::Archive& archive;
    DialogService& dialogs;
    Environment env;                   // where a Wine prefix is looked for
    std::filesystem::path dataFolder;  // skins and help
    std::function<Result<WorkFolder>()> makeWorkFolder;
    std::function<void(const std::string& target)> shellOpen{};
    std::function<std::string()> timeText{};
    std::function<std::string()> todayText{};
    int entryPauseMs = MainWindowServices::kEntryPauseMs;
    // Called with each new main window before it shows (the real dialogs take it as parent).
    std::function<void(MainWindow&)> windowMade{};
    // The scheduler of backup jobs over the Wine prefix at a folder, and the program the jobs
    // start; without a factory (and on a disk) "Task Scheduler" is off.
    std::function<std::unique_ptr<Scheduler>(const std::filesystem::path& prefix)> makeScheduler{};
    std::string programPath{};
    // The disc writer's engine; none: the disc writer cannot be opened.
    disc::DiscEngine* discEngine = nullptr;
    // Ends the whole program (the disc writer does when its devices cannot be initialised).
    std::function<void()> endProgram{};
};

// The desktop program's open system and its main window. Opening another system ("File" →
// "Open Wine Prefix..." / "Open Windows Disk...") replaces both; the window it replaces goes once
// control is back in the event loop, with its system. Used from the user-interface thread only.
class DesktopSession : public QObject {
    Q_OBJECT
  public:
    explicit DesktopSession(DesktopServices services);
    ~DesktopSession() override;

    // Shows the main window on `first`. When `first` failed, says why and what the program looks
    // for, and offers to open a Wine prefix or a Windows disk until one opens. False when the
    // user cancels that choice: the program then ends.
    bool start(Result<std::unique_ptr<system::WindowsSystem>> first);

    // The folder chooser, then the main window on the chosen prefix or disk (its key-path access
    // reports through the session's dialogs). Cancel changes
    // nothing; a failure shows its reason (critical) and keeps the current system. True when
    // the new system is open.
    bool chooseWinePrefix();
    bool chooseWindowsDisk();

    // The disk at `root` for `user`. Without `user`, when several profiles hold identities, the
    // user chooses one from a list; kCancelled when the user cancels it.
    Result<std::unique_ptr<system::WindowsSystem>> openWindowsDisk(
        const std::filesystem::path& root, const std::optional<std::string>& user);

    // The current main window and system; null before start() succeeds.
    MainWindow* window() const { return m_window.get(); }
    const system::WindowsSystem* system() const { return m_system.get(); }

    // The choice offered when no system is open, in this order.
    static constexpr const char* kStartChoices[] = {"Open Wine Prefix...", "Open Windows Disk..."};
    static constexpr char kWinePrefixTitle[] = "Open Wine Prefix";
    static constexpr char kWindowsDiskTitle[] = "Open Windows Disk";
    static constexpr char kChooseProfilePrompt[] =
        "Several user profiles on this disk hold identities. Choose the profile to back up:";
    // The text over the start choice: what the program looks for, then why none is open.
    static std::string NoSystemPrompt(const std::string& reason);

  private:
    bool open(Result<std::unique_ptr<system::WindowsSystem>> opened);
    void show(std::unique_ptr<system::WindowsSystem> system);
    MainWindowServices windowServices(system::WindowsSystem& system);

    DesktopServices m_services;
    // Systems before windows: a window refers to its system and goes first.
    std::vector<std::unique_ptr<system::WindowsSystem>> m_retiredSystems;
    std::unique_ptr<system::WindowsSystem> m_system;
    std::vector<std::unique_ptr<MainWindow>> m_retiredWindows;
    std::unique_ptr<MainWindow> m_window;
    // The schedulers of the prefixes opened; a window refers to its own until it goes.
    std::vector<std::unique_ptr<Scheduler>> m_schedulers;
};

}  // namespace quillet
