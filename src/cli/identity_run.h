#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "backup/identity_list.h"
#include "backup/run_environment.h"
#include "cli/cli_context.h"
#include "system/windows_system.h"

namespace quillet::cli {

// What a backup or restore command works with: a run over the context's system and archive, and
// the identity the command line names. Messages of the run go to the error stream.
class IdentityRun {
  public:
    // Null, with the reason written to `err`, when the system cannot be opened, the run cannot be
    // set up, or the system has no identity of that key or user name.
    static std::unique_ptr<IdentityRun> Open(CliContext& context, const std::string& nameOrKey,
                                             std::ostream& err);

    system::WindowsSystem& system() const { return m_system; }
    RunEnvironment& environment() { return *m_environment; }
    const Identity& identity() const { return m_identity; }

  private:
    explicit IdentityRun(system::WindowsSystem& system) : m_system(system) {}

    system::WindowsSystem& m_system;
    std::unique_ptr<RunEnvironment> m_environment;
    Identity m_identity;
};

}  // namespace quillet::cli
