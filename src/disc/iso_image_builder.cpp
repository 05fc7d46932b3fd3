#include "disc/iso_image_builder.h"

#include <stdint.h>
// libisofs.h needs the fixed-width integer types declared first.
#include <libburn/libburn.h>
#include <libisofs/libisofs.h>

#include <chrono>
#include <map>
#include <string>

#include "disc/burn_library.h"
#include "disc/image_tree.h"
#include "disc/tree_names.h"

namespace quillet::disc {

using namespace ::burn;

namespace {

std::string LibraryText(int code) {
    std::string text = iso_error_to_msg(code);
    const std::string messages = BurnLibrary::TakeMessages();
    if (!messages.empty()) text += " (" + messages + ")";
    return text;
}

void SetDates(IsoNode* node, std::time_t time) {
    iso_node_set_mtime(node, time);
    iso_node_set_atime(node, time);
    iso_node_set_ctime(node, time);
}

}  // namespace

void IsoImageRelease::operator()(Iso_Image* image) const {
    if (image != nullptr) iso_image_unref(image);
}

bool FileSystemHasJoliet(int fileSystemType) {
    return fileSystemType == kFileSystemIsoJoliet || fileSystemType == kFileSystemIsoJolietUdf;
}

IsoImagePtr BuildIsoImage(const std::vector<ImageItem>& items, const ProjectSettings& settings,
                          EngineError& error) {
    std::string named;
    if (auto refused = CheckTreeNames(items, settings.fileSystemType, named)) {
        error.errorKind = kErrorKindSourceFile;
        error.errorText = *refused;
        error.fileDetails = {0, *refused, named};
        return nullptr;
    }
    const bool joliet = FileSystemHasJoliet(settings.fileSystemType);
    IsoImage* raw = nullptr;
    if (int code = iso_image_new(settings.volumeIdentifier.c_str(), &raw); code < 0) {
        error = {kErrorKindSystem, "Cannot make the image: " + LibraryText(code), {}, {}, code};
        return nullptr;
    }
    IsoImagePtr image(raw);
    iso_image_set_volume_id(raw, settings.volumeIdentifier.c_str());
    // A file added through a link is added as the file it leads to.
    iso_tree_set_follow_symlinks(raw, 1);
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());

    std::map<std::string, IsoDir*> folders = {{kImageRoot, iso_image_get_root(raw)}};
    for (const ImageItem& item : items) {
        auto parent = folders.find(item.parentFolder.empty() ? kImageRoot : item.parentFolder);
        if (parent == folders.end()) {
            error = {kErrorKindWrite, "The image has no folder " + item.parentFolder, {}, {}, 0};
            return nullptr;
        }
        IsoNode* node = nullptr;
        int code = 0;
        if (item.isFolder) {
            IsoDir* folder = nullptr;
            code = iso_tree_add_new_dir(parent->second, item.itemName.c_str(), &folder);
            node = reinterpret_cast<IsoNode*>(folder);
            if (code >= 0) folders[item.imagePath] = folder;
        } else {
            code = iso_tree_add_new_node(raw, parent->second, item.itemName.c_str(),
                                         item.sourcePath.c_str(), &node);
            // A name Joliet cannot hold as it is: the file once more, under its Joliet name, for
            // Joliet alone (libisofs writes its content once); the full name stays out of Joliet.
            if (code >= 0 && joliet && NeedsOwnName(item.itemName, false, kJolietNames)) {
                IsoNode* shortNode = nullptr;
                code = iso_tree_add_new_node(raw, parent->second,
                                             TreeName(item.itemName, false, kJolietNames).c_str(),
                                             item.sourcePath.c_str(), &shortNode);
                if (code >= 0) {
                    iso_node_set_hidden(node, LIBISO_HIDE_ON_JOLIET);
                    iso_node_set_hidden(shortNode, LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_1999);
                    SetDates(shortNode, settings.useFileDates
                                            ? std::chrono::system_clock::to_time_t(item.fileDate)
                                            : now);
                }
            }
        }
        if (code < 0) {
            error.errorKind = kErrorKindSourceFile;
            error.errorText = LibraryText(code);
            error.fileDetails = {code, error.errorText, item.sourcePath};
            return nullptr;
        }
        SetDates(node,
                 settings.useFileDates ? std::chrono::system_clock::to_time_t(item.fileDate) : now);
    }
    return image;
}

burn::burn_source* CreateIsoSource(Iso_Image* image, const ProjectSettings& settings, bool sizeOnly,
                                   EngineError& error, std::uint32_t startBlock) {
    IsoWriteOpts* options = nullptr;
    // Profile 1: ISO level 3 and Rock Ridge.
    if (int code = iso_write_opts_new(&options, 1); code < 0) {
        error = {kErrorKindSystem, LibraryText(code), {}, {}, code};
        return nullptr;
    }
    const bool joliet = FileSystemHasJoliet(settings.fileSystemType);
    iso_write_opts_set_joliet(options, joliet ? 1 : 0);
    if (joliet) {
        // Names up to 103 characters and paths beyond 240 bytes, so that no file is left out.
        iso_write_opts_set_joliet_long_names(options, 1);
        iso_write_opts_set_joliet_longer_paths(options, 1);
        // Joliet names as the files are named: no ";1" version, no dot after a name without one.
        iso_write_opts_set_omit_version_numbers(options, 2);
        iso_write_opts_set_no_force_dots(options, 2);
    }
    // Folders as deep as the image tree has them, where they are (not moved into RR_MOVED), as
    // the UDF types write them too.
    iso_write_opts_set_allow_deep_paths(options, 1);
    // The volume identifier as the user typed it, not cut down to upper-case d-characters.
    iso_write_opts_set_relaxed_vol_atts(options, 1);
    // Dates are set on each node (BuildIsoImage); keep them, in the ISO 9660 and Joliet records
    // as well as in Rock Ridge (libisofs would put the write time there).
    iso_write_opts_set_replace_timestamps(options, 0);
    iso_write_opts_set_dir_rec_mtime(options, 7);
    iso_write_opts_set_will_cancel(options, sizeOnly ? 1 : 0);
    iso_write_opts_set_ms_block(options, startBlock);
    ::burn_source* source = nullptr;
    const int code = iso_image_create_burn_source(image, options, &source);
    iso_write_opts_free(options);
    if (code < 0) {
        error = {kErrorKindWrite, "Cannot lay out the image: " + LibraryText(code), {}, {}, 0};
        return nullptr;
    }
    // libisofs declares burn_source outside namespace burn; both are libburn's one layout.
    return reinterpret_cast<burn::burn_source*>(source);
}

std::optional<double> IsoImageSize(const std::vector<ImageItem>& items,
                                   const ProjectSettings& settings) {
    EngineError error;
    IsoImagePtr image = BuildIsoImage(items, settings, error);
    if (!image) return std::nullopt;
    burn::burn_source* source = CreateIsoSource(image.get(), settings, true, error);
    if (source == nullptr) return std::nullopt;
    const double size = static_cast<double>(source->get_size(source));
    source->cancel(source);
    burn_source_free(source);
    return size;
}

}  // namespace quillet::disc
