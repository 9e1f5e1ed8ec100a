// The two answers of the policy service, chosen by the first input byte,
// on any UTF-8 body: the trust-keys answer becomes a set of keys or one
// error line, the ruleset answer a signed bundle or one error line. A bundle
// that reads is then verified against the keys of a fixed trust-keys answer.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "hex.hpp"
#include "policy_service.hpp"
#include "vorelpolicy_bundle/verify.hpp"

namespace {

namespace service = razavovivodidi::policy_service;

void trust_keys(std::string_view body) {
    auto keys = service::parse_trust_keys_response(body);
    if (!keys) VOREL_FUZZ_CHECK(!keys.error().empty());
}

// Whatever key id the bundle names is served with the fixed key.
void ruleset(std::string_view body) {
    auto bundle = service::parse_ruleset_response(body);
    if (!bundle) {
        VOREL_FUZZ_CHECK(!bundle.error().empty());
        return;
    }
    const std::string answer = R"({"data": [{"key_id": ")" + bundle->key_id.to_string() +
                               R"(", "verifying_key_hex": ")" +
                               razavovivodidi::hex_encode(vorel_fuzz::signing_key().verifying_key().to_bytes()) +
                               R"(", "status": "active"}]})";
    auto keys = service::parse_trust_keys_response(answer);
    VOREL_FUZZ_CHECK(keys.has_value() && keys->size() == 1);
    (void)vorelpolicy_bundle::verify::verify_bundle(*bundle, *keys, vorel_fuzz::now(), bundle->associated_data);
}

using vorel_fuzz::Reader;
constexpr std::array<Reader, 2> kReaders{&trust_keys, &ruleset};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorel_fuzz::run_selected(data, size, kReaders);
}
