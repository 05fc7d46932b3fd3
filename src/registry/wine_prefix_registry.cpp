#include "registry/wine_prefix_registry.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/atomic_file.h"
#include "registry/wine_registry_file.h"

namespace quillet::registry {
namespace {

// What tells us that a file was replaced or rewritten since we read it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

bool StampOf(const std::filesystem::path& file, FileStamp* stamp) {
    struct stat info;
    if (::stat(file.c_str(), &info) != 0) return false;
    *stamp = FileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim};
    return true;
}

struct LoadedFile {
    std::filesystem::path path;
    std::unique_ptr<Hive> hive;
    FileStamp stamp;
};

class WineHiveBackend : public HiveBackend {
  public:
    WineHiveBackend(std::filesystem::path prefix, const WineServerProbe& serverProbe,
                    PrefixLock& prefixLock, TickClock clock)
        : m_prefix(std::move(prefix)),
          m_serverProbe(serverProbe),
          m_prefixLock(prefixLock),
          m_clock(std::move(clock)) {
        m_files[0].path = m_prefix / "user.reg";
        m_files[1].path = m_prefix / "system.reg";
    }

    Hive* hive(HKey root, std::string* reason) override {
        LoadedFile* file = fileOf(root);
        if (file == nullptr) {
            *reason = "this registry root holds no keys in a Wine prefix";
            return nullptr;
        }
        if (!file->hive) {
            Status status = load(*file);
            if (!status) {
                *reason = status.reason();
                return nullptr;
            }
        }
        return file->hive.get();
    }

    Status commit() override {
        if (!hasChanges()) return Status::Ok();
        Status status = writeChanged();
        if (!status) discard();
        return status;
    }

    void discard() override {
        for (LoadedFile& file : m_files) file.hive.reset();
    }

    bool hasChanges() const override {
        for (const LoadedFile& file : m_files) {
            if (file.hive && file.hive->changed) return true;
        }
        return false;
    }

  private:
    LoadedFile* fileOf(HKey root) {
        if (root == kHkeyCurrentUser) return &m_files[0];
        if (root == kHkeyLocalMachine) return &m_files[1];
        return nullptr;
    }

    Status load(LoadedFile& file) {
        FileStamp before;
        if (!StampOf(file.path, &before)) {
            return Status::Error("cannot read " + file.path.string() + ": " + std::strerror(errno));
        }
        // Read in one piece into a buffer of the file's size, so that it is held once.
        std::string text(static_cast<std::size_t>(before.size), '\0');
        std::ifstream in(file.path, std::ios::binary);
        if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
            return Status::Error("cannot read " + file.path.string());
        }
        auto parsed = ParseWineRegistry(text);
        if (!parsed) return Status::Error(file.path.string() + ": " + parsed.reason());
        file.hive = std::move(parsed.value());
        file.stamp = before;
        return Status::Ok();
    }

    Status writeChanged() {
        Status refusal = RefuseWhileWineRuns(m_serverProbe, m_prefix);
        if (!refusal) return Status::Error(refusal.reason() + " Nothing was written.");
        auto guard = m_prefixLock.hold();
        if (!guard) return guard.status();
        for (LoadedFile& file : m_files) {
            if (!file.hive || !file.hive->changed) continue;
            FileStamp now;
            if (!StampOf(file.path, &now) || !(now == file.stamp)) {
                return Status::Error(file.path.string() +
                                     " was changed by another program since Quillet read it; "
                                     "nothing was written. Run the operation again.");
            }
            RemoveStaleTemporaries(file.path.parent_path(), file.path.filename().string());
            const std::string text = SerializeWineRegistry(*file.hive, m_clock());
            Status written = ReplaceFileAtomically(file.path, text);
            if (!written) return written;
            if (!StampOf(file.path, &file.stamp)) {
                return Status::Error("cannot read " + file.path.string() + " after writing it");
            }
        }
        return Status::Ok();
    }

    std::filesystem::path m_prefix;
    const WineServerProbe& m_serverProbe;
    PrefixLock& m_prefixLock;
    TickClock m_clock;
    LoadedFile m_files[2];
};

}  // namespace

WinePrefixRegistry::WinePrefixRegistry(std::filesystem::path prefix,
                                       const WineServerProbe& serverProbe, PrefixLock& prefixLock,
                                       TickClock clock)
    : HiveRegistryStore(std::make_unique<WineHiveBackend>(std::move(prefix), serverProbe,
                                                          prefixLock, std::move(clock))) {}

}  // namespace quillet::registry
