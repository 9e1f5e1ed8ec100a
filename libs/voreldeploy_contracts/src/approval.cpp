#include "voreldeploy_contracts/approval.hpp"

namespace voreldeploy_contracts::approval {

bool ApprovalRecord::is_usable_at(const vorelcore_contracts::time::Timestamp& at) const {
    if (status != ApprovalStatus::Approved) return false;
    if (!expires_at) return true;
    return !at.is_after(*expires_at);
}

}  // namespace voreldeploy_contracts::approval
