#include "vorelcore_audit/chain.hpp"

#include <limits>
#include <string>
#include <utility>

#include "vorelcore_crypto/canonical.hpp"

namespace vorelcore_audit::chain {

using event::AuditEvent;
using event::SignedAuditEvent;
using vorelcore_crypto::hash::ContentHash;
using vorelcore_error::CoreError;

namespace {

std::uint64_t saturating_next(std::uint64_t n) {
    return n == std::numeric_limits<std::uint64_t>::max() ? n : n + 1;
}

CoreError broken_link(std::uint64_t sequence) {
    return CoreError::validation("audit chain broken at sequence " + std::to_string(sequence) +
                                 ": previous-hash link does not match the preceding event");
}

}  // namespace

std::expected<AuditChain, CoreError> AuditChain::resume_after(const SignedAuditEvent& last) {
    auto hash = last.event.event_hash();
    if (!hash) return std::unexpected(std::move(hash.error()));
    return AuditChain{last.sequence, *hash};
}

std::expected<SignedAuditEvent, CoreError> AuditChain::append(AuditEvent event,
                                                              const vorelcore_crypto::keys::SigningKey& key) {
    event.previous_event_hash = head_hash;
    // One canonical form serves both the signature and the hash, so the two
    // can never be taken over different bytes.
    auto bytes = vorelcore_crypto::canonical::canonical_bytes(event);
    if (!bytes) return std::unexpected(std::move(bytes.error()));
    const auto signature = key.sign_bytes(*bytes);
    head_hash = vorelcore_crypto::hash::blake3_hash(*bytes);
    last_sequence = saturating_next(last_sequence);
    return SignedAuditEvent{std::move(event), last_sequence, signature};
}

std::expected<void, CoreError> verify_chain(std::span<const SignedAuditEvent> records,
                                            const vorelcore_crypto::keys::VerifyingKey& key) {
    std::optional<ContentHash> running;  // event hash of the record before; none before the first
    std::uint64_t expected_sequence = 0;
    for (const SignedAuditEvent& record : records) {
        auto bytes = vorelcore_crypto::canonical::canonical_bytes(record.event);
        if (!bytes) return std::unexpected(std::move(bytes.error()));
        if (auto verified = key.verify_bytes(*bytes, record.signature); !verified) {
            return std::unexpected(std::move(verified.error()));
        }
        const auto& link = record.event.previous_event_hash;
        if (!running) {
            if (link) return std::unexpected(broken_link(record.sequence));
        } else {
            if (!link || !link->ct_eq(*running)) return std::unexpected(broken_link(record.sequence));
            if (record.sequence != expected_sequence) {
                return std::unexpected(CoreError::validation("audit chain sequence gap: expected " +
                                                             std::to_string(expected_sequence) + ", found " +
                                                             std::to_string(record.sequence)));
            }
        }
        running = vorelcore_crypto::hash::blake3_hash(*bytes);
        expected_sequence = saturating_next(record.sequence);
    }
    return {};
}

}  // namespace vorelcore_audit::chain
