#include "desktop.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>
#include <iostream>

#include "archive/zip_archive.h"
#include "backup/backup_run.h"
#include "backup/exit_status.h"
#include "disc/burn_disc_engine.h"
#include "gui/app_icon.h"
#include "gui/disc_event_poster.h"
#include "gui/main_window.h"
#include "gui/program_folder.h"
#include "gui/qt_dialog_service.h"
#include "gui/splash_window.h"
#include "platform/wine_prefix.h"
#include "registry/mod_reg.h"
#include "schedule/crontab_scheduler.h"
#include "schedule/job_program.h"
#include "system/wine_system.h"

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
        return kExitNothingDone;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillet");
    QApplication::setWindowIcon(AppIcon());
    const std::filesystem::path dataFolder =
        ProgramDataFolder(QApplication::applicationDirPath().toStdString());

    auto system = WineSystem::Open(prefix, env);
    if (!system) {
        QMessageBox::critical(nullptr, "Quillet", QString::fromStdString(system.reason()));
        return kExitNothingDone;
    }
    WineSystem& wine = **system;
    QtDialogService dialogs(dataFolder);
    registry::ModReg modReg(wine.registry(), dialogs);
    archive::ZipArchive archive;
    CrontabScheduler scheduler(CrontabScheduler::Options{
        .winePrefix = JobWinePrefix(wine.prefix(), env),
        .now = LocalTimeNow,
    });
    // The disc writer's engine; its threads hand their events to the user-interface thread.
    disc::BurnDiscEngine discEngine;
    discEngine.setEventPoster(QtEventPoster());

    MainWindowServices services{
        .modReg = modReg,
        .archive = archive,
        .paths = wine.paths(),
        .dialogs = dialogs,
        .computerName = wine.system().computerName(),
        .logonUser = wine.system().logonUser(),
        .windowsFolder = wine.system().windowsFolder(),
        .userProfile = wine.system().userProfile(),
        .dataFolder = dataFolder,
        .makeWorkFolder = [&env] { return WorkFolder::Create(env); },
        .checkPrefixIdle =
            [&wine] { return RefuseWhileWineRuns(wine.serverProbe(), wine.prefix()); },
        .prefixLock = &wine.prefixLock(),
        .shellOpen = ShellOpen,
        .timeText = BackupTimeText,
        .todayText = [] { return QDate::currentDate().toString("MM-dd-yy").toStdString(); },
        .entryPauseMs = MainWindowServices::kEntryPauseMs,
        .scheduler = &scheduler,
        .programPath = QuilletProgramPath().string(),
        .discEngine = &discEngine,
        .pendingDisc = {},
        .endProgram = [] { QApplication::exit(kExitNothingDone); },
    };

    std::unique_ptr<MainWindow> mainWindow;
    SplashWindow splash(dataFolder, [&] {
        mainWindow = std::make_unique<MainWindow>(services);
        dialogs.setParent(mainWindow.get());
        mainWindow->show();
    });
    splash.load();
    return application.exec();
}

}  // namespace quillet
