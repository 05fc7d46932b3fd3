#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "mailstore/message_store.h"
#include "platform/file_operations.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Where the messages of one mail folder go during an export: an mbox file, a folder of .eml
// files or a Maildir. Everything is written under a temporary name beside the target and only
// commit() puts it in place; an output destroyed before commit() leaves nothing of itself behind.
// One thread.
class FolderOutput {
  public:
    virtual ~FolderOutput() = default;

    // Creates the temporary beside the target (whose folder must exist).
    virtual Status begin() = 0;
    // The message at `position` (from 0) of the store's messages starts; its bytes follow.
    // `message` is its index entry (its state flags and times), valid until finishMessage.
    virtual Status startMessage(std::size_t position, const MessageEntry& message) = 0;
    virtual Status write(std::span<const std::byte> piece) = 0;
    virtual Status finishMessage() = 0;
    // What the caller does once everything is on the disk and before it is put in place, given
    // what was written (the temporary mbox file, or the temporary folder holding the .eml files or
    // the Maildir's cur/ and new/): its failure stops the commit.
    using BeforePlacing = std::function<Status(const std::filesystem::path& written)>;

    // Flushes everything to the disk, calls `beforePlacing` (when given) and puts it in place of
    // the target, replacing what is there (the caller has made sure that this may be).
    virtual Status commit(const BeforePlacing& beforePlacing = {}) = 0;
};

// How a folder output reaches the file system: every call through `files`; `folderSwept` when
// the caller has removed the leftovers of dead runs from the target's folder already (an export
// sweeps each folder it writes into once, not once per folder of mail it puts there).
struct OutputSetting {
    FileOperations* files = &RealFileOperations();
    bool folderSwept = false;
};

// An mboxrd file (MboxWriter) at `target`, replaced as platform's durable files are. With
// `withState`, each message's header block gets the fields of its state (MboxStateFields) in
// place of its own fields of those names; without, its bytes are written as they are.
std::unique_ptr<FolderOutput> MakeMboxOutput(std::filesystem::path target, bool withState,
                                             OutputSetting setting = {});

// A Maildir at `target` (cur/, new/ and tmp/, and Maildir++'s empty "maildirfolder" file unless
// it is the root): each message is written byte for byte to tmp/ and renamed into cur/ with its
// state as the file name's info (MaildirInfo); the file's time is the message's received time. With
// `root`, `target` is the output folder itself: its cur/, new/ and tmp/ are put in place on commit,
// cur/ (which holds the messages) last.
//
// A Maildir already there is the user's mail: it is never replaced. The messages are moved into
// its cur/ one by one (each rename whole), and then the messages of its cur/ and new/ that an
// earlier export wrote there (IsExportedMessageName) and this one did not are removed; nothing
// else in it is touched.
std::unique_ptr<FolderOutput> MakeMaildirOutput(std::filesystem::path target, bool root,
                                                OutputSetting setting = {});

// Whether `name`, a file of a Maildir's cur/ or new/, is one that a Maildir export gives:
// "<time>.Q<number>.<host>", with or without the ":2,<flags>" that a reader may change.
bool IsExportedMessageName(std::string_view name);

// A folder at `target` holding one file per message, named by EmlFileName.
std::unique_ptr<FolderOutput> MakeEmlOutput(std::filesystem::path target, std::size_t messageCount,
                                            OutputSetting setting = {});

inline constexpr std::string_view kEmlExtension = ".eml";

// "00001.eml" for position 0: the number is position + 1, with leading zeros to five digits, or
// to as many as `messageCount` has.
std::string EmlFileName(std::size_t position, std::size_t messageCount);

}  // namespace quillet::mailstore
