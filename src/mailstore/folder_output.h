#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "mailstore/message_store.h"
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
    // Flushes everything to the disk and puts it in place of the target, replacing what is there
    // (the caller has made sure that this may be).
    virtual Status commit() = 0;
};

// An mboxrd file (MboxWriter) at `target`, replaced as platform's durable files are. With
// `withState`, each message's header block gets the fields of its state (MboxStateFields) in
// place of its own fields of those names; without, its bytes are written as they are.
std::unique_ptr<FolderOutput> MakeMboxOutput(std::filesystem::path target, bool withState);

// A Maildir at `target` (cur/, new/ and tmp/, and Maildir++'s empty "maildirfolder" file unless
// it is the root): each message is written byte for byte to tmp/ and renamed into cur/ with its
// state as the file name's info (MaildirInfo); the file's time is the message's received time. With
// `root`, `target` is the output folder itself: its cur/, new/ and tmp/ are put in place on commit,
// cur/ (which holds the messages) last.
std::unique_ptr<FolderOutput> MakeMaildirOutput(std::filesystem::path target, bool root);

// A folder at `target` holding one file per message, named by EmlFileName.
std::unique_ptr<FolderOutput> MakeEmlOutput(std::filesystem::path target, std::size_t messageCount);

inline constexpr std::string_view kEmlExtension = ".eml";

// "00001.eml" for position 0: the number is position + 1, with leading zeros to five digits, or
// to as many as `messageCount` has.
std::string EmlFileName(std::size_t position, std::size_t messageCount);

}  // namespace quillet::mailstore
