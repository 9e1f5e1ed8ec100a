#include "vorelcore_audit/event.hpp"

#include "vorelcore_crypto/canonical.hpp"

namespace vorelcore_audit::event {

std::expected<vorelcore_crypto::hash::ContentHash, vorelcore_error::CoreError> AuditEvent::event_hash() const {
    auto bytes = vorelcore_crypto::canonical::canonical_bytes(*this);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    return vorelcore_crypto::hash::blake3_hash(*bytes);
}

}  // namespace vorelcore_audit::event
