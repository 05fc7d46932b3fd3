#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "disc/disc_engine.h"
#include "disc/event_hub.h"
#include "platform/durable_file.h"

// One write of the image to a drive, with its verification, run on the engine's writer thread:
// checks the sources, streams the image (libisofs, or genisoimage for UDF) through libburn,
// follows libburn's status and reports it as WriteStatus states, reads every file back when
// AutoVerify is set, and ends with exactly one end state. Every event goes through the hub.
namespace quillet::disc {

struct WriteJob {
    std::vector<ImageItem> items;  // the image when the write started
    ProjectSettings settings;
    std::string deviceName;
    // libburn's address of the drive: "/dev/sr0", or "stdio:" and the temporary of `replacement`.
    std::string driveAddress;
    // The image-file device: the replacement of the chosen file, begun (its empty temporary made);
    // committed only after a complete write (and verification). Null for a disc drive.
    std::unique_ptr<FileReplacement> replacement;
    std::string imageFilePath;  // the file the user chose, for messages
    std::shared_ptr<EventHub> hub;
    std::shared_ptr<std::atomic<bool>> abort;
};

// Runs the whole write; returns when its end state is posted.
void RunWriteJob(WriteJob job);

}  // namespace quillet::disc
