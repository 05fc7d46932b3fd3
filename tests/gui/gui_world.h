#pragma once

#include <QObject>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "cli/cli_context.h"
#include "gui/fake_scheduler.h"
#include "gui/main_window.h"
#include "gui/scripted_dialogs.h"
#include "registry/mod_reg.h"
#include "support/archive/backup_reader.h"
#include "support/cli/cli_runner.h"
#include "support/disc/simulated_disc_engine.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"
#include "system/wine_system.h"

namespace quillet::testing {

// The folder with the shipped skin (the project's data folder).
std::filesystem::path ShippedDataFolder();

// The child of `parent` with that object name and type; throws (failing the test) when there is
// none, so a test never goes on with a null widget.
template <class T>
T& Child(const QObject& parent, const QString& name) {
    T* found = parent.findChild<T*>(name);
    if (found == nullptr) throw std::runtime_error("no child named " + name.toStdString());
    return *found;
}

// The main window over a fresh copy of the sample prefix, with the real registry store, zip
// archive and work folders, and scripted dialogs. The window is made by openWindow(), so a test
// can change the prefix first; everything lives in one temporary folder. quillet-cli runs over
// the same prefix in this process, as the user would run it beside the window.
class MainWindowWorld {
  public:
    MainWindowWorld();
    ~MainWindowWorld();

    // Opens the prefix (its registry is read on first use) and key-path access to it.
    void openPrefix();
    // Makes and shows the main window (opening the prefix first when needed).
    MainWindow& openWindow();

    // Runs a quillet-cli command line (without the program name) in this process.
    CliRun runCli(const std::vector<std::string>& arguments) {
        return RunCliInProcess(cli, arguments);
    }

    // Host paths inside the sample prefix.
    std::filesystem::path userReg() const { return prefix / "user.reg"; }
    std::filesystem::path addressBook() const { return SampleAddressBook(prefix); }
    std::filesystem::path storeFolder(const std::string& identityKey) const {
        return SampleStoreFolder(prefix, identityKey);
    }
    std::filesystem::path stationeryFolder() const { return SampleStationeryFolder(prefix); }

    TempDir temp;
    const std::filesystem::path prefix = temp / "prefix";
    ScriptedDialogs dialogs;
    std::unique_ptr<system::WineSystem> wine;
    registry::ModReg* modReg = nullptr;  // the system's
    archive::ZipArchive archive;
    // The disc writer's engine: one drive by default.
    disc::SimulatedDiscEngine discEngine;
    std::unique_ptr<MainWindow> window;
    std::filesystem::path dataFolder = ShippedDataFolder();  // its skin and help
    // What the window asked the desktop to open, in order.
    std::vector<std::string> shellOpened;
    // Where the window's "Task Scheduler" registers jobs, and the program they start.
    FakeScheduler scheduler;
    // A job may start only a program that is there: any this user can run stands in.
    static constexpr char kJobProgram[] = "/bin/true";
    cli::CliContext cli{Environment::Process()};
};

// Presses the right mouse button on `frame` and, in the pop-up menu that opens, chooses the entry
// with that object name. False when no menu opened or it had no such entry.
bool ChooseFromPopUp(QWidget& frame, const QString& entryName);

// Arranges for `drive` to be called with the modal dialog that the next call opens (for example
// AboutWindow from the "About" button), from inside that dialog's event loop. The call must open a
// modal dialog and `drive` must close it; `*driven` tells afterwards whether it ran.
void DriveNextModal(const std::function<void(QWidget& dialog)>& drive, bool* driven);

// The state a user can see of every named widget in `window` (text, ticks, enabled, selection,
// progress), one "name: state" line each, sorted; visibility is left out.
std::vector<std::string> VisibleStates(const QWidget& window);

}  // namespace quillet::testing
