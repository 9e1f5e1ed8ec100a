#pragma once
// Content hashes: an algorithm tag and a 32-byte digest, written
// "blake3:<64 hex>", always compared in constant time.
#include <array>
#include <cstdint>
#include <expected>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "vorelcore_error/error.hpp"

namespace vorelcore_crypto::hash {

enum class HashAlgorithm : std::uint8_t { Blake3, Sha256 };

// "blake3" or "sha256".
std::string_view to_string(HashAlgorithm algorithm);

class ContentHash {
public:
    using Digest = std::array<std::uint8_t, 32>;

    ContentHash() = default;  // BLAKE3 tag, all-zero digest: a placeholder before a document is read
    ContentHash(HashAlgorithm algorithm, const Digest& digest) : algorithm_(algorithm), digest_(digest) {}

    // Reads the text form "algorithm:hex"; upper-case hex digits are accepted.
    static std::expected<ContentHash, vorelcore_error::CoreError> parse(std::string_view text);

    HashAlgorithm algorithm() const { return algorithm_; }
    const Digest& digest() const { return digest_; }
    std::string to_hex() const;     // 64 lower-case hex digits
    std::string to_string() const;  // algorithm name, ':', to_hex()

    // Equal tags and equal digests; all 32 bytes are always examined.
    bool ct_eq(const ContentHash& other) const;
    friend bool operator==(const ContentHash& a, const ContentHash& b) { return a.ct_eq(b); }

private:
    HashAlgorithm algorithm_ = HashAlgorithm::Blake3;
    Digest digest_{};
};

// Writes the text form.
std::ostream& operator<<(std::ostream& out, const ContentHash& hash);

// BLAKE3, unkeyed, 32-byte output.
ContentHash blake3_hash(std::span<const std::uint8_t> bytes);
ContentHash blake3_hash(std::string_view bytes);

// Incremental BLAKE3 for inputs hashed in chunks (multi-gigabyte files).
class Blake3Hasher {
public:
    Blake3Hasher();
    ~Blake3Hasher();
    Blake3Hasher(const Blake3Hasher&) = delete;
    Blake3Hasher& operator=(const Blake3Hasher&) = delete;

    void update(std::span<const std::uint8_t> bytes);
    void update(std::string_view bytes);
    ContentHash finalize() const;  // may be called again after more updates

private:
    struct State;
    State* state_;
};

}  // namespace vorelcore_crypto::hash
