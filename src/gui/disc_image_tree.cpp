#include "gui/disc_image_tree.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace quillet {

DiscImageTree::DiscImageTree(QWidget* parent) : QTreeWidget(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

bool DiscImageTree::CarriesFileList(const QMimeData& data) {
    if (!data.hasUrls() || data.urls().isEmpty()) return false;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) return false;
    }
    return true;
}

void DiscImageTree::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() != nullptr && CarriesFileList(*event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DiscImageTree::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData() != nullptr && CarriesFileList(*event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DiscImageTree::dropEvent(QDropEvent* event) {
    if (event->mimeData() == nullptr || !CarriesFileList(*event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onDrop) onDrop(*event->mimeData());
}

bool DiscImageTree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // Asked only when this trigger would start an edit, not for every click the view checks.
    const bool starts =
        trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger) != 0;
    if (starts && index.isValid() && beforeEdit && !beforeEdit(itemFromIndex(index))) {
        return false;
    }
    return QTreeWidget::edit(index, trigger, event);
}

}  // namespace quillet
