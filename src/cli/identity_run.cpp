#include "cli/identity_run.h"

namespace quillet::cli {

std::unique_ptr<IdentityRun> IdentityRun::Open(CliContext& context, const std::string& nameOrKey,
                                               std::ostream& err) {
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return nullptr;
    std::unique_ptr<IdentityRun> run(new IdentityRun(*system));
    auto environment = RunEnvironment::Create(*system, context.archive(), context.environment());
    if (!environment) {
        Fail(err, environment.reason());
        return nullptr;
    }
    run->m_environment = std::move(environment.value());
    const std::optional<Identity> identity =
        FindIdentityOrSay(ListIdentities(system->modReg()), nameOrKey, err);
    if (!identity) return nullptr;
    run->m_identity = *identity;
    return run;
}

}  // namespace quillet::cli
