#include "gui/disc_event_poster.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace quillet {

disc::EventPoster QtEventPoster() {
    return [](std::function<void()> task) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task),
                                  Qt::QueuedConnection);
    };
}

}  // namespace quillet
