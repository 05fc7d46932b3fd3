#include "cli/identity_run.h"

namespace quillet::cli {

std::unique_ptr<IdentityRun> IdentityRun::Open(CliContext& context, const std::string& nameOrKey,
                                               std::ostream& err) {
    const RunSystem* system = context.system(err);
    if (system == nullptr) return nullptr;
    std::unique_ptr<IdentityRun> run(new IdentityRun(*system, err));
    auto environment =
        RunEnvironment::Create(*system, context.archive(), run->m_messages, context.environment());
    if (!environment) {
        Fail(err, environment.reason());
        return nullptr;
    }
    run->m_environment = std::move(environment.value());
    const std::optional<Identity> identity =
        FindIdentityOrSay(ListIdentities(run->m_environment->modReg()), nameOrKey, err);
    if (!identity) return nullptr;
    run->m_identity = *identity;
    return run;
}

}  // namespace quillet::cli
