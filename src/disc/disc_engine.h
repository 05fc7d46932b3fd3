#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

// The disc engine: drives, the data disc image, writing, verifying and erasing. Two engines stand
// behind this interface: the real one on libburn and libisofs (disc/burn_disc_engine.h) and a
// scripted one for tests (tests/support/disc/simulated_disc_engine.h).
//
// Threads. Every call below is made on one thread, the engine's owner (the user-interface thread
// of the desktop program, the main thread of the command line). Every event reaches the
// listeners on that thread too: a write, a verification or an erase runs on the engine's own
// threads, which hand each event to the engine's event poster (setEventPoster) instead of calling
// a listener; the owner's side runs it. The desktop program posts through a queued Qt signal; a
// program without an event loop leaves the poster unset and calls pumpEvents() from its loop.
// Image events (ItemAdded, ItemRemoved, ItemRenamed, ItemListed, ReplaceQuery, ImageCleared) are
// raised during the image call that causes them, on the calling thread.
//
// Names of operations, properties and events are the documented ones; plain data carries plain
// English member names.
namespace quillet::disc {

// --- Codes ---------------------------------------------------------------------------------

// MediaInfo::mediaType. disc/media_profiles.h maps them from the drive's profiles.
inline constexpr int kMediaNone = 0;
inline constexpr int kMediaDvdRam = 1;
inline constexpr int kMediaDvdMinusR = 2;
inline constexpr int kMediaDvdRom = 3;
inline constexpr int kMediaDvdMinusRw = 4;
inline constexpr int kMediaDvdMinusRDualLayer = 5;
inline constexpr int kMediaDvdPlusR = 8;
inline constexpr int kMediaDvdPlusRw = 9;
inline constexpr int kMediaDvdPlusRDualLayer = 10;
inline constexpr int kMediaBdRom = 12;
inline constexpr int kMediaBdR = 13;
inline constexpr int kMediaBdRe = 15;
inline constexpr int kMediaImageFile = 200;  // the image-file device's "disc": a file on disk
inline constexpr int kMediaCdRom = 251;
inline constexpr int kMediaCdR = 252;
inline constexpr int kMediaCdRw = 253;
inline constexpr int kMediaUnknown = 255;  // a disc the engine does not know

// DiscDevice::HasCapability codes.
inline constexpr int kCapabilityWriteCdR = 16;
inline constexpr int kCapabilityWriteCdRw = 17;
inline constexpr int kCapabilityWriteDvdMinusR = 18;
inline constexpr int kCapabilityWriteDvdMinusRw = 19;
inline constexpr int kCapabilityWriteDvdPlusR = 20;
inline constexpr int kCapabilityWriteDvdPlusRDualLayer = 21;
inline constexpr int kCapabilityWriteDvdRam = 22;
inline constexpr int kCapabilityWriteDvdPlusRw = 23;
inline constexpr int kCapabilityWriteBdR = 26;
inline constexpr int kCapabilityWriteBdRe = 27;
inline constexpr int kCapabilityBufferProtection = 57;

// DataProject::FileSystemType codes.
inline constexpr int kFileSystemIso9660 = 1;
inline constexpr int kFileSystemIsoJoliet = 3;
inline constexpr int kFileSystemUdf = 4;
inline constexpr int kFileSystemIsoUdf = 5;
inline constexpr int kFileSystemIsoJolietUdf = 7;
// Whether a file system type includes UDF.
constexpr bool FileSystemHasUdf(int fileSystemType) { return (fileSystemType & 4) != 0; }

// DataProject::WriteMethod codes.
inline constexpr int kWriteMethodTrackAtOnce = 2;
inline constexpr int kWriteMethodDiscAtOnce = 248;

// DataProject::WriteSpeed: the fastest the drive and disc allow.
inline constexpr int kWriteSpeedMaximum = 0;

// WriteStatus states.
inline constexpr int kWritePreparingImage = 0;
inline constexpr int kWriteWritingData = 1;  // percent: of the whole image written
inline constexpr int kWriteCachingImage = 2;
inline constexpr int kWriteVerifyingData = 3;
inline constexpr int kWriteClosingTrack = 4;
inline constexpr int kWriteLeadIn = 5;
inline constexpr int kWriteLeadOut = 6;
inline constexpr int kWriteSynchronizing = 7;
inline constexpr int kWriteUpdatingVolume = 8;
inline constexpr int kWriteCompleted = 9;
inline constexpr int kWriteCancelled = 10;
inline constexpr int kWriteFailed = 11;
// Whether a WriteStatus state ends the write (exactly one of them closes every started write).
constexpr bool IsWriteEndState(int state) {
    return state >= kWriteCompleted && state <= kWriteFailed;
}

// FileVerified results.
inline constexpr int kVerifySourceUnreadable = 0;
inline constexpr int kVerifyDestinationUnreadable = 1;
inline constexpr int kVerifyContentMismatch = 2;
inline constexpr int kVerifyMatched = 3;
inline constexpr int kVerifyEmptyFile = 4;  // nothing to compare; counted as matched
inline constexpr int kVerifySizeMismatch = 5;

// EraseStatus states.
inline constexpr int kEraseStarted = 0;
inline constexpr int kEraseProgress = 1;
inline constexpr int kEraseCompleted = 2;
inline constexpr int kEraseFailed = 3;

// EngineError::errorKind codes; any other code is a write error.
inline constexpr int kErrorKindDevice = 1;
inline constexpr int kErrorKindOutputFile = 2;
inline constexpr int kErrorKindSourceFile = 3;
inline constexpr int kErrorKindWrite = 4;
inline constexpr int kErrorKindSystem = 5;

// The image path of the image's root folder; names below it are joined by this separator.
inline constexpr char kImageSeparator = '\\';
inline constexpr const char* kImageRoot = "\\";

// --- Plain data ------------------------------------------------------------------------------

// The disc in a drive, as found by the last RefreshMedia.
struct MediaInfo {
    int mediaType = kMediaNone;
    bool isWritable = false;
    bool isRewritable = false;
    bool operator==(const MediaInfo&) const = default;
};

struct DeviceError {
    int errorCode = 0;
    std::string textA;  // what failed
    std::string textB;  // the drive's own explanation
    std::string textC;  // the drive
    bool operator==(const DeviceError&) const = default;
};

struct FileError {
    int errorCode = 0;  // the system's error number where there is one
    std::string errorText;
    std::string filePath;
    bool operator==(const FileError&) const = default;
};

struct EngineError {
    int errorKind = kErrorKindWrite;
    std::string errorText;
    DeviceError deviceDetails;  // for kErrorKindDevice
    FileError fileDetails;      // for kErrorKindOutputFile and kErrorKindSourceFile
    int systemCode = 0;         // for kErrorKindSystem
    bool operator==(const EngineError&) const = default;
};

// A file or folder of the image, as events report it.
struct ImageItem {
    bool isFolder = false;
    std::string parentFolder;  // the image path of its folder; empty for the root
    std::chrono::system_clock::time_point fileDate;
    std::string sourcePath;  // the host file or folder it comes from; empty for made folders
    std::string imagePath;   // "\" for the root, "\name", "\folder\name" below it
    std::string itemName;
    std::string previousImagePath;  // ItemRenamed: the path before the rename
    double itemSize = 0;            // bytes; 0 for folders
    bool operator==(const ImageItem&) const = default;
};

// --- Events ----------------------------------------------------------------------------------

// Receives the engine's events on the owner's thread. Every event has an empty default, so a
// listener overrides only those it handles. A listener may remove itself (or add another) from
// inside an event; an engine reaches a removed listener no more.
class DiscEventListener {
  public:
    virtual ~DiscEventListener() = default;

    // Writing and verification.
    virtual void WriteStatus(int /*state*/, int /*percent*/) {}
    // A source file changed or cannot be read; true goes on with the write, false aborts it as
    // AbortWrite does. With several listeners, any false aborts.
    virtual bool FileWarning(const FileError& /*error*/) { return true; }
    virtual void TrackReading(int /*track*/, std::int64_t /*number*/, const std::string& /*text*/) {
    }
    virtual void ErrorRaised(const EngineError& /*error*/) {}
    virtual void VerifyStarted(int /*files*/) {}
    virtual void FileVerified(const ImageItem& /*item*/, int /*result*/, int /*position*/,
                              int /*total*/) {}
    virtual void VerifyFinished(int /*total*/, int /*matched*/) {}

    // Image composition.
    virtual void ItemAdded(const ImageItem& /*item*/) {}
    virtual void ItemRemoved(const ImageItem& /*item*/) {}
    virtual void ItemRenamed(const ImageItem& /*item*/) {}
    virtual void ItemListed(const ImageItem& /*item*/) {}
    // A file of the image is in the way of a new one; true replaces it. With several listeners,
    // any true replaces.
    virtual bool ReplaceQuery(const ImageItem& /*existing*/, const std::string& /*newSourcePath*/) {
        return false;
    }
    virtual void ImageCleared() {}

    // Erasing.
    virtual void EraseStatus(int /*state*/, int /*percent*/) {}
    virtual void DeviceErrorRaised(const DeviceError& /*error*/) {}
};

// Runs a task on the owner's thread, later (never inside the call). May be called from any
// thread; must keep the order of the tasks posted by one thread.
using EventPoster = std::function<void(std::function<void()> task)>;

// --- Objects ---------------------------------------------------------------------------------

// A drive. Owned by the engine; valid until the engine is destroyed or InitializeDevices runs
// again.
class DiscDevice {
  public:
    virtual ~DiscDevice() = default;

    virtual std::string DeviceName() const = 0;
    // Whether this engine can write with the drive at all; incompatible drives are listed but
    // should not be offered.
    virtual bool IsCompatible() const = 0;
    virtual bool HasCapability(int capability) const = 0;

    // Looks at the loaded disc again. `full` also reads what a write needs (free space, speeds);
    // without it the quick look may keep the earlier free-space figure.
    virtual void RefreshMedia(bool full) = 0;
    virtual MediaInfo LoadedMedia() const = 0;
    // Free 2048-byte blocks on the loaded disc; 0 without a writable disc. `refresh` asks the
    // drive afresh instead of answering from the last RefreshMedia.
    virtual std::int64_t FreeBlocks(bool refresh) = 0;

    // Write speeds of the drive with the loaded disc, fastest first; values for
    // DataProject::SetWriteSpeed (kilobytes per second).
    virtual int WriteSpeedCount() const = 0;
    virtual int WriteSpeedAt(int index) const = 0;
    // A speed value as a multiple of the loaded disc's (or the drive's) single speed.
    virtual double SpeedFactor(int speed) const = 0;

    // Tray commands; false when the drive refused or has no tray.
    virtual bool EjectTray() = 0;
    virtual bool CloseTray() = 0;

    // The value EraseDisc needs for this drive and disc.
    virtual std::uint32_t EraseValue() const = 0;
    // Starts blanking a rewritable disc: quickly (the table of contents) or fully. True once
    // started; the rest arrives as EraseStatus (and DeviceErrorRaised) events.
    virtual bool EraseDisc(bool quick, std::uint32_t eraseValue) = 0;

    // The image-file device: the drive that writes the image into a file the user names.
    virtual bool IsImageFile() const { return false; }
    // The file a write of the image-file device goes to; false for other drives. Set before
    // WriteImage; the file is replaced only by a complete image.
    virtual bool SetImageFilePath(const std::string& /*path*/) { return false; }
    virtual std::string ImageFilePath() const { return {}; }
};

// Which setting of the data project was set, in the order the setters were called (a fake
// engine records them).
enum class ProjectSetting {
    kFileSystemType,
    kWriteSpeed,
    kWriteMethod,
    kUseFileDates,
    kMode2XA,
    kTestWrite,
    kFinalizeDisc,
    kBufferProtection,
    kCacheImage,
    kAutoVerify,
    kSettingAtLoad,
    kSettingAtWrite,
    kVolumeIdentifier,
};

// The settings of a data project and their start values.
struct ProjectSettings {
    int fileSystemType = kFileSystemIsoJolietUdf;
    int writeSpeed = kWriteSpeedMaximum;
    int writeMethod = kWriteMethodTrackAtOnce;
    bool useFileDates = true;
    bool mode2XA = false;
    bool testWrite = false;
    bool finalizeDisc = false;
    bool bufferProtection = false;
    bool cacheImage = false;
    bool autoVerify = false;
    int settingAtLoad = 1;
    int settingAtWrite = 1;
    std::string volumeIdentifier = "New Disc";
};

class ImageFileSystem;

// The disc being prepared: its settings and its image. Owned by the engine.
class DataProject {
  public:
    virtual ~DataProject() = default;

    void SetFileSystemType(int code) {
        set(&ProjectSettings::fileSystemType, code, ProjectSetting::kFileSystemType);
    }
    void SetWriteSpeed(int speed) {
        set(&ProjectSettings::writeSpeed, speed, ProjectSetting::kWriteSpeed);
    }
    void SetWriteMethod(int method) {
        set(&ProjectSettings::writeMethod, method, ProjectSetting::kWriteMethod);
    }
    void SetUseFileDates(bool on) {
        set(&ProjectSettings::useFileDates, on, ProjectSetting::kUseFileDates);
    }
    void SetMode2XA(bool on) { set(&ProjectSettings::mode2XA, on, ProjectSetting::kMode2XA); }
    void SetTestWrite(bool on) { set(&ProjectSettings::testWrite, on, ProjectSetting::kTestWrite); }
    void SetFinalizeDisc(bool on) {
        set(&ProjectSettings::finalizeDisc, on, ProjectSetting::kFinalizeDisc);
    }
    void SetBufferProtection(bool on) {
        set(&ProjectSettings::bufferProtection, on, ProjectSetting::kBufferProtection);
    }
    void SetCacheImage(bool on) {
        set(&ProjectSettings::cacheImage, on, ProjectSetting::kCacheImage);
    }
    void SetAutoVerify(bool on) {
        set(&ProjectSettings::autoVerify, on, ProjectSetting::kAutoVerify);
    }
    void SetSettingAtLoad(int value) {
        set(&ProjectSettings::settingAtLoad, value, ProjectSetting::kSettingAtLoad);
    }
    void SetSettingAtWrite(int value) {
        set(&ProjectSettings::settingAtWrite, value, ProjectSetting::kSettingAtWrite);
    }
    void SetVolumeIdentifier(const std::string& text) {
        set(&ProjectSettings::volumeIdentifier, text, ProjectSetting::kVolumeIdentifier);
    }

    int FileSystemType() const { return m_settings.fileSystemType; }
    int WriteSpeed() const { return m_settings.writeSpeed; }
    int WriteMethod() const { return m_settings.writeMethod; }
    bool AutoVerify() const { return m_settings.autoVerify; }
    const std::string& VolumeIdentifier() const { return m_settings.volumeIdentifier; }
    const ProjectSettings& settings() const { return m_settings; }

    virtual ImageFileSystem& FileSystem() = 0;
    // Bytes per block of the image (2048).
    virtual int BlockSize() const = 0;
    // Bytes the image takes with the current items and settings.
    virtual double ImageSize() = 0;

    // Starts writing the image (and verifying it when AutoVerify is set) to the disc in `device`.
    // True once started; then WriteStatus events follow and exactly one end state (completed,
    // cancelled, failed) closes the write. False when it cannot start (another write or erase
    // runs, no device, an image-file device without a file); nothing is raised then.
    virtual bool WriteImage(DiscDevice& device) = 0;
    // Asks a running write (or its verification) to stop; it ends with WriteStatus cancelled.
    // Nothing happens when no write runs.
    virtual void AbortWrite() = 0;

  protected:
    // Called after each setter, for engines that record or react to settings.
    virtual void settingChanged(ProjectSetting) {}

  private:
    template <typename T, typename V>
    void set(T ProjectSettings::*member, V value, ProjectSetting which) {
        m_settings.*member = std::move(value);
        settingChanged(which);
    }

    ProjectSettings m_settings;
};

// The tree of files and folders of the image. Image paths are as in ImageItem; source paths are
// host paths. Every change is reported by item events during the call.
class ImageFileSystem {
  public:
    virtual ~ImageFileSystem() = default;

    // Adds the host file `source` as `imagePath`, making the folders on the way. A file already
    // there raises ReplaceQuery and is replaced only when a listener agrees (false otherwise).
    // False when the source is not a readable regular file or the path is not valid.
    virtual bool AddFile(const std::string& source, const std::string& imagePath) = 0;
    // Adds the host folder's whole tree as `imagePath`. `sourcePattern` is the folder's path,
    // optionally followed by "\*.*" (or "/*.*"). ItemAdded for every folder and file added.
    virtual bool AddFolder(const std::string& sourcePattern, const std::string& imagePath) = 0;
    // Removes a file, or a folder with everything in it; false when there is no such item or it
    // is the root.
    virtual bool RemoveItem(const std::string& imagePath) = 0;
    // Renames within the same folder; false when the item is missing, is not of that kind, the
    // new name is empty, holds a separator or is taken.
    virtual bool RenameFile(const std::string& imagePath, const std::string& newName) = 0;
    virtual bool RenameFolder(const std::string& imagePath, const std::string& newName) = 0;
    // One ItemListed per entry of the folder, folders first, each group by name.
    virtual void ListFolder(const std::string& imagePath) = 0;
    // Empties the image and raises ImageCleared.
    virtual void ClearImage() = 0;
    virtual int FileCount() const = 0;
    virtual int FolderCount() const = 0;  // the root not counted
};

// The engine: its drives, its one data project and the delivery of its events.
class DiscEngine {
  public:
    virtual ~DiscEngine() = default;

    // Finds the drives. `rescan` looks again when the drives were found before. False when the
    // engine cannot work at all; a machine without drives still has the image-file device.
    virtual bool InitializeDevices(bool rescan) = 0;
    virtual int DeviceCount() const = 0;
    // The drive at `index` (from 0); nullptr out of range.
    virtual DiscDevice* DeviceAt(int index) = 0;
    virtual DataProject& Project() = 0;

    // Listeners are not owned; remove one before destroying it.
    virtual void addListener(DiscEventListener* listener) = 0;
    virtual void removeListener(DiscEventListener* listener) = 0;
    // Where the engine's threads hand their events; unset, they queue for pumpEvents(). Set it
    // before the first write or erase.
    virtual void setEventPoster(EventPoster poster) = 0;
    // Without an event poster: waits up to `wait` for a queued event, then delivers every queued
    // event to the listeners on the calling thread, in order. Returns how many it delivered.
    virtual int pumpEvents(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) = 0;
    // Whether a write, verification or erase is running (its end event not yet delivered).
    virtual bool isBusy() const = 0;
};

}  // namespace quillet::disc
