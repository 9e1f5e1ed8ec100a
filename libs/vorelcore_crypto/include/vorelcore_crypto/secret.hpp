#pragma once
// A fixed-size buffer for secret key material (seeds, expanded keys, derived
// keys). It wipes itself when destroyed and when moved from, cannot be copied
// by accident and has no text form, so a secret never ends up in a message.
#include <sodium.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorelcore_crypto {

template <std::size_t N>
class SecretBytes {
public:
    static constexpr std::size_t kSize = N;

    // All zero.
    SecretBytes() noexcept = default;
    explicit SecretBytes(std::span<const std::uint8_t, N> bytes) noexcept {
        std::copy(bytes.begin(), bytes.end(), bytes_.begin());
    }

    ~SecretBytes() { wipe(); }

    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;

    // The source is left all zero.
    SecretBytes(SecretBytes&& other) noexcept : bytes_(other.bytes_) { other.wipe(); }
    SecretBytes& operator=(SecretBytes&& other) noexcept {
        if (this != &other) {
            bytes_ = other.bytes_;
            other.wipe();
        }
        return *this;
    }

    // The one way to duplicate a secret: said out loud at the call site.
    SecretBytes clone() const noexcept { return SecretBytes(span()); }

    std::uint8_t* data() noexcept { return bytes_.data(); }
    const std::uint8_t* data() const noexcept { return bytes_.data(); }
    static constexpr std::size_t size() noexcept { return N; }
    std::span<std::uint8_t, N> span() noexcept { return std::span<std::uint8_t, N>(bytes_); }
    std::span<const std::uint8_t, N> span() const noexcept { return std::span<const std::uint8_t, N>(bytes_); }

    // Overwrites every byte with zero in a way the compiler may not drop.
    void wipe() noexcept { sodium_memzero(bytes_.data(), bytes_.size()); }
    // True when every byte is zero (a wiped or never-filled buffer).
    bool is_zero() const noexcept { return sodium_is_zero(bytes_.data(), bytes_.size()) == 1; }

private:
    std::array<std::uint8_t, N> bytes_{};
};

}  // namespace vorelcore_crypto
