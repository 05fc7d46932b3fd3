// Writes a sample mounted Windows XP disk holding the same Outlook Express data as the sample
// Wine prefix (examples/make-sample-prefix.sh): its registry becomes the hives
// WINDOWS/system32/config/software and .../system and the profile's NTUSER.DAT, its files the
// profile folder under "Documents and Settings" and "Program Files". The hives are written with
// libhivex on a copy of a base hive (examples/hives/minimal). The output is the same on every
// run: every file and folder gets one fixed modification time, 2024-01-01 00:00:00 UTC.
//
// Usage: make_sample_disk --prefix SAMPLE_PREFIX --base-hive HIVE [--filler-mb N]
//                         [--second-profile NAME] DIR
// DIR must not exist yet or be an empty folder. --filler-mb grows NTUSER.DAT to about N MB with
// made-up keys under HKEY_CURRENT_USER\Software\Quillet Sample Filler (for benchmarks).
// --second-profile adds a second user profile NAME, a copy of the first with its own profile list
// entry, ASCII names only (a disk on which the user must be chosen).
// Exit status 0 when the disk was written, 2 otherwise.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "hive_writer.h"
#include "registry/registry_store.h"
#include "registry/utf16_bytes.h"
#include "registry/wine_registry_file.h"

namespace fs = std::filesystem;
using quillet::examples::HiveWriter;
using namespace quillet::registry;
using quillet::Result;
using quillet::Status;

namespace {

constexpr char kUsage[] =
    "usage: make_sample_disk --prefix SAMPLE_PREFIX --base-hive HIVE [--filler-mb N]\n"
    "                        [--second-profile NAME] DIR\n";

// The profile's folder as the prefix names it and as the disk names it.
constexpr char16_t kPrefixProfile[] = u"C:\\users\\quillet";
constexpr char16_t kDiskProfile[] = u"C:\\Documents and Settings\\quillet";
constexpr char kProfileFolder[] = "Documents and Settings/quillet";
constexpr char kWindowsFolder[] = "WINDOWS";
constexpr char16_t kComputerName[] = u"OLDPC";
constexpr char kSecondProfileSid[] = "S-1-5-21-0-0-0-1001";
constexpr std::int64_t kStampSeconds = 1704067200;  // 2024-01-01 00:00:00 UTC

struct Options {
    fs::path prefix;
    fs::path baseHive;
    fs::path disk;
    std::uint64_t fillerBytes = 0;
    std::string secondProfile;  // a second user profile, a copy of the first, when not empty
};

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasNext = i + 1 < argc;
        if (argument == "--prefix" && hasNext) {
            options->prefix = argv[++i];
        } else if (argument == "--base-hive" && hasNext) {
            options->baseHive = argv[++i];
        } else if (argument == "--filler-mb" && hasNext) {
            const std::string megabytes = argv[++i];
            if (megabytes.empty() ||
                megabytes.find_first_not_of("0123456789") != std::string::npos ||
                megabytes.size() > 5) {
                return false;
            }
            options->fillerBytes = std::stoull(megabytes) * 1024 * 1024;
        } else if (argument == "--second-profile" && hasNext) {
            options->secondProfile = argv[++i];
        } else if (options->disk.empty() && !argument.starts_with("-")) {
            options->disk = argument;
        } else {
            return false;
        }
    }
    return !options->prefix.empty() && !options->baseHive.empty() && !options->disk.empty();
}

std::string TextBytes(std::u16string_view text) {
    return Utf16LeBytes(text) + std::string(2, '\0');
}
std::string DwordBytes(std::uint32_t number) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(number >> (8 * i) & 0xFF);
    return bytes;
}

// The key below `root`, added (with every key above it) when missing.
KeyNode& Key(KeyTree& tree, std::string_view path) {
    KeyNode* node = tree.root.get();
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        node = node->addSubkey(path.substr(0, cut)).get();
        path = cut == std::string_view::npos ? "" : path.substr(cut + 1);
    }
    return *node;
}

Result<std::unique_ptr<KeyTree>> LoadRegistryFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) return Status::Error("cannot read " + file.string());
    return ParseWineRegistry(text.str());
}

// Every text value below `node` that names the prefix's profile folder names the disk's instead.
// The identities' keys are left as they are, so that their backups hold the same keys as the
// prefix's (the only such path there is a signature file that neither holds).
void MoveProfilePaths(KeyNode& node) {
    for (RegValue& value : node.values) {
        if (!IsTextType(value.type)) continue;
        std::u16string text = Utf16FromLeBytes(value.data);
        const std::u16string_view from = kPrefixProfile;
        for (std::size_t at = text.find(from); at != std::u16string::npos;
             at = text.find(from, at + 1)) {
            text.replace(at, from.size(), kDiskProfile);
        }
        value.data = Utf16LeBytes(text);
    }
    for (const auto& subkey : node.subkeys()) {
        if (node.parent == nullptr && subkey->name == "Identities") continue;
        MoveProfilePaths(*subkey);
    }
}

// A filler value of 1000 bytes takes about this much of the hive file with its share of the key,
// the lists and the page headers (measured on a 20 MB filler).
constexpr std::uint64_t kFillerValueHiveBytes = 1360;

// Adds made-up keys until they take about `bytes` bytes of the hive: groups of 64 keys of 8 values
// (7 binary values of 1000 generated bytes and a text), so that no key gets thousands of subkeys.
void AddFiller(KeyTree& user, std::uint64_t bytes) {
    std::uint32_t seed = 1;
    auto nextByte = [&seed] {
        seed = seed * 1103515245 + 12345;
        return static_cast<char>(seed >> 16 & 0xFF);
    };
    std::uint64_t written = 0;
    for (int group = 0; written < bytes; ++group) {
        KeyNode& groupKey =
            Key(user, "Software\\Quillet Sample Filler\\Group " + std::to_string(group));
        for (int k = 0; k < 64 && written < bytes; ++k) {
            KeyNode& key = *groupKey.addSubkey("Key " + std::to_string(k));
            for (int v = 0; v < 7; ++v) {
                std::string data(1000, '\0');
                for (char& c : data) c = nextByte();
                key.setValue("Setting " + std::to_string(v), kRegBinary, data);
                written += kFillerValueHiveBytes;
            }
            key.setValue("Description", kRegSz, TextBytes(u"Made-up filler key"));
        }
    }
}

// HKEY_CURRENT_USER as the profile's NTUSER.DAT holds it: the prefix's, without Wine's own keys.
void PrepareUserHive(KeyTree& user, std::uint64_t fillerBytes) {
    if (auto software = FindKey(user.root, "Software")) {
        if (auto wine = FindKey(software, "Wine")) software->removeSubkey(wine.get());
    }
    MoveProfilePaths(*user.root);
    AddFiller(user, fillerBytes);
}

// HKEY_LOCAL_MACHINE as a Windows XP installation on drive C: holds it.
void PrepareMachineHive(KeyTree& machine, const std::string& secondProfile) {
    KeyNode& nt = Key(machine, "Software\\Microsoft\\Windows NT\\CurrentVersion");
    nt.setValue("CurrentBuild", kRegSz, TextBytes(u"2600"));
    nt.setValue("CurrentBuildNumber", kRegSz, TextBytes(u"2600"));
    nt.setValue("CurrentVersion", kRegSz, TextBytes(u"5.1"));
    nt.setValue("ProductName", kRegSz, TextBytes(u"Microsoft Windows XP"));
    nt.setValue("SystemRoot", kRegSz, TextBytes(u"C:\\WINDOWS"));
    KeyNode& profiles =
        Key(machine, "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    profiles.setValue("ProfilesDirectory", kRegExpandSz,
                      TextBytes(u"%SystemDrive%\\Documents and Settings"));
    for (const auto& profile : profiles.subkeys()) {
        profile->setValue("ProfileImagePath", kRegExpandSz,
                          TextBytes(u"%SystemDrive%\\Documents and Settings\\quillet"));
    }
    if (!secondProfile.empty()) {
        const std::u16string path = u"%SystemDrive%\\Documents and Settings\\" +
                                    std::u16string(secondProfile.begin(), secondProfile.end());
        profiles.addSubkey(kSecondProfileSid)
            ->setValue("ProfileImagePath", kRegExpandSz, TextBytes(path));
    }
    Key(machine, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName")
        .setValue("ComputerName", kRegSz, TextBytes(kComputerName));
    KeyNode& select = Key(machine, "System\\Select");
    select.setValue("Current", kRegDword, DwordBytes(1));
    select.setValue("Default", kRegDword, DwordBytes(1));
    select.setValue("Failed", kRegDword, DwordBytes(0));
    select.setValue("LastKnownGood", kRegDword, DwordBytes(1));
}

// Writes one hive file: `from` and everything below it at the hive's root. In the system hive
// the current control set is written as the control set it points to.
bool WriteHive(const fs::path& baseHive, const KeyNode& from, const fs::path& file) {
    std::string reason;
    auto writer = HiveWriter::Open(baseHive, &reason);
    bool written = writer != nullptr && writer->writeValues(writer->root(), from);
    for (const auto& subkey : from.subkeys()) {
        if (!written) break;
        const std::string name =
            subkey->name == "CurrentControlSet" ? "ControlSet001" : subkey->name;
        const hive_node_h node = writer->child(writer->root(), name);
        written = node != 0 && writer->writeTree(node, *subkey);
    }
    written = written && writer->commit(file);
    if (!written) {
        std::cerr << "make_sample_disk: " << (writer ? writer->lastError() : reason) << "\n";
    }
    return written;
}

bool WriteHives(const Options& options) {
    auto user = LoadRegistryFile(options.prefix / "user.reg");
    auto machine = LoadRegistryFile(options.prefix / "system.reg");
    if (!user.ok() || !machine.ok()) {
        std::cerr << "make_sample_disk: " << (user.ok() ? "system.reg: " : "user.reg: ")
                  << (user.ok() ? machine.reason() : user.reason()) << "\n";
        return false;
    }
    PrepareUserHive(**user, options.fillerBytes);
    PrepareMachineHive(**machine, options.secondProfile);
    const fs::path config = options.disk / kWindowsFolder / "system32/config";
    fs::create_directories(config);
    fs::create_directories(options.disk / kProfileFolder);
    return WriteHive(options.baseHive, *(*user)->root,
                     options.disk / kProfileFolder / "NTUSER.DAT") &&
           WriteHive(options.baseHive, *FindKey((*machine)->root, "Software"),
                     config / "software") &&
           WriteHive(options.baseHive, *FindKey((*machine)->root, "System"), config / "system");
}

// The prefix's files in the disk's places, then one fixed time on everything.
void CopyFiles(const Options& options) {
    const fs::path driveC = options.prefix / "drive_c";
    constexpr auto kRecursive = fs::copy_options::recursive;
    fs::copy(driveC / "users/quillet", options.disk / kProfileFolder, kRecursive);
    fs::copy(driveC / "Program Files", options.disk / "Program Files", kRecursive);
    fs::copy(driveC / "windows", options.disk / kWindowsFolder, kRecursive);
    if (!options.secondProfile.empty()) {
        fs::copy(options.disk / kProfileFolder,
                 options.disk / "Documents and Settings" / options.secondProfile, kRecursive);
    }

    const auto stamp = std::chrono::file_clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(kStampSeconds)));
    for (const auto& entry : fs::recursive_directory_iterator(options.disk)) {
        fs::last_write_time(entry.path(), stamp);
    }
    fs::last_write_time(options.disk, stamp);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        std::cerr << kUsage;
        return 2;
    }
    std::error_code error;
    if (fs::exists(options.disk) && !fs::is_empty(options.disk, error)) {
        std::cerr << "make_sample_disk: " << options.disk.string()
                  << " is not an empty folder; refusing to write into it\n";
        return 2;
    }
    try {
        if (!WriteHives(options)) return 2;
        CopyFiles(options);
    } catch (const std::exception& failure) {  // std::filesystem's errors
        std::cerr << "make_sample_disk: " << failure.what() << "\n";
        return 2;
    }
    std::cout << "Sample Windows disk written to " << options.disk.string() << "\n";
    return 0;
}
