#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "disc/disc_engine.h"

// What genisoimage reads to write the image tree: a list of graft points, one an item, and the
// host folders and links they lead to, all in a private work folder, where genisoimage runs.
//
// - A folder: genisoimage dates a folder a graft point names with the write's time, but one it
//   finds in a grafted host folder as that folder is. Each folder is therefore an empty host
//   folder of its name, dated as "Use File Dates" says, in a holder grafted at its parent.
//   (A file keeps its own date whatever the setting: genisoimage has no option for another.)
// - A file whose name Joliet cannot hold as it is (tree_names.h): genisoimage names an item alike
// in
//   every tree, so the file goes in twice, through two links (whose paths its hide lists match),
//   once under its full name hidden from Joliet and UDF, once under its short name hidden from
//   ISO 9660 and Rock Ridge. Both have one content: genisoimage follows links to one inode.
namespace quillet::disc {

// The graft point of one item ("image/path=source", with "\" and "=" of the names escaped). A
// folder is its `folderHolder` grafted at its parent ("parent/=holder"; the holder alone at the
// root). A non-empty `name` stands for a file's own name, a non-empty `source` for its source.
std::string GraftPoint(const ImageItem& item, const std::string& folderHolder,
                       const std::string& name = {}, const std::string& source = {});

// Writes the path list of `items` as `listName` into `folder`, with what it leads to. Returns the
// genisoimage arguments that hide the short-named copies (none when there is none), or nullopt
// when a file or folder of it cannot be made. Names must have been checked (CheckTreeNames).
std::optional<std::vector<std::string>> WritePathList(const std::vector<ImageItem>& items,
                                                      const ProjectSettings& settings,
                                                      const std::filesystem::path& folder,
                                                      const std::string& listName);

}  // namespace quillet::disc
