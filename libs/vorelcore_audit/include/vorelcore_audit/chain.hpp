#pragma once
// A tamper-evident sequence of audit records: each event is signed with
// Ed25519, names the hash of the event before it, and its record carries a
// sequence number. Given the signer's public key, anyone can check that no
// record was altered, removed, inserted or reordered.
#include <cstdint>
#include <expected>
#include <optional>
#include <span>

#include "vorelcore_audit/event.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_error/error.hpp"

namespace vorelcore_audit::chain {

// The appending state of one chain. An empty chain (the default) gives its
// first record sequence 1 and no previous-event hash.
struct AuditChain {
    std::uint64_t last_sequence = 0;  // of the last record appended; 0 when empty
    std::optional<vorelcore_crypto::hash::ContentHash> head_hash;  // event hash of the last record

    // The state that continues a chain whose last record is `last`: its
    // sequence and its event hash (the only failure is the hash's
    // canonicalisation error).
    static std::expected<AuditChain, vorelcore_error::CoreError> resume_after(const event::SignedAuditEvent& last);

    // Links the event to the head (replacing whatever previous-event hash
    // it held), signs it and returns its record with the next sequence
    // number (saturating at the largest 64-bit value). On any error the
    // chain is left exactly as it was.
    std::expected<event::SignedAuditEvent, vorelcore_error::CoreError> append(
        event::AuditEvent event, const vorelcore_crypto::keys::SigningKey& key);

    friend bool operator==(const AuditChain&, const AuditChain&) = default;
};

// Checks the records in list order, each for its signature, then its link
// to the record before, then its sequence number, and returns the first
// failure: SignatureInvalid, or Validation naming the broken link or the
// sequence gap. The first record must have no previous-event hash and may
// carry any sequence number. An empty list verifies. The key is the one the
// caller trusts to have signed the whole chain; nothing is read from the
// records to choose it.
std::expected<void, vorelcore_error::CoreError> verify_chain(std::span<const event::SignedAuditEvent> records,
                                                             const vorelcore_crypto::keys::VerifyingKey& key);

}  // namespace vorelcore_audit::chain
