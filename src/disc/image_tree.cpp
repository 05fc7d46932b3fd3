#include "disc/image_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <system_error>

namespace quillet::disc {

namespace fs = std::filesystem;

struct ImageTree::Node {
    ImageItem item;
    std::map<std::string, std::unique_ptr<Node>> children;
};

namespace {

std::chrono::system_clock::time_point ModificationTime(const struct stat& info) {
    return std::chrono::system_clock::from_time_t(info.st_mtim.tv_sec) +
           std::chrono::duration_cast<std::chrono::system_clock::duration>(
               std::chrono::nanoseconds(info.st_mtim.tv_nsec));
}

// What an image item takes from its host file or folder; false when it is not there.
bool DescribeSource(const std::string& source, ImageItem& item) {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) return false;
    item.sourcePath = source;
    item.fileDate = ModificationTime(info);
    item.itemSize = item.isFolder ? 0 : static_cast<double>(info.st_size);
    return true;
}

bool IsReadableRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), R_OK) == 0;
}

// "folder\*.*" or "folder/*.*" (the form a folder is added in) names the folder itself.
std::string FolderOfPattern(std::string pattern) {
    for (const char* suffix : {"\\*.*", "/*.*"}) {
        const std::string tail = suffix;
        if (pattern.size() > tail.size() &&
            pattern.compare(pattern.size() - tail.size(), tail.size(), tail) == 0) {
            pattern.resize(pattern.size() - tail.size());
            break;
        }
    }
    while (pattern.size() > 1 && pattern.back() == '/') pattern.pop_back();
    return pattern;
}

}  // namespace

bool IsValidImageName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("\\/\0", 3)) == std::string::npos;
}

ImagePathNames SplitImagePath(const std::string& imagePath) {
    ImagePathNames result;
    if (imagePath.empty() || imagePath[0] != kImageSeparator) return result;
    size_t start = 1;
    while (start < imagePath.size()) {
        size_t end = imagePath.find(kImageSeparator, start);
        if (end == std::string::npos) end = imagePath.size();
        std::string name = imagePath.substr(start, end - start);
        if (!IsValidImageName(name)) return result;
        result.names.push_back(std::move(name));
        start = end + 1;
        if (end + 1 == imagePath.size()) return result;  // a trailing separator
    }
    result.valid = true;
    return result;
}

std::string JoinImagePath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder == kImageRoot) return std::string(kImageRoot) + name;
    return folder + kImageSeparator + name;
}

ImageTree::ImageTree(EventHub& hub) : m_hub(hub), m_root(std::make_unique<Node>()) {
    m_root->item.isFolder = true;
    m_root->item.imagePath = kImageRoot;
}

ImageTree::~ImageTree() = default;

ImageTree::Node* ImageTree::find(const std::string& imagePath) const {
    const ImagePathNames path = SplitImagePath(imagePath);
    if (!path.valid) return nullptr;
    Node* node = m_root.get();
    for (const std::string& name : path.names) {
        auto child = node->children.find(name);
        if (child == node->children.end()) return nullptr;
        node = child->second.get();
    }
    return node;
}

ImageTree::Node* ImageTree::makeFolders(const std::vector<std::string>& names, size_t count) {
    Node* node = m_root.get();
    for (size_t i = 0; i < count; ++i) {
        auto& child = node->children[names[i]];
        if (!child) {
            child = std::make_unique<Node>();
            child->item.isFolder = true;
            child->item.parentFolder = node->item.imagePath;
            child->item.imagePath = JoinImagePath(node->item.imagePath, names[i]);
            child->item.itemName = names[i];
            child->item.fileDate = std::chrono::system_clock::now();
            ++m_folderCount;
            ++m_generation;
            const ImageItem added = child->item;
            m_hub.raise([&](DiscEventListener& listener) { listener.ItemAdded(added); });
        } else if (!child->item.isFolder) {
            return nullptr;
        }
        node = child.get();
    }
    return node;
}

bool ImageTree::AddFile(const std::string& source, const std::string& imagePath) {
    const ImagePathNames path = SplitImagePath(imagePath);
    if (!path.valid || path.names.empty() || !IsReadableRegularFile(source)) return false;
    return addFileAt(source, path.names);
}

bool ImageTree::addFileAt(const std::string& source, const std::vector<std::string>& names) {
    ImageItem item;
    if (!DescribeSource(source, item)) return false;
    Node* folder = makeFolders(names, names.size() - 1);
    if (folder == nullptr) return false;
    item.parentFolder = folder->item.imagePath;
    item.imagePath = JoinImagePath(folder->item.imagePath, names.back());
    item.itemName = names.back();

    auto& node = folder->children[names.back()];
    if (node) {
        if (node->item.isFolder) return false;
        const ImageItem existing = node->item;
        const bool replace = m_hub.raiseAny(
            [&](DiscEventListener& listener) { return listener.ReplaceQuery(existing, source); });
        if (!replace) return false;
    } else {
        node = std::make_unique<Node>();
        ++m_fileCount;
    }
    node->item = item;
    ++m_generation;
    m_hub.raise([&](DiscEventListener& listener) { listener.ItemAdded(item); });
    return true;
}

bool ImageTree::AddFolder(const std::string& sourcePattern, const std::string& imagePath) {
    const std::string source = FolderOfPattern(sourcePattern);
    std::error_code error;
    const ImagePathNames path = SplitImagePath(imagePath);
    if (!path.valid || !fs::is_directory(source, error)) return false;
    return addFolderAt(source, path.names);
}

bool ImageTree::addFolderAt(const std::string& source, const std::vector<std::string>& names) {
    Node* folder = m_root.get();
    if (!names.empty()) {
        Node* parent = makeFolders(names, names.size() - 1);
        if (parent == nullptr) return false;
        auto& node = parent->children[names.back()];
        if (node && !node->item.isFolder) return false;
        if (!node) {
            node = std::make_unique<Node>();
            node->item.isFolder = true;
            node->item.parentFolder = parent->item.imagePath;
            node->item.imagePath = JoinImagePath(parent->item.imagePath, names.back());
            node->item.itemName = names.back();
            if (!DescribeSource(source, node->item)) {
                node->item.fileDate = std::chrono::system_clock::now();
            }
            ++m_folderCount;
            ++m_generation;
            const ImageItem added = node->item;
            m_hub.raise([&](DiscEventListener& listener) { listener.ItemAdded(added); });
        }
        folder = node.get();
    }
    const std::string folderPath = folder->item.imagePath;

    // Entries in name order, so that the events (and the image) do not depend on the directory's
    // own order.
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(source, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    bool complete = !error;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });

    for (const fs::directory_entry& entry : entries) {
        std::vector<std::string> childNames = names;
        childNames.push_back(entry.path().filename().string());
        if (!IsValidImageName(childNames.back())) {
            complete = false;
            continue;
        }
        // A link to a folder is not followed: it could lead back up the tree.
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            complete = addFolderAt(entry.path().string(), childNames) && complete;
        } else if (IsReadableRegularFile(entry.path().string())) {
            complete = addFileAt(entry.path().string(), childNames) && complete;
        } else {
            complete = false;
        }
    }
    return complete;
}

void ImageTree::count(const Node& node, int sign) {
    (node.item.isFolder ? m_folderCount : m_fileCount) += sign;
    for (const auto& [name, child] : node.children) count(*child, sign);
}

bool ImageTree::RemoveItem(const std::string& imagePath) {
    const ImagePathNames path = SplitImagePath(imagePath);
    if (!path.valid || path.names.empty()) return false;
    Node* node = find(imagePath);
    if (node == nullptr) return false;
    Node* parent = find(node->item.parentFolder);
    const ImageItem removed = node->item;
    count(*node, -1);
    parent->children.erase(path.names.back());
    ++m_generation;
    m_hub.raise([&](DiscEventListener& listener) { listener.ItemRemoved(removed); });
    return true;
}

bool ImageTree::RenameFile(const std::string& imagePath, const std::string& newName) {
    return rename(imagePath, newName, false);
}

bool ImageTree::RenameFolder(const std::string& imagePath, const std::string& newName) {
    return rename(imagePath, newName, true);
}

bool ImageTree::rename(const std::string& imagePath, const std::string& newName, bool folder) {
    Node* node = find(imagePath);
    if (node == nullptr || node == m_root.get() || node->item.isFolder != folder ||
        !IsValidImageName(newName)) {
        return false;
    }
    if (newName == node->item.itemName) return true;
    Node* parent = find(node->item.parentFolder);
    if (parent->children.count(newName) != 0) return false;

    std::unique_ptr<Node> moved = std::move(parent->children[node->item.itemName]);
    parent->children.erase(node->item.itemName);
    moved->item.itemName = newName;
    moved->item.previousImagePath = imagePath;
    moved->item.imagePath = JoinImagePath(parent->item.imagePath, newName);
    Node& renamed = *(parent->children[newName] = std::move(moved));
    ++m_generation;
    const ImageItem item = renamed.item;
    m_hub.raise([&](DiscEventListener& listener) { listener.ItemRenamed(item); });
    // Everything below a renamed folder has a new path too; each is reported, so that a view
    // keyed by image paths can follow.
    renumber(renamed, imagePath);
    return true;
}

void ImageTree::renumber(Node& folder, const std::string& oldPrefix) {
    for (auto& [name, child] : folder.children) {
        const std::string oldPath = JoinImagePath(oldPrefix, name);
        child->item.parentFolder = folder.item.imagePath;
        child->item.imagePath = JoinImagePath(folder.item.imagePath, name);
        child->item.previousImagePath = oldPath;
        const ImageItem item = child->item;
        m_hub.raise([&](DiscEventListener& listener) { listener.ItemRenamed(item); });
        renumber(*child, oldPath);
    }
}

void ImageTree::ListFolder(const std::string& imagePath) {
    const Node* folder = find(imagePath);
    if (folder == nullptr || !folder->item.isFolder) return;
    std::vector<ImageItem> listed;
    for (bool folders : {true, false}) {
        for (const auto& [name, child] : folder->children) {
            if (child->item.isFolder == folders) listed.push_back(child->item);
        }
    }
    for (const ImageItem& item : listed) {
        m_hub.raise([&](DiscEventListener& listener) { listener.ItemListed(item); });
    }
}

void ImageTree::ClearImage() {
    m_root->children.clear();
    m_fileCount = 0;
    m_folderCount = 0;
    ++m_generation;
    m_hub.raise([](DiscEventListener& listener) { listener.ImageCleared(); });
}

std::vector<ImageItem> ImageTree::items() const {
    std::vector<ImageItem> all;
    std::function<void(const Node&)> walk = [&](const Node& folder) {
        for (const auto& [name, child] : folder.children) {
            all.push_back(child->item);
            walk(*child);
        }
    };
    walk(*m_root);
    return all;
}

}  // namespace quillet::disc
