#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "archive/archive.h"
#include "platform/prefix_lock.h"
#include "platform/status.h"
#include "system/windows_system.h"

namespace quillet {

// What the item handlers of both directions work with: the Windows system (its registry, drives
// and user profile, whether it may be changed now, its lock), the archive held, and the run's
// private work folder with the information file in it.
struct ItemContext {
    system::WindowsSystem& system;
    archive::Archive& archive;
    std::filesystem::path workFolder;
    std::filesystem::path informationFile;
    // Called between files of long items so that a window can repaint; may be empty.
    std::function<void()> yield;
};

// Takes the system's lock for a run, waiting for another run that holds it (a guard that
// holds nothing when the system has no lock). Once the lock is taken, what was read of the
// registry before (the identities, say) is dropped, to be read again on next use, unless changes
// of this run wait for a commit: the run that held the lock may have rewritten the registry
// files, and a run must see them as that run left them. Fails as PrefixLock::hold() does.
Result<PrefixLock::Guard> HoldPrefixForRun(ItemContext& context);

}  // namespace quillet
