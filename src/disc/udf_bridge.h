#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disc/disc_engine.h"
#include "platform/work_folder.h"

// Images with UDF: libisofs writes no UDF, so for the file system types that include it the image
// comes from genisoimage (`-udf -R`, and `-J` where Joliet is named; tree_names.h says which
// names each tree takes), which writes a UDF file system bridged with ISO 9660 and Rock Ridge on
// the same file data. The image tree becomes a list
// of graft points in a private work folder (udf_path_list.h); genisoimage streams the image into a
// pipe, which libburn reads like any other track, so the image is never held in memory or on disk
// twice.
namespace quillet::disc {

// The program that writes UDF images.
inline constexpr const char* kUdfImageTool = "genisoimage";
// Part of the reason of a write whose image came out longer than genisoimage announced.
inline constexpr const char* kImageGrew = "the image grew past the size announced";

// The genisoimage arguments (after the program's name) for `settings`, reading `pathList`.
std::vector<std::string> UdfImageArguments(const ProjectSettings& settings,
                                           const std::string& pathList);

class UdfBridge {
  public:
    // Writes the path list of `items`; nullopt with `error` set when it cannot (no work folder, a
    // name genisoimage cannot take).
    static std::optional<UdfBridge> Prepare(const std::vector<ImageItem>& items,
                                            const ProjectSettings& settings, EngineError& error);
    UdfBridge(UdfBridge&& other) noexcept;
    UdfBridge& operator=(UdfBridge&&) = delete;
    ~UdfBridge();  // stops genisoimage when it still runs; removes the work folder

    // Bytes of the image (genisoimage -print-size); nullopt with `error` set on failure.
    std::optional<std::int64_t> imageSize(EngineError& error);
    // Starts genisoimage writing the image; returns the pipe's reading end (the caller closes
    // it), or -1 with `error` set.
    int start(EngineError& error);
    // Ends a started genisoimage at once and reaps it (a cancelled or failed write: nobody reads
    // the pipe any more). True, with `ownFailure` set, when it had already failed by itself.
    bool stop(EngineError* ownFailure = nullptr);
    // Waits for the started genisoimage; false with `error` set when it failed. Call it only once
    // the pipe's reading end is closed: a genisoimage writing more than imageSize() announced
    // then ends (and the error says so) instead of waiting for a reader forever.
    bool finish(EngineError& error);

  private:
    UdfBridge(WorkFolder folder, ProjectSettings settings);
    // Runs genisoimage with `extra` arguments before the usual ones; stdout into `outFd`.
    pid_t spawn(const std::vector<std::string>& extra, int outFd, EngineError& error);
    bool wait(pid_t pid, EngineError& error);
    // Whether a wait status is a clean exit; false with `error` set (and genisoimage's words).
    bool succeeded(int status, EngineError& error) const;
    std::string errorOutput() const;

    WorkFolder m_folder;
    ProjectSettings m_settings;
    pid_t m_pid = -1;
    std::int64_t m_announcedSize = 0;
    std::vector<std::string> m_hideArguments;  // where files have short Joliet names
};

}  // namespace quillet::disc
