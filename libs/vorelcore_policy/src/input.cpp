#include "vorelcore_policy/input.hpp"

#include "vorelcore_crypto/canonical.hpp"

namespace vorelcore_policy::input {

std::expected<vorelcore_crypto::hash::ContentHash, vorelcore_error::CoreError> PolicyInput::input_hash() const {
    auto bytes = vorelcore_crypto::canonical::canonical_bytes(*this);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    return vorelcore_crypto::hash::blake3_hash(*bytes);
}

}  // namespace vorelcore_policy::input
