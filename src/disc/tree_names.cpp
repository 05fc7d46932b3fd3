#include "disc/tree_names.h"

#include <algorithm>
#include <map>

#include "disc/image_tree.h"
#include "disc/write_settings.h"
#include "platform/text_encoding.h"

namespace quillet::disc {

namespace {

bool BeyondBmp(const std::u16string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char16_t unit) { return unit >= 0xD800 && unit < 0xE000; });
}

// The characters Joliet refuses (and UDF as genisoimage writes it) become '_', as does each
// character beyond U+FFFF (its two UTF-16 units): libisofs writes it so.
std::u16string ReplaceRefused(const std::u16string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size()) ++i;
        const bool refused = unit < 0x20 || (unit >= 0xD800 && unit < 0xE000) || unit == u'*' ||
                             unit == u'/' || unit == u':' || unit == u';' || unit == u'?' ||
                             unit == u'\\';
        out += refused ? u'_' : unit;
    }
    return out;
}

const char* CaptionOf(int fileSystemType) {
    for (const VolumeType& type : kVolumeTypes) {
        if (type.fileSystemType == fileSystemType) return type.caption;
    }
    return "";
}

std::size_t Limit(const std::u16string& name, const NameTree& tree) {
    for (char16_t unit : name) {
        if (unit >= 0x100) return tree.units;
    }
    return tree.latin1Units;
}

}  // namespace

std::vector<NameTree> NameTreesOf(int fileSystemType) {
    if (fileSystemType == kFileSystemIsoJoliet || fileSystemType == kFileSystemIsoJolietUdf) {
        return {kJolietNames};
    }
    if (FileSystemHasUdf(fileSystemType)) return {kUdfNames};
    return {};
}

bool NeedsOwnName(const std::string& name, bool folder, const NameTree& tree) {
    const std::u16string units = Utf8ToUtf16(name);
    return !folder && tree.shortens && (units.size() > Limit(units, tree) || BeyondBmp(units));
}

std::string TreeName(const std::string& name, bool folder, const NameTree& tree) {
    std::u16string units = ReplaceRefused(Utf8ToUtf16(name));
    const std::size_t limit = Limit(units, tree);
    if (units.size() <= limit || !tree.shortens) return Utf16ToUtf8(units);
    const std::size_t dot = units.rfind(u'.');
    if (folder || dot == std::u16string::npos || dot == 0 || units.size() - dot > limit / 2) {
        units.resize(limit);
        return Utf16ToUtf8(units);
    }
    const std::u16string extension = units.substr(dot);
    std::u16string stem = units.substr(0, dot);
    stem.resize(std::min(stem.size(), limit - extension.size()));
    return Utf16ToUtf8(stem + extension);
}

std::string TreePath(const ImageItem& item, const NameTree& tree) {
    const std::vector<std::string> names = SplitImagePath(item.imagePath).names;
    std::string path;
    for (std::size_t i = 0; i < names.size(); ++i) {
        path += "/" + TreeName(names[i], item.isFolder || i + 1 < names.size(), tree);
    }
    return path;
}

std::optional<std::string> CheckTreeNames(const std::vector<ImageItem>& items, int fileSystemType,
                                          std::string& source) {
    const std::vector<NameTree> trees = NameTreesOf(fileSystemType);
    // Per tree, per folder: the tree name each item name takes.
    std::map<std::pair<std::string, std::string>, std::string> taken;
    for (const ImageItem& item : items) {
        source = item.sourcePath;
        if (item.itemName.size() > kMaxNameBytes) {
            return "\"" + item.itemName + "\" is longer than " + std::to_string(kMaxNameBytes) +
                   " bytes, more than an image's names hold";
        }
        for (const NameTree& tree : trees) {
            const std::u16string units = Utf8ToUtf16(item.itemName);
            if (!tree.shortens && units.size() > Limit(units, tree)) {
                return "\"" + item.itemName + "\" is too long for the " + tree.title +
                       " tree (at most " + std::to_string(tree.latin1Units) + " characters, " +
                       std::to_string(tree.units) + " with one beyond U+00FF); the volume type \"" +
                       kVolumeTypes[kDefaultVolumeType].caption + "\" shortens it";
            }
            if (FileSystemHasUdf(fileSystemType) && BeyondBmp(units) &&
                (item.isFolder || !tree.shortens)) {
                return "\"" + item.itemName +
                       "\" holds a character beyond U+FFFF, which genisoimage cannot name in " +
                       tree.title + "; the volume type \"" + CaptionOf(kFileSystemIsoJoliet) +
                       "\" names it";
            }
            const std::string name = TreeName(item.itemName, item.isFolder, tree);
            const auto [other, added] = taken.try_emplace(
                {std::string(tree.title) + item.parentFolder, name}, item.itemName);
            if (!added) {
                return "\"" + other->second + "\" and \"" + item.itemName + "\" in " +
                       (item.parentFolder.empty() ? kImageRoot : item.parentFolder) +
                       " would both be named \"" + name + "\" in the " + tree.title + " tree";
            }
        }
    }
    source.clear();
    return std::nullopt;
}

}  // namespace quillet::disc
