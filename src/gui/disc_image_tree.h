#pragma once

#include <QTreeWidget>
#include <functional>

class QMimeData;

namespace quillet {

// The folder tree and the file list of the disc writer: a tree widget that takes drops of the
// desktop's file lists (URLs of local files) and nothing else, hands them on, and asks before a
// caption edit starts.
class DiscImageTree : public QTreeWidget {
    Q_OBJECT
  public:
    explicit DiscImageTree(QWidget* parent = nullptr);

    // Whether a drop carries a list of local files.
    static bool CarriesFileList(const QMimeData& data);

    // Called with each accepted drop.
    std::function<void(const QMimeData&)> onDrop;
    // Asked before a caption edit starts; false cancels it.
    std::function<bool(QTreeWidgetItem*)> beforeEdit;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
};

}  // namespace quillet
