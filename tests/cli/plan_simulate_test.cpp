// `plan simulate` end to end: real signed files, the built program, every verdict.
#include <gtest/gtest.h>

#include <string>

#include "../support/run_cli.hpp"
#include "policy_fixtures.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_engine/manifest.hpp"

namespace {

using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using vorel_test::ruleset_json;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;

const std::string kPlanId = "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01";

std::string replace_once(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("fixture text not found: " + from);
    return text.replace(at, from.size(), to);
}

class PlanSimulate : public ::testing::Test {
protected:
    ScratchDir dir;
    SigningKey release_key = SigningKey::from_bytes({1, 2, 3});
    SigningKey policy_key = SigningKey::from_bytes({4, 5, 6});
    SigningKey stranger_key = SigningKey::from_bytes({7, 8, 9});
    std::string pubkey = razavovivodidi::hex_encode(release_key.verifying_key().to_bytes());
    std::string manifest, request, store, empty_store;

    void SetUp() override {
        manifest = vorel_test::write_signed_manifest(dir, release_key);
        request = vorel_test::write_request_fields(dir);
        store = vorel_test::write_trust_store(dir, "trust.json", policy_key);
        empty_store = dir.write("empty-trust.json", R"({"signers": []})").string();
    }

    // A plan file for `environment`, optionally carrying an approval already.
    std::string plan(const std::string& environment, const std::string& name = "plan.json") {
        std::string text = slurp(vorel_test::source_dir() / "examples/plan.json");
        text = replace_once(text, "\"environment_type\": \"staging\"", "\"environment_type\": \"" + environment + "\"");
        return dir.write(name, text).string();
    }

    std::string signed_ruleset(const std::string& json, const SigningKey& key, const std::string& name,
                               std::vector<std::string> context = vorelcore_policy::eval::ruleset_envelope_context()) {
        return vorel_test::write_signed_ruleset(dir, name, json, key, std::move(context));
    }

    std::string approval(const std::string& status) { return vorel_test::write_approval(dir, status); }

    vorel_test::CliResult simulate(const std::string& plan_path, const std::string& ruleset, const std::string& trust,
                                   std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"plan", "simulate", "--input", plan_path, "--manifest", manifest,
                                      "--pubkey", pubkey, "--policy-input", request,
                                      "--policy-ruleset", ruleset, "--trust-store", trust};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_cli(args);
    }

    std::string source_line(const std::string& ruleset, const std::string& trust) const {
        return "policy ruleset source: local file " + ruleset + " (trust store " + trust + ")\n";
    }
};

TEST_F(PlanSimulate, ClearedForSandboxWritesTheApprovedPlan) {
    const std::string ruleset = signed_ruleset(ruleset_json("allow"), policy_key, "allow.json");
    // The input plan carries an old approval: a clearance without --approval removes it.
    std::string text = slurp(plan("sandbox"));
    text = replace_once(text, "  \"created_by\"",
                        "  \"approval\": " + slurp(approval("approved")) + ",\n  \"created_by\"");
    const std::string input = dir.write("with-old-approval.json", text).string();
    const std::string out = (dir / "out/approved.json").string();

    const auto r = simulate(input, ruleset, store, {"--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, source_line(ruleset, store) + "CLEARED: plan " + kPlanId + " for Sandbox may run\n");

    auto written = razavovivodidi::read_json<voreldeploy_contracts::plan::DeploymentPlan>(out);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->status, voreldeploy_contracts::plan::PlanStatus::Approved);
    EXPECT_TRUE(written->policy_decision_id);
    EXPECT_TRUE(written->approved_at);
    EXPECT_FALSE(written->approval);
    EXPECT_NE(slurp(out).back(), '\n');
}

TEST_F(PlanSimulate, ProductionWaitsWithoutApprovalAndClearsWithOne) {
    const std::string ruleset = signed_ruleset(ruleset_json("allow"), policy_key, "allow.json");
    const std::string input = plan("production");
    const std::string out = (dir / "out.json").string();

    const auto waiting = simulate(input, ruleset, store, {"--out", out});
    EXPECT_EQ(waiting.status, 1);
    EXPECT_EQ(waiting.out, source_line(ruleset, store) +
                               "WAITING_APPROVAL: Production requires an explicit approval regardless of the "
                               "policy outcome\n");
    EXPECT_EQ(waiting.err, "error: plan " + kPlanId + " did not clear the promotion gate\n");
    const std::string waiting_text = slurp(out);
    EXPECT_NE(waiting_text.find("\"status\": \"waiting_approval\""), std::string::npos);
    EXPECT_EQ(waiting_text.find("policy_decision_id"), std::string::npos);

    const auto pending = simulate(input, ruleset, store, {"--approval", approval("pending")});
    EXPECT_EQ(pending.status, 1);

    const auto cleared = simulate(input, ruleset, store, {"--approval", approval("approved"), "--out", out});
    EXPECT_EQ(cleared.status, 0) << cleared.err;
    EXPECT_TRUE(cleared.out.ends_with("CLEARED: plan " + kPlanId + " for Production may run\n"));
    const std::string cleared_text = slurp(out);
    EXPECT_NE(cleared_text.find("\"status\": \"approved\""), std::string::npos);
    EXPECT_NE(cleared_text.find("  \"approval\": {\n    \"id\": \"11111111-2222-4333-8444-555555555555\""),
              std::string::npos);
}

TEST_F(PlanSimulate, DenyBlocksAndStillWritesThePlan) {
    const std::string ruleset = signed_ruleset(ruleset_json("deny"), policy_key, "deny.json");
    const std::string input = plan("sandbox");
    const std::string out = (dir / "blocked.json").string();
    const auto r = simulate(input, ruleset, store, {"--out", out, "--approval", approval("approved")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, source_line(ruleset, store) + "BLOCKED: policy decision does not permit this action: Deny\n");
    EXPECT_EQ(r.err, "error: plan " + kPlanId + " did not clear the promotion gate\n");
    // Only the status changed.
    const std::string expected =
        replace_once(slurp(input), "\"status\": \"draft\"", "\"status\": \"blocked_by_policy\"");
    auto expected_plan = vorelcore_json::from_text<voreldeploy_contracts::plan::DeploymentPlan>(expected);
    ASSERT_TRUE(expected_plan);
    EXPECT_EQ(slurp(out), vorelcore_json::to_pretty(*expected_plan));
}

TEST_F(PlanSimulate, RulesetsThatAreNotTrustedOrNotSoundAreRefusedBeforeAnyVerdict) {
    const std::string input = plan("sandbox");
    const std::string out = (dir / "never.json").string();
    const std::string unsigned_ruleset = dir.write("unsigned.json", ruleset_json("allow")).string();
    const std::string by_stranger = signed_ruleset(ruleset_json("allow"), stranger_key, "stranger.json");
    const std::string warn = signed_ruleset(ruleset_json("warn"), policy_key, "warn.json");
    const std::string good = signed_ruleset(ruleset_json("allow"), policy_key, "good.json");
    const std::string bundle_context =
        signed_ruleset(ruleset_json("allow"), policy_key, "bundle.json", {"product:voreldeploy", "purpose:policy-bundle"});
    const std::string every_key =
        "error: ruleset failed signature verification against every key in the trust store \u2014 refusing to "
        "evaluate an unverifiable ruleset (unsigned, tampered, expired, or signed by a key nobody deliberately "
        "trusted)\n";
    struct Case {
        const char* name;
        std::string ruleset;
        std::string trust;
        std::string err_start;
    };
    const Case cases[] = {
        {"unsigned file", unsigned_ruleset, store,
         "error: parsing " + unsigned_ruleset +
             " as vorelcore_crypto::envelope::SignedEnvelope<vorelcore_policy::eval::PolicyRuleset>: missing field "
             "`format_version`"},
        {"untrusted signer", by_stranger, store, every_key},
        {"another purpose's context", bundle_context, store, every_key},
        {"warn rule", warn, store,
         "error: ruleset is signed by a trusted key but fails its own structural validation: rule \"deploys\" "
         "declares effect Warn, which permits the action"},
        {"empty trust store", good, empty_store,
         "error: trust store has no trusted ruleset-signing keys \u2014 refusing every ruleset until one is "
         "established with `razavovivodidi trust add`\n"},
        {"missing trust store", good, (dir / "no-such-store.json").string(),
         "error: trust store has no trusted ruleset-signing keys"},
    };
    for (const auto& c : cases) {
        const auto r = simulate(input, c.ruleset, c.trust, {"--out", out});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_TRUE(r.err.starts_with(c.err_start)) << c.name << "\n  got: " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
}

TEST_F(PlanSimulate, TheRequestFieldsCannotChooseTheAction) {
    // Rules only for the rollback action: a request naming that action still
    // evaluates under the deployment action, so no rule matches.
    const std::string rollback_only =
        signed_ruleset(ruleset_json("allow", "voreldeploy:rollback.promote"), policy_key, "rollback-only.json");
    const std::string text = slurp(request);
    request = dir.write("request-with-action.json",
                        replace_once(text, "\"actor_id\": \"alice\",",
                                     "\"actor_id\": \"alice\",\n  \"action\": \"voreldeploy:rollback.promote\","
                                     "\n  \"product_id\": \"elsewhere\", \"schema_version\": 9,"))
                  .string();
    const auto r = simulate(plan("sandbox"), rollback_only, store);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("BLOCKED: policy decision does not permit this action: NotApplicable\n")) << r.out;

    const std::string deploy_allow = signed_ruleset(ruleset_json("allow"), policy_key, "allow.json");
    const auto cleared = simulate(plan("sandbox"), deploy_allow, store);
    EXPECT_EQ(cleared.status, 0) << cleared.err;
}

TEST_F(PlanSimulate, FailuresBeforeTheGateWriteNothing) {
    const std::string good = signed_ruleset(ruleset_json("allow"), policy_key, "good.json");
    const std::string out = (dir / "never.json").string();
    const std::string bad_steps = dir.write("bad-steps.json", replace_once(slurp(plan("sandbox")), "\"replica_count\": 3",
                                                                           "\"replica_count\": 5000"))
                                      .string();
    const std::string no_actor = dir.write("no-actor.json", replace_once(slurp(request), "\"actor_id\": \"alice\",", "")).string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string err_start;
    };
    const std::vector<std::string> base{"plan", "simulate", "--manifest", manifest, "--pubkey", pubkey, "--out", out};
    const auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> all = base;
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    };
    const Case cases[] = {
        {"no policy source", with({"--input", plan("sandbox"), "--policy-input", request}),
         "error: either --policy-service-url (+ --policy-service-scope + --policy-service-token) or --policy-ruleset "
         "(+ --trust-store) is required \u2014 there is no default ruleset source\n"},
        {"trust store alone", with({"--input", plan("sandbox"), "--policy-input", request, "--trust-store", store}),
         "error: either --policy-service-url"},
        {"ruleset without store", with({"--input", plan("sandbox"), "--policy-input", request, "--policy-ruleset", good}),
         "error: --policy-ruleset requires --trust-store\n"},
        {"url without scope",
         with({"--input", plan("sandbox"), "--policy-input", request, "--policy-ruleset", good, "--trust-store", store,
               "--policy-service-url", "http://127.0.0.1:8090"}),
         "error: --policy-service-url requires --policy-service-scope\n"},
        {"url without token",
         with({"--input", plan("sandbox"), "--policy-input", request, "--policy-service-url", "http://127.0.0.1:8090",
               "--policy-service-scope", "prod"}),
         "error: --policy-service-url requires --policy-service-token\n"},
        {"invalid steps", with({"--input", bad_steps, "--policy-input", request, "--policy-ruleset", good, "--trust-store", store}),
         "error: deployment plan rejected: step 4: replica_count 5000 exceeds the bound of 1000\n"},
        {"request fields without actor_id",
         with({"--input", plan("sandbox"), "--policy-input", no_actor, "--policy-ruleset", good, "--trust-store", store}),
         "error: parsing " + no_actor + " as razavovivodidi::policy::PolicyRequestFields: missing field `actor_id`"},
    };
    for (const auto& c : cases) {
        const auto r = run_cli(c.args);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_TRUE(r.err.starts_with(c.err_start)) << c.name << "\n  got: " << r.err;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
}

}  // namespace
