#include "voreldeploy_contracts/drift.hpp"

#include <gtest/gtest.h>

#include <string>

#include "vorelcore_json/codec.hpp"

namespace voreldeploy_contracts::drift {
namespace {

using vorelcore_crypto::hash::ContentHash;
using vorelcore_crypto::hash::HashAlgorithm;

const std::string kHash = "blake3:" + std::string(64, 'a');

std::string read_error(const std::string& text) {
    auto fact = vorelcore_json::from_text<DriftFact>(text);
    return fact ? "<read>" : fact.error();
}

DriftFact read(const std::string& text) { return vorelcore_json::from_text<DriftFact>(text).value(); }

// The document `text` holds, members in their written order.
vorelcore_json::Value document(const std::string& text) { return vorelcore_json::parse(text).value(); }

TEST(DriftFactJson, EveryKindReadsUnderItsDriftKeyAndIsWrittenBack) {
    struct Case {
        std::string json;
        std::size_t index;
        const char* drift_key;
    };
    const Case cases[] = {
        {R"({"fact": "resource_kind", "value": "deployment"})", 0, "resource_kind"},
        {R"({"fact": "resource_name_safe", "value": "api"})", 1, "resource_name"},
        {R"({"fact": "version", "value": "2026.12.01-1+build.7"})", 2, "version"},
        {R"({"fact": "image_digest", "value": ")" + kHash + R"("})", 3, "image_digest"},
        {R"({"fact": "config_hash", "value": "sha256:)" + std::string(64, '0') + R"("})", 4, "config_hash"},
        {R"({"fact": "replica_count", "value": 4294967295})", 5, "replica_count"},
        {R"({"fact": "network_policy_present", "value": false})", 6, "network_policy_present"},
        {R"({"fact": "secret_reference_present", "value": "orders-db"})", 7, "secret_reference_present"},
        {R"({"fact": "certificate_reference", "value": "CN=orders.example"})", 8, "certificate_reference"},
        {R"({"fact": "health_status", "value": "degraded"})", 9, "health_status"},
        {R"({"fact": "region", "value": "eu-west-1"})", 10, "region"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        auto fact = vorelcore_json::from_text<DriftFact>(c.json);
        ASSERT_TRUE(fact) << fact.error();
        EXPECT_EQ(fact->index(), c.index);
        EXPECT_EQ(drift_key(*fact), c.drift_key);
        EXPECT_EQ(vorelcore_json::to_value(*fact), document(c.json));
    }
    EXPECT_EQ(std::get<HealthStatus>(read(cases[9].json)).value, target::TargetHealth::Degraded);
    EXPECT_EQ(std::get<ResourceNameSafe>(read(cases[1].json)).value.as_str(), "api");
}

TEST(DriftFactJson, ReadErrorsAreReportedWhereTheyStand) {
    const std::string kinds =
        "`resource_kind`, `resource_name_safe`, `version`, `image_digest`, `config_hash`, `replica_count`, "
        "`network_policy_present`, `secret_reference_present`, `certificate_reference`, `health_status`, `region`";
    struct Case {
        std::string json;
        std::string error;
    };
    const Case cases[] = {
        {R"({"fact": "resource_name_safe", "value": "API"})",
         "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens at line 1 column "
         "45"},
        {R"({"fact": "health_status", "value": "Degraded"})",
         "unknown variant `Degraded`, expected one of `healthy`, `degraded`, `unreachable`, `unknown` at line 1 "
         "column 45"},
        {R"({"fact": "replica_count", "value": 4294967296})",
         "invalid value: integer `4294967296`, expected u32 at line 1 column 45"},
        {R"({"fact": "replica_count", "value": -1})", "invalid value: integer `-1`, expected u32 at line 1 column 37"},
        {R"({"fact": "network_policy_present", "value": "yes"})",
         "invalid type: string \"yes\", expected a boolean at line 1 column 49"},
        {R"({"fact": "image_digest", "value": "BLAKE3:)" + std::string(64, 'a') + R"("})",
         "unknown or rejected algorithm: BLAKE3 at line 1 column 107"},
        {R"({"fact": "colour", "value": "red"})", "unknown variant `colour`, expected one of " + kinds +
                                                      " at line 1 column 17"},
        {R"({"fact": "ResourceKind", "value": "x"})", "unknown variant `ResourceKind`, expected one of " + kinds +
                                                          " at line 1 column 23"},
        {R"({"fact": "version"})", "missing field `value` at line 1 column 19"},
        {R"({"value": "1.0"})", "missing field `fact` at line 1 column 16"},
        {R"({"fact": "version", "value": "1", "fact": "version"})", "duplicate field `fact` at line 1 column 40"},
        {R"({"fact": 3, "value": "1"})", "invalid type: integer `3`, expected variant identifier at line 1 column 10"},
        {R"(["version", "1"])",
         "invalid type: sequence, expected adjacently tagged enum DriftFact at line 1 column 16"},
        // A value before its tag is judged once the tag is known, at its own place.
        {R"({"value": "API", "fact": "region"})",
         "invalid Slug identifier: may contain only lowercase ASCII letters, digits and hyphens at line 1 column "
         "15"},
    };
    for (const auto& c : cases) EXPECT_EQ(read_error(c.json), c.error) << c.json;
}

TEST(DriftFactJson, UnknownMembersAreSkippedAndTheOrderOfTagAndValueIsFree) {
    EXPECT_EQ(read(R"({"value": 3, "note": {"x": [1]}, "fact": "replica_count"})"), DriftFact(ReplicaCount{3}));
}

TEST(DriftFact, EqualOnlyForTheSameKindAndEqualValues) {
    const auto hash = ContentHash::parse(kHash).value();
    const ContentHash other_algorithm(HashAlgorithm::Sha256, hash.digest());
    auto other_byte = hash.digest();
    other_byte[31] ^= 1;
    const auto slug = vorelcore_contracts::ids::Slug::parse("api").value();
    struct Case {
        DriftFact a;
        DriftFact b;
        bool equal;
    };
    const Case cases[] = {
        {ImageDigest{hash}, ImageDigest{ContentHash::parse(kHash).value()}, true},
        {ImageDigest{hash}, ConfigHash{hash}, false},
        {ImageDigest{hash}, ImageDigest{other_algorithm}, false},
        {ImageDigest{hash}, ImageDigest{ContentHash(HashAlgorithm::Blake3, other_byte)}, false},
        {ResourceKind{slug}, ResourceNameSafe{slug}, false},
        {Version{"1.0"}, Version{"1.0 "}, false},
        {ReplicaCount{2}, ReplicaCount{2}, true},
        {NetworkPolicyPresent{true}, NetworkPolicyPresent{false}, false},
        {HealthStatus{target::TargetHealth::Healthy}, HealthStatus{target::TargetHealth::Unknown}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.a == c.b, c.equal) << vorelcore_json::to_pretty(c.a) << " vs " << vorelcore_json::to_pretty(c.b);
}

TEST(DriftCheckJson, MembersInOrderAndEmptyListsLeftOut) {
    const std::string full = R"({
  "id": "4a5b6c7d-8e9f-4a0b-9c1d-2e3f4a5b6c7d",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "target_id": "d3e4f5a6-b7c8-4d9e-8f0a-1b2c3d4e5f60",
  "desired": [
    {
      "fact": "replica_count",
      "value": 3
    }
  ],
  "observed": [
    {
      "fact": "replica_count",
      "value": 2
    },
    {
      "fact": "region",
      "value": "eu-west-1"
    }
  ],
  "status": "drifted",
  "severity": "medium",
  "drift_summary": [
    {
      "fact_kind": "region",
      "observed": {
        "fact": "region",
        "value": "eu-west-1"
      }
    },
    {
      "fact_kind": "replica_count",
      "desired": {
        "fact": "replica_count",
        "value": 3
      },
      "observed": {
        "fact": "replica_count",
        "value": 2
      }
    }
  ],
  "workflow_ref": "wf-12",
  "checked_at": "2026-12-11T11:40:00Z"
})";
    auto check = vorelcore_json::from_text<DriftCheck>(full);
    ASSERT_TRUE(check) << check.error();
    EXPECT_EQ(check->drift_summary.size(), 2u);
    EXPECT_FALSE(check->drift_summary[0].desired.has_value());
    EXPECT_EQ(vorelcore_json::to_pretty(*check), full);

    check->desired.clear();
    check->observed.clear();
    check->drift_summary.clear();
    check->workflow_ref.reset();
    check->status = DriftStatus::InSync;
    check->severity = vorelcore_policy::decision::PolicySeverity::Info;
    EXPECT_EQ(vorelcore_json::to_pretty(*check), R"({
  "id": "4a5b6c7d-8e9f-4a0b-9c1d-2e3f4a5b6c7d",
  "environment_id": "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64",
  "target_id": "d3e4f5a6-b7c8-4d9e-8f0a-1b2c3d4e5f60",
  "status": "in_sync",
  "severity": "info",
  "checked_at": "2026-12-11T11:40:00Z"
})");
}

TEST(DriftStatusJson, Spellings) {
    EXPECT_EQ(vorelcore_json::from_text<DriftStatus>("\"InSync\"").error(),
              "unknown variant `InSync`, expected one of `in_sync`, `drifted`, `unknown` at line 1 column 8");
}

}  // namespace
}  // namespace voreldeploy_contracts::drift
