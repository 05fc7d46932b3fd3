// Times the registry work a backup and a restore do on large inputs, in a temporary Wine prefix:
//   import_export  ImportKeyFile of a key tree with 100,000 values (commit to user.reg included),
//                  then ExportKeyTree of it; the exported file must equal the imported one.
//   load_commit    a 20 MB user.reg: first read (the load), one value changed, Commit(); the file
//                  must differ only in that key's block.
//   reverse_siblings  ImportKeyFile of 100,000 subkeys of one key listed last to first (commit to
//                  user.reg included); they must then list first to last.
// Each measurement prints one line of name=value fields. Exit status 0 when every check passed,
// 1 when one failed, 2 on a usage error.
//
// Usage: bench_registry [--only import_export|load_commit|reverse_siblings] [--values N]
//                       [--megabytes N] [--siblings N] [--keep-inputs DIR]
// --keep-inputs copies the generated inputs (values.txt, user.reg as generated, siblings.txt) into
// DIR, so
// that compare.sh can time copying the same files. Temporary files go below $TMPDIR (else /tmp).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "bench_inputs.h"
#include "platform/environment.h"
#include "platform/message_service.h"
#include "platform/prefix_lock.h"
#include "platform/wine_server_probe.h"
#include "registry/mod_reg.h"
#include "registry/registry_text.h"
#include "registry/wine_prefix_registry.h"
#include "system/wine_system.h"

namespace quillet::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr char kImportBase[] = "HKEY_CURRENT_USER\\Software\\Bench";

struct Options {
    std::string only;
    std::size_t values = 100000;
    std::uint64_t megabytes = 20;
    std::size_t siblings = 100000;
    std::optional<fs::path> keepInputs;
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Nobody answers messages in a benchmark: any message is a failure worth seeing.
class PrintingMessages : public MessageService {
  public:
    MessageAnswer showMessage(const std::string& text, MessageIcon, MessageButtons) override {
        std::cerr << "bench_registry: message: " << text << '\n';
        return MessageAnswer::Cancel;
    }
};

// A folder below the system's temporary folder, removed with everything in it at the end.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "quillet-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const fs::path& path() const { return m_path; }

  private:
    fs::path m_path;
};

// A prefix with what Quillet needs of one: a folder with a dosdevices folder and a user.reg.
Status MakePrefix(const fs::path& prefix) {
    std::error_code error;
    fs::create_directories(prefix / "dosdevices", error);
    if (!error) fs::create_directories(prefix / "drive_c", error);
    if (!error) fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:", error);
    if (error) return Status::Error("cannot make " + prefix.string() + ": " + error.message());
    return WriteEmptyUserReg(prefix / "user.reg");
}

// The registry of a prefix, opened as Quillet opens one, and closed on request: giving its memory
// back is part of what a run costs before it can exit, so the benchmarks time the closing.
struct OpenedRegistry {
    std::unique_ptr<system::WineSystem> wine;
    PrintingMessages messages;
    std::unique_ptr<registry::ModReg> modReg;

    Status open(const fs::path& prefix) {
        Environment noEnvironment{[](const std::string&) { return std::optional<std::string>(); }};
        auto opened = system::WineSystem::Open(prefix.string(), noEnvironment, messages);
        if (!opened) return opened.status();
        wine = std::move(opened.value());
        modReg = std::make_unique<registry::ModReg>(wine->registry(), PlainMessages(messages));
        return Status::Ok();
    }
    void close() {
        modReg.reset();
        wine.reset();
    }
};

Status KeepInput(const Options& options, const fs::path& file, const char* name) {
    if (!options.keepInputs) return Status::Ok();
    std::error_code error;
    fs::create_directories(*options.keepInputs, error);
    if (!error) {
        fs::copy_file(file, *options.keepInputs / name, fs::copy_options::overwrite_existing,
                      error);
    }
    if (error) return Status::Error("cannot keep " + file.string() + ": " + error.message());
    return Status::Ok();
}

Status BenchImportExport(const Options& options, const fs::path& work) {
    const fs::path prefix = work / "import-prefix";
    const fs::path input = work / "values.txt";
    const fs::path exported = work / "exported.txt";
    if (Status made = MakePrefix(prefix); !made) return made;
    auto text = WriteKeyTreeText(input, options.values);
    if (!text) return text.status();
    if (Status kept = KeepInput(options, input, "values.txt"); !kept) return kept;

    OpenedRegistry registry;
    if (Status opened = registry.open(prefix); !opened) return opened;
    registry::ModReg& modReg = *registry.modReg;

    const Clock::time_point start = Clock::now();
    if (Status imported = registry::ImportKeyFile(modReg, kImportBase, input); !imported) {
        return Status::Error("import: " + imported.reason());
    }
    const double importSeconds = SecondsSince(start);
    const Clock::time_point exportStart = Clock::now();
    if (Status written = registry::ExportKeyTree(modReg, kImportBase, exported); !written) {
        return Status::Error("export: " + written.reason());
    }
    const double exportSeconds = SecondsSince(exportStart);
    const Clock::time_point freeStart = Clock::now();
    registry.close();
    const double freeSeconds = SecondsSince(freeStart);
    const double seconds = SecondsSince(start);

    auto overlap = CompareFiles(input, exported);
    if (!overlap) return overlap.status();
    if (!overlap->identical()) {
        return Status::Error("the exported file differs from the imported one: sizes " +
                             std::to_string(overlap->sizeA) + " and " +
                             std::to_string(overlap->sizeB) + ", first difference at byte " +
                             std::to_string(overlap->commonPrefix));
    }
    std::error_code ignored;
    const auto userRegBytes = fs::file_size(prefix / "user.reg", ignored);
    std::printf(
        "name=import_export values=%zu keys=%zu bytes=%llu user_reg_bytes=%llu "
        "import_seconds=%.4f export_seconds=%.4f free_seconds=%.4f seconds=%.4f\n",
        text->values, text->keys, static_cast<unsigned long long>(text->bytes),
        static_cast<unsigned long long>(userRegBytes), importSeconds, exportSeconds, freeSeconds,
        seconds);
    return Status::Ok();
}

Status BenchReverseSiblings(const Options& options, const fs::path& work) {
    const fs::path prefix = work / "siblings-prefix";
    const fs::path input = work / "siblings.txt";
    if (Status made = MakePrefix(prefix); !made) return made;
    auto text = WriteReverseSiblingsText(input, options.siblings);
    if (!text) return text.status();
    if (Status kept = KeepInput(options, input, "siblings.txt"); !kept) return kept;

    OpenedRegistry registry;
    if (Status opened = registry.open(prefix); !opened) return opened;
    registry::ModReg& modReg = *registry.modReg;

    const Clock::time_point start = Clock::now();
    if (Status imported = registry::ImportKeyFile(modReg, kImportBase, input); !imported) {
        return Status::Error("import: " + imported.reason());
    }
    const double importSeconds = SecondsSince(start);
    const registry::SubkeyList listed = modReg.EnumSubkeys(kImportBase);
    const Clock::time_point freeStart = Clock::now();
    registry.close();
    const double freeSeconds = SecondsSince(freeStart);
    const double seconds = importSeconds + freeSeconds;

    if (listed.size() != options.siblings || listed[0] != "Folder000000" ||
        !std::is_sorted(listed.begin(), listed.end())) {
        return Status::Error("the imported keys do not list first to last");
    }
    std::error_code ignored;
    const auto userRegBytes = fs::file_size(prefix / "user.reg", ignored);
    std::printf(
        "name=reverse_siblings keys=%zu bytes=%llu user_reg_bytes=%llu import_seconds=%.4f "
        "free_seconds=%.4f seconds=%.4f\n",
        text->keys, static_cast<unsigned long long>(text->bytes),
        static_cast<unsigned long long>(userRegBytes), importSeconds, freeSeconds, seconds);
    return Status::Ok();
}

// Reads a key's value through a fresh registry, after the measured one has gone.
Result<std::string> ReadBack(const fs::path& prefix, const LargeUserReg& file) {
    WineServerProbe probe;
    PrefixLock lock(prefix);
    registry::WinePrefixRegistry store(prefix, probe, lock);
    registry::HKey key;
    if (store.RegOpenKeyEx(registry::kHkeyCurrentUser, file.changedKeyPath, registry::kKeyRead,
                           &key) != registry::kErrorSuccess) {
        return Status::Error("the changed key is missing after the commit");
    }
    char data[256];
    std::uint32_t size = sizeof data;
    std::uint32_t type = 0;
    const auto result = store.RegQueryValueEx(key, file.changedValueName, &type,
                                              reinterpret_cast<std::uint8_t*>(data), &size);
    store.RegCloseKey(key);
    if (result != registry::kErrorSuccess || type != registry::kRegSz || size == 0) {
        return Status::Error("the changed value cannot be read back after the commit");
    }
    return std::string(data, size - 1);
}

Status BenchLoadCommit(const Options& options, const fs::path& work) {
    const fs::path prefix = work / "load-prefix";
    const fs::path original = work / "user.reg.before";
    if (Status made = MakePrefix(prefix); !made) return made;
    auto file = WriteLargeUserReg(prefix / "user.reg", options.megabytes * 1000 * 1000);
    if (!file) return file.status();
    std::error_code error;
    fs::copy_file(prefix / "user.reg", original, error);
    if (error) return Status::Error("cannot copy user.reg: " + error.message());
    if (Status kept = KeepInput(options, original, "user.reg"); !kept) return kept;

    const std::string newText = "changed by the registry benchmark";
    WineServerProbe probe;
    PrefixLock lock(prefix);
    const Clock::time_point start = Clock::now();
    auto store = std::make_unique<registry::WinePrefixRegistry>(prefix, probe, lock);
    registry::HKey key;
    if (store->RegOpenKeyEx(registry::kHkeyCurrentUser, file->someKeyPath, registry::kKeyRead,
                            &key) != registry::kErrorSuccess) {
        return Status::Error("cannot open " + file->someKeyPath + ": " + store->lastLoadError());
    }
    std::uint32_t size = 0;
    if (store->RegEnumValue(key, 0, nullptr, nullptr, nullptr, &size) != registry::kErrorSuccess) {
        return Status::Error("cannot read a value of " + file->someKeyPath);
    }
    store->RegCloseKey(key);
    const double loadSeconds = SecondsSince(start);

    const Clock::time_point changeStart = Clock::now();
    if (store->RegCreateKey(registry::kHkeyCurrentUser, file->changedKeyPath, &key) !=
        registry::kErrorSuccess) {
        return Status::Error("cannot open " + file->changedKeyPath + " for writing");
    }
    const auto result = store->RegSetValueEx(key, file->changedValueName, registry::kRegSz,
                                             reinterpret_cast<const std::uint8_t*>(newText.c_str()),
                                             static_cast<std::uint32_t>(newText.size() + 1));
    store->RegCloseKey(key);
    if (result != registry::kErrorSuccess) return Status::Error("cannot set the value");
    const double changeSeconds = SecondsSince(changeStart);

    const Clock::time_point commitStart = Clock::now();
    if (Status committed = store->Commit(); !committed) {
        return Status::Error("commit: " + committed.reason());
    }
    const double commitSeconds = SecondsSince(commitStart);
    const Clock::time_point freeStart = Clock::now();
    store.reset();
    const double freeSeconds = SecondsSince(freeStart);
    const double seconds = SecondsSince(start);

    // Every byte outside the changed key's block must be as it was.
    auto overlap = CompareFiles(original, prefix / "user.reg");
    if (!overlap) return overlap.status();
    const std::uint64_t changedEndBefore = overlap->sizeA - overlap->commonSuffix;
    if (overlap->identical() || overlap->commonPrefix < file->changedBlockStart ||
        changedEndBefore > file->changedBlockEnd) {
        return Status::Error("user.reg changed outside the block of " + file->changedKeyPath +
                             " (block at bytes " + std::to_string(file->changedBlockStart) +
                             " to " + std::to_string(file->changedBlockEnd) +
                             ", changes from byte " + std::to_string(overlap->commonPrefix) +
                             " to " + std::to_string(changedEndBefore) + ")");
    }
    auto readBack = ReadBack(prefix, *file);
    if (!readBack) return readBack.status();
    if (*readBack != newText) {
        return Status::Error("the changed value reads back as \"" + *readBack + "\"");
    }

    std::printf(
        "name=load_commit keys=%zu values=%zu bytes=%llu load_seconds=%.4f change_seconds=%.6f "
        "commit_seconds=%.4f free_seconds=%.4f seconds=%.4f changed_bytes_before=%llu "
        "changed_bytes_after=%llu\n",
        file->keys, file->values, static_cast<unsigned long long>(file->bytes), loadSeconds,
        changeSeconds, commitSeconds, freeSeconds, seconds,
        static_cast<unsigned long long>(changedEndBefore - overlap->commonPrefix),
        static_cast<unsigned long long>(overlap->sizeB - overlap->commonSuffix -
                                        overlap->commonPrefix));
    return Status::Ok();
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--only" && hasValue) {
            options.only = argv[++i];
            if (options.only != "import_export" && options.only != "load_commit" &&
                options.only != "reverse_siblings") {
                return std::nullopt;
            }
        } else if (arg == "--values" && hasValue) {
            options.values = std::strtoull(argv[++i], nullptr, 10);
            if (options.values == 0) return std::nullopt;
        } else if (arg == "--megabytes" && hasValue) {
            options.megabytes = std::strtoull(argv[++i], nullptr, 10);
            if (options.megabytes == 0) return std::nullopt;
        } else if (arg == "--siblings" && hasValue) {
            options.siblings = std::strtoull(argv[++i], nullptr, 10);
            if (options.siblings == 0) return std::nullopt;
        } else if (arg == "--keep-inputs" && hasValue) {
            options.keepInputs = fs::path(argv[++i]);
        } else {
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace
}  // namespace quillet::bench

int main(int argc, char** argv) {
    using namespace quillet::bench;
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::cerr << "usage: bench_registry [--only import_export|load_commit|reverse_siblings] "
                     "[--values N] [--megabytes N] [--siblings N] [--keep-inputs DIR]\n";
        return 2;
    }
    TemporaryFolder work;
    if (work.path().empty()) {
        std::cerr << "bench_registry: cannot make a temporary folder: " << std::strerror(errno)
                  << '\n';
        return 1;
    }
    int exitCode = 0;
    const auto run = [&](const char* name, auto bench) {
        if (!options->only.empty() && options->only != name) return;
        quillet::Status status = bench(*options, work.path());
        std::fflush(stdout);
        if (!status) {
            std::cerr << "bench_registry: " << name << " FAILED: " << status.reason() << '\n';
            exitCode = 1;
        }
    };
    run("import_export", BenchImportExport);
    run("load_commit", BenchLoadCommit);
    run("reverse_siblings", BenchReverseSiblings);
    return exitCode;
}
