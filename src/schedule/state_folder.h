#pragma once

#include <filesystem>

#include "platform/environment.h"

namespace quillet {

// The folder where Quillet keeps this user's state (the crontab lock, the log of scheduled runs,
// the locks of IMAP uploads):
// $XDG_STATE_HOME/quillet when XDG_STATE_HOME is an absolute path, else
// $HOME/.local/state/quillet when HOME is one, else the same under the home folder of the user's
// password entry. cron starts a job with HOME set to that home folder and no XDG_STATE_HOME, so
// a session that sets neither otherwise shares the folder with its jobs. The folder may not
// exist yet.
std::filesystem::path QuilletStateFolder(const Environment& env);

// The file whose flock every Quillet process of this user takes to change the crontab.
std::filesystem::path CrontabLockFile(const std::filesystem::path& stateFolder);

// The folder of the locks that IMAP uploads take (imap::UploadOptions::lockFolder).
std::filesystem::path UploadLockFolder(const std::filesystem::path& stateFolder);

}  // namespace quillet
