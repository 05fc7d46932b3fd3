#pragma once

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "support/platform/faulty_file_operations.h"

namespace quillet::testing {

// The real file operations (recorded, as FaultyFileOperations does), except that the entries with
// these file names belong to another user.
class ForeignOwnerFileOperations : public FaultyFileOperations {
  public:
    explicit ForeignOwnerFileOperations(std::set<std::string> foreignNames)
        : m_foreignNames(std::move(foreignNames)) {}

    int status(const std::filesystem::path& file, bool followLinks, struct stat* info) override {
        const int error = FaultyFileOperations::status(file, followLinks, info);
        if (error == 0 && m_foreignNames.count(file.filename().string()) != 0) {
            info->st_uid = ::geteuid() + 1;
        }
        return error;
    }

  private:
    std::set<std::string> m_foreignNames;
};

}  // namespace quillet::testing
