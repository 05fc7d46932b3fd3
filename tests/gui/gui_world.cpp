#include "gui/gui_world.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>

#include "backup/backup_run.h"
#include "platform/wine_server_probe.h"
#include "platform/work_folder.h"

namespace quillet::testing {
namespace {

// The one QApplication of the test program, on the offscreen platform so that no display is
// needed. Made when the tests start (not when they are only listed).
class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
        // Tests close windows; that must not end the modal loops of later tests.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { m_application.reset(); }

  private:
    int m_argc = 1;
    char m_name[16] = "quillet-gui";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] const auto* const kApplication =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

std::filesystem::path ShippedDataFolder() {
    return std::filesystem::path(QUILLET_SOURCE_DIR) / "data";
}

MainWindowWorld::MainWindowWorld() {
    if (!MakeSamplePrefix(prefix.string())) throw std::runtime_error("no sample prefix");
    std::filesystem::create_directories(temp / "work");
    discEngine.addDevice({});
}

MainWindowWorld::~MainWindowWorld() {
    // The window goes before the things it holds references to.
    window.reset();
}

void MainWindowWorld::openPrefix() {
    if (wine) return;
    auto opened = system::WineSystem::Open(prefix.string(), Environment::Process(), dialogs);
    if (!opened) throw std::runtime_error(opened.reason());
    wine = std::move(opened.value());
    modReg = &wine->modReg();
}

MainWindow& MainWindowWorld::openWindow() {
    openPrefix();
    const std::filesystem::path work = temp / "work";
    MainWindowServices services{
        .system = *wine,
        .archive = archive,
        .dialogs = dialogs,
        .dataFolder = dataFolder,
        .makeWorkFolder = [work] { return WorkFolder::CreateIn(work); },
        .shellOpen = [this](const std::string& target) { shellOpened.push_back(target); },
        .timeText = BackupTimeText,
        .todayText = [] { return std::string("01-02-24"); },
        .entryPauseMs = 0,
        .scheduler = &scheduler,
        .programPath = kJobProgram,
        .discEngine = &discEngine,
        .pendingDisc = {},
        .endProgram = {},
    };
    window = std::make_unique<MainWindow>(std::move(services));
    window->show();
    return *window;
}

bool ChooseFromPopUp(QWidget& frame, const QString& entryName) {
    bool chosen = false;
    // The menu runs its own event loop inside the button press; the timer fires in it. Owned
    // here, so it cannot fire later when no menu opened.
    QTimer inMenu;
    inMenu.setSingleShot(true);
    QObject::connect(&inMenu, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        for (QAction* action : menu->actions()) {
            if (action->objectName() != entryName) continue;
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
            chosen = true;
        }
        if (menu->isVisible()) menu->close();
    });
    inMenu.start(0);
    // Through the window, as the platform delivers a click: the press then also makes the
    // context menu event (a click sent to the widget itself would not).
    QWindow* window = frame.window()->windowHandle();
    if (window == nullptr) return false;
    const QPoint edge = frame.mapTo(frame.window(), QPoint(3, frame.height() / 2));
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, edge);
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, edge);
    return chosen;
}

void DriveNextModal(const std::function<void(QWidget& dialog)>& drive, bool* driven) {
    *driven = false;
    auto* timer = new QTimer(QApplication::instance());
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, [timer, drive, driven] {
        timer->deleteLater();
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr) return;
        *driven = true;
        drive(*dialog);
    });
    timer->start(0);
}

std::vector<std::string> VisibleStates(const QWidget& window) {
    std::vector<std::string> states;
    for (const QWidget* widget : window.findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        // Qt's own parts (the tab bar's scroll buttons) are not ours.
        if (name.isEmpty() || name.startsWith("qt_") ||
            qobject_cast<const QTabBar*>(widget->parentWidget()) != nullptr) {
            continue;
        }
        QString state = name + ": " + (widget->isEnabled() ? "enabled" : "disabled");
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            state += " text=" + button->text();
            if (button->isCheckable()) state += button->isChecked() ? " ticked" : " unticked";
        } else if (const auto* line = qobject_cast<const QLineEdit*>(widget)) {
            state += " text=" + line->text();
        } else if (const auto* box = qobject_cast<const QPlainTextEdit*>(widget)) {
            state += " text=" + box->toPlainText();
        } else if (const auto* list = qobject_cast<const QComboBox*>(widget)) {
            state +=
                QString(" entries=%1 selected=%2").arg(list->count()).arg(list->currentIndex());
        } else if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            state += " text=" + label->text();
        } else if (const auto* bar = qobject_cast<const QProgressBar*>(widget)) {
            state += QString(" value=%1").arg(bar->value());
        }
        states.push_back(state.toStdString());
    }
    std::sort(states.begin(), states.end());
    return states;
}

}  // namespace quillet::testing
