// The disc writer's image view: the folder tree and the file list mirrored from the engine's
// item events, drops, and the File menu's commands.
#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <filesystem>

#include "disc/write_settings.h"
#include "gui/disc_image_tree.h"
#include "gui/disc_writer_texts.h"
#include "gui/disc_writer_window.h"

namespace quillet {
namespace {

constexpr int kKeyRole = Qt::UserRole;

QString Key(const QTreeWidgetItem* item) { return item->data(0, kKeyRole).toString(); }

QTreeWidgetItem* Selected(const QTreeWidget& view) {
    const QList<QTreeWidgetItem*> selected = view.selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

// The image path of the folder that holds `imagePath`: "\" for an item of the root.
std::string ParentPath(const std::string& imagePath) {
    const std::size_t slash = imagePath.rfind('\\');
    if (slash == std::string::npos || slash == 0) return disc::kImageRoot;
    return imagePath.substr(0, slash);
}

}  // namespace

QString FileSizeText(double bytes) { return QLocale().toString(bytes / 1000.0, 'f', 2) + " KB"; }

QString FileDateText(std::chrono::system_clock::time_point date) {
    const auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch());
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(since.count()),
                              "MM/dd/yyyy hh:mm:ss AP");
}

void DiscWriterWindow::connectImageView() {
    auto* folders = static_cast<DiscImageTree*>(m_folders);
    auto* files = static_cast<DiscImageTree*>(m_files);
    for (DiscImageTree* view : {folders, files}) {
        view->onDrop = [this](const QMimeData& drop) { AddDroppedFiles(drop); };
        view->beforeEdit = [this, view](QTreeWidgetItem* item) {
            if (view == m_folders && Key(item) == disc::kImageRoot) {
                m_services.dialogs.showMessage("Root directory can not be renamed.",
                                               MessageIcon::Information, MessageButtons::Ok);
                return false;
            }
            m_edited = item;
            m_editedText = item->text(0);
            return true;
        };
        connect(view->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
                [this, view] { captionEditEnded(view); });
    }
    connect(m_folders, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node) { ShowFolderFiles(Key(node).toStdString()); });
    connect(m_folders, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popUpFileMenu(true, m_folders->viewport()->mapToGlobal(at));
    });
    connect(m_files, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popUpFileMenu(false, m_files->viewport()->mapToGlobal(at));
    });
}

QTreeWidgetItem* DiscWriterWindow::folderNode(const std::string& imagePath) const {
    const QString key = QString::fromStdString(imagePath);
    for (QTreeWidgetItemIterator it(m_folders); *it != nullptr; ++it) {
        if (Key(*it) == key) return *it;
    }
    return nullptr;
}

void DiscWriterWindow::ResetImageView() {
    m_edited = nullptr;
    m_files->clear();
    m_folders->clear();
    auto* root = new QTreeWidgetItem(m_folders, {disc::kNewDiscName});
    root->setData(0, kKeyRole, QString(disc::kImageRoot));
    root->setIcon(0, m_imageList.value("CD"));
    root->setFlags(root->flags() | Qt::ItemIsEditable);
    m_volumeId->setText(disc::kNewDiscName);
    project().SetVolumeIdentifier(disc::kNewDiscName);
    UpdateImageTotals();
}

void DiscWriterWindow::ShowFolderFiles(const std::string& imagePath) {
    withHourglass([&] {
        m_edited = nullptr;
        m_files->clear();
        fileSystem().ListFolder(imagePath);
    });
}

void DiscWriterWindow::RefreshImageView() {
    QTreeWidgetItem* node = Selected(*m_folders);
    if (node == nullptr) {
        ShowFolderFiles(disc::kImageRoot);
        if (QTreeWidgetItem* root = folderNode(disc::kImageRoot)) root->setExpanded(true);
    } else {
        ShowFolderFiles(Key(node).toStdString());
        node->setExpanded(true);
    }
    UpdateImageTotals();
}

void DiscWriterWindow::UpdateImageTotals() {
    // An image of nothing shows no size: the engine's own structures of an empty image are no
    // data of the user's.
    const bool empty = fileSystem().FileCount() == 0 && fileSystem().FolderCount() == 0;
    setPanel(1, disc_texts::ImageSizeText(empty ? 0.0 : project().ImageSize()));
    setPanel(2, disc_texts::FileCountText(fileSystem().FileCount()));
    setPanel(3, disc_texts::FolderCountText(fileSystem().FolderCount()));
}

bool DiscWriterWindow::AddDroppedFiles(const QMimeData& drop) {
    if (!DiscImageTree::CarriesFileList(drop)) return false;
    withHourglass([&] {
        const QTreeWidgetItem* node = Selected(*m_folders);
        std::string target = node == nullptr ? std::string() : Key(node).toStdString();
        if (target == disc::kImageRoot) target.clear();
        for (const QUrl& url : drop.urls()) {
            const std::filesystem::path source = url.toLocalFile().toStdString();
            std::filesystem::path named = source;
            if (!named.has_filename()) named = named.parent_path();  // "folder/" names the folder
            const std::string imagePath = target + "\\" + named.filename().string();
            std::error_code error;
            // Failed adds say nothing: the view shows what the engine holds afterwards.
            if (std::filesystem::is_directory(source, error)) {
                (void)fileSystem().AddFolder(named.string(), imagePath);
            } else {
                (void)fileSystem().AddFile(source.string(), imagePath);
            }
        }
        RefreshImageView();
    });
    return true;
}

void DiscWriterWindow::popUpFileMenu(bool onTree, const QPoint& globalAt) {
    const std::pair<const char*, bool> shown[] = {
        {"mnuFileClear", true},          {"mnuFileSep1", false},
        {"mnuFileRemoveFolder", onTree}, {"mnuFileRenameFolder", onTree},
        {"mnuFileRemoveFile", !onTree},  {"mnuFileRenameFile", !onTree},
        {"mnuFileSep4", false},          {"mnuFileExit", false},
    };
    const auto entry = [this](const char* name) {
        for (QAction* action : m_fileMenu->actions()) {
            if (action->objectName() == name) return action;
        }
        return static_cast<QAction*>(nullptr);
    };
    for (const auto& [name, visible] : shown) entry(name)->setVisible(visible);
    m_fileMenu->exec(globalAt);
    for (const auto& [name, visible] : shown) entry(name)->setVisible(true);
}

void DiscWriterWindow::clearImage() { fileSystem().ClearImage(); }

void DiscWriterWindow::removeSelected(QTreeWidget* view) {
    DialogService& dialogs = m_services.dialogs;
    const QTreeWidgetItem* selected = Selected(*view);
    if (selected == nullptr) {
        dialogs.showMessage("No Item Selected.", MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    if (!fileSystem().RemoveItem(Key(selected).toStdString())) {
        dialogs.showMessage("Item could not be removed.", MessageIcon::Information,
                            MessageButtons::Ok);
    }
    RefreshImageView();
}

void DiscWriterWindow::renameSelected(QTreeWidget* view) {
    QTreeWidgetItem* selected = Selected(*view);
    if (selected == nullptr) {
        m_services.dialogs.showMessage("No Item Selected.", MessageIcon::Information,
                                       MessageButtons::Ok);
        return;
    }
    view->editItem(selected, 0);
}

void DiscWriterWindow::captionEditEnded(QTreeWidget* view) {
    QTreeWidgetItem* edited = m_edited;
    m_edited = nullptr;
    if (edited == nullptr || edited->treeWidget() != view) return;
    const QString newName = edited->text(0);
    if (newName == m_editedText) return;  // cancelled or unchanged
    const std::string key = Key(edited).toStdString();
    if (view == m_folders) {
        if (!fileSystem().RenameFolder(key, newName.toStdString())) {
            // The tree shows what the engine holds: the old caption comes back, rather than a
            // name the image does not have.
            edited->setText(0, m_editedText);
            m_services.dialogs.showMessage("Folder could not be renamed.", MessageIcon::Information,
                                           MessageButtons::Ok);
        }
    } else if (!fileSystem().RenameFile(key, newName.toStdString())) {
        m_services.dialogs.showMessage("File could not be renamed.", MessageIcon::Information,
                                       MessageButtons::Ok);
    }
    RefreshImageView();
}

// Engine events of the image.

void DiscWriterWindow::ItemAdded(const disc::ImageItem& item) {
    if (item.isFolder) {
        QTreeWidgetItem* parent = folderNode(ParentPath(item.imagePath));
        if (parent == nullptr) parent = folderNode(disc::kImageRoot);
        if (parent != nullptr) {
            auto* node = new QTreeWidgetItem(parent, {QString::fromStdString(item.itemName)});
            node->setData(0, kKeyRole, QString::fromStdString(item.imagePath));
            node->setIcon(0, m_folderIcon);
            node->setFlags(node->flags() | Qt::ItemIsEditable);
        }
        setPanel(1, "Adding...." + item.imagePath);
    }
    QApplication::processEvents();
}

void DiscWriterWindow::ItemRemoved(const disc::ImageItem& item) {
    if (!item.isFolder) return;
    delete folderNode(item.imagePath);
}

void DiscWriterWindow::ItemRenamed(const disc::ImageItem& item) {
    if (!item.isFolder) return;
    QTreeWidgetItem* node = folderNode(item.previousImagePath);
    if (node == nullptr) return;
    // The folders below keep their keys in step with the new path.
    const QString before = QString::fromStdString(item.previousImagePath);
    const QString after = QString::fromStdString(item.imagePath);
    node->setData(0, kKeyRole, after);
    for (QTreeWidgetItemIterator it(node); *it != nullptr; ++it) {
        const QString key = Key(*it);
        if (key.startsWith(before + "\\"))
            (*it)->setData(0, kKeyRole, after + key.mid(before.size()));
    }
}

void DiscWriterWindow::ItemListed(const disc::ImageItem& item) {
    if (item.isFolder) return;
    auto* entry =
        new QTreeWidgetItem(m_files, {QString::fromStdString(item.itemName),
                                      FileSizeText(item.itemSize), FileDateText(item.fileDate)});
    entry->setData(0, kKeyRole, QString::fromStdString(item.imagePath));
    entry->setIcon(0, m_imageList.value("FILE"));
    entry->setFlags(entry->flags() | Qt::ItemIsEditable);
}

bool DiscWriterWindow::ReplaceQuery(const disc::ImageItem& existing, const std::string& source) {
    const std::string text = "A file already exists in the image: \r\n" + existing.imagePath +
                             "\r\nWould you like to replace it with: \r\n" + source + " ?";
    return m_services.dialogs.showTitledMessage("Replace file...", text, MessageIcon::Question,
                                                MessageButtons::OkCancel) == MessageAnswer::Ok;
}

void DiscWriterWindow::ImageCleared() { ResetImageView(); }

}  // namespace quillet
