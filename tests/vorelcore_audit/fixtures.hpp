#pragma once
// Keys and events shared by the audit tests.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vorelcore_audit/chain.hpp"
#include "vorelcore_audit/event.hpp"
#include "vorelcore_contracts/audit.hpp"
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"

namespace vorel_audit_test {

inline vorelcore_crypto::keys::SigningKey key_from(std::uint8_t first) {
    std::array<std::uint8_t, 32> seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(first + i);
    return vorelcore_crypto::keys::SigningKey::from_bytes(seed);
}

inline vorelcore_crypto::keys::SigningKey signer() { return key_from(0x40); }
inline vorelcore_crypto::keys::SigningKey stranger() { return key_from(0x90); }

inline vorelcore_contracts::time::Timestamp at(std::string_view text) {
    return vorelcore_contracts::time::Timestamp::parse(text).value();
}

// An event as its author hands it to the chain.
inline vorelcore_audit::event::AuditEvent event(std::string action) {
    using namespace vorelcore_contracts::audit;
    vorelcore_audit::event::AuditEvent e;
    e.event_id = vorelcore_contracts::ids::AuditEventId::generate();
    e.product_id = vorelcore_contracts::ids::ProductId::parse("voreldeploy").value();
    e.actor = {.actor_type = ActorType::Service, .actor_id = "worker", .display_name_encrypted = std::nullopt};
    e.target = {.target_type = "deployment_run", .target_id = "r-1"};
    e.action = std::move(action);
    e.result = AuditOutcome::Success;
    e.severity = AuditSeverity::Info;
    e.category = AuditCategory::ServiceLifecycle;
    e.occurred_at = at("2026-12-01T10:00:00Z");
    e.retention_class = RetentionClass::Operational;
    return e;
}

// Three events appended to an empty chain.
inline std::vector<vorelcore_audit::event::SignedAuditEvent> three_records(
    const vorelcore_crypto::keys::SigningKey& key) {
    vorelcore_audit::chain::AuditChain chain;
    std::vector<vorelcore_audit::event::SignedAuditEvent> records;
    for (const char* action : {"first", "second", "third"}) records.push_back(chain.append(event(action), key).value());
    return records;
}

}  // namespace vorel_audit_test
