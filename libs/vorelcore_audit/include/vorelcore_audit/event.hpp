#pragma once
// The audit event document and its signed chain record.
//
// An event's hash and its signature are both taken over the same bytes: the
// canonical JSON of the event as written below, absent members omitted.
// Because the event carries the hash of the event before it, each hash
// commits to the whole history preceding it.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "vorelcore_contracts/audit.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/sign.hpp"
#include "vorelcore_error/error.hpp"
#include "vorelcore_json/codec.hpp"

namespace vorelcore_audit::event {

struct AuditEvent {
    vorelcore_contracts::ids::AuditEventId event_id;
    std::optional<vorelcore_contracts::ids::TenantId> tenant_id;
    std::optional<vorelcore_contracts::ids::WorkspaceId> workspace_id;
    vorelcore_contracts::ids::ProductId product_id;
    std::optional<vorelcore_contracts::ids::NodeId> source_node_id;
    vorelcore_contracts::audit::AuditActor actor;
    vorelcore_contracts::audit::AuditTarget target;
    std::string action;
    vorelcore_contracts::audit::AuditOutcome result = vorelcore_contracts::audit::AuditOutcome::Unknown;
    vorelcore_contracts::audit::AuditSeverity severity = vorelcore_contracts::audit::AuditSeverity::Info;
    vorelcore_contracts::audit::AuditCategory category = vorelcore_contracts::audit::AuditCategory::System;
    vorelcore_contracts::time::Timestamp occurred_at;
    std::optional<vorelcore_contracts::time::Timestamp> received_at;
    std::optional<std::string> correlation_id;
    std::optional<vorelcore_contracts::audit::OpaqueBytes> metadata_encrypted;
    vorelcore_contracts::audit::RetentionClass retention_class =
        vorelcore_contracts::audit::RetentionClass::Operational;
    std::vector<vorelcore_contracts::audit::RedactionMarker> redaction_markers;  // omitted when empty
    // Set by the chain when the event is appended, never by its author.
    std::optional<vorelcore_crypto::hash::ContentHash> previous_event_hash;

    // BLAKE3 of the event's canonical bytes; a canonicalisation error is
    // returned unchanged.
    std::expected<vorelcore_crypto::hash::ContentHash, vorelcore_error::CoreError> event_hash() const;

    friend bool operator==(const AuditEvent&, const AuditEvent&) = default;
};

// One record of a chain. `sequence` is covered neither by the signature nor
// by the event hash: only the contiguity check of `verify_chain` protects it.
struct SignedAuditEvent {
    AuditEvent event;  // with its previous-event hash filled in
    std::uint64_t sequence = 0;
    vorelcore_crypto::sign::Signature signature;  // over the event's canonical bytes

    friend bool operator==(const SignedAuditEvent&, const SignedAuditEvent&) = default;
};

}  // namespace vorelcore_audit::event

template <>
struct vorelcore_json::Fields<vorelcore_audit::event::AuditEvent> {
    using T = vorelcore_audit::event::AuditEvent;
    static constexpr std::string_view name = "AuditEvent";
    static constexpr auto list = std::make_tuple(
        field("event_id", &T::event_id), field("tenant_id", &T::tenant_id), field("workspace_id", &T::workspace_id),
        field("product_id", &T::product_id), field("source_node_id", &T::source_node_id), field("actor", &T::actor),
        field("target", &T::target), field("action", &T::action), field("result", &T::result),
        field("severity", &T::severity), field("category", &T::category), field("occurred_at", &T::occurred_at),
        field("received_at", &T::received_at), field("correlation_id", &T::correlation_id),
        field("metadata_encrypted", &T::metadata_encrypted), field("retention_class", &T::retention_class),
        field_omit_empty("redaction_markers", &T::redaction_markers),
        field("previous_event_hash", &T::previous_event_hash));
};

template <>
struct vorelcore_json::Fields<vorelcore_audit::event::SignedAuditEvent> {
    using T = vorelcore_audit::event::SignedAuditEvent;
    static constexpr std::string_view name = "SignedAuditEvent";
    static constexpr auto list =
        std::make_tuple(field("event", &T::event), field("sequence", &T::sequence), field("signature", &T::signature));
};
