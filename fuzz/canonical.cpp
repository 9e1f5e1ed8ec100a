// Canonical bytes of any JSON value: either a refusal (a floating-point
// number, or keys equal after normalisation), or bytes that read back as
// JSON and are their own canonical form. The bytes do not depend on how the
// source was laid out, and string normalisation is idempotent.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_json/parse.hpp"
#include "vorelcore_json/write.hpp"

namespace canonical = vorelcore_crypto::canonical;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = vorel_fuzz::text_of(data, size);
    if (!vorel_fuzz::is_utf8(text)) return 0;

    const std::string normal = canonical::normalize(text);
    VOREL_FUZZ_CHECK(vorel_fuzz::is_utf8(normal));
    VOREL_FUZZ_CHECK(canonical::normalize(normal) == normal);

    auto value = vorelcore_json::parse(text);
    if (!value) return 0;
    auto bytes = canonical::canonical_value_bytes(*value);
    if (!bytes) {
        VOREL_FUZZ_CHECK(!bytes.error().message().empty());
        return 0;
    }

    const std::string_view written(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    VOREL_FUZZ_CHECK(vorel_fuzz::is_utf8(written));
    auto reread = vorelcore_json::parse(written);
    VOREL_FUZZ_CHECK(reread.has_value());
    auto again = canonical::canonical_value_bytes(*reread);
    VOREL_FUZZ_CHECK(again.has_value());
    VOREL_FUZZ_CHECK(*again == *bytes);

    auto from_pretty = vorelcore_json::parse(vorelcore_json::write_pretty(*value));
    VOREL_FUZZ_CHECK(from_pretty.has_value());
    auto pretty_bytes = canonical::canonical_value_bytes(*from_pretty);
    VOREL_FUZZ_CHECK(pretty_bytes.has_value());
    VOREL_FUZZ_CHECK(*pretty_bytes == *bytes);
    return 0;
}
