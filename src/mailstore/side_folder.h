#pragma once

#include <filesystem>
#include <string_view>

#include "platform/file_operations.h"
#include "platform/signal_cleanup.h"
#include "platform/status.h"

namespace quillet::mailstore {

// The temporary folders that folder outputs (.eml, Maildir) write beside their targets, and how
// they are put in place. Every file-system call goes through the FileOperations given.

// "<what> <path>: <system's reason>", with the kind of the error (a full disk, access denied...).
Status OutputFailure(std::string_view what, const std::filesystem::path& path, int error);

// The process id in the name of a side folder (".<name>.quillet-<process id>-<number>", or
// "-old<number>" for what a commit set aside); 0 for any other name.
pid_t OwnerOfSideFolder(std::string_view name);

// Removes, in one listing of `folder`, the side folders that runs which no longer run left there
// (a killed export, a stopped machine), for every target in it at once.
void RemoveDeadRunsSideFolders(const std::filesystem::path& folder, FileOperations& files);

// Removes the side folders of dead runs beside `target` (unless `folderSwept` says that the
// caller has swept its folder already), then creates an empty folder beside it under a name no
// other run uses: ".<name>.quillet-<process id>-<number>".
Result<std::filesystem::path> MakeSideFolder(const std::filesystem::path& target,
                                             FileOperations& files, bool folderSwept = false);

// Puts `temporary` (a folder) in place of `target`, replacing the folder or file there: the two
// swap in one step where the file system can, so that the target is never missing. Afterwards
// `temporary` names what was replaced, to be removed by the caller, or is empty when nothing was.
Status PutInPlace(std::filesystem::path& temporary, const std::filesystem::path& target,
                  FileOperations& files);

// Removes `path` (what a commit replaced) with what it holds; nothing when it is empty. What
// cannot be removed harms nothing but space, and its name tells what it was.
void RemoveRemnant(const std::filesystem::path& path, FileOperations& files);

// The temporary folder of one folder output: made by MakeSideFolder, listed for removal on a
// signal, and removed with what it holds when destroyed before keep(). One thread.
class SideFolder {
  public:
    explicit SideFolder(FileOperations& files) : m_files(files) {}
    ~SideFolder();
    SideFolder(const SideFolder&) = delete;
    SideFolder& operator=(const SideFolder&) = delete;

    // Makes the folder beside `target` (see MakeSideFolder).
    Status make(const std::filesystem::path& target, bool folderSwept);
    const std::filesystem::path& path() const { return m_path; }
    // Flushes the file system that holds the folder: one flush for every file in it, rather
    // than one per file.
    Status flush() const;
    // The folder has been put in place (or removed by its owner): it is no longer removed, on a
    // signal or when this is destroyed.
    void keep();

  private:
    FileOperations& m_files;
    std::filesystem::path m_path;
    SignalCleanupEntry m_cleanup;
    bool m_kept = false;
};

}  // namespace quillet::mailstore
