#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "disc/disc_engine.h"
#include "disc/event_hub.h"

namespace quillet::disc {

// Image paths: "\" is the root; "\a\b" is b in folder a.
// Splits an image path into its names; nullopt-like empty result with `valid` false when the
// path does not start with "\" or holds an empty name, "." or "..", "/" or a NUL.
struct ImagePathNames {
    bool valid = false;
    std::vector<std::string> names;
};
ImagePathNames SplitImagePath(const std::string& imagePath);
std::string JoinImagePath(const std::string& folder, const std::string& name);
// Whether `name` may name an item of the image.
bool IsValidImageName(const std::string& name);

// The image's files and folders, in memory, with the host files they come from. Both engines
// keep their image here; the real one turns it into a disc image only when it writes. Raises the
// image events through the hub during each call. Owner's thread only.
class ImageTree : public ImageFileSystem {
  public:
    explicit ImageTree(EventHub& hub);
    ~ImageTree() override;

    bool AddFile(const std::string& source, const std::string& imagePath) override;
    bool AddFolder(const std::string& sourcePattern, const std::string& imagePath) override;
    bool RemoveItem(const std::string& imagePath) override;
    bool RenameFile(const std::string& imagePath, const std::string& newName) override;
    bool RenameFolder(const std::string& imagePath, const std::string& newName) override;
    void ListFolder(const std::string& imagePath) override;
    void ClearImage() override;
    int FileCount() const override { return m_fileCount; }
    int FolderCount() const override { return m_folderCount; }

    // Every item below the root, each folder before what it holds, names in byte order.
    std::vector<ImageItem> items() const;
    // Counts every change, so that a cached figure (the image size) knows when to compute again.
    unsigned long long generation() const { return m_generation; }

  private:
    struct Node;
    Node* find(const std::string& imagePath) const;
    Node* makeFolders(const std::vector<std::string>& names, size_t count);
    bool addFileAt(const std::string& source, const std::vector<std::string>& names);
    bool addFolderAt(const std::string& source, const std::vector<std::string>& names);
    bool rename(const std::string& imagePath, const std::string& newName, bool folder);
    void count(const Node& node, int sign);
    void renumber(Node& node, const std::string& oldPrefix);

    EventHub& m_hub;
    std::unique_ptr<Node> m_root;
    int m_fileCount = 0;
    int m_folderCount = 0;
    unsigned long long m_generation = 0;
};

}  // namespace quillet::disc
