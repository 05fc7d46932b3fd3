#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_observer.h"
#include "support/archive/backup_reader.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/shell_command.h"

namespace quillet::testing {

// Mail-like text that compresses well, the same for the same seed.
std::string TextContent(std::size_t bytes, std::uint32_t seed);
// Bytes that do not compress, the same for the same seed.
std::string RandomContent(std::size_t bytes, std::uint32_t seed);

// Records archive events as text: "EntryAdding(a)", "SaveProgress(50)", "SaveDone(0,reason)".
class RecordingObserver : public archive::ArchiveObserver {
  public:
    void EntryAdding(const std::string& name) override {
        events.push_back("EntryAdding(" + name + ")");
    }
    void EntryExtracting(const std::string& name) override {
        events.push_back("EntryExtracting(" + name + ")");
    }
    void SaveProgress(int percent) override { progress.push_back(percent); }
    void SaveDone(bool ok, const std::string& reason) override {
        events.push_back(std::string("SaveDone(") + (ok ? "1" : "0") + ")");
        doneReasons.push_back(reason);
    }
    std::vector<std::string> events;
    std::vector<int> progress;
    std::vector<std::string> doneReasons;
};

// Entry `name` of `file` as libzip itself reads it, deciphering with `password`; a text in
// parentheses when it cannot ("(wrong password)", "(cannot open)", ...).
std::string ReadWithLibzip(const std::filesystem::path& file, const std::string& name,
                           const std::string& password);

}  // namespace quillet::testing
