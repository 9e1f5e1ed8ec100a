// Every document type the program reads, chosen by the first input byte, on
// any UTF-8 text: a document either is refused with a message, or reads and
// survives the round trip (written, read back, written the same). Documents
// that have further checks of their own go through them too, and those
// checks must hold up on whatever the reader let through.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document_types.hpp"
#include "fuzz_support.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "voreldeploy_engine/drift.hpp"
#include "voreldeploy_engine/plan.hpp"

namespace {

using voreldeploy_contracts::drift::DriftFact;

// Checks beyond the round trip, for the types that have them.
template <class T>
void check_more(const T&) {}

void check_more(const voreldeploy_contracts::plan::DeploymentPlan& plan) {
    (void)voreldeploy_engine::plan::validate_steps(plan.steps);
}

void check_more(const vorelcore_policy::eval::PolicyRuleset& ruleset) {
    const auto valid = ruleset.validate();
    auto copy = ruleset;
    auto verified = std::move(copy).verify();
    VOREL_FUZZ_CHECK(valid.has_value() == verified.has_value());
}

// A list of facts compared with itself has drifted nowhere.
void check_more(const std::vector<DriftFact>& facts) {
    const auto check = voreldeploy_engine::drift::compare({}, {}, facts, facts, vorel_fuzz::now());
    VOREL_FUZZ_CHECK(check.drift_summary.empty());
}

template <vorelcore_json::HasCodec T>
void read_document(std::string_view text) {
    auto document = vorelcore_json::from_text<T>(text);
    if (!document) {
        VOREL_FUZZ_CHECK(!document.error().empty());
        return;
    }
    vorel_fuzz::check_round_trip(*document);
    // Canonical bytes exist for every document without floating-point numbers.
    (void)vorelcore_crypto::canonical::canonical_bytes(*document);
    check_more(*document);
}

using vorel_fuzz::Reader;

// The selector byte modulo the table size picks the entry.
constexpr auto kReaders = std::apply(
    [](auto... documents) {
        return std::array<Reader, sizeof...(documents)>{&read_document<typename decltype(documents)::type>...};
    },
    vorel_fuzz::kDocumentTypes);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorel_fuzz::run_selected(data, size, kReaders);
}
