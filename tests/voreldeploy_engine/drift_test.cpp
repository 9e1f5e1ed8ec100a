#include <gtest/gtest.h>

#include "voreldeploy_engine/drift.hpp"

namespace voreldeploy_engine::drift {
namespace {

using namespace voreldeploy_contracts::drift;
using vorelcore_crypto::hash::ContentHash;
using vorelcore_crypto::hash::HashAlgorithm;
using vorelcore_policy::decision::PolicySeverity;

vorelcore_contracts::ids::Slug slug(const char* s) { return *vorelcore_contracts::ids::Slug::parse(s); }
ContentHash hash(HashAlgorithm algorithm, std::uint8_t fill) {
    ContentHash::Digest d{};
    d.fill(fill);
    return ContentHash(algorithm, d);
}

DriftCheck check(std::vector<DriftFact> desired, std::vector<DriftFact> observed) {
    return compare(voreldeploy_contracts::ids::EnvironmentId::generate(), voreldeploy_contracts::ids::TargetId::generate(),
                   std::move(desired), std::move(observed), vorelcore_contracts::time::Timestamp::now());
}

std::string keys_of(const DriftCheck& c) {
    std::string out;
    for (const auto& f : c.drift_summary) {
        out += f.fact_kind + (f.desired ? "+d" : "") + (f.observed ? "+o" : "") + " ";
    }
    return out;
}

TEST(DriftCompare, StatusSeverityAndFindingsInKeyOrder) {
    const DriftFact v1 = Version{"1.0"};
    const DriftFact v2 = Version{"2.0"};
    const DriftFact healthy = HealthStatus{voreldeploy_contracts::target::TargetHealth::Healthy};
    const DriftFact degraded = HealthStatus{voreldeploy_contracts::target::TargetHealth::Degraded};
    const DriftFact image = ImageDigest{hash(HashAlgorithm::Blake3, 1)};
    const DriftFact region = Region{*vorelcore_contracts::ids::RegionId::parse("eu-west")};
    struct Case {
        const char* name;
        std::vector<DriftFact> desired;
        std::vector<DriftFact> observed;
        DriftStatus status;
        PolicySeverity severity;
        std::string keys;
    };
    const Case cases[] = {
        {"both empty", {}, {}, DriftStatus::InSync, PolicySeverity::Info, ""},
        {"same facts, other order", {v1, healthy, image}, {image, v1, healthy}, DriftStatus::InSync, PolicySeverity::Info, ""},
        {"desired image not observed", {image}, {}, DriftStatus::Drifted, PolicySeverity::High, "image_digest+d "},
        {"observed region not desired", {}, {region}, DriftStatus::Drifted, PolicySeverity::Medium, "region+o "},
        {"config hash differs only in algorithm", {ConfigHash{hash(HashAlgorithm::Blake3, 7)}},
         {ConfigHash{hash(HashAlgorithm::Sha256, 7)}}, DriftStatus::Drifted, PolicySeverity::Medium, "config_hash+d+o "},
        {"later desired duplicate wins", {ReplicaCount{3}, ReplicaCount{5}}, {ReplicaCount{5}}, DriftStatus::InSync,
         PolicySeverity::Info, ""},
        {"later observed duplicate wins", {ReplicaCount{5}}, {ReplicaCount{5}, ReplicaCount{4}}, DriftStatus::Drifted,
         PolicySeverity::High, "replica_count+d+o "},
        {"resource name key", {ResourceNameSafe{slug("api")}}, {ResourceNameSafe{slug("web")}}, DriftStatus::Drifted,
         PolicySeverity::Medium, "resource_name+d+o "},
        {"findings in key order", {v1, healthy}, {v2, degraded}, DriftStatus::Drifted, PolicySeverity::Medium,
         "health_status+d+o version+d+o "},
        {"secret reference is high", {SecretReferencePresent{slug("db")}}, {}, DriftStatus::Drifted, PolicySeverity::High,
         "secret_reference_present+d "},
        {"network policy is high", {NetworkPolicyPresent{true}}, {NetworkPolicyPresent{false}}, DriftStatus::Drifted,
         PolicySeverity::High, "network_policy_present+d+o "},
        {"all keys in byte order",
         {CertificateReference{"c"}, Region{*vorelcore_contracts::ids::RegionId::parse("r")}, ResourceKind{slug("k")},
          ResourceNameSafe{slug("n")}, ConfigHash{hash(HashAlgorithm::Blake3, 1)}},
         {}, DriftStatus::Drifted, PolicySeverity::Medium,
         "certificate_reference+d config_hash+d region+d resource_kind+d resource_name+d "},
    };
    for (const auto& c : cases) {
        const DriftCheck result = check(c.desired, c.observed);
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.severity, c.severity) << c.name;
        EXPECT_EQ(keys_of(result), c.keys) << c.name;
        // The inputs are kept exactly as given.
        EXPECT_EQ(result.desired, c.desired) << c.name;
        EXPECT_EQ(result.observed, c.observed) << c.name;
    }
}

TEST(DriftCompare, AnInSyncCheckWritesNoListsOrWorkflow) {
    const std::string text = vorelcore_json::to_pretty(check({}, {}));
    for (const char* absent : {"\"desired\"", "\"observed\"", "drift_summary", "workflow_ref"}) {
        EXPECT_EQ(text.find(absent), std::string::npos) << absent << "\n" << text;
    }
}

}  // namespace
}  // namespace voreldeploy_engine::drift
