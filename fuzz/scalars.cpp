// The parsers of single values, chosen by the first input byte, on any bytes
// (they also read command-line arguments, which need not be UTF-8): UUIDs,
// timestamps, slugs, content hashes, signatures, action ids, the ACTIVE
// pointer and hex keys. Whatever parses writes a text form that parses back
// to the same value and is written the same again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "hex.hpp"
#include "trust_store.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/sign.hpp"
#include "vorelcore_policy/action.hpp"
#include "voreldeploy_adapters/local_fs.hpp"

namespace {

// Parses, and when that succeeds checks the text form round trip.
template <class T>
void round_trip(std::string_view text) {
    auto value = T::parse(text);
    if (!value) return;
    const std::string written = value->to_string();
    auto again = T::parse(written);
    VOREL_FUZZ_CHECK(again.has_value());
    VOREL_FUZZ_CHECK(*again == *value);
    VOREL_FUZZ_CHECK(again->to_string() == written);
}

void uuid(std::string_view text) {
    round_trip<vorelcore_contracts::ids::Uuid>(text);
    if (auto id = vorelcore_contracts::ids::Uuid::parse(text)) VOREL_FUZZ_CHECK(id->to_string().size() == 36);
}

// Instants before year 0000 are written as Unix seconds, which is not an
// RFC 3339 text; every other instant must round trip.
void timestamp(std::string_view text) {
    using vorelcore_contracts::time::Timestamp;
    auto value = Timestamp::parse(text);
    if (!value) {
        VOREL_FUZZ_CHECK(!value.error().message().empty());
        return;
    }
    constexpr std::int64_t kYearZero = -62'167'219'200;  // 0000-01-01T00:00:00Z
    VOREL_FUZZ_CHECK(*value >= Timestamp::min() && *value <= Timestamp::max());
    if (value->unix_seconds() >= kYearZero) round_trip<Timestamp>(text);
}

// A slug is never normalised: what parses is kept exactly.
void slug(std::string_view text) {
    auto value = vorelcore_contracts::ids::Slug::parse(text);
    if (!value) return;
    VOREL_FUZZ_CHECK(value->as_str() == text);
    VOREL_FUZZ_CHECK(!text.empty() && text.size() <= vorelcore_contracts::ids::Slug::kMaxBytes);
}

void content_hash(std::string_view text) { round_trip<vorelcore_crypto::hash::ContentHash>(text); }

void signature(std::string_view text) { round_trip<vorelcore_crypto::sign::Signature>(text); }

// The canonical text of an action id is exactly the text it was read from.
void action_id(std::string_view text) {
    auto value = vorelcore_policy::action::PolicyActionId::parse(text);
    if (!value) return;
    VOREL_FUZZ_CHECK(value->canonical() == text);
    VOREL_FUZZ_CHECK(!value->segments().empty() &&
                     value->segments().size() <= vorelcore_policy::action::kMaxSegments);
    round_trip<vorelcore_policy::action::PolicyActionId>(text);
}

void active_pointer(std::string_view text) {
    auto pointer = voreldeploy_adapters::local_fs::parse_active_pointer(text);
    if (!pointer || !*pointer) return;
    auto again = voreldeploy_adapters::local_fs::parse_active_pointer((*pointer)->to_string());
    VOREL_FUZZ_CHECK(again.has_value() && again->has_value());
    VOREL_FUZZ_CHECK(**again == **pointer);
}

// Public keys and seeds in hex: what reads writes back as the same hex,
// lower-cased.
void hex_keys(std::string_view text) {
    if (auto key = razavovivodidi::trust_store::parse_public_key(text)) {
        const std::string hex = razavovivodidi::hex_encode(key->to_bytes());
        auto again = razavovivodidi::trust_store::parse_public_key(hex);
        VOREL_FUZZ_CHECK(again.has_value() && *again == *key);
    }
    if (auto bytes = razavovivodidi::parse_hex32(text)) {
        auto again = razavovivodidi::parse_hex32(razavovivodidi::hex_encode(*bytes));
        VOREL_FUZZ_CHECK(again.has_value() && *again == *bytes);
    }
}

using vorel_fuzz::Reader;
constexpr std::array<Reader, 8> kReaders{&uuid,      &timestamp, &slug,           &content_hash,
                                         &signature, &action_id, &active_pointer, &hex_keys};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vorel_fuzz::run_selected(data, size, kReaders, vorel_fuzz::Bytes::Any);
}
