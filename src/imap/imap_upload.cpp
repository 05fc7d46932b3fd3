#include "imap/imap_upload.h"

#include <cstdint>
#include <map>
#include <set>
#include <tuple>

#include "imap/imap_connection.h"
#include "imap/imap_mailbox_name.h"
#include "imap/message_key.h"
#include "mailstore/mail_folder_plan.h"
#include "platform/case_fold.h"
#include "platform/file_lock.h"
#include "platform/hex_digits.h"

namespace quillet::imap {

namespace {

constexpr std::string_view kCancelled = "The upload was cancelled";

// The keys of a mailbox's messages, in order of size, prefix and internal date.
class ServerKeys {
  public:
    explicit ServerKeys(const std::vector<MessageKey>& keys) {
        for (const MessageKey& key : keys) {
            m_keys.emplace(key.size, key.prefixHash, key.date.value_or(0));
        }
    }
    // Takes one message of `key` if the mailbox holds one. A key without a date takes the latest
    // of its size and prefix: the server dated it at its upload, after any date a store gives, so
    // it is never the copy of a dated message with the same bytes.
    bool take(const MessageKey& key) {
        auto at = key.date ? m_keys.find({key.size, key.prefixHash, *key.date})
                           : m_keys.upper_bound({key.size, key.prefixHash, INT64_MAX});
        if (!key.date && at != m_keys.begin()) --at;
        if (at == m_keys.end() || std::get<0>(*at) != key.size ||
            std::get<1>(*at) != key.prefixHash) {
            return false;
        }
        m_keys.erase(at);
        return true;
    }

  private:
    std::multiset<std::tuple<std::uint64_t, std::uint64_t, std::int64_t>> m_keys;
};

// The lock an upload into `mailbox` of the account holds, in `folder`.
std::filesystem::path LockFile(const std::filesystem::path& folder, const ImapAddress& address,
                               const std::string& mailbox) {
    const std::string account =
        AsciiLower(address.host) + ":" + std::to_string(address.port) + "\n" + address.user;
    const std::uint64_t hash = Fnv1aHash(account + "\n" + mailbox);
    std::string name = "upload-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += LowerHexDigit(static_cast<unsigned>(hash >> shift));
    return folder / (name + ".lock");
}

class Upload {
  public:
    Upload(mailstore::MailSource& source, const UploadOptions& options, UploadProgress* progress)
        : m_source(source), m_options(options), m_progress(progress) {}

    Result<mailstore::ExportSummary> run();

  private:
    Status uploadStore(const mailstore::PlannedFolder& folder, std::size_t position,
                       std::size_t count);
    Status uploadMessages(const mailstore::PlannedFolder& folder, mailstore::MessageStore& store,
                          const std::string& mailbox, ServerKeys& there);
    Status ensureTree(const std::vector<std::string>& levels);

    mailstore::MailSource& m_source;
    const UploadOptions& m_options;
    UploadProgress* m_progress;
    std::unique_ptr<ImapConnection> m_connection;
    std::vector<std::string> m_root;  // the levels of UploadOptions::folder
    mailstore::ExportSummary m_summary;
    std::map<std::string, bool> m_mailboxes;  // made sure of
    std::uint64_t m_uploaded = 0;             // APPENDed by this run
    std::uint64_t m_alreadyThere = 0;
    std::uint64_t m_bytesTotal = 0;
    std::uint64_t m_bytesDone = 0;
};

Status Upload::ensureTree(const std::vector<std::string>& levels) {
    for (std::size_t depth = 1; depth <= levels.size(); ++depth) {
        const std::string name =
            ImapMailboxPath(std::vector<std::string>(levels.begin(), levels.begin() + depth),
                            m_connection->delimiter());
        if (m_mailboxes.contains(name)) continue;
        if (Status s = m_connection->ensureMailbox(name); !s) return s;
        m_mailboxes[name] = true;
    }
    return Status::Ok();
}

Status Upload::uploadMessages(const mailstore::PlannedFolder& folder,
                              mailstore::MessageStore& store, const std::string& mailbox,
                              ServerKeys& there) {
    std::uint64_t withoutBody = 0;
    std::uint64_t inStore = 0;
    std::string message;
    for (const mailstore::MessageEntry& entry : store.messages()) {
        if (m_progress != nullptr && m_progress->cancelRequested()) {
            return Status::Error(std::string(kCancelled), ErrorKind::kCancelled);
        }
        if (entry.firstChunk == 0) {
            ++withoutBody;
            continue;
        }
        message.clear();
        Status read = store.readMessage(entry, [&](std::span<const std::byte> piece) {
            message.append(reinterpret_cast<const char*>(piece.data()), piece.size());
            return Status::Ok();
        });
        if (!read) {
            // A damaged message hands over nothing (the reader checks its chain first).
            if (m_options.mode == mailstore::ReadMode::kStrict || !read.is(ErrorKind::kCorrupt) ||
                !message.empty()) {
                return read;
            }
            ++m_summary.skipped;
            m_summary.notes.push_back(read.reason() + " (message " + std::to_string(entry.index) +
                                      " left out)");
            continue;
        }
        const std::optional<std::int64_t> date = InternalDate(entry, message);
        if (there.take(KeyOfMessage(message, date))) {
            ++m_alreadyThere;
        } else {
            if (Status s = m_connection->append(mailbox, message, FlagsOfEntry(entry), date); !s) {
                return s;
            }
            ++m_uploaded;
        }
        ++m_summary.messages;
        m_summary.bytes += message.size();
        inStore += message.size();
        if (entry.origin != mailstore::MessageEntry::Origin::kIndex) ++m_summary.recovered;
        if (m_progress != nullptr) {
            m_progress->messagesDone(m_summary.messages, m_summary.bytes);
            m_progress->bytesDone(m_bytesDone + std::min(inStore, folder.size), m_bytesTotal);
        }
    }
    if (withoutBody > 0) {
        m_summary.notes.push_back(folder.fileName + ": " + std::to_string(withoutBody) +
                                  " messages were never downloaded and have no body to upload");
    }
    return Status::Ok();
}

Status Upload::uploadStore(const mailstore::PlannedFolder& folder, std::size_t position,
                           std::size_t count) {
    if (m_progress != nullptr) m_progress->storeStarted(folder.fileName, position, count);
    auto bytes = m_source.openStore(folder.fileName);
    if (!bytes) return bytes.status();
    auto store = mailstore::MessageStore::Open(**bytes, m_options.mode, m_source.origin().codePage);
    if (!store) {
        if (m_options.mode == mailstore::ReadMode::kStrict ||
            !store.status().is(ErrorKind::kCorrupt)) {
            return store.status();
        }
        m_summary.storesLeftOut.push_back(folder.fileName);
        m_summary.notes.push_back(store.reason() + " (store left out)");
        return Status::Ok();
    }
    for (const std::string& warning : (*store)->warnings()) m_summary.notes.push_back(warning);
    std::vector<std::string> levels = m_root;
    levels.insert(levels.end(), folder.path.begin(), folder.path.end());
    if (Status s = ensureTree(levels); !s) return s;
    const std::string mailbox = ImapMailboxPath(levels, m_connection->delimiter());
    // Another upload into the mailbox from this machine finishes first: its messages are then
    // among the keys.
    FileLock lock;
    if (!m_options.lockFolder.empty()) {
        const std::filesystem::path file =
            LockFile(m_options.lockFolder, m_options.address, mailbox);
        if (Status s = lock.take(file, "to upload into " + mailbox); !s) return s;
    }
    auto keys = m_connection->keysIn(mailbox);
    if (!keys) return keys.status();
    ServerKeys there(*keys);
    if (Status s = uploadMessages(folder, **store, mailbox, there); !s) return s;
    ++m_summary.folders;
    std::string shown;
    for (const std::string& level : folder.path) shown += (shown.empty() ? "" : "/") + level;
    m_summary.complete.push_back(shown);
    return Status::Ok();
}

Result<mailstore::ExportSummary> Upload::run() {
    auto root = UploadFolderLevels(m_options.folder);
    if (!root) return root.status();
    m_root = std::move(*root);
    auto connection = ImapConnection::Open(m_options.address, m_options.password, m_options.caFile);
    if (!connection) return connection.status();
    m_connection = std::move(*connection);
    // Names are made unique as the server will hold them ("a.b" and "a_b" are two folders).
    mailstore::FolderPlanOptions naming;
    naming.mode = m_options.mode;
    naming.wanted = [delimiter = m_connection->delimiter()](std::string name) {
        return ImapLevelName(std::move(name), delimiter);
    };
    auto plan = mailstore::PlanMailFolders(m_source, naming);
    if (!plan) return plan.status();
    m_summary.notes = std::move(plan->notes);
    m_summary.storesLeftOut = std::move(plan->storesLeftOut);
    const std::vector<mailstore::PlannedFolder>& folders = plan->folders;
    for (const mailstore::PlannedFolder& folder : folders) m_bytesTotal += folder.size;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (Status s = uploadStore(folders[i], i, folders.size()); !s) {
            if (m_uploaded == 0 && m_summary.folders == 0) return s;
            m_summary.stopped = s.reason();
            break;
        }
        m_bytesDone += folders[i].size;
        if (m_progress != nullptr) m_progress->bytesDone(m_bytesDone, m_bytesTotal);
    }
    if (m_alreadyThere > 0) {
        m_summary.notes.push_back(std::to_string(m_alreadyThere) +
                                  " messages were already there and were not uploaded again");
    }
    return m_summary;
}

}  // namespace

std::string UploadTarget(const UploadOptions& options) {
    return options.address.text() + "/" + options.folder;
}

Result<mailstore::ExportSummary> UploadMail(mailstore::MailSource& source,
                                            const UploadOptions& options,
                                            UploadProgress* progress) {
    Upload upload(source, options, progress);
    return upload.run();
}

}  // namespace quillet::imap
