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
#include "mailstore/incomplete_export_list.h"
#include "mailstore/mail_folder_plan.h"
#include "mailstore/salvaged_message.h"
#include "mailstore/side_folder.h"
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
    FolderHoldings kept;       // what such a folder holds
    bool maildirRoot = false;  // the Inbox of a Maildir export: the output folder's own maildir
};

// Which folder of which store a line of kIncompleteExportFile is about.
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

// What one folder adds to the summary once it is in place: a folder rolled back adds nothing.
struct FolderTally {
    std::uint64_t messages = 0;
    std::uint64_t bytes = 0;
    std::uint64_t recovered = 0;
    std::uint64_t skipped = 0;
    std::uint64_t missing = 0;
    // The messages of the store's own count met: written (but those recovered from deleted
    // chunks, which it no longer counts), skipped, or never downloaded.
    std::uint64_t accounted = 0;
    std::uint64_t cutShort = 0;
    std::vector<std::string> notes;
    // The recovered messages that have no header of their own, by position in the store: they go
    // to the folder of fragments once the store's folder is in place.
    std::vector<std::size_t> fragments;

    void addTo(ExportSummary& summary) {
        summary.messages += messages;
        summary.bytes += bytes;
        summary.recovered += recovered;
        summary.skipped += skipped;
        summary.missing += missing;
        summary.cutShort += cutShort;
        summary.notes.insert(summary.notes.end(), std::make_move_iterator(notes.begin()),
                             std::make_move_iterator(notes.end()));
    }
};

// One message on its way to a folder output, begun at its first byte (a message that hands over
// nothing leaves nothing in the output), led by a line made from its first bytes when asked.
class MessageCopy {
  public:
    using Lead = std::function<std::string(std::span<const std::byte> first)>;

    MessageCopy(FolderOutput& output, std::size_t position, const MessageEntry& message)
        : m_output(output), m_position(position), m_message(message) {}

    void leadWith(Lead lead) { m_lead = std::move(lead); }
    bool started() const { return m_started; }
    std::uint64_t given() const { return m_given; }  // the message's bytes, without the lead
    // The output's first failure, or success.
    const Status& written() const { return m_written; }

    Status write(std::span<const std::byte> piece) {
        if (!m_started && !(m_written = start(piece))) return m_written;
        m_given += piece.size();
        m_written = m_output.write(piece);
        return m_written;
    }
    Status finish() {
        if (!m_started && !(m_written = start({}))) return m_written;
        return m_output.finishMessage();
    }

  private:
    Status start(std::span<const std::byte> first) {
        m_started = true;
        if (Status s = m_output.startMessage(m_position, m_message); !s) return s;
        if (!m_lead) return Status::Ok();
        const std::string line = m_lead(first);
        return m_output.write(std::as_bytes(std::span(line)));
    }

    FolderOutput& m_output;
    std::size_t m_position;
    const MessageEntry& m_message;
    Lead m_lead;
    bool m_started = false;
    std::uint64_t m_given = 0;
    Status m_written = Status::Ok();
};

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           EqualsIgnoringCase(text.substr(text.size() - end.size()), end);
}

// Everything one export keeps track of.
class Export {
  public:
    Export(MailSource& source, const ExportOptions& options, MailProgress* progress,
           FileOperations& files)
        : m_source(source),
          m_options(options),
          m_progress(progress),
          m_files(files),
          m_maildir(options.format == ExportFormat::kMaildir),
          m_list(files) {}

    ~Export() {
        if (m_succeeded) return;
        // The folders this export made that stayed empty when it stopped, and the empty mbox
        // files beside those of them that went.
        auto removeEmptyFolders = [this] {
            for (auto folder = m_createdFolders.rbegin(); folder != m_createdFolders.rend();
                 ++folder) {
                (void)m_files.removeFolder(*folder);  // one that holds something stays
            }
        };
        removeEmptyFolders();
        struct stat info;
        for (const auto& [file, subfolders] : m_placeholders) {
            if (m_files.status(subfolders, false, &info) != 0) (void)m_files.unlink(file);
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
    // The folder that holds the store's messages (a root maildir's: the output folder).
    std::filesystem::path folderOf(const StorePlan& store) const {
        return store.maildirRoot ? m_options.outFolder : store.target;
    }
    // What a store's folder holds, `written` complete with `tally` and about to be put in place.
    Result<FolderHoldings> holdingsOf(const std::filesystem::path& written,
                                      const FolderTally& tally) const;
    Status exportStore(const StorePlan& store, std::size_t position, std::size_t count);
    Status exportMessages(const StorePlan& store, const StoreBytes& bytes, MessageStore& messages,
                          FolderOutput& output, FolderTally& tally);
    // Writes the store's recovered messages that have no header of their own (`positions`) to
    // the folder of fragments, made when the first comes. A failure drops that folder.
    Status exportFragments(const StorePlan& store, MessageStore& messages,
                           const std::vector<std::size_t>& positions);
    // Puts the folder of fragments in place, when there is one.
    Status commitFragments();
    // The folder of fragments below the output folder: kRecoveredFragmentsFolder, or with " (2)",
    // " (3)"... when a folder of the plan or something already there has that name.
    std::filesystem::path fragmentsRelative() const;
    void reportBytes(std::uint64_t inStore, std::uint64_t storeSize);

    // Removes the leftovers of dead runs from every folder the plan writes into, each listed once.
    void sweepFolders(const std::vector<StorePlan>& plans);
    OutputSetting setting() const { return {&m_files, true}; }

    MailSource& m_source;
    const ExportOptions& m_options;
    MailProgress* m_progress;
    FileOperations& m_files;
    bool m_maildir;
    ExportSummary m_summary;
    ExportFolders m_folders;
    std::vector<std::filesystem::path> m_createdFolders;
    // Empty mbox files of parents, each with the folder of subfolders it stands beside.
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> m_placeholders;
    IncompleteExportList m_list;
    std::set<std::string> m_topNames;  // the plan's names at the top of the output, case folded
    std::unique_ptr<FolderOutput> m_fragments;
    std::filesystem::path m_fragmentsRelative;
    FolderTally m_fragmentTally;
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
        StorePlan plan;
        plan.fileName = folder.fileName;
        plan.size = folder.size;
        plan.relative = relativeOf(folder, inbox);
        plan.maildirRoot = m_maildir && plan.relative == kMaildirFolders.front();
        plan.path = std::move(folder.path);
        plan.target = m_options.outFolder / plan.relative;
        m_topNames.insert(FoldCase(plan.relative.begin()->string()));
        m_bytesTotal += plan.size;
        plans.push_back(std::move(plan));
    }
    return plans;
}

// The output folder itself, reached as the user named it.
Status Export::makeFolders(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> missing;
    struct stat info;
    for (std::filesystem::path at = folder; !at.empty() && m_files.status(at, true, &info) != 0;
         at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        if (int error = m_files.makeFolder(*at, 0777); error != 0 && error != EEXIST) {
            return OutputFailure("Cannot create", *at, error);
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
                             KindOfWriteError(errno));
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

Status Export::exportMessages(const StorePlan& store, const StoreBytes& bytes,
                              MessageStore& messages, FolderOutput& output, FolderTally& tally) {
    std::uint64_t withoutBody = 0;
    std::uint64_t inStore = 0;
    for (std::size_t position = 0; position < messages.messages().size(); ++position) {
        if (m_progress != nullptr && m_progress->cancelRequested()) {
            return Status::Error(std::string(kCancelled), ErrorKind::kCancelled);
        }
        const MessageEntry& message = messages.messages()[position];
        if (message.firstChunk == 0) {
            ++withoutBody;
            ++tally.accounted;
            continue;
        }
        const bool recovered = message.origin != MessageEntry::Origin::kIndex;
        bool fragment = false;
        MessageCopy copy(output, position, message);
        Status read = messages.readMessage(message, [&](std::span<const std::byte> piece) {
            if (recovered && !copy.started() && !StartsWithHeaderField(piece)) {
                fragment = true;
                return Status::Error("a fragment", ErrorKind::kCancelled);
            }
            return copy.write(piece);
        });
        if (fragment) {
            tally.fragments.push_back(position);
            continue;
        }
        if (!copy.written()) return copy.written();
        std::string cutShort;
        if (!read) {
            // The reader checks a message's whole chain before it hands over a byte, so a
            // damaged message left nothing in the output to take back.
            if (m_options.mode == ReadMode::kStrict || !read.is(ErrorKind::kCorrupt) ||
                copy.given() > 0) {
                return read;
            }
            auto start = messages.readSoundStart(message, read, nullptr);
            if (!start) return start.status();
            const std::string number = "message " + std::to_string(position + 1);
            ++tally.accounted;
            if (*start == 0) {
                ++tally.skipped;
                tally.notes.push_back(read.reason() + " (" + number + " left out)");
                continue;
            }
            const std::uint64_t damageAt = DamageFrom(bytes, read).offset;
            copy.leadWith([&](std::span<const std::byte> first) {
                return DamagedMessageLine(*start, damageAt, first);
            });
            const MessageStore::Sink sink = [&](std::span<const std::byte> piece) {
                return copy.write(piece);
            };
            if (auto kept = messages.readSoundStart(message, read, &sink); !kept) {
                return copy.written() ? kept.status() : copy.written();
            }
            ++tally.cutShort;
            cutShort = read.reason() + " (" + number + ": its first " + std::to_string(*start) +
                       " bytes kept, the rest is missing)";
        }
        if (Status s = copy.finish(); !s) return s;
        ++tally.messages;
        if (message.origin != MessageEntry::Origin::kDeletedChain && cutShort.empty()) {
            ++tally.accounted;
        }
        tally.bytes += copy.given();
        inStore += copy.given();
        if (!cutShort.empty()) tally.notes.push_back(std::move(cutShort));
        if (recovered) {
            ++tally.recovered;
            tally.notes.push_back(RecoveredNote(store.fileName, message));
        }
        reportBytes(inStore, store.size);
    }
    if (withoutBody > 0) {
        tally.notes.push_back(store.fileName + ": " + std::to_string(withoutBody) +
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
            output = MakeMboxOutput(store.target, !m_options.keepBytes, setting());
            break;
        case ExportFormat::kEml:
            output = MakeEmlOutput(store.target, (*messages)->messages().size(), setting());
            break;
        case ExportFormat::kMaildir:
            output = store.maildirRoot ? MakeMaildirOutput(m_options.outFolder, true, setting())
                                       : MakeMaildirOutput(store.target, false, setting());
            break;
    }
    if (Status s = output->begin(); !s) return s;
    FolderTally tally;
    if (Status s = exportMessages(store, **bytes, **messages, *output, tally); !s) return s;
    if (const std::uint64_t counted = (*messages)->countedMessages(); counted > tally.accounted) {
        tally.missing = counted - tally.accounted;
        tally.notes.push_back(store.fileName + ": the store counts " + std::to_string(counted) +
                              " messages, " + std::to_string(tally.missing) +
                              " of them could not be found");
    }
    // Listed before it is put in place: a run killed in between leaves a listed folder that is
    // not there (exported again by the next run), never one there that the list does not name.
    Status placed = output->commit([&](const std::filesystem::path& written) -> Status {
        auto holdings = holdingsOf(written, tally);
        if (!holdings) return holdings.status();
        return m_list.add(m_options.outFolder, CompleteLine(store), *holdings);
    });
    if (!placed) return placed;
    const std::vector<std::size_t> fragments = std::move(tally.fragments);
    tally.addTo(m_summary);
    ++m_summary.folders;
    m_summary.complete.push_back(store.relative);
    return exportFragments(store, **messages, fragments);
}

Result<FolderHoldings> Export::holdingsOf(const std::filesystem::path& written,
                                          const FolderTally& tally) const {
    if (m_options.format != ExportFormat::kMbox) {
        return MeasureFolder(written, m_options.format, m_files);
    }
    // The mbox file need not be read again: its messages are those written.
    struct stat info;
    if (int error = m_files.status(written, false, &info); error != 0) {
        return OutputFailure("Cannot read", written, error);
    }
    return FolderHoldings{tally.messages, static_cast<std::uint64_t>(info.st_size)};
}

std::filesystem::path Export::fragmentsRelative() const {
    const std::string prefix = m_maildir ? std::string(1, kMaildirSeparator) : "";
    for (unsigned number = 1;; ++number) {
        std::string name(kRecoveredFragmentsFolder);
        if (number > 1) name += " (" + std::to_string(number) + ")";
        struct stat info;
        if (m_topNames.contains(FoldCase(name)) ||
            m_files.status(m_options.outFolder / (prefix + name), false, &info) == 0) {
            continue;
        }
        return prefix + name;
    }
}

Status Export::exportFragments(const StorePlan& store, MessageStore& messages,
                               const std::vector<std::size_t>& positions) {
    auto drop = [this](Status failure) {
        m_fragments.reset();
        m_fragmentTally = {};
        return failure;
    };
    for (const std::size_t position : positions) {
        if (!m_fragments) {
            m_fragmentsRelative = fragmentsRelative();
            const std::filesystem::path target = m_options.outFolder / m_fragmentsRelative;
            switch (m_options.format) {
                case ExportFormat::kMbox:
                    m_fragments = MakeMboxOutput(target, !m_options.keepBytes, setting());
                    break;
                case ExportFormat::kEml:
                    m_fragments = MakeEmlOutput(target, 0, setting());
                    break;
                case ExportFormat::kMaildir:
                    m_fragments = MakeMaildirOutput(target, false, setting());
                    break;
            }
            if (Status s = m_fragments->begin(); !s) return drop(s);
        }
        const MessageEntry& message = messages.messages()[position];
        MessageCopy copy(*m_fragments, m_fragmentTally.messages, message);
        Status read = messages.readMessage(
            message, [&](std::span<const std::byte> piece) { return copy.write(piece); });
        if (!copy.written()) return drop(copy.written());
        if (!read) return drop(read);
        if (Status s = copy.finish(); !s) return drop(s);
        ++m_fragmentTally.messages;
        ++m_fragmentTally.recovered;
        m_fragmentTally.bytes += copy.given();
        m_fragmentTally.notes.push_back(RecoveredNote(store.fileName, message) +
                                        ": it has no header of its own and is put in " +
                                        m_fragmentsRelative.string());
    }
    return Status::Ok();
}

Status Export::commitFragments() {
    if (!m_fragments) return Status::Ok();
    Status committed = m_fragments->commit();
    m_fragments.reset();
    if (!committed) {
        m_fragmentTally = {};
        return committed;
    }
    m_fragmentTally.addTo(m_summary);
    ++m_summary.folders;
    m_summary.complete.push_back(m_fragmentsRelative);
    return Status::Ok();
}

// Refuses links in the way of every target, and targets already there (without force) but those
// that an earlier stopped export completed, which are kept. Changes nothing.
Status Export::checkTargets(std::vector<StorePlan>& plans) {
    struct stat info;
    if (m_files.status(m_options.outFolder, true, &info) != 0) return Status::Ok();
    ExportFolders existing;
    if (Status s = existing.open(m_options.outFolder); !s) return s;
    m_list.read(m_options.outFolder);
    for (StorePlan& store : plans) {
        std::optional<std::filesystem::path> there;
        for (const std::filesystem::path& relative : targetsOf(store)) {
            bool exists = false;
            if (Status way = existing.checkWay(relative, &exists); !way) return way;
            // A root maildir's empty new/ and tmp/ hold nothing to lose: a run stopped while it
            // put them in place, before the cur/ that holds the messages.
            std::vector<std::string> names;
            if (exists && store.maildirRoot && relative != kMaildirFolders.front() &&
                m_files.listFolder(m_options.outFolder / relative, &names) == 0 && names.empty()) {
                exists = false;
            }
            if (exists && !there) there = m_options.outFolder / relative;
        }
        if (!there || m_options.force) continue;
        // Kept only while it holds what the list says it held when it was complete.
        const std::optional<FolderHoldings> listed = m_list.listed(CompleteLine(store));
        std::optional<Result<FolderHoldings>> holds;
        if (listed) holds.emplace(MeasureFolder(folderOf(store), m_options.format, m_files));
        if (!listed || !*holds || **holds != *listed) {
            return Status::Error(there->string() + kAlreadyExistsText, ErrorKind::kInUse);
        }
        store.keep = true;
        store.kept = *listed;
    }
    return Status::Ok();
}

std::vector<std::filesystem::path> Export::targetsOf(const StorePlan& store) const {
    if (!store.maildirRoot) return {store.relative};
    return {kMaildirFolders.begin(), kMaildirFolders.end()};
}

void Export::sweepFolders(const std::vector<StorePlan>& plans) {
    std::set<std::filesystem::path> folders = {m_options.outFolder};
    for (const StorePlan& store : plans) {
        if (!store.keep) folders.insert(store.target.parent_path());
    }
    struct stat info;
    for (const std::filesystem::path& folder : folders) {
        // A folder still to be made holds no leftovers; one a link stands for is refused later.
        if (m_files.status(folder, false, &info) != 0 || !S_ISDIR(info.st_mode)) continue;
        RemoveDeadRunsSideFolders(folder, m_files);
        RemoveStaleTemporariesIn(folder, m_files);
    }
}

Result<ExportSummary> Export::run() {
    auto plans = plan();
    if (!plans) return plans.status();
    if (Status s = checkTargets(*plans); !s) return s;
    if (m_options.dryRun) {
        for (const StorePlan& store : *plans) {
            m_summary.planned.push_back({store.relative, store.fileName, store.size, store.keep});
        }
        return m_summary;
    }
    if (Status s = makeFolders(m_options.outFolder); !s) return s;
    if (Status s = m_folders.open(m_options.outFolder); !s) return s;
    sweepFolders(*plans);
    Status ended = Status::Ok();
    for (std::size_t i = 0; i < plans->size() && ended; ++i) {
        const StorePlan& store = (*plans)[i];
        if (store.keep) {
            m_summary.complete.push_back(store.relative);
            m_summary.notes.push_back(store.target.string() +
                                      ": kept as an earlier export that stopped completed it");
            ended = m_list.add(m_options.outFolder, CompleteLine(store), store.kept);
        } else {
            ended = exportStore(store, i, plans->size());
        }
        m_bytesDone += store.size;
        reportBytes(0, 0);
    }
    // The fragments of the folders complete are kept, whether the export ran to its end or not.
    if (Status fragments = commitFragments(); !fragments) {
        if (ended)
            ended = fragments;
        else
            m_summary.notes.push_back(fragments.reason());
    }
    if (!ended) {
        // What is complete stays, listed, and a later export goes on from there.
        if (m_summary.complete.empty()) {
            m_list.remove(m_options.outFolder);  // it names no folder that is there
            return ended;
        }
        m_summary.stopped = ended.reason();
        return m_summary;
    }
    // Nothing is left for a later export to go on with.
    m_list.remove(m_options.outFolder);
    m_succeeded = true;
    return m_summary;
}

}  // namespace

Result<ExportSummary> ExportMail(MailSource& source, const ExportOptions& options,
                                 MailProgress* progress, FileOperations& files) {
    Export run(source, options, progress, files);
    return run.run();
}

}  // namespace quillet::mailstore
