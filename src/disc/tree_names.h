#pragma once

#include <optional>
#include <string>
#include <vector>

#include "disc/disc_engine.h"

// The names an item takes in the trees of an image beside Rock Ridge, which keeps every name as
// it is: Joliet (ISO9660/Joliet and the default bridge) and UDF (the UDF types). Both writers
// (libisofs, genisoimage) put '_' for the characters these trees refuse and cut a long folder
// name at the tree's limit; a long file name is shortened here instead, keeping its extension,
// and the writers are given that name for those trees (so is a file name with a character beyond
// U+FFFF, which genisoimage would cut there). The verifier reads each tree back under
// the names this file gives.
namespace quillet::disc {

// The Rock Ridge tree (and a host file name) holds at most this many bytes a name.
inline constexpr std::size_t kMaxNameBytes = 255;

struct NameTree {
    const char* title;  // for messages
    // UTF-16 units a name may take, the dot before its extension counted; `latin1Units` when
    // every character is below U+0100 (UDF's 8-bit form).
    std::size_t units;
    std::size_t latin1Units;
    // Whether a name too long for the tree is shortened (Joliet) or refused: genisoimage gives
    // UDF no names of its own when there is no Joliet tree to take them from.
    bool shortens;
    bool operator==(const NameTree&) const = default;
};

inline constexpr NameTree kJolietNames{"Joliet", 103, 103, true};
inline constexpr NameTree kUdfNames{"UDF", 127, 254, false};

// The trees of `fileSystemType` that rename items: Joliet for the types that carry it (the
// default bridge's UDF tree takes the Joliet names), UDF for the UDF types without Joliet.
std::vector<NameTree> NameTreesOf(int fileSystemType);

// The name of an item named `name` in `tree`: '_' for each character the tree refuses and each
// beyond U+FFFF; a file's name that is too long keeps its extension (the part after its last
// dot, when that is at most half the limit) and loses the end of its stem.
std::string TreeName(const std::string& name, bool folder, const NameTree& tree);
// Whether a file named `name` needs an entry of its own in `tree`, under TreeName(): its name is
// too long for the tree, or holds a character beyond U+FFFF (genisoimage would cut it there).
bool NeedsOwnName(const std::string& name, bool folder, const NameTree& tree);
// The path ("/a/b") of `item` in `tree`.
std::string TreePath(const ImageItem& item, const NameTree& tree);

// Why the image of `items` cannot be written as `fileSystemType` (a name too long for Rock Ridge
// or for a tree that refuses it, a character beyond U+FFFF that genisoimage cannot name, or two
// names of a folder that one of its trees would give the same name, both named), or nullopt when
// it can. Sets `source` to the host file concerned.
std::optional<std::string> CheckTreeNames(const std::vector<ImageItem>& items, int fileSystemType,
                                          std::string& source);

}  // namespace quillet::disc
