// Rollback end to end: v2 deployed for real, then returned to v1 through the
// same gate, engine and adapter.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "../support/run_cli.hpp"
#include "deploy_fixtures.hpp"
#include "policy_fixtures.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"

namespace {

namespace fs = std::filesystem;
using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using namespace voreldeploy_contracts;

// The secret key of the second Ed25519 test vector of RFC 8032.
const std::string kSeed = "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb";
const std::string kEnvironment = "c2e9f7a1-4b3d-4c8e-9f6a-1d2e3f4a5b64";
const std::string kCreator = "e1f2a3b4-c5d6-4e7f-8a9b-0c1d2e3f4a27";

class Rollback : public ::testing::Test {
protected:
    ScratchDir dir;
    SigningKey policy_key = SigningKey::from_bytes({4, 5, 6});
    artifact::ReleaseArtifact a1 = vorel_test::make_artifact("v1 bytes");
    artifact::ReleaseArtifact a2 = vorel_test::make_artifact("v2 bytes");
    manifest::ReleaseManifest v1, v2;
    std::string v1_path, v2_path, bundle, target, root, store, request;

    void SetUp() override {
        vorel_test::register_secret(kSeed);
        dir.write("payloads/v1.bin", "v1 bytes");
        dir.write("payloads/v2.bin", "v2 bytes");
        bundle = vorel_test::write_bundle(dir, {{a1, "v1.bin"}, {a2, "v2.bin"}}, "payloads/bundle.json");
        target = vorel_test::write_target(dir, "local_filesystem");
        root = (dir / "root").string();
        v1 = release("2026.11.01-1", a1.id);
        v2 = release("2026.12.01-1", a2.id);
        v2.rollback_compatible_with = {v1.id};
        v1_path = write("v1.json", v1);
        v2_path = write("v2.json", v2);
        store = vorel_test::write_trust_store(dir, "trust.json", policy_key);
        request = vorel_test::write_request_fields(dir);

        // v2 is what runs now.
        auto plan = plan::DeploymentPlan::draft(v2.tenant_id, v2.workspace_id, *ids::EnvironmentId::parse(kEnvironment),
                                                environment::EnvironmentType::Sandbox, v2.id,
                                                {plan::ValidateTarget{}, plan::ApplyArtifact{a2.id}},
                                                *vorelcore_contracts::ids::IdentityId::parse(kCreator), Timestamp::now());
        ASSERT_TRUE(plan);
        plan->status = plan::PlanStatus::Approved;
        const auto deployed = run_cli({"run", "start", "--plan", write("v2-plan.json", *plan), "--seed", kSeed, "--target",
                                       target, "--root-dir", root, "--artifacts", bundle});
        ASSERT_EQ(deployed.status, 0) << deployed.err;
        ASSERT_EQ(slurp(fs::path(root) / "ACTIVE"), a2.id.to_string());
    }

    manifest::ReleaseManifest release(const std::string& version, const ids::ArtifactId& artifact) {
        manifest::ReleaseManifest m;
        m.contract_version = 1;
        m.id = ids::ManifestId::generate();
        m.tenant_id = *vorelcore_contracts::ids::TenantId::parse("0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82");
        m.workspace_id = *vorelcore_contracts::ids::WorkspaceId::parse("7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43");
        m.release_version = version;
        m.products = {*vorelcore_contracts::ids::ProductId::parse("voreldeploy")};
        m.artifacts = {artifact};
        m.manifest_hash = vorelcore_crypto::hash::blake3_hash(std::string_view(version));
        m.status = manifest::ManifestStatus::Published;
        m.created_at = Timestamp::now();
        return m;
    }

    template <class T>
    std::string write(const std::string& name, const T& value) {
        const std::string path = (dir / name).string();
        EXPECT_TRUE(razavovivodidi::write_json(path, value));
        return path;
    }

    vorel_test::CliResult plan_rollback(const std::string& from, const std::string& to, const std::string& environment,
                                        const std::string& out) {
        return run_cli({"rollback", "plan", "--from", from, "--to", to, "--environment-id", kEnvironment,
                        "--environment-type", environment, "--reason", "v2 \"breaks\" checkout", "--created-by",
                        kCreator, "--out", out});
    }

    vorel_test::CliResult approve(const std::string& input, const std::string& ruleset, const std::string& out,
                                  std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"rollback", "approve", "--input", input, "--policy-input", request,
                                      "--policy-ruleset", ruleset, "--trust-store", store, "--out", out};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_cli(args);
    }

    vorel_test::CliResult execute(const std::string& input, const std::string& to, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"rollback", "execute", "--input", input, "--to", to, "--created-by", kCreator,
                                      "--seed", kSeed, "--target", target, "--root-dir", root, "--artifacts", bundle};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_cli(args);
    }
};

TEST_F(Rollback, PlanApproveExecuteReturnsTheTargetToTheEarlierRelease) {
    const std::string draft = (dir / "rb/draft.json").string();
    const auto planned = plan_rollback(v2_path, v1_path, "sandbox", draft);
    ASSERT_EQ(planned.status, 0) << planned.err;
    EXPECT_TRUE(std::regex_match(planned.out, std::regex("rollback plan [0-9a-f-]{36} created \\(2026\\.12\\.01-1 -> 2026\\.11\\.01-1\\)\n")))
        << planned.out;
    const std::string draft_text = slurp(draft);
    EXPECT_NE(draft_text.find("\"status\": \"draft\""), std::string::npos);
    EXPECT_NE(draft_text.find("\"reason_redacted\": \"v2 \\\"breaks\\\" checkout\""), std::string::npos);

    // A draft cannot execute: refused before anything is printed.
    const auto early = execute(draft, v1_path);
    EXPECT_EQ(early.status, 1);
    EXPECT_EQ(early.out, "");
    EXPECT_EQ(early.err, "error: rollback plan is not approved (status: Draft)\n");

    const std::string rollback_rules = vorel_test::write_signed_ruleset(
        dir, "rollback-allow.json", vorel_test::ruleset_json("allow", "voreldeploy:rollback.promote"), policy_key);
    const std::string approved = (dir / "rb/approved.json").string();
    const auto cleared = approve(draft, rollback_rules, approved);
    EXPECT_EQ(cleared.status, 0) << cleared.err;
    EXPECT_TRUE(cleared.out.ends_with(" may execute\n")) << cleared.out;
    EXPECT_TRUE(cleared.out.starts_with("policy ruleset source: local file " + rollback_rules));

    // Not the plan's target release.
    const auto wrong_to = execute(approved, v2_path);
    EXPECT_EQ(wrong_to.status, 1);
    EXPECT_EQ(wrong_to.err, "error: rollback target manifest is not declared compatible with the current release\n");

    const std::string out_plan = (dir / "out/plan.json").string();
    const std::string out_run = (dir / "out/run.json").string();
    const std::string out_rollback = (dir / "out/rollback.json").string();
    const auto executed = execute(approved, v1_path, {"--out-plan", out_plan, "--out-run", out_run, "--out-rollback", out_rollback});
    ASSERT_EQ(executed.status, 0) << executed.err;
    const std::regex lines(
        "rollback ([0-9a-f-]{36}) executing as run ([0-9a-f-]{36})\n"
        "  step 0 \\[validate_target\\] -> Applied\n"
        "  step 1 \\[apply_artifact\\] -> Applied\n"
        "  step 2 \\[health_check\\] -> Verified\n"
        "run \\2 finished: Succeeded\n"
        "transition chain integrity: OK \\(2 record\\(s\\), signed and chained via vorelcore-audit\\)\n"
        "rollback \\1 finished: Succeeded\n");
    EXPECT_TRUE(std::regex_match(executed.out, lines)) << executed.out;
    EXPECT_EQ(slurp(fs::path(root) / "ACTIVE"), a1.id.to_string());

    auto derived = razavovivodidi::read_json<plan::DeploymentPlan>(out_plan);
    ASSERT_TRUE(derived) << derived.error();
    EXPECT_EQ(derived->steps.size(), 3u);
    EXPECT_EQ(derived->status, plan::PlanStatus::Approved);
    EXPECT_NE(slurp(out_run).find("\"status\": \"succeeded\""), std::string::npos);
    const std::string final_rollback = slurp(out_rollback);
    EXPECT_NE(final_rollback.find("\"status\": \"succeeded\""), std::string::npos);
    EXPECT_NE(final_rollback.find("\"executed_at\""), std::string::npos);
}

TEST_F(Rollback, OnlyADeclaredCompatibleReleaseAndOnlyRulesForTheRollbackAction) {
    const auto backwards = plan_rollback(v1_path, v2_path, "sandbox", (dir / "never.json").string());
    EXPECT_EQ(backwards.status, 1);
    EXPECT_EQ(backwards.err, "error: rollback target manifest is not declared compatible with the current release\n");
    EXPECT_FALSE(fs::exists(dir / "never.json"));

    const std::string production = (dir / "production.json").string();
    ASSERT_EQ(plan_rollback(v2_path, v1_path, "compliance-review", production).status, 0);
    EXPECT_NE(slurp(production).find("\"environment_type\": \"compliance_review\""), std::string::npos);

    const std::string rollback_rules = vorel_test::write_signed_ruleset(
        dir, "rollback-allow.json", vorel_test::ruleset_json("allow", "voreldeploy:rollback.promote"), policy_key);
    const std::string out = (dir / "approved.json").string();
    const auto waiting = approve(production, rollback_rules, out);
    EXPECT_EQ(waiting.status, 1);
    EXPECT_TRUE(waiting.out.ends_with(
        "WAITING_APPROVAL: ComplianceReview requires an explicit approval regardless of the policy outcome\n"))
        << waiting.out;
    EXPECT_TRUE(waiting.err.ends_with(" did not clear the promotion gate\n")) << waiting.err;
    EXPECT_NE(slurp(out).find("\"status\": \"waiting_approval\""), std::string::npos);

    const auto with_approval = approve(production, rollback_rules, out, {"--approval", vorel_test::write_approval(dir, "approved")});
    EXPECT_EQ(with_approval.status, 0) << with_approval.err;
    EXPECT_NE(slurp(out).find("\"approval\": {"), std::string::npos);

    // A ruleset that only governs forward deployment never clears a rollback.
    const std::string forward_only =
        vorel_test::write_signed_ruleset(dir, "forward-only.json", vorel_test::ruleset_json("allow"), policy_key);
    const auto blocked = approve(production, forward_only, out);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(blocked.out.ends_with("BLOCKED: policy decision does not permit this action: NotApplicable\n"))
        << blocked.out;
    EXPECT_NE(slurp(out).find("\"status\": \"blocked_by_policy\""), std::string::npos);
}

TEST(DriftCheck, SummaryLineThenTheCheck) {
    ScratchDir dir;
    const std::string desired = dir.write("desired.json", R"([{"fact": "version", "value": "2.0"},
  {"fact": "replica_count", "value": 3}])").string();
    const std::string same = dir.write("same.json", R"([{"fact": "replica_count", "value": 3},
  {"fact": "version", "value": "2.0"}])").string();
    const std::string differs = dir.write("differs.json", R"([{"fact": "replica_count", "value": 2},
  {"fact": "version", "value": "2.0"}])").string();
    const std::string target = "d1e2f3a4-b5c6-4d7e-8f9a-0b1c2d3e4f5a";

    const auto in_sync = run_cli({"drift", "check", "--desired", desired, "--observed", same, "--environment-id",
                                  kEnvironment, "--target-id", target});
    EXPECT_EQ(in_sync.status, 0) << in_sync.err;
    EXPECT_TRUE(in_sync.out.starts_with("status=InSync severity=Info drift_count=0\n{\n  \"id\": ")) << in_sync.out;
    EXPECT_EQ(in_sync.out.find("drift_summary"), std::string::npos);

    const auto drifted = run_cli({"drift", "check", "--desired", desired, "--observed", differs, "--environment-id",
                                  kEnvironment, "--target-id", target});
    EXPECT_EQ(drifted.status, 0) << drifted.err;
    EXPECT_TRUE(drifted.out.starts_with("status=Drifted severity=High drift_count=1\n")) << drifted.out;
    EXPECT_NE(drifted.out.find("\"fact_kind\": \"replica_count\""), std::string::npos);
    EXPECT_TRUE(drifted.out.ends_with("}\n"));

    const std::string object = dir.write("object.json", R"({"fact": "version", "value": "2.0"})").string();
    const auto not_a_list = run_cli({"drift", "check", "--desired", object, "--observed", same, "--environment-id",
                                     kEnvironment, "--target-id", target});
    EXPECT_EQ(not_a_list.status, 1);
    EXPECT_EQ(not_a_list.out, "");
    EXPECT_TRUE(not_a_list.err.starts_with("error: parsing " + object +
                                           " as std::vector<voreldeploy_contracts::drift::DriftFact>: invalid type: map, expected a sequence"))
        << not_a_list.err;

    // The identifiers are parsed after both files were read.
    const auto bad_environment = run_cli({"drift", "check", "--desired", desired, "--observed", (dir / "missing.json").string(),
                                          "--environment-id", "prod", "--target-id", target});
    EXPECT_TRUE(bad_environment.err.starts_with("error: reading ")) << bad_environment.err;
    const auto bad_id = run_cli({"drift", "check", "--desired", desired, "--observed", same, "--environment-id", "prod",
                                 "--target-id", target});
    EXPECT_EQ(bad_id.status, 1);
    EXPECT_EQ(bad_id.out, "");
    EXPECT_TRUE(bad_id.err.starts_with("error: invalid EnvironmentId identifier: ")) << bad_id.err;
}

}  // namespace
