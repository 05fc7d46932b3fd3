#include "desktop.h"

#include <QApplication>
#include <QDate>
#include <QDesktopServices>
#include <QUrl>
#include <iostream>

#include "archive/zip_archive.h"
#include "backup/backup_run.h"
#include "backup/exit_status.h"
#include "disc/burn_disc_engine.h"
#include "gui/app_icon.h"
#include "gui/desktop_session.h"
#include "gui/disc_event_poster.h"
#include "gui/program_folder.h"
#include "gui/qt_dialog_service.h"
#include "gui/splash_window.h"
#include "schedule/crontab_scheduler.h"
#include "schedule/job_program.h"
#include "schedule/state_folder.h"
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

int RunDesktop(int argc, char** argv, const DesktopSystemChoice& choice) {
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

    QtDialogService dialogs(dataFolder);
    archive::ZipArchive archive;
    // The disc writer's engine; its threads hand their events to the user-interface thread.
    disc::BurnDiscEngine discEngine;
    discEngine.setEventPoster(QtEventPoster());

    DesktopSession session(DesktopServices{
        .archive = archive,
        .dialogs = dialogs,
        .env = env,
        .dataFolder = dataFolder,
        .makeWorkFolder = [&env] { return WorkFolder::Create(env); },
        .shellOpen = ShellOpen,
        .timeText = BackupTimeText,
        .todayText = [] { return QDate::currentDate().toString("MM-dd-yy").toStdString(); },
        .windowMade = [&dialogs](MainWindow& window) { dialogs.setParent(&window); },
        .makeScheduler = [&env](const std::filesystem::path& prefix) -> std::unique_ptr<Scheduler> {
            return std::make_unique<CrontabScheduler>(CrontabScheduler::Options{
                .crontabProgram = "crontab",
                .winePrefix = prefix.string(),
                .clock = {},
                .zoneFile = kSystemZoneFile,
                .stateFolder = QuilletStateFolder(env),
                .lockFile = {},
            });
        },
        .programPath = QuilletProgramPath().string(),
        .discEngine = &discEngine,
        .endProgram = [] { QApplication::exit(kExitNothingDone); },
    });

    bool started = false;
    SplashWindow splash(dataFolder, [&] {
        started = session.start(choice.windowsRoot
                                    ? session.openWindowsDisk(*choice.windowsRoot, choice.user)
                                    : system::WineSystem::Open(choice.prefix, env, dialogs));
    });
    splash.load();
    if (!started) return kExitNothingDone;
    return application.exec();
}

}  // namespace quillet
