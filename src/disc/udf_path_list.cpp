#include "disc/udf_path_list.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include "disc/image_tree.h"
#include "disc/tree_names.h"

namespace quillet::disc {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEmptyFolder = "empty";
constexpr const char* kFolderHolders = "folders";
constexpr const char* kNameLinks = "names";
constexpr const char* kHideList = "hide-iso";
constexpr const char* kHideJolietList = "hide-joliet";

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '=') out += '\\';
        out += c;
    }
    return out;
}

class PathListWriter {
  public:
    PathListWriter(const ProjectSettings& settings, const fs::path& folder,
                   const std::string& listName)
        : m_settings(settings),
          m_folder(folder),
          m_list(folder / listName, std::ios::binary),
          m_now(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now())) {}

    void add(const ImageItem& item) {
        if (item.isFolder) {
            m_list << GraftPoint(item, holder(item)) << '\n';
        } else if (m_settings.fileSystemType == kFileSystemIsoJolietUdf &&
                   NeedsOwnName(item.itemName, false, kJolietNames)) {
            addShortNamed(item);
        } else {
            m_list << GraftPoint(item, {}) << '\n';
        }
    }

    std::optional<std::vector<std::string>> finish() {
        // An empty folder's contents at the root: genisoimage wants at least one path, and an
        // empty image is still an image.
        const fs::path empty = m_folder / kEmptyFolder;
        std::error_code failed;
        fs::create_directory(empty, failed);
        m_broken = m_broken || failed;
        m_list << empty.string() << '\n';
        m_list.close();
        m_hideIso.close();
        m_hideJoliet.close();
        if (m_broken || !m_list || (m_shortNamed > 0 && (!m_hideIso || !m_hideJoliet))) {
            return std::nullopt;
        }
        if (m_shortNamed == 0) return std::vector<std::string>{};
        return std::vector<std::string>{"-hide-list", kHideList, "-hide-joliet-list",
                                        kHideJolietList};
    }

  private:
    // A host folder holding one empty folder named and dated as `item`.
    std::string holder(const ImageItem& item) {
        const fs::path held = m_folder / kFolderHolders / std::to_string(m_folders++);
        const std::time_t date =
            m_settings.useFileDates ? std::chrono::system_clock::to_time_t(item.fileDate) : m_now;
        const timespec dates[2] = {{date, 0}, {date, 0}};
        std::error_code failed;
        if (!fs::create_directories(held / item.itemName, failed) ||
            ::utimensat(AT_FDCWD, (held / item.itemName).c_str(), dates, 0) != 0) {
            m_broken = true;
        }
        return held.string();
    }

    void addShortNamed(const ImageItem& item) {
        const std::string link = std::string(kNameLinks) + "/" + std::to_string(m_shortNamed);
        std::error_code failed;
        if (m_shortNamed++ == 0) {
            fs::create_directory(m_folder / kNameLinks, failed);
            m_hideIso.open(m_folder / kHideList, std::ios::binary);
            m_hideJoliet.open(m_folder / kHideJolietList, std::ios::binary);
        }
        const fs::path target = failed ? fs::path() : fs::absolute(item.sourcePath, failed);
        for (const char* tree : {"f", "s"}) {
            if (!failed) fs::create_symlink(target, m_folder / (link + tree), failed);
        }
        m_broken = m_broken || failed;
        m_list << GraftPoint(item, {}, {}, link + "f") << '\n'
               << GraftPoint(item, {}, TreeName(item.itemName, false, kJolietNames), link + "s")
               << '\n';
        m_hideJoliet << link << "f\n";
        m_hideIso << link << "s\n";
    }

    const ProjectSettings& m_settings;
    const fs::path m_folder;
    std::ofstream m_list, m_hideIso, m_hideJoliet;
    const std::time_t m_now;
    std::size_t m_folders = 0;
    int m_shortNamed = 0;
    bool m_broken = false;  // a folder, link or list could not be made
};

}  // namespace

std::string GraftPoint(const ImageItem& item, const std::string& folderHolder,
                       const std::string& name, const std::string& source) {
    std::string path;
    const std::vector<std::string> names = SplitImagePath(item.imagePath).names;
    const std::size_t count = names.size() - (item.isFolder ? 1 : 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (!path.empty()) path += '/';
        path += Escaped(i + 1 == names.size() && !name.empty() ? name : names[i]);
    }
    if (item.isFolder) return path.empty() ? folderHolder : path + "/=" + folderHolder;
    return path + "=" + (source.empty() ? item.sourcePath : source);
}

std::optional<std::vector<std::string>> WritePathList(const std::vector<ImageItem>& items,
                                                      const ProjectSettings& settings,
                                                      const fs::path& folder,
                                                      const std::string& listName) {
    PathListWriter writer(settings, folder, listName);
    for (const ImageItem& item : items) writer.add(item);
    return writer.finish();
}

}  // namespace quillet::disc
