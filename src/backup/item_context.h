#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "archive/archive.h"
#include "platform/prefix_lock.h"
#include "platform/status.h"
#include "platform/windows_path_mapper.h"
#include "registry/mod_reg.h"

namespace quillet {

// What the item handlers of both directions work with: the registry, the archive held, the
// prefix's drives, the folder %UserProfile% stands for, and the run's private work folder with
// the information file in it.
struct ItemContext {
    registry::ModReg& modReg;
    archive::Archive& archive;
    const WindowsPathMapper& paths;
    std::string userProfile;  // a Windows path
    std::filesystem::path workFolder;
    std::filesystem::path informationFile;
    // Called between files of long items so that a window can repaint; may be empty.
    std::function<void()> yield;
    // Whether the prefix may be changed now (no Wine server runs for it); may be empty.
    std::function<Status()> checkPrefixIdle;
    // Held for a whole run, so that a scheduled run and an interactive one take turns; may be
    // null.
    PrefixLock* prefixLock = nullptr;
};

// Takes the context's prefix lock for a run, waiting for another run that holds it (a guard that
// holds nothing when the context has no lock). Once the lock is taken, what was read of the
// registry before (the identities, say) is dropped, to be read again on next use, unless changes
// of this run wait for a commit: the run that held the lock may have rewritten the registry
// files, and a run must see them as that run left them. Fails as PrefixLock::hold() does.
Result<PrefixLock::Guard> HoldPrefixForRun(ItemContext& context);

}  // namespace quillet
