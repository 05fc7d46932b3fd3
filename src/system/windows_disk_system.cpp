#include "system/windows_disk_system.h"

#include <algorithm>

#include "platform/case_fold.h"

namespace quillet::system {
namespace {

using registry::HiveFiles;
using registry::HivexRegistryStore;
using registry::HKey;
using registry::RegistryStore;

constexpr char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr char kComputerName[] = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr char kProfilesFolder[] = "C:\\Documents and Settings";

constexpr int kMaxLinkHops = 40;

// Ok when `hostPath`, its symbolic links resolved as far as it exists, lies inside `root`.
Status ConfineToRoot(const std::filesystem::path& root, const std::filesystem::path& hostPath) {
    std::error_code error;
    const std::filesystem::path realRoot = std::filesystem::weakly_canonical(root, error);
    // A link that leads nowhere yet is followed too: what it names may appear before it is read.
    std::filesystem::path real = hostPath;
    std::error_code kindError;  // a path that does not exist is no link
    for (int hops = 0;
         !error && hops < kMaxLinkHops &&
         std::filesystem::is_symlink(std::filesystem::symlink_status(real, kindError));
         ++hops) {
        const std::filesystem::path target = std::filesystem::read_symlink(real, error);
        real = target.is_absolute() ? target : real.parent_path() / target;
    }
    if (!error) real = std::filesystem::weakly_canonical(real, error);
    if (error) {
        return Status::Error("cannot resolve " + hostPath.string() + ": " + error.message(),
                             ErrorKind::kIo);
    }
    const auto [rootEnd, realAt] =
        std::mismatch(realRoot.begin(), realRoot.end(), real.begin(), real.end());
    if (rootEnd == realRoot.end()) return Status::Ok();
    return Status::Error(hostPath.string() + " leads outside the disk " + root.string() + " (to " +
                             real.string() + "); nothing outside the disk is read",
                         ErrorKind::kAccessDenied);
}

// The installation's Windows folder, as a Windows path, and its two machine hives.
struct Installation {
    std::string windowsFolder;
    HiveFiles machineHives;
};

Result<Installation> FindInstallation(const WindowsPathMapper& paths) {
    for (const char* folder : {"C:\\WINDOWS", "C:\\WINNT"}) {
        const std::string config = std::string(folder) + "\\system32\\config\\";
        const std::optional<std::filesystem::path> software = paths.toHost(config + "software");
        const std::optional<std::filesystem::path> system = paths.toHost(config + "system");
        std::error_code error;
        if (software && system && std::filesystem::is_regular_file(*software, error) &&
            std::filesystem::is_regular_file(*system, error)) {
            for (const std::filesystem::path& hive : {*software, *system}) {
                if (Status confined = ConfineToRoot(paths.prefix(), hive); !confined) {
                    return confined;
                }
            }
            return Installation{folder, HiveFiles{{}, *software, *system}};
        }
    }
    return Status::Error("no Windows installation in " + paths.prefix().string() +
                             " (no WINDOWS or WINNT folder with system32\\config\\software and "
                             "system)",
                         ErrorKind::kNotFound);
}

// A text value of an open key, without its terminating zeros.
std::optional<std::string> TextValue(RegistryStore& store, HKey key, const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (store.RegQueryValueEx(key, name, &type, nullptr, &size) != registry::kErrorSuccess ||
        !registry::IsTextType(type)) {
        return std::nullopt;
    }
    std::string text(size, '\0');
    if (store.RegQueryValueEx(key, name, &type, reinterpret_cast<std::uint8_t*>(text.data()),
                              &size) != registry::kErrorSuccess) {
        return std::nullopt;
    }
    text.resize(std::min<std::size_t>(size, text.size()));
    return text.substr(0, text.find('\0'));
}

// Replaces each %NAME% of `text` that `variables` knows, without regard to case.
std::string Expand(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& variables) {
    for (const auto& [name, value] : variables) {
        const std::string mark = "%" + name + "%";
        for (std::size_t at = 0; at + mark.size() <= text.size();) {
            if (EqualsIgnoringCase(std::string_view(text).substr(at, mark.size()), mark)) {
                text.replace(at, mark.size(), value);
                at += value.size();
            } else {
                ++at;
            }
        }
    }
    return text;
}

std::string LastComponent(const std::string& windowsPath) {
    std::string path = windowsPath;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Fills in where the profile's registry lies and whether it holds identities.
Status InspectProfile(const WindowsPathMapper& paths, const Installation& installation,
                      DiskProfile& profile) {
    const std::optional<std::filesystem::path> hive =
        paths.toHost(profile.windowsPath + "\\NTUSER.DAT");
    std::error_code error;
    if (!hive || !std::filesystem::is_regular_file(*hive, error)) return Status::Ok();
    if (Status confined = ConfineToRoot(paths.prefix(), *hive); !confined) return confined;
    profile.userHive = *hive;
    HiveFiles files = installation.machineHives;
    files.currentUser = *hive;
    auto store = HivexRegistryStore::Open(files);
    if (!store) return store.status();
    HKey key;
    if ((*store)->RegOpenKeyEx(registry::kHkeyCurrentUser, "Identities", registry::kKeyRead,
                               &key) == registry::kErrorSuccess) {
        std::string first;
        profile.hasIdentities = (*store)->RegEnumKeyEx(key, 0, &first) == registry::kErrorSuccess;
        (*store)->RegCloseKey(key);
    }
    return Status::Ok();
}

Result<std::vector<DiskProfile>> Profiles(const WindowsPathMapper& paths,
                                          const Installation& installation) {
    auto machine = HivexRegistryStore::Open(installation.machineHives);
    if (!machine) return machine.status();
    RegistryStore& store = **machine;
    const std::vector<std::pair<std::string, std::string>> variables{
        {"SystemDrive", "C:"},
        {"SystemRoot", installation.windowsFolder},
        {"windir", installation.windowsFolder}};

    std::vector<DiskProfile> profiles;
    const auto add = [&](const std::string& windowsPath) {
        for (const DiskProfile& known : profiles) {
            if (EqualsIgnoringCase(known.windowsPath, windowsPath)) return;
        }
        profiles.push_back(DiskProfile{LastComponent(windowsPath), windowsPath, {}, false});
    };
    HKey list;
    if (store.RegOpenKeyEx(registry::kHkeyLocalMachine, kProfileList, registry::kKeyRead, &list) ==
        registry::kErrorSuccess) {
        std::string sid;
        for (std::uint32_t i = 0; store.RegEnumKeyEx(list, i, &sid) == registry::kErrorSuccess;
             ++i) {
            HKey key;
            if (store.RegOpenKeyEx(list, sid, registry::kKeyRead, &key) !=
                registry::kErrorSuccess) {
                continue;
            }
            if (std::optional<std::string> path = TextValue(store, key, "ProfileImagePath")) {
                const std::string expanded = Expand(*path, variables);
                if (expanded.size() > 3 && EqualsIgnoringCase(expanded.substr(0, 2), "C:")) {
                    add(expanded);
                }
            }
            store.RegCloseKey(key);
        }
        store.RegCloseKey(list);
    }
    // Profile folders the list does not name (a copied disk, a damaged list) count too.
    if (const std::optional<std::filesystem::path> folder = paths.toHost(kProfilesFolder)) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(*folder, error)) {
            if (entry.is_directory(error)) {
                add(std::string(kProfilesFolder) + "\\" + entry.path().filename().string());
            }
        }
    }
    for (DiskProfile& profile : profiles) {
        if (Status inspected = InspectProfile(paths, installation, profile); !inspected) {
            return inspected;
        }
    }
    return profiles;
}

std::string Names(const std::vector<const DiskProfile*>& profiles) {
    std::string names;
    for (const DiskProfile* profile : profiles)
        names += (names.empty() ? "" : ", ") + profile->name;
    return names.empty() ? "none" : names;
}

Result<DiskProfile> ChooseProfile(std::vector<DiskProfile> profiles,
                                  const std::optional<std::string>& user,
                                  const std::filesystem::path& root) {
    std::vector<const DiskProfile*> all, withIdentities;
    for (const DiskProfile& profile : profiles) {
        if (profile.userHive.empty()) continue;
        all.push_back(&profile);
        if (profile.hasIdentities) withIdentities.push_back(&profile);
    }
    if (user) {
        for (const DiskProfile& profile : profiles) {
            if (!EqualsIgnoringCase(profile.name, *user)) continue;
            if (profile.userHive.empty()) {
                return Status::Error("the profile " + profile.windowsPath +
                                         " has no NTUSER.DAT, so no registry to read",
                                     ErrorKind::kNotFound);
            }
            return profile;
        }
        return Status::Error(
            "no profile " + *user + " on " + root.string() + " (profiles: " + Names(all) + ")",
            ErrorKind::kNotFound);
    }
    if (withIdentities.size() == 1) return *withIdentities.front();
    if (withIdentities.empty()) {
        return Status::Error("no profile on " + root.string() +
                                 " holds Outlook Express identities (profiles: " + Names(all) + ")",
                             ErrorKind::kNotFound);
    }
    return Status::Error("several profiles on " + root.string() +
                             " hold Outlook Express identities: " + Names(withIdentities) +
                             "; choose one with --user NAME",
                         ErrorKind::kBadInput);
}

std::string RecordedComputerName(RegistryStore& store) {
    HKey key;
    if (store.RegOpenKeyEx(registry::kHkeyLocalMachine, kComputerName, registry::kKeyRead, &key) !=
        registry::kErrorSuccess) {
        return std::string();
    }
    const std::optional<std::string> name = TextValue(store, key, "ComputerName");
    store.RegCloseKey(key);
    return name.value_or(std::string());
}

}  // namespace

Result<std::vector<DiskProfile>> WindowsDiskSystem::ListProfiles(
    const std::filesystem::path& root) {
    const WindowsPathMapper paths = WindowsPathMapper::ForDisk(std::filesystem::absolute(root));
    auto installation = FindInstallation(paths);
    if (!installation) return installation.status();
    return Profiles(paths, *installation);
}

Result<std::unique_ptr<WindowsDiskSystem>> WindowsDiskSystem::Open(
    const std::filesystem::path& root, const std::optional<std::string>& user,
    MessageService& messages) {
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        return Status::Error(root.string() + " is not a folder", ErrorKind::kNotFound);
    }
    WindowsPathMapper paths =
        WindowsPathMapper::ForDisk(std::filesystem::absolute(root).lexically_normal());
    auto installation = FindInstallation(paths);
    if (!installation) return installation.status();
    auto profiles = Profiles(paths, *installation);
    if (!profiles) return profiles.status();
    auto profile = ChooseProfile(std::move(*profiles), user, root);
    if (!profile) return profile.status();
    HiveFiles files = installation->machineHives;
    files.currentUser = profile->userHive;
    auto store = HivexRegistryStore::Open(files);
    if (!store) return store.status();
    std::string computerName = RecordedComputerName(**store);
    return std::unique_ptr<WindowsDiskSystem>(
        new WindowsDiskSystem(std::move(paths), installation->windowsFolder, std::move(*profile),
                              std::move(*store), std::move(computerName), messages));
}

WindowsDiskSystem::WindowsDiskSystem(WindowsPathMapper paths, std::string windowsFolder,
                                     DiskProfile profile,
                                     std::unique_ptr<registry::HivexRegistryStore> registry,
                                     std::string computerName, MessageService& messages)
    : m_paths(std::move(paths)),
      m_windowsFolder(std::move(windowsFolder)),
      m_profile(std::move(profile)),
      m_registry(std::move(registry)),
      m_modReg(*m_registry, PlainMessages(messages)),
      m_computerName(std::move(computerName)) {}

Status WindowsDiskSystem::confineRead(const std::filesystem::path& hostPath) const {
    return ConfineToRoot(root(), hostPath);
}

std::string WindowsDiskSystem::displayName() const {
    return "Windows disk " + root().string() + " (" + logonUser() + ")";
}

}  // namespace quillet::system
