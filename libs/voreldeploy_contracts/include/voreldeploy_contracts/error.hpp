#pragma once
// The error of every contract constructor: which field, and why.
#include <ostream>
#include <string>

namespace voreldeploy_contracts::error {

struct ContractError {
    std::string field;   // a fixed text naming the offending field, e.g. "steps"
    std::string reason;

    // "invalid {field}: {reason}"
    std::string message() const { return "invalid " + field + ": " + reason; }

    friend bool operator==(const ContractError&, const ContractError&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const ContractError& e) { return out << e.message(); }

}  // namespace voreldeploy_contracts::error
