#include "vorelcore_audit/event.hpp"

#include <gtest/gtest.h>

#include <string>

#include "fixtures.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_json/codec.hpp"

namespace vorelcore_audit::event {
namespace {

// Every member present, in document order.
const std::string kFullEvent = R"({
  "event_id": "6a1f3c2e-9b4d-4e8a-b7c1-0d2e3f4a5b61",
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
  "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "product_id": "voreldeploy",
  "source_node_id": "3e4f5a6b-7c8d-4e9f-a0b1-c2d3e4f5a6b7",
  "actor": {
    "actor_type": "user",
    "actor_id": "alice",
    "display_name_encrypted": [
      0,
      255
    ]
  },
  "target": {
    "target_type": "deployment_run",
    "target_id": "r-1"
  },
  "action": "deploy.run.started",
  "result": "denied",
  "severity": "notice",
  "category": "authorization",
  "occurred_at": "2026-12-01T10:00:00Z",
  "received_at": "2026-12-01T10:00:01.5Z",
  "correlation_id": "req-77",
  "metadata_encrypted": [
    7
  ],
  "retention_class": "legal_hold",
  "redaction_markers": [
    {
      "field_path": "actor.actor_id",
      "reason": "personal_data"
    }
  ],
  "previous_event_hash": "blake3:1111111111111111111111111111111111111111111111111111111111111111"
})";

TEST(AuditEventJson, AFullEventReadsAndIsWrittenBackInMemberOrder) {
    auto event = vorelcore_json::from_text<AuditEvent>(kFullEvent);
    ASSERT_TRUE(event) << event.error();
    EXPECT_EQ(event->actor.display_name_encrypted, (std::vector<std::uint8_t>{0, 255}));
    EXPECT_EQ(event->redaction_markers.size(), 1u);
    EXPECT_EQ(event->received_at->subsec_nanos(), 500'000'000u);
    EXPECT_EQ(vorelcore_json::to_pretty(*event), kFullEvent);
}

TEST(AuditEventJson, AbsentMembersAreLeftOutOfTheDocumentAndOfTheHashedBytes) {
    auto event = vorel_audit_test::event("deploy.run.started");
    event.event_id = vorelcore_contracts::ids::AuditEventId::parse("6a1f3c2e-9b4d-4e8a-b7c1-0d2e3f4a5b61").value();
    event.actor.actor_id.reset();
    event.target.target_id.reset();
    EXPECT_EQ(vorelcore_json::to_pretty(event), R"({
  "event_id": "6a1f3c2e-9b4d-4e8a-b7c1-0d2e3f4a5b61",
  "product_id": "voreldeploy",
  "actor": {
    "actor_type": "service"
  },
  "target": {
    "target_type": "deployment_run"
  },
  "action": "deploy.run.started",
  "result": "success",
  "severity": "info",
  "category": "service_lifecycle",
  "occurred_at": "2026-12-01T10:00:00Z",
  "retention_class": "operational"
})");
    const std::string canonical =
        R"({"action":"deploy.run.started","actor":{"actor_type":"service"},"category":"service_lifecycle",)"
        R"("event_id":"6a1f3c2e-9b4d-4e8a-b7c1-0d2e3f4a5b61","occurred_at":"2026-12-01T10:00:00Z",)"
        R"("product_id":"voreldeploy","result":"success","retention_class":"operational","severity":"info",)"
        R"("target":{"target_type":"deployment_run"}})";
    const auto bytes = vorelcore_crypto::canonical::canonical_bytes(event).value();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), canonical);
    EXPECT_EQ(event.event_hash().value(), vorelcore_crypto::hash::blake3_hash(canonical));
}

TEST(AuditEventJson, ReadErrors) {
    struct Case {
        std::string from;
        std::string to;
        std::string message;  // without the position
    };
    const Case cases[] = {
        {"\"notice\"", "\"low\"",
         "unknown variant `low`, expected one of `info`, `notice`, `warning`, `error`, `critical`"},
        {"[\n    7\n  ]", "[\n    256\n  ]", "invalid value: integer `256`, expected u8"},
        {"[\n    7\n  ]", "\"Bw==\"", "invalid type: string \"Bw==\", expected a sequence"},
        {"  \"product_id\": \"voreldeploy\",\n", "", "missing field `product_id`"},
        {"\"voreldeploy\"", "\"VorelDeploy\"",
         "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens"},
        {"\"blake3:1111111111111111111111111111111111111111111111111111111111111111\"", "\"blake3:11\"",
         "validation failed: content hash digest must be 64 hex characters, got 2"},
    };
    for (const auto& c : cases) {
        std::string text = kFullEvent;
        const auto where = text.find(c.from);
        ASSERT_NE(where, std::string::npos) << c.from;
        text.replace(where, c.from.size(), c.to);
        auto event = vorelcore_json::from_text<AuditEvent>(text);
        ASSERT_FALSE(event) << c.to;
        EXPECT_TRUE(event.error().starts_with(c.message + " at line ")) << event.error();
    }
}

TEST(SignedAuditEventJson, IsTheEventThenTheSequenceThenTheSignature) {
    const auto records = vorel_audit_test::three_records(vorel_audit_test::signer());
    const std::string text = vorelcore_json::to_pretty(records[1]);
    const auto event_at = text.find("\n  \"event\": {");
    const auto sequence_at = text.find("\n  \"sequence\": 2,\n");
    const auto signature_at = text.find("\n  \"signature\": \"" + records[1].signature.to_hex() + "\"\n}");
    ASSERT_NE(event_at, std::string::npos) << text;
    ASSERT_NE(sequence_at, std::string::npos) << text;
    ASSERT_NE(signature_at, std::string::npos) << text;
    EXPECT_LT(event_at, sequence_at);
    EXPECT_LT(sequence_at, signature_at);
    EXPECT_EQ(vorelcore_json::from_text<SignedAuditEvent>(text).value(), records[1]);

    std::string short_signature = text;
    short_signature.replace(short_signature.find(records[1].signature.to_hex()), 128, std::string(127, 'a'));
    EXPECT_TRUE(vorelcore_json::from_text<SignedAuditEvent>(short_signature)
                    .error()
                    .starts_with("validation failed: ed25519 signature must be 128 hex characters, got 127"));
}

}  // namespace
}  // namespace vorelcore_audit::event
