#include "vorelcore_crypto/hash.hpp"

#include <blake3.h>

#include <ostream>

#include "vorelcore_error/text.hpp"

namespace vorelcore_crypto::hash {

using vorelcore_error::CoreError;

namespace {

static_assert(BLAKE3_OUT_LEN == std::tuple_size_v<ContentHash::Digest>);

constexpr char kHexDigits[] = "0123456789abcdef";


bool is_utf8_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Whether the bytes [begin, begin + 2) of `text` start and end on character
// boundaries.
bool on_char_boundaries(std::string_view text, std::size_t begin) {
    const std::size_t end = begin + 2;
    if (is_utf8_continuation(static_cast<unsigned char>(text[begin]))) return false;
    return end == text.size() || !is_utf8_continuation(static_cast<unsigned char>(text[end]));
}

}  // namespace

std::string_view to_string(HashAlgorithm algorithm) {
    switch (algorithm) {
    case HashAlgorithm::Blake3: return "blake3";
    case HashAlgorithm::Sha256: return "sha256";
    }
    return "blake3";
}

std::expected<ContentHash, CoreError> ContentHash::parse(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::unexpected(
            CoreError::validation("content hash must be 'algorithm:hex', got " + vorelcore_error::debug_quoted(text)));
    }
    const std::string_view name = text.substr(0, colon);
    const std::string_view hex = text.substr(colon + 1);

    HashAlgorithm algorithm;
    if (name == "blake3") {
        algorithm = HashAlgorithm::Blake3;
    } else if (name == "sha256") {
        algorithm = HashAlgorithm::Sha256;
    } else {
        return std::unexpected(CoreError::unknown_algorithm(std::string(name)));
    }

    Digest digest{};
    if (hex.size() != digest.size() * 2) {
        return std::unexpected(
            CoreError::validation("content hash digest must be 64 hex characters, got " + std::to_string(hex.size())));
    }
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const std::size_t at = 2 * i;
        if (!on_char_boundaries(hex, at)) {
            return std::unexpected(CoreError::validation("content hash digest is not ASCII"));
        }
        const auto byte = vorelcore_error::hex_pair(hex[at], hex[at + 1]);
        if (!byte) {
            return std::unexpected(CoreError::validation("invalid hex in content hash: " +
                                                         vorelcore_error::debug_quoted(hex.substr(at, 2))));
        }
        digest[i] = *byte;
    }
    return ContentHash(algorithm, digest);
}

std::string ContentHash::to_hex() const {
    std::string out;
    out.reserve(digest_.size() * 2);
    for (const std::uint8_t byte : digest_) {
        out.push_back(kHexDigits[byte >> 4]);
        out.push_back(kHexDigits[byte & 0x0F]);
    }
    return out;
}

std::string ContentHash::to_string() const {
    std::string out(hash::to_string(algorithm_));
    out.push_back(':');
    out += to_hex();
    return out;
}

bool ContentHash::ct_eq(const ContentHash& other) const {
    // Every byte is looked at and the differences are folded together, so
    // the time taken does not tell where the first difference lies.
    unsigned difference = 0;
    for (std::size_t i = 0; i < digest_.size(); ++i) {
        difference |= static_cast<unsigned>(digest_[i] ^ other.digest_[i]);
    }
    const bool same_algorithm = algorithm_ == other.algorithm_;
    return same_algorithm & (difference == 0);
}

std::ostream& operator<<(std::ostream& out, const ContentHash& hash) { return out << hash.to_string(); }

namespace {

ContentHash blake3_one_shot(const void* data, std::size_t size) {
    blake3_hasher hasher;
    blake3_hasher_init(&hasher);
    blake3_hasher_update(&hasher, data, size);
    ContentHash::Digest digest{};
    blake3_hasher_finalize(&hasher, digest.data(), digest.size());
    return ContentHash(HashAlgorithm::Blake3, digest);
}

}  // namespace

ContentHash blake3_hash(std::span<const std::uint8_t> bytes) { return blake3_one_shot(bytes.data(), bytes.size()); }

ContentHash blake3_hash(std::string_view bytes) { return blake3_one_shot(bytes.data(), bytes.size()); }

struct Blake3Hasher::State {
    blake3_hasher hasher;
};

Blake3Hasher::Blake3Hasher() : state_(new State) { blake3_hasher_init(&state_->hasher); }

Blake3Hasher::~Blake3Hasher() { delete state_; }

void Blake3Hasher::update(std::span<const std::uint8_t> bytes) {
    blake3_hasher_update(&state_->hasher, bytes.data(), bytes.size());
}

void Blake3Hasher::update(std::string_view bytes) {
    blake3_hasher_update(&state_->hasher, bytes.data(), bytes.size());
}

ContentHash Blake3Hasher::finalize() const {
    ContentHash::Digest digest{};
    blake3_hasher_finalize(&state_->hasher, digest.data(), digest.size());
    return ContentHash(HashAlgorithm::Blake3, digest);
}

}  // namespace vorelcore_crypto::hash
