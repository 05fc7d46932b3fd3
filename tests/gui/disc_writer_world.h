#pragma once

#include <QApplication>
#include <QString>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/disc_writer_window.h"
#include "gui/gui_world.h"
#include "support/disc/simulated_disc_engine.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {

// The disc writer over the simulated engine with scripted dialogs. Add drives to `engine` and
// set `pending` before open().
struct DiscWriterWorld {
    ~DiscWriterWorld() { window.reset(); }

    DiscWriterWindow& open() {
        window = std::make_unique<DiscWriterWindow>(DiscWriterServices{
            .engine = engine,
            .dialogs = dialogs,
            .pending = pending,
            .dataFolder = ShippedDataFolder(),
            .endProgram = [this] { ++programEnds; },
        });
        opened = window->load();
        window->show();
        return *window;
    }

    // Delivers every event the engine has queued, as the event loop would.
    void deliverEvents() {
        while (engine.deliverNextEvent()) {
        }
    }

    // The texts of the file list's first column, in order.
    std::vector<std::string> listedFiles() const {
        std::vector<std::string> names;
        const auto& list = Child<QTreeWidget>(*window, "lvwImageFiles");
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            names.push_back(list.topLevelItem(i)->text(0).toStdString());
        }
        return names;
    }

    TempDir temp;
    disc::SimulatedDiscEngine engine;
    ScriptedDialogs dialogs;
    PendingDiscFile pending;
    int programEnds = 0;
    bool opened = false;
    std::unique_ptr<DiscWriterWindow> window;
};

// Waits in the event loop for a modal window with that object name; once it shows, hands it to
// `drive` (which must close it). Works across long runs that yield to the event loop first.
class ModalWatch {
  public:
    ModalWatch(const char* name, std::function<void(QWidget&)> drive) {
        QObject::connect(&m_timer, &QTimer::timeout, [this, name, drive] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal->objectName() != name) return;
            m_timer.stop();
            opened = true;
            drive(*modal);
        });
        m_timer.start(0);
    }

    bool opened = false;

  private:
    QTimer m_timer;
};

}  // namespace quillet::testing
