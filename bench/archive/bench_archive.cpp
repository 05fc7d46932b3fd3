// Adds files to a new archive with a given password, level and thread count, and reports the wall
// time of the save and the sizes.
//
//   bench_archive [--password TEXT] [--level 0-9] [--threads N] OUTPUT FILE...

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "archive/zip_archive.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_archive [--password TEXT] [--level 0-9] [--threads N] OUTPUT "
                 "FILE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string password;
    int level = 6;
    unsigned threads = 0;
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") return Usage();
        if ((argument == "--password" || argument == "--level" || argument == "--threads")) {
            if (i + 1 >= argc) return Usage();
            const char* value = argv[++i];
            if (argument == "--password") password = value;
            if (argument == "--level") level = std::atoi(value);
            if (argument == "--threads") threads = static_cast<unsigned>(std::atoi(value));
            continue;
        }
        paths.emplace_back(argument);
    }
    if (paths.size() < 2) return Usage();

    quillet::archive::ZipArchive archive;
    archive.setCompressionLevel(level);
    archive.setCompressionThreads(threads);
    archive.ClearArchive();
    if (auto created = archive.CreateArchive(paths.front()); !created) {
        std::fprintf(stderr, "bench_archive: %s\n", created.reason().c_str());
        return 1;
    }
    std::uintmax_t inputBytes = 0;
    for (std::size_t i = 1; i < paths.size(); ++i) {
        if (auto added = archive.AddFileEntry(paths[i]); !added) {
            std::fprintf(stderr, "bench_archive: %s\n", added.reason().c_str());
            return 1;
        }
        inputBytes += std::filesystem::file_size(paths[i]);
    }
    archive.WritePassword(password);
    archive.EncryptOnWrite(!password.empty());

    const auto start = std::chrono::steady_clock::now();
    const quillet::Status saved = archive.SaveArchive();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    archive.ClearArchive();
    if (!saved) {
        std::fprintf(stderr, "bench_archive: %s\n", saved.reason().c_str());
        return 1;
    }
    const std::uintmax_t outputBytes = std::filesystem::file_size(paths.front());
    std::printf(
        "files %zu  input %ju bytes  output %ju bytes  ratio %.4f  wall %.3f s  %.1f MB/s\n",
        paths.size() - 1, inputBytes, outputBytes,
        inputBytes ? static_cast<double>(outputBytes) / static_cast<double>(inputBytes) : 0.0,
        wall.count(), static_cast<double>(inputBytes) / 1e6 / wall.count());
    return 0;
}
