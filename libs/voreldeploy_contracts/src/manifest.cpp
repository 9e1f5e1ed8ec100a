#include "voreldeploy_contracts/manifest.hpp"

#include <algorithm>

namespace voreldeploy_contracts::manifest {

bool ReleaseManifest::can_roll_back_to(const ids::ManifestId& target) const {
    return std::ranges::find(rollback_compatible_with, target) != rollback_compatible_with.end();
}

}  // namespace voreldeploy_contracts::manifest
