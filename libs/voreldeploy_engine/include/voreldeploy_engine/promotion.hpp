#pragma once
// The promotion gate: turns a policy decision, an optional approval and the
// kind of environment into cleared, waiting or blocked. It never evaluates
// policy itself; it checks that the decision belongs to this very request,
// is still valid and permits the promotion, and it adds one rule of its own:
// production-like environments need a usable approval even when policy
// allows. It fails closed and has no error path.
#include <optional>
#include <string>
#include <variant>

#include "vorelcore_contracts/time.hpp"
#include "vorelcore_policy/decision.hpp"
#include "vorelcore_policy/input.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/environment.hpp"

namespace voreldeploy_engine::promotion {

struct Cleared {
    friend bool operator==(const Cleared&, const Cleared&) = default;
};
struct WaitingApproval {
    std::string reason;
    friend bool operator==(const WaitingApproval&, const WaitingApproval&) = default;
};
struct Blocked {
    std::string reason;
    friend bool operator==(const Blocked&, const Blocked&) = default;
};

using PromotionOutcome = std::variant<Cleared, WaitingApproval, Blocked>;

PromotionOutcome evaluate_promotion(voreldeploy_contracts::environment::EnvironmentType environment_type,
                                    const vorelcore_policy::input::PolicyInput& input,
                                    const std::optional<vorelcore_policy::decision::PolicyDecision>& decision,
                                    const std::optional<voreldeploy_contracts::approval::ApprovalRecord>& approval,
                                    const vorelcore_contracts::time::Timestamp& now);

}  // namespace voreldeploy_engine::promotion
