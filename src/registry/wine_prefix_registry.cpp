#include "registry/wine_prefix_registry.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/durable_file.h"
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

constexpr std::size_t kRegistryFiles = 2;  // user.reg and system.reg

struct LoadedFile {
    std::filesystem::path path;
    std::unique_ptr<KeyTree> tree;
    FileStamp stamp;
};

class WineFileBackend : public KeyTreeBackend {
  public:
    WineFileBackend(std::filesystem::path prefix, const WineServerProbe& serverProbe,
                    PrefixLock& prefixLock, TickClock clock, FileOperations& files)
        : m_prefix(std::move(prefix)),
          m_serverProbe(serverProbe),
          m_prefixLock(prefixLock),
          m_clock(std::move(clock)),
          m_fileOps(files) {
        m_files[0].path = m_prefix / "user.reg";
        m_files[1].path = m_prefix / "system.reg";
    }

    KeyTree* tree(HKey root, std::string* reason) override {
        LoadedFile* file = fileOf(root);
        if (file == nullptr) {
            *reason = "this registry root holds no keys in a Wine prefix";
            return nullptr;
        }
        if (!file->tree) {
            Status status = load(*file);
            if (!status) {
                *reason = status.reason();
                return nullptr;
            }
        }
        return file->tree.get();
    }

    Status commit() override {
        if (!hasChanges()) return Status::Ok();
        return writeChanged();
    }

    void discard() override {
        for (LoadedFile& file : m_files) file.tree.reset();
    }

    bool hasChanges() const override {
        for (const LoadedFile& file : m_files) {
            if (file.tree && file.tree->changed) return true;
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
        file.tree = std::move(parsed.value());
        file.stamp = before;
        return Status::Ok();
    }

    // See WinePrefixRegistry for what a failure leaves behind.
    Status writeChanged() {
        Status refusal = RefuseWhileWineRuns(m_serverProbe, m_prefix);
        if (!refusal) return nothingWritten(refusal.reason() + " Nothing was written.");
        auto guard = m_prefixLock.hold();
        if (!guard) return nothingWritten(guard.reason());
        std::vector<LoadedFile*> changed;
        for (LoadedFile& file : m_files) {
            if (!file.tree || !file.tree->changed) continue;
            FileStamp now;
            if (!StampOf(file.path, &now) || !(now == file.stamp)) {
                return nothingWritten(file.path.string() +
                                      " was changed by another program since Quillet read it; "
                                      "nothing was written. Run the operation again.");
            }
            changed.push_back(&file);
        }

        // Every new file is written and flushed beside its target before any is renamed, so that
        // a full disk or a failed write changes neither file.
        std::optional<FileReplacement> replacements[kRegistryFiles];
        for (std::size_t i = 0; i < changed.size(); ++i) {
            FileReplacement& replacement = replacements[i].emplace(changed[i]->path, m_fileOps);
            Status written = replacement.begin();
            if (written) {
                written = replacement.write(SerializeWineRegistry(*changed[i]->tree, m_clock()));
            }
            if (written) written = replacement.flush();
            if (!written) return nothingWritten(written.reason() + "; nothing was written.");
        }
        for (std::size_t i = 0; i < changed.size(); ++i) {
            LoadedFile& file = *changed[i];
            Status replaced = replacements[i]->commit();
            if (replacements[i]->replaced() && !StampOf(file.path, &file.stamp) && replaced) {
                replaced = Status::Error("cannot read " + file.path.string() + " after writing it");
            }
            if (!replaced) return failedPartWay(replaced.reason(), changed, replacements);
        }
        return Status::Ok();
    }

    // A failure before any file was replaced: every change is dropped, to be read again.
    Status nothingWritten(const std::string& reason) {
        discard();
        return Status::Error(reason);
    }

    // A failure while renaming the new files over the old ones, one after the other: those
    // replaced hold their new content, now committed; the others keep their changes in memory
    // for the next commit.
    Status failedPartWay(const std::string& reason, const std::vector<LoadedFile*>& changed,
                         const std::optional<FileReplacement> (&replacements)[kRegistryFiles]) {
        std::string written, notWritten;
        for (std::size_t i = 0; i < changed.size(); ++i) {
            const bool replaced = replacements[i]->replaced();
            // Serializing made the tree count as unchanged, holding the new text as read: marked
            // changed again, it writes that text at the next commit.
            if (!replaced) changed[i]->tree->changed = true;
            std::string& list = replaced ? written : notWritten;
            list += (list.empty() ? "" : " and ") + changed[i]->path.string();
        }
        if (written.empty()) return nothingWritten(reason + "; nothing was written.");
        // Everything was replaced: the reason says what failed after that.
        if (notWritten.empty()) return Status::Error(reason);
        return Status::Error(reason + ". " + written + " was written, " + notWritten + " was not.");
    }

    std::filesystem::path m_prefix;
    const WineServerProbe& m_serverProbe;
    PrefixLock& m_prefixLock;
    TickClock m_clock;
    FileOperations& m_fileOps;
    LoadedFile m_files[kRegistryFiles];
};

}  // namespace

WinePrefixRegistry::WinePrefixRegistry(std::filesystem::path prefix,
                                       const WineServerProbe& serverProbe, PrefixLock& prefixLock,
                                       TickClock clock, FileOperations& files)
    : TreeRegistryStore(std::make_unique<WineFileBackend>(std::move(prefix), serverProbe,
                                                          prefixLock, std::move(clock), files)) {}

}  // namespace quillet::registry
