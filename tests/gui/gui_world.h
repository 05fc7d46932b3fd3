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
#include "gui/main_window.h"
#include "gui/scripted_dialogs.h"
#include "registry/mod_reg.h"
#include "support/temp_dir.h"
#include "system/wine_system.h"

namespace quillet::testing {

inline constexpr char kMainIdentity[] = "{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}";
inline constexpr char kZoeIdentity[] = "{B84E2F17-9C05-4A3D-8E72-5D1F6A0C9E28}";

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
// can change the prefix first; everything lives in one temporary folder.
class SamplePrefixWorld {
  public:
    SamplePrefixWorld();
    ~SamplePrefixWorld();

    // Opens the prefix (its registry is read on first use) and key-path access to it.
    void openPrefix();
    // Makes and shows the main window (opening the prefix first when needed).
    MainWindow& openWindow();

    // Host paths inside the sample prefix.
    std::filesystem::path userReg() const { return prefix / "user.reg"; }
    std::filesystem::path addressBook() const;
    std::filesystem::path storeFolder(const std::string& identityKey) const;
    std::filesystem::path stationeryFolder() const;

    TempDir temp;
    const std::filesystem::path prefix = temp / "prefix";
    ScriptedDialogs dialogs;
    std::unique_ptr<WineSystem> wine;
    std::unique_ptr<registry::ModReg> modReg;
    archive::ZipArchive archive;
    std::unique_ptr<MainWindow> window;
    // What the window asked the desktop to open, in order.
    std::vector<std::string> shellOpened;
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

// What a backup file holds, read back with the real archive: its entry names in archive order
// and the lines of its information file. Entry names and values that carry a work file's number
// (OBA1F2C.TMP) have the number replaced by "#" (OBA#.TMP), since every run picks its own.
struct BackupContents {
    std::vector<std::string> entryNames;
    std::vector<std::string> informationLines;  // without their CR LF
};
BackupContents ReadBackup(const std::filesystem::path& backupFile, const std::string& password,
                          const std::filesystem::path& scratchFolder);

// The same text with every work file number replaced by "#".
std::string NormaliseWorkFileNames(const std::string& text);

}  // namespace quillet::testing
