#pragma once

#include <QDialog>
#include <QIcon>
#include <QMap>
#include <filesystem>
#include <functional>
#include <string>

#include "disc/disc_engine.h"
#include "gui/dialog_service.h"
#include "gui/disc_pending_file.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quillet {

// What the disc writer works with; the main window hands it over at each opening.
struct DiscWriterServices {
    disc::DiscEngine& engine;
    DialogService& dialogs;
    // The backup file to put into the image at opening (emptied once added).
    PendingDiscFile& pending;
    std::filesystem::path dataFolder;  // the skin
    // Ends the whole program; called when the engine cannot initialise its devices.
    std::function<void()> endProgram;
};

// The disc writer window "frmMaindvdwrite": a data disc image composed from dropped files and
// folders, the drive, speed, file system and write options, and the write with its status,
// cancel and verification. The image lives in the engine; the window mirrors the engine's events.
// User-interface thread only.
class DiscWriterWindow : public QDialog, private disc::DiscEventListener {
    Q_OBJECT
  public:
    explicit DiscWriterWindow(DiscWriterServices services, QWidget* parent = nullptr);
    ~DiscWriterWindow() override;

    // The start-up steps. False when the engine could not initialise its devices: the message
    // has been shown and endProgram called; the window must not be shown then.
    bool load();
    // Opens the window modally after load(); returns when it closes.
    static void Open(DiscWriterServices services, QWidget* parent);

    // Device list and the current device.
    void RefreshDeviceList();
    void SetWriterEnabled(bool enabled);
    bool isIdle() const { return m_idle; }

    // Image composition.
    void ResetImageView();
    void ShowFolderFiles(const std::string& imagePath);
    void RefreshImageView();
    void UpdateImageTotals();
    // Adds the files and folders of a drop; a drop without local files is ignored (false).
    bool AddDroppedFiles(const QMimeData& drop);
    // The File menu as the pop-up of the tree (true) or of the list (false).
    void popUpFileMenu(bool onTree, const QPoint& globalAt);

    // Writing. The pre-write check of the current drive's disc: true when it is writable and its
    // free space (in floating point) is at least the image's size; else a message and false.
    bool CheckMediaForImage();
    // "&Write Disc": for the image-file device first the image file's name (a save dialog;
    // cancelled, nothing happens), then the check, the options in their fixed order, the start.
    // The window is busy from a started write until the engine reports its end.
    void writeDisc();
    // "&Cancel": asks the engine to stop; the window stays busy until the engine's end state.
    void cancelWrite();

    // The text of status panel 1, 2 or 3.
    QString panelText(int panel) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void buildControls();
    void buildMenus();
    void connectImageView();
    void attachEngine();
    void detachEngine();
    disc::DataProject& project() { return m_services.engine.Project(); }
    disc::ImageFileSystem& fileSystem() { return project().FileSystem(); }

    void selectDevice(int entry);
    void FillWriteSpeeds();
    bool deviceHasBufferProtection() const;
    void ejectTray();
    void closeTray();
    void showErase();
    void setPanel(int panel, const std::string& text);

    void clearImage();
    void removeSelected(QTreeWidget* view);
    void renameSelected(QTreeWidget* view);
    void captionEditEnded(QTreeWidget* view);
    QTreeWidgetItem* folderNode(const std::string& imagePath) const;
    void withHourglass(const std::function<void()>& work);

    // Engine events.
    void WriteStatus(int state, int percent) override;
    bool FileWarning(const disc::FileError& error) override;
    void TrackReading(int track, std::int64_t number, const std::string& text) override;
    void ErrorRaised(const disc::EngineError& error) override;
    void VerifyStarted(int files) override;
    void FileVerified(const disc::ImageItem& item, int result, int position, int total) override;
    void VerifyFinished(int total, int matched) override;
    void ItemAdded(const disc::ImageItem& item) override;
    void ItemRemoved(const disc::ImageItem& item) override;
    void ItemRenamed(const disc::ImageItem& item) override;
    void ItemListed(const disc::ImageItem& item) override;
    bool ReplaceQuery(const disc::ImageItem& existing, const std::string& newSourcePath) override;
    void ImageCleared() override;

    DiscWriterServices m_services;
    bool m_attached = false;
    bool m_idle = true;
    bool m_writeFailed = false;  // an engine error came during the running write
    disc::DiscDevice* m_device = nullptr;
    // The caption being edited in the tree or the list, and its text before the edit.
    QTreeWidgetItem* m_edited = nullptr;
    QString m_editedText;
    QIcon m_folderIcon;

    QMap<QString, QIcon> m_imageList;  // ImageList1: "CD", "CLOSEDFOLDER", "OPENFOLDER", "FILE"
    QComboBox* m_devices;
    QComboBox* m_writeSpeeds;
    QComboBox* m_volumeTypes;
    QLineEdit* m_volumeId;
    QTreeWidget* m_folders;
    QTreeWidget* m_files;
    QLabel* m_imageTitle;
    QProgressBar* m_progress;
    QLabel* m_panels[3];
    QPushButton* m_writeButton;
    QPushButton* m_cancelButton;
    QCheckBox* m_bufferProtection;
    QCheckBox* m_cacheImage;
    QCheckBox* m_finalizeDisc;
    QCheckBox* m_testWrite;
    QCheckBox* m_autoVerify;
    QCheckBox* m_mode2XA;
    QCheckBox* m_useFileDates;
    QCheckBox* m_discAtOnce;
    QMenu* m_fileMenu;
    QMenu* m_deviceMenu;
};

}  // namespace quillet
