#include "vorelpolicy_contracts/controls.hpp"

namespace vorelpolicy_contracts::controls {

std::ostream& operator<<(std::ostream& out, ControlCategory category) {
    return out << vorelcore_json::display_name(category);
}

}  // namespace vorelpolicy_contracts::controls
