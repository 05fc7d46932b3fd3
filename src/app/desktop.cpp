#include "app/desktop.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <iostream>

#include "app/wine_system.h"
#include "archive/zip_archive.h"
#include "backup/backup_run.h"
#include "backup/frm_main.h"
#include "registry/mod_reg.h"
#include "shell/app_icon.h"
#include "shell/frm_splash.h"
#include "shell/program_folder.h"
#include "shell/qt_dialog_service.h"

namespace quillet {
namespace {

// Opens an address or a file with the desktop's default program; a failure says nothing.
void ShellOpen(const std::string& target) {
    const QString text = QString::fromStdString(target);
    const QUrl url = text.contains("://") ? QUrl(text) : QUrl::fromLocalFile(text);
    QDesktopServices::openUrl(url);
}

}  // namespace

int RunDesktop(int argc, char** argv, const std::optional<std::string>& prefix) {
    // Qt would abort without a display; say what is wrong instead.
    const Environment env = Environment::Process();
    if (!env.get("DISPLAY") && !env.get("WAYLAND_DISPLAY") && !env.get("QT_QPA_PLATFORM")) {
        std::cerr << "quillet: no display to show the window on (DISPLAY is not set). For a "
                     "backup without a window give a job command line: quillet "
                     "'sf=IDENTITYxm=ITEMSps=PASSWORDbf=FILE', or use quillet-cli.\n";
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillet");
    QApplication::setWindowIcon(AppIcon());
    const std::filesystem::path dataFolder =
        ProgramDataFolder(QApplication::applicationDirPath().toStdString());

    auto system = WineSystem::Open(prefix, env);
    if (!system) {
        QMessageBox::critical(nullptr, "Quillet", QString::fromStdString(system.reason()));
        return 2;
    }
    WineSystem& wine = **system;
    QtDialogService dialogs(dataFolder);
    registry::ModReg modReg(wine.registry(), dialogs);
    archive::ZipArchive archive;

    MainWindowServices services{
        modReg,
        archive,
        wine.paths(),
        dialogs,
        wine.system().computerName(),
        wine.system().logonUser(),
        wine.system().windowsFolder(),
        wine.system().userProfile(),
        dataFolder,
        [&env] { return WorkFolder::Create(env); },
        [&wine] { return RefuseWhileWineRuns(wine.serverProbe(), wine.prefix()); },
        &wine.prefixLock(),
        ShellOpen,
        BackupTimeText,
        [] { return QDate::currentDate().toString("MM-dd-yy").toStdString(); }};

    std::unique_ptr<frmMain> mainWindow;
    Frmsplash splash(dataFolder, [&] {
        mainWindow = std::make_unique<frmMain>(services);
        dialogs.setParent(mainWindow.get());
        mainWindow->show();
    });
    splash.load();
    return application.exec();
}

}  // namespace quillet
