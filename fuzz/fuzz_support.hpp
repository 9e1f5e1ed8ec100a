#pragma once
// What the fuzz targets share: the input as text, the check that stops a run
// when a result is wrong (not only when something crashes), the typed
// round trip every readable document must survive, and the fixed keys and
// instant the envelope targets verify with. The same sources build as
// libFuzzer targets (clang) and as replayers of saved inputs (any compiler).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_error/text.hpp"
#include "vorelcore_json/codec.hpp"

namespace vorel_fuzz {

[[noreturn]] inline void broken(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    std::abort();
}

#define VOREL_FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::vorel_fuzz::broken(#condition, __FILE__, __LINE__))

inline std::string_view text_of(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Documents reach every reader through the file or HTTP body reader, which
// refuses bytes that are not UTF-8 before any parsing.
inline bool is_utf8(std::string_view text) { return !vorelcore_error::check_utf8(text); }

// Targets that cover several readers take the first byte as the choice of
// reader and the rest as its input. Document readers see UTF-8 only (as
// above); the scalar parsers see any bytes.
using Reader = void (*)(std::string_view);
enum class Bytes { Utf8Only, Any };

template <std::size_t N>
int run_selected(const std::uint8_t* data, std::size_t size, const std::array<Reader, N>& readers,
                 Bytes bytes = Bytes::Utf8Only) {
    if (size == 0) return 0;
    const std::string_view text = text_of(data + 1, size - 1);
    if (bytes == Bytes::Utf8Only && !is_utf8(text)) return 0;
    readers[static_cast<std::size_t>(data[0]) % N](text);
    return 0;
}

// A document that reads must write a value that reads back and writes the
// same value again, and its pretty text must read back to that value too:
// what the program writes it can always read, unchanged.
template <vorelcore_json::HasCodec T>
vorelcore_json::Value check_round_trip(const T& document) {
    const vorelcore_json::Value written = vorelcore_json::to_value(document);
    auto again = vorelcore_json::from_value<T>(written);
    VOREL_FUZZ_CHECK(again.has_value());
    VOREL_FUZZ_CHECK(vorelcore_json::to_value(*again) == written);
    const std::string pretty = vorelcore_json::write_pretty(written);
    auto reread = vorelcore_json::from_text<T>(pretty);
    VOREL_FUZZ_CHECK(reread.has_value());
    VOREL_FUZZ_CHECK(vorelcore_json::to_value(*reread) == written);
    return written;
}

// The signing key of the envelope targets (seed bytes 0x01..0x20); the seed
// corpus documents are signed with it, so their signatures verify.
inline const vorelcore_crypto::keys::SigningKey& signing_key() {
    static const vorelcore_crypto::keys::SigningKey key = [] {
        std::array<std::uint8_t, 32> seed{};
        for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i + 1);
        return vorelcore_crypto::keys::SigningKey::from_bytes(seed);
    }();
    return key;
}

// The sealing key of the encrypted-envelope target: 32 bytes of 0x42.
inline const std::array<std::uint8_t, 32>& aead_key() {
    static const std::array<std::uint8_t, 32> key = [] {
        std::array<std::uint8_t, 32> bytes{};
        bytes.fill(0x42);
        return bytes;
    }();
    return key;
}

// The instant every check is made at, so runs repeat exactly.
inline const vorelcore_contracts::time::Timestamp& now() {
    static const vorelcore_contracts::time::Timestamp instant =
        vorelcore_contracts::time::Timestamp::parse("2026-06-01T00:00:00Z").value();
    return instant;
}

}  // namespace vorel_fuzz
