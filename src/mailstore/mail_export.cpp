#include "mailstore/mail_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "mailstore/export_folders.h"
#include "mailstore/folder_output.h"
#include "mailstore/imap_utf7.h"
#include "mailstore/mail_folder_plan.h"
#include "mailstore/store_damage.h"
#include "platform/case_fold.h"
#include "platform/durable_file.h"

namespace quillet::mailstore {

namespace {

constexpr std::string_view kSubfolderSuffix = ".sbd";  // Thunderbird's folder of subfolders
// A Maildir++ folder's name is its whole path, one level after the other after a ".": so long a
// name leaves no room in a file name's 255 bytes for the temporaries beside it.
constexpr std::size_t kMaildirNameLimit = 200;
constexpr char kMaildirSeparator = '.';
// The name of the Inbox as the parent of Maildir++ folders: IMAP's name for it.
constexpr std::string_view kMaildirInbox = "INBOX";
// The folders of one maildir; the root maildir's cur/ stands for the Inbox (it is put in place
// last).
constexpr std::array<std::string_view, 3> kMaildirFolders = {"cur", "new", "tmp"};
constexpr std::string_view kCancelled = "The export was cancelled";

// One message store to export and where it goes.
struct StorePlan {
    std::string fileName;
    std::uint64_t size = 0;
    std::vector<std::string> path;   // safe and unique names from the top
    std::filesystem::path relative;  // below the output folder
    std::filesystem::path target;
    bool keep = false;         // complete from an earlier export that stopped: left as it is
    bool maildirRoot = false;  // the Inbox of a Maildir export: the output folder's own maildir
};

// A plan's line in kIncompleteExportFile.
std::string CompleteLine(const StorePlan& plan) {
    return plan.relative.string() + "\t" + plan.fileName + "\t" + std::to_string(plan.size);
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string RecoveredNote(const std::string& store, const MessageEntry& message) {
    if (message.origin == MessageEntry::Origin::kDeletedChain) {
        return store + ": recovered a deleted message at offset " + Hex(message.firstChunk) +
               " (the first 4 bytes of each of its chunks are lost)";
    }
    return store + ": recovered a message at offset " + Hex(message.firstChunk) +
           " that the store's index no longer reaches";
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           EqualsIgnoringCase(text.substr(text.size() - end.size()), end);
}

// Everything one export keeps track of.
class Export {
  public:
    Export(MailSource& source, const ExportOptions& options, MailProgress* progress)
        : m_source(source),
          m_options(options),
          m_progress(progress),
          m_maildir(options.format == ExportFormat::kMaildir) {}

    ~Export() {
        if (m_succeeded) return;
        // The folders this export made that stayed empty when it stopped, and the empty mbox
        // files beside those of them that went.
        auto removeEmptyFolders = [this] {
            for (auto folder = m_createdFolders.rbegin(); folder != m_createdFolders.rend();
                 ++folder) {
                ::rmdir(folder->c_str());
            }
        };
        removeEmptyFolders();
        struct stat info;
        for (const auto& [file, subfolders] : m_placeholders) {
            if (::lstat(subfolders.c_str(), &info) != 0) ::unlink(file.c_str());
        }
        removeEmptyFolders();
    }

    Result<ExportSummary> run();

  private:
    Result<std::vector<StorePlan>> plan();
    std::string wanted(std::string name) const;
    // Where `folder` goes below the output folder; `inbox` is the Maildir's Inbox once found
    // (the first PlannedFolder::inbox, which becomes the output folder's own maildir).
    std::filesystem::path relativeOf(const PlannedFolder& folder,
                                     std::optional<std::string>& inbox) const;
    Status makeFolders(const std::filesystem::path& folder);
    Status addParentMbox(int parent, const std::string& name,
                         const std::filesystem::path& subfolders);
    Status checkTargets(std::vector<StorePlan>& plans);
    // What the store's folder puts in place, below the output folder: its target, or a root
    // maildir's three folders.
    std::vector<std::filesystem::path> targetsOf(const StorePlan& store) const;
    std::set<std::string> readCompleteLines() const;
    Status writeCompleteLines() const;
    Status exportStore(const StorePlan& store, std::size_t position, std::size_t count);
    Status exportMessages(const StorePlan& store, MessageStore& messages, FolderOutput& output);
    void reportBytes(std::uint64_t inStore, std::uint64_t storeSize);

    MailSource& m_source;
    const ExportOptions& m_options;
    MailProgress* m_progress;
    bool m_maildir;
    ExportSummary m_summary;
    ExportFolders m_folders;
    std::vector<std::filesystem::path> m_createdFolders;
    // Empty mbox files of parents, each with the folder of subfolders it stands beside.
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> m_placeholders;
    std::vector<std::string> m_completeLines;
    std::uint64_t m_bytesTotal = 0;
    std::uint64_t m_bytesDone = 0;  // the sizes of the stores finished
    bool m_succeeded = false;
};

std::string Export::wanted(std::string name) const {
    // A folder's subfolders sit beside its message files in the .eml layout.
    if (m_options.format == ExportFormat::kEml && EndsWithIgnoringCase(name, kEmlExtension)) {
        name += "_";
    }
    // "." separates the levels of a Maildir++ folder's name.
    if (m_maildir) std::replace(name.begin(), name.end(), kMaildirSeparator, '_');
    return name;
}

std::filesystem::path Export::relativeOf(const PlannedFolder& folder,
                                         std::optional<std::string>& inbox) const {
    const std::vector<std::string>& path = folder.path;
    if (m_maildir) {
        if (!inbox && folder.inbox) {
            inbox = path.front();
            return std::filesystem::path(kMaildirFolders.front());
        }
        std::string name;
        for (std::size_t i = 0; i < path.size(); ++i) {
            const bool inboxParent = i == 0 && path.size() > 1 && inbox && path[0] == *inbox;
            name += kMaildirSeparator;
            name += inboxParent ? std::string(kMaildirInbox) : ToImapUtf7(path[i]);
        }
        return std::filesystem::path(name);
    }
    std::filesystem::path relative;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        relative /= m_options.format == ExportFormat::kMbox
                        ? path[i] + std::string(kSubfolderSuffix)
                        : path[i];
    }
    return relative / path.back();
}

Result<std::vector<StorePlan>> Export::plan() {
    FolderPlanOptions options;
    options.mode = m_options.mode;
    if (m_options.format == ExportFormat::kMbox) options.subfolderSuffix = kSubfolderSuffix;
    options.wanted = [this](std::string name) { return wanted(std::move(name)); };
    // Asked in the plan's order, so the Maildir's Inbox is known before its subfolders.
    std::optional<std::string> inboxSoFar;
    options.misfit = [&](const PlannedFolder& folder) -> std::string {
        const std::filesystem::path relative = relativeOf(folder, inboxSoFar);
        if (relative.native().size() <= kFolderPathLimit &&
            (!m_maildir || relative.native().size() <= kMaildirNameLimit)) {
            return {};
        }
        return folder.fileName + ": its folder's path below the output folder would pass " +
               std::to_string(kFolderPathLimit) + " bytes";
    };
    auto folders = PlanMailFolders(m_source, options);
    if (!folders) return folders.status();
    m_summary.notes = std::move(folders->notes);
    m_summary.storesLeftOut = std::move(folders->storesLeftOut);
    std::vector<StorePlan> plans;
    std::optional<std::string> inbox;
    for (PlannedFolder& folder : folders->folders) {
        StorePlan plan{folder.fileName, folder.size, {}, {}, {}};
        plan.relative = relativeOf(folder, inbox);
        plan.maildirRoot = m_maildir && plan.relative == kMaildirFolders.front();
        plan.path = std::move(folder.path);
        plan.target = m_options.outFolder / plan.relative;
        m_bytesTotal += plan.size;
        plans.push_back(std::move(plan));
    }
    return plans;
}

// The output folder itself, reached as the user named it.
Status Export::makeFolders(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> missing;
    struct stat info;
    for (std::filesystem::path at = folder; !at.empty() && ::stat(at.c_str(), &info) != 0;
         at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        if (::mkdir(at->c_str(), 0777) != 0 && errno != EEXIST) {
            return Status::Error("Cannot create " + at->string() + ": " + std::strerror(errno),
                                 errno == ENOSPC ? ErrorKind::kDiskFull : ErrorKind::kIo);
        }
        m_createdFolders.push_back(*at);
    }
    return Status::Ok();
}

// Thunderbird finds a folder's subfolders in "<name>.sbd" only beside a mbox file "<name>", so a
// folder that has subfolders but no messages of its own (no store) gets an empty one. `name` is
// the new folder's in the folder of `parent`.
Status Export::addParentMbox(int parent, const std::string& name,
                             const std::filesystem::path& subfolders) {
    m_createdFolders.push_back(subfolders);
    if (m_options.format != ExportFormat::kMbox || !name.ends_with(kSubfolderSuffix)) {
        return Status::Ok();
    }
    const std::string mboxName = name.substr(0, name.size() - kSubfolderSuffix.size());
    const std::filesystem::path mbox = subfolders.parent_path() / mboxName;
    const int descriptor = ::openat(parent, mboxName.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        if (errno == EEXIST) return Status::Ok();
        return Status::Error("Cannot create " + mbox.string() + ": " + std::strerror(errno),
                             errno == ENOSPC ? ErrorKind::kDiskFull : ErrorKind::kIo);
    }
    ::close(descriptor);
    m_placeholders.emplace_back(mbox, subfolders);
    return Status::Ok();
}

void Export::reportBytes(std::uint64_t inStore, std::uint64_t storeSize) {
    if (m_progress != nullptr) {
        m_progress->bytesDone(m_bytesDone + std::min(inStore, storeSize), m_bytesTotal);
    }
}

Status Export::exportMessages(const StorePlan& store, MessageStore& messages,
                              FolderOutput& output) {
    std::uint64_t withoutBody = 0;
    std::uint64_t inStore = 0;
    for (std::size_t position = 0; position < messages.messages().size(); ++position) {
        if (m_progress != nullptr && m_progress->cancelRequested()) {
            return Status::Error(std::string(kCancelled), ErrorKind::kCancelled);
        }
        const MessageEntry& message = messages.messages()[position];
        if (message.firstChunk == 0) {
            ++withoutBody;
            continue;
        }
        if (Status s = output.startMessage(position, message); !s) return s;
        std::uint64_t given = 0;
        Status written = Status::Ok();
        Status read = messages.readMessage(message, [&](std::span<const std::byte> piece) {
            given += piece.size();
            written = output.write(piece);
            return written;
        });
        if (!written) return written;
        if (!read) {
            // The reader checks a message's whole chain before it hands over a byte, so a
            // damaged message left nothing in the output to take back.
            if (m_options.mode == ReadMode::kStrict || !read.is(ErrorKind::kCorrupt) || given > 0) {
                return read;
            }
            ++m_summary.skipped;
            m_summary.notes.push_back(read.reason() + " (message " + std::to_string(message.index) +
                                      " left out)");
            continue;
        }
        if (Status s = output.finishMessage(); !s) return s;
        ++m_summary.messages;
        m_summary.bytes += given;
        inStore += given;
        if (message.origin != MessageEntry::Origin::kIndex) {
            ++m_summary.recovered;
            m_summary.notes.push_back(RecoveredNote(store.fileName, message));
        }
        reportBytes(inStore, store.size);
    }
    if (withoutBody > 0) {
        m_summary.notes.push_back(store.fileName + ": " + std::to_string(withoutBody) +
                                  " messages were never downloaded and have no body to export");
    }
    return Status::Ok();
}

Status Export::exportStore(const StorePlan& store, std::size_t position, std::size_t count) {
    if (m_progress != nullptr) m_progress->storeStarted(store.fileName, position, count);
    auto bytes = m_source.openStore(store.fileName);
    if (!bytes) return bytes.status();

    auto messages = MessageStore::Open(**bytes, m_options.mode, m_source.origin().codePage);
    if (!messages) {
        if (m_options.mode == ReadMode::kStrict || !messages.status().is(ErrorKind::kCorrupt)) {
            return messages.status();
        }
        m_summary.storesLeftOut.push_back(store.fileName);
        m_summary.notes.push_back(messages.reason() + " (store left out)");
        return Status::Ok();
    }
    // A warning names its store itself.
    for (const std::string& warning : (*messages)->warnings()) m_summary.notes.push_back(warning);
    // The damage readMessage finds is told with the message it leaves out.
    for (const StoreDamage& damage : (*messages)->damages()) {
        m_summary.notes.push_back(DamageNote(store.fileName, damage));
    }

    auto folder = m_folders.openFolder(
        store.relative.parent_path(),
        [this](int parent, const std::string& name, const std::filesystem::path& made) {
            return addParentMbox(parent, name, made);
        });
    if (!folder) return folder.status();
    // The output replaces what is at the target by name, never through a link.
    Status link = Status::Ok();
    for (const std::filesystem::path& relative : targetsOf(store)) {
        if (link) {
            link = ExportFolders::RefuseLink(*folder, relative.filename().string(),
                                             m_options.outFolder / relative);
        }
    }
    ::close(*folder);
    if (!link) return link;
    std::unique_ptr<FolderOutput> output;
    switch (m_options.format) {
        case ExportFormat::kMbox:
            output = MakeMboxOutput(store.target, !m_options.keepBytes);
            break;
        case ExportFormat::kEml:
            output = MakeEmlOutput(store.target, (*messages)->messages().size());
            break;
        case ExportFormat::kMaildir:
            output = store.maildirRoot ? MakeMaildirOutput(m_options.outFolder, true)
                                       : MakeMaildirOutput(store.target, false);
            break;
    }
    if (Status s = output->begin(); !s) return s;
    if (Status s = exportMessages(store, **messages, *output); !s) return s;
    if (Status s = output->commit(); !s) return s;
    ++m_summary.folders;
    m_summary.complete.push_back(store.relative);
    m_completeLines.push_back(CompleteLine(store));
    return Status::Ok();
}

// Refuses links in the way of every target, and targets already there (without force) but those
// that an earlier stopped export completed, which are kept. Changes nothing.
Status Export::checkTargets(std::vector<StorePlan>& plans) {
    struct stat info;
    if (::stat(m_options.outFolder.c_str(), &info) != 0) return Status::Ok();
    ExportFolders existing;
    if (Status s = existing.open(m_options.outFolder); !s) return s;
    const std::set<std::string> completed = readCompleteLines();
    for (StorePlan& store : plans) {
        std::optional<std::filesystem::path> there;
        for (const std::filesystem::path& relative : targetsOf(store)) {
            bool exists = false;
            if (Status way = existing.checkWay(relative, &exists); !way) return way;
            if (exists && !there) there = m_options.outFolder / relative;
        }
        if (!there || m_options.force) continue;
        if (!completed.contains(CompleteLine(store))) {
            return Status::Error(there->string() + " already exists", ErrorKind::kInUse);
        }
        store.keep = true;
    }
    return Status::Ok();
}

std::vector<std::filesystem::path> Export::targetsOf(const StorePlan& store) const {
    if (!store.maildirRoot) return {store.relative};
    return {kMaildirFolders.begin(), kMaildirFolders.end()};
}

std::set<std::string> Export::readCompleteLines() const {
    // The list is the export's own: one a user made longer than this is no list of ours.
    constexpr std::size_t kMostBytes = 1 << 20;
    std::set<std::string> lines;
    const std::filesystem::path file = m_options.outFolder / kIncompleteExportFile;
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return lines;
    std::string text(kMostBytes + 1, '\0');
    std::size_t filled = 0;
    bool failed = false;
    while (filled < text.size()) {
        const ssize_t got = ::read(descriptor, text.data() + filled, text.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        failed = got < 0;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(descriptor);
    if (failed || filled > kMostBytes) return lines;
    text.resize(filled);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

Status Export::writeCompleteLines() const {
    std::string text;
    for (const std::string& line : m_completeLines) text += line + "\n";
    const std::string temporary = std::string(kIncompleteExportFile) + ".new";
    const int out = m_folders.descriptor();
    ::unlinkat(out, temporary.c_str(), 0);
    const int descriptor = ::openat(out, temporary.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    const std::filesystem::path file = m_options.outFolder / kIncompleteExportFile;
    if (descriptor < 0) {
        return Status::Error("Cannot write " + file.string() + ": " + std::strerror(errno));
    }
    Status written = WriteAllToFd(descriptor, text);
    if (written && ::fsync(descriptor) != 0) written = Status::Error(std::strerror(errno));
    ::close(descriptor);
    if (written && ::renameat(out, temporary.c_str(), out, file.filename().c_str()) != 0) {
        written = Status::Error(std::strerror(errno));
    }
    if (!written) {
        ::unlinkat(out, temporary.c_str(), 0);
        return Status::Error("Cannot write " + file.string() + ": " + written.reason(),
                             written.kind());
    }
    return Status::Ok();
}

Result<ExportSummary> Export::run() {
    auto plans = plan();
    if (!plans) return plans.status();
    if (Status s = checkTargets(*plans); !s) return s;
    if (Status s = makeFolders(m_options.outFolder); !s) return s;
    if (Status s = m_folders.open(m_options.outFolder); !s) return s;
    for (std::size_t i = 0; i < plans->size(); ++i) {
        const StorePlan& store = (*plans)[i];
        Status exported = Status::Ok();
        if (store.keep) {
            m_summary.complete.push_back(store.relative);
            m_completeLines.push_back(CompleteLine(store));
            m_summary.notes.push_back(store.target.string() +
                                      ": kept as an earlier export that stopped completed it");
        } else {
            exported = exportStore(store, i, plans->size());
        }
        if (!exported) {
            // What is complete stays, and a later export goes on from there.
            if (m_completeLines.empty()) return exported;
            if (Status listed = writeCompleteLines(); !listed) {
                return Status::Error(exported.reason() + "; " + listed.reason(), exported.kind());
            }
            m_summary.stopped = exported.reason();
            return m_summary;
        }
        m_bytesDone += store.size;
        reportBytes(0, 0);
    }
    // Nothing is left for a later export to go on with.
    ::unlinkat(m_folders.descriptor(), std::string(kIncompleteExportFile).c_str(), 0);
    m_succeeded = true;
    return m_summary;
}

}  // namespace

Result<ExportSummary> ExportMail(MailSource& source, const ExportOptions& options,
                                 MailProgress* progress) {
    Export run(source, options, progress);
    return run.run();
}

}  // namespace quillet::mailstore
