#pragma once

#include <optional>
#include <string>

#include "platform/environment.h"

namespace quillet {

// The desktop program's arguments: `--prefix DIR` chooses the Wine prefix, `--windows-root DIR`
// a mounted Windows disk instead and `--user NAME` its user profile (each also as `--name=VALUE`);
// everything else, joined by single blanks, is the stored command line, which when not empty is
// a scheduled backup's job command line. Without such arguments the job command line is taken
// from the environment variable QUILLET_JOB when it is set: scheduled jobs hand it over there, so
// that the password never shows in any process's arguments. `--help` or `-h` as the only such
// argument asks for kDesktopUsage instead, and takes no job.
struct StartupArguments {
    std::optional<std::string> prefix;
    std::optional<std::string> windowsRoot;
    std::optional<std::string> user;
    std::string commandLine;
    bool help = false;
};

// What `quillet --help` prints.
inline constexpr char kDesktopUsage[] =
    "Usage: quillet [--prefix DIR | --windows-root DIR [--user NAME]] [JOB]\n"
    "Back up and restore Outlook Express data in a Wine prefix: the window, or with a job line\n"
    "JOB ('sf=IDENTITYxm=ITEMSps=PASSWORDbf=FILE', else the environment variable QUILLET_JOB)\n"
    "that backup, made without any window, as scheduled backups run it.\n"
    "\n"
    "  --prefix DIR        the Wine prefix (default: $WINEPREFIX, else ~/.wine)\n"
    "  --windows-root DIR  a mounted Windows disk instead: the folder that holds WINDOWS\n"
    "  --user NAME         with --windows-root: the user profile to read\n"
    "  --version           print the program's name and version\n"
    "  -h, --help          print this help\n"
    "\n"
    "quillet-cli does the same from scripts and the terminal (man quillet-cli).\n";

StartupArguments ReadStartupArguments(int argc, char** argv,
                                      const Environment& env = Environment::Process());

// Overwrites with "*" the password of a job command line in the process's own arguments (the
// text between "ps=" and the following "bf="), so that other users cannot read it from the
// process list. Call after ReadStartupArguments has copied the command line.
void MaskPasswordInArguments(int argc, char** argv);

}  // namespace quillet
