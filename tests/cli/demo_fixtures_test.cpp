// `demo-fixtures` end to end: the files it writes, what it prints, and that
// every other command accepts or refuses them as the fixtures promise.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "../support/run_cli.hpp"
#include "artifacts.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "policy.hpp"
#include "trust_store.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_contracts/approval.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_contracts/target.hpp"

namespace {

namespace fs = std::filesystem;
using razavovivodidi::read_json;
using vorel_test::register_secret;
using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using voreldeploy_contracts::manifest::ReleaseManifest;
using voreldeploy_contracts::plan::DeploymentPlan;
using Bundle = std::vector<razavovivodidi::artifacts::BundleEntry>;

// In the order they are written.
const std::vector<std::string> kFiles{
    "manifest-v1.json",
    "manifest-v2.json",
    "plan-sandbox.json",
    "plan-production.json",
    "policy-input-sandbox.json",
    "policy-input-production.json",
    "trust-store.json",
    "policy-ruleset-unsigned.json",
    "policy-ruleset-signed.json",
    "policy-ruleset-signed-untrusted.json",
    "policy-ruleset-signed-warn.json",
    "approval-production.json",
    "hostile-plan.json",
    "payload-v1.bin",
    "payload-v2.bin",
    "artifacts.json",
    "target-local.json",
    "hostile-artifacts.json",
};

const std::string kPayloadV1 = "voreldeploy-worker payload v1 -- demo artifact bytes, not a real binary";
const std::string kPayloadV2 = "voreldeploy-worker payload v2 -- demo artifact bytes, upgraded from v1";

// What one run printed, picked out of its six lines.
struct Printed {
    std::string tenant_id, workspace_id, created_by, artifact_v1, artifact_v2, pubkey;
};

Printed parse_report(const std::string& out, const fs::path& dir) {
    const std::string uuid = "([0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12})";
    const std::regex report(
        "wrote demo fixtures to " + std::regex_replace(dir.string(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
        "\ntenant_id=" + uuid + " workspace_id=" + uuid + " created_by=" + uuid + "\nartifact_v1=" + uuid +
        " artifact_v2=" + uuid +
        "\nruleset-signing trusted pubkey \\(in trust-store\\.json\\): ([0-9a-f]{64})\n"
        "use --policy-ruleset policy-ruleset-signed\\.json --trust-store trust-store\\.json for the accepted path;\n"
        "policy-ruleset-unsigned\\.json / -signed-untrusted\\.json / -signed-warn\\.json all demonstrate refusal\n");
    std::smatch m;
    if (!std::regex_match(out, m, report)) throw std::runtime_error("unexpected report:\n" + out);
    return Printed{m[1], m[2], m[3], m[4], m[5], m[6]};
}

class DemoFixtures : public ::testing::Test {
protected:
    ScratchDir scratch;
    fs::path dir = scratch / "fixtures";

    Printed generate() {
        const auto result = run_cli({"demo-fixtures", "--out-dir", dir.string()});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        return parse_report(result.out, dir);
    }

    std::string file(const std::string& name) const { return (dir / name).string(); }

    template <class T>
    T read(const std::string& name) const {
        auto value = read_json<T>(dir / name);
        if (!value) throw std::runtime_error(value.error());
        return std::move(*value);
    }

    // A fixture manifest signed through the program with a fresh release
    // key: the signed file's path and the key's public half.
    std::pair<std::string, std::string> sign_manifest(const std::string& name) {
        const auto key = vorelcore_crypto::keys::SigningKey::generate();
        const std::string seed = razavovivodidi::hex_encode(key.seed());
        register_secret(seed);
        const std::string out = (scratch / ("signed-" + name)).string();
        const auto signed_ = run_cli({"manifest", "sign", "--input", file(name), "--seed", seed, "--out", out});
        EXPECT_EQ(signed_.status, 0) << signed_.err;
        return {out, razavovivodidi::hex_encode(key.verifying_key().to_bytes())};
    }
};

// The digest b3sum prints for a file; our scratch paths hold no quotes.
std::string b3sum_hex(const fs::path& path) {
    FILE* pipe = ::popen(("b3sum --no-names '" + path.string() + "' 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("could not run b3sum");
    std::string output;
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    if (::pclose(pipe) != 0) throw std::runtime_error("b3sum failed (scripts/install-deps installs it)");
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

std::set<std::string> names_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

TEST_F(DemoFixtures, WritesEighteenConsistentFilesThatReadBackAsTheirTypes) {
    const Printed printed = generate();
    EXPECT_EQ(names_in(dir), std::set<std::string>(kFiles.begin(), kFiles.end()));
    for (const auto& name : kFiles) {
        const std::string bytes = slurp(dir / name);
        ASSERT_FALSE(bytes.empty()) << name;
        EXPECT_NE(bytes.back(), '\n') << name << " ends in a newline";
    }

    // Every JSON document reads back as its own type.
    using namespace razavovivodidi;
    const std::vector<std::pair<std::string, std::function<void()>>> documents{
        {"manifest-v1.json", [&] { read<ReleaseManifest>("manifest-v1.json"); }},
        {"manifest-v2.json", [&] { read<ReleaseManifest>("manifest-v2.json"); }},
        {"plan-sandbox.json", [&] { read<DeploymentPlan>("plan-sandbox.json"); }},
        {"plan-production.json", [&] { read<DeploymentPlan>("plan-production.json"); }},
        {"policy-input-sandbox.json", [&] { read<policy::PolicyRequestFields>("policy-input-sandbox.json"); }},
        {"policy-input-production.json", [&] { read<policy::PolicyRequestFields>("policy-input-production.json"); }},
        {"trust-store.json", [&] { read<trust_store::TrustStore>("trust-store.json"); }},
        {"policy-ruleset-unsigned.json",
         [&] { read<vorelcore_policy::eval::PolicyRuleset>("policy-ruleset-unsigned.json"); }},
        {"policy-ruleset-signed.json",
         [&] { read<vorelcore_policy::eval::SignedPolicyRuleset>("policy-ruleset-signed.json"); }},
        {"policy-ruleset-signed-untrusted.json",
         [&] { read<vorelcore_policy::eval::SignedPolicyRuleset>("policy-ruleset-signed-untrusted.json"); }},
        {"policy-ruleset-signed-warn.json",
         [&] { read<vorelcore_policy::eval::SignedPolicyRuleset>("policy-ruleset-signed-warn.json"); }},
        {"approval-production.json",
         [&] { read<voreldeploy_contracts::approval::ApprovalRecord>("approval-production.json"); }},
        {"artifacts.json", [&] { read<Bundle>("artifacts.json"); }},
        {"target-local.json", [&] { read<voreldeploy_contracts::target::DeployTarget>("target-local.json"); }},
        {"hostile-artifacts.json", [&] { read<Bundle>("hostile-artifacts.json"); }},
    };
    for (const auto& [name, reads] : documents) EXPECT_NO_THROW(reads()) << name;

    EXPECT_EQ(slurp(dir / "payload-v1.bin"), kPayloadV1);
    EXPECT_EQ(slurp(dir / "payload-v2.bin"), kPayloadV2);

    // The pieces fit together: shared identities, v2 deployed by both plans,
    // v1 declared as v2's rollback target, request fields naming their plan.
    const auto v1 = read<ReleaseManifest>("manifest-v1.json");
    const auto v2 = read<ReleaseManifest>("manifest-v2.json");
    const auto sandbox = read<DeploymentPlan>("plan-sandbox.json");
    const auto production = read<DeploymentPlan>("plan-production.json");
    const auto bundle = read<Bundle>("artifacts.json");
    EXPECT_EQ(v1.artifacts.at(0).to_string(), printed.artifact_v1);
    EXPECT_EQ(v2.artifacts.at(0).to_string(), printed.artifact_v2);
    EXPECT_TRUE(v2.can_roll_back_to(v1.id));
    for (const auto& [plan, request_file] :
         {std::pair{sandbox, "policy-input-sandbox.json"}, std::pair{production, "policy-input-production.json"}}) {
        EXPECT_EQ(plan.tenant_id.to_string(), printed.tenant_id);
        EXPECT_EQ(plan.workspace_id.to_string(), printed.workspace_id);
        EXPECT_EQ(plan.created_by.to_string(), printed.created_by);
        EXPECT_EQ(plan.release_manifest_id, v2.id);
        const auto* apply = std::get_if<voreldeploy_contracts::plan::ApplyArtifact>(&plan.steps.at(1));
        ASSERT_NE(apply, nullptr);
        EXPECT_EQ(apply->artifact_id.to_string(), printed.artifact_v2);
        const auto request = read<policy::PolicyRequestFields>(request_file);
        EXPECT_EQ(request.resource_id, plan.id.to_string());
        EXPECT_EQ(request.tenant_id, plan.tenant_id);
    }
    EXPECT_NE(sandbox.environment_id, production.environment_id);
    ASSERT_EQ(bundle.size(), 2u);
    EXPECT_EQ(bundle[1].artifact.id.to_string(), printed.artifact_v2);
    EXPECT_EQ(bundle[1].payload_file, "payload-v2.bin");

    // The printed key is the store's one signer.
    const auto store = read<trust_store::TrustStore>("trust-store.json");
    ASSERT_EQ(store.signers.size(), 1u);
    EXPECT_EQ(store.signers[0].name, "demo-trusted-signer");
    EXPECT_EQ(store.signers[0].pubkey_hex, printed.pubkey);

    // The hostile plan is the production plan's own values around a shell step.
    const std::string hostile = slurp(dir / "hostile-plan.json");
    const std::string before_shell_step =
        "{\n"
        "  \"contract_version\": 1,\n"
        "  \"id\": \"" + production.id.to_string() + "\",\n"
        "  \"tenant_id\": \"" + printed.tenant_id + "\",\n"
        "  \"workspace_id\": \"" + printed.workspace_id + "\",\n"
        "  \"environment_id\": \"" + production.environment_id.to_string() + "\",\n"
        "  \"environment_type\": \"production\",\n"
        "  \"release_manifest_id\": \"" + v2.id.to_string() + "\",\n"
        "  \"steps\": [\n"
        "    {\"kind\": \"validate_target\"},\n"
        "    {\"kind\": \"shell_command\", \"command\": \"";
    const std::string after_shell_step =
        "\"}\n"
        "  ],\n"
        "  \"status\": \"draft\",\n"
        "  \"risk_summary\": {\n"
        "    \"step_count\": 2,\n"
        "    \"applies_migration\": false,\n"
        "    \"scales_replicas\": false,\n"
        "    \"targets_production\": true\n"
        "  },\n"
        "  \"created_by\": \"" + printed.created_by + "\",\n"
        "  \"created_at\": \"" + production.created_at.to_rfc3339() + "\"\n"
        "}";
    ASSERT_TRUE(hostile.starts_with(before_shell_step)) << hostile;
    ASSERT_TRUE(hostile.ends_with(after_shell_step)) << hostile;
    const std::string command = hostile.substr(
        before_shell_step.size(), hostile.size() - before_shell_step.size() - after_shell_step.size());
    EXPECT_THAT(command, testing::MatchesRegex(".*https?://[^ ]+.*\\| *(ba)?sh"));
}

TEST_F(DemoFixtures, ASecondRunReplacesEveryFileWithFreshIdentifiersAndKeys) {
    const Printed first = generate();
    std::map<std::string, std::string> before;
    for (const auto& name : kFiles) before[name] = slurp(dir / name);

    const Printed second = generate();
    EXPECT_NE(first.tenant_id, second.tenant_id);
    EXPECT_NE(first.workspace_id, second.workspace_id);
    EXPECT_NE(first.created_by, second.created_by);
    EXPECT_NE(first.artifact_v1, second.artifact_v1);
    EXPECT_NE(first.pubkey, second.pubkey);
    // Nothing of the first run is left behind, and no stray files appear.
    EXPECT_EQ(names_in(dir), std::set<std::string>(kFiles.begin(), kFiles.end()));
    for (const auto& name : kFiles) {
        if (name.ends_with(".bin")) {
            EXPECT_EQ(slurp(dir / name), before[name]) << name;  // the payloads are fixed bytes
        } else {
            EXPECT_NE(slurp(dir / name), before[name]) << name << " was not replaced";
        }
    }
    // New signatures under the new key: the second store does not know the
    // first run's signer.
    const auto store = read<razavovivodidi::trust_store::TrustStore>("trust-store.json");
    ASSERT_EQ(store.signers.size(), 1u);
    EXPECT_EQ(store.signers[0].pubkey_hex, second.pubkey);
}

TEST_F(DemoFixtures, PlanParseAcceptsBothPlansAndRefusesTheHostileOneAtItsShellStep) {
    generate();
    struct Case {
        std::string file;
        std::string plan_id;  // empty: refused
    };
    const std::vector<Case> cases{
        {"plan-sandbox.json", read<DeploymentPlan>("plan-sandbox.json").id.to_string()},
        {"plan-production.json", read<DeploymentPlan>("plan-production.json").id.to_string()},
        {"hostile-plan.json", ""},
    };
    for (const auto& c : cases) {
        const auto result = run_cli({"plan", "parse", "--input", file(c.file)});
        if (!c.plan_id.empty()) {
            EXPECT_EQ(result.status, 0) << c.file << ": " << result.err;
            EXPECT_TRUE(result.out.starts_with("OK: plan " + c.plan_id +
                                               " parsed \u2014 3 step(s), all typed, none a shell/script/run step\n"))
                << result.out;
            continue;
        }
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "error: parsing " + file(c.file) +
                                  " as voreldeploy_contracts::plan::DeploymentPlan: unknown variant `shell_command`, "
                                  "expected one of `validate_target`, `apply_artifact`, `apply_migration`, "
                                  "`set_config_reference`, `scale_replicas`, `health_check`, `wait_for_healthy` at "
                                  "line 11 column 94\n");
    }
}

TEST_F(DemoFixtures, DeclaredDigestsMatchB3sumExceptTheHostileEntry) {
    const Printed printed = generate();
    const auto honest = read<Bundle>("artifacts.json");
    const auto hostile = read<Bundle>("hostile-artifacts.json");
    ASSERT_EQ(honest.size(), 2u);
    ASSERT_EQ(hostile.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string digest = b3sum_hex(dir / honest[i].payload_file);
        EXPECT_EQ(honest[i].artifact.artifact_hash.to_string(), "blake3:" + digest) << honest[i].payload_file;
        EXPECT_EQ(hostile[i].payload_file, honest[i].payload_file);
        EXPECT_EQ(hostile[i].artifact.id, honest[i].artifact.id);
    }
    EXPECT_EQ(hostile[0].artifact, honest[0].artifact);
    EXPECT_NE(hostile[1].artifact.artifact_hash.to_hex(), b3sum_hex(dir / "payload-v2.bin"));

    // Deploying v2 from the hostile bundle fails closed at the digest check;
    // from the honest bundle it succeeds. A copy of the sandbox plan is
    // marked approved so the run engine takes it.
    auto plan = read<DeploymentPlan>("plan-sandbox.json");
    plan.status = voreldeploy_contracts::plan::PlanStatus::Approved;
    ASSERT_TRUE(razavovivodidi::write_json(scratch / "approved.json", plan));
    const std::string seed = razavovivodidi::hex_encode(vorelcore_crypto::keys::SigningKey::generate().seed());
    register_secret(seed);
    struct Case {
        std::string bundle;
        std::string verdict;
    };
    for (const auto& c : {Case{"hostile-artifacts.json", "Failed"}, Case{"artifacts.json", "Succeeded"}}) {
        const auto root = scratch / ("root-" + c.bundle);
        const auto result = run_cli({"run", "start", "--plan", (scratch / "approved.json").string(), "--seed", seed,
                                     "--target", file("target-local.json"), "--root-dir", root.string(),
                                     "--artifacts", file(c.bundle)});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_THAT(result.out, testing::HasSubstr("finished: " + c.verdict + "\n"));
        EXPECT_EQ(fs::exists(root / "releases" / (printed.artifact_v2 + ".bin")), c.verdict == "Succeeded")
            << c.bundle;
    }
}

TEST_F(DemoFixtures, ManifestsAreUnsignedUntilManifestSign) {
    generate();
    for (const auto& [name, release] :
         {std::pair{"manifest-v1.json", "2026.08.01-1"}, std::pair{"manifest-v2.json", "2026.08.06-1"}}) {
        const auto [signed_path, pubkey] = sign_manifest(name);
        const auto plain = run_cli({"manifest", "verify", "--input", file(name), "--pubkey", pubkey});
        EXPECT_EQ(plain.status, 1);
        EXPECT_THAT(plain.err, testing::StartsWith("error: parsing " + file(name) +
                                                   " as vorelcore_crypto::envelope::SignedEnvelope<voreldeploy_"
                                                   "contracts::manifest::ReleaseManifest>: missing field "
                                                   "`format_version`"));
        const auto verified = run_cli({"manifest", "verify", "--input", signed_path, "--pubkey", pubkey});
        EXPECT_EQ(verified.status, 0) << verified.err;
        EXPECT_EQ(verified.out, "OK: manifest " + read<ReleaseManifest>(name).id.to_string() + " (release " +
                                    release + ") verified and published\n");
    }
}

TEST_F(DemoFixtures, OnlyTheSignedRulesetClearsAndProductionWaitsForItsApproval) {
    generate();
    const auto [manifest, pubkey] = sign_manifest("manifest-v2.json");
    const std::string sandbox_id = read<DeploymentPlan>("plan-sandbox.json").id.to_string();
    const std::string production_id = read<DeploymentPlan>("plan-production.json").id.to_string();
    struct Case {
        std::string environment;
        std::string ruleset;
        bool with_approval;
        int status;
        std::string out;  // what stdout contains
        std::string err;  // the exact error line, or empty
    };
    const std::vector<Case> cases{
        {"sandbox", "policy-ruleset-signed.json", false, 0,
         "CLEARED: plan " + sandbox_id + " for Sandbox may run\n", ""},
        {"sandbox", "policy-ruleset-unsigned.json", false, 1, "",
         "error: parsing " + file("policy-ruleset-unsigned.json") +
             " as vorelcore_crypto::envelope::SignedEnvelope<vorelcore_policy::eval::PolicyRuleset>: missing field "
             "`format_version` at line 19 column 1\n"},
        {"sandbox", "policy-ruleset-signed-untrusted.json", false, 1, "",
         "error: ruleset failed signature verification against every key in the trust store \u2014 refusing to "
         "evaluate an unverifiable ruleset (unsigned, tampered, expired, or signed by a key nobody deliberately "
         "trusted)\n"},
        {"sandbox", "policy-ruleset-signed-warn.json", false, 1, "",
         "error: ruleset is signed by a trusted key but fails its own structural validation: rule \"sneaky-warn\" "
         "declares effect Warn, which permits the action without reading as a grant \u2014 a rule that grants must "
         "use `allow`, so a ruleset cannot express permission in a form a reviewer would read as a warning\n"},
        {"production", "policy-ruleset-signed.json", false, 1,
         "WAITING_APPROVAL: Production requires an explicit approval regardless of the policy outcome\n",
         "error: plan " + production_id + " did not clear the promotion gate\n"},
        {"production", "policy-ruleset-signed.json", true, 0,
         "CLEARED: plan " + production_id + " for Production may run\n", ""},
    };
    for (const auto& c : cases) {
        const std::string out = (scratch / "simulated.json").string();
        fs::remove(out);
        std::vector<std::string> args{"plan", "simulate", "--input", file("plan-" + c.environment + ".json"),
                                      "--manifest", manifest, "--pubkey", pubkey, "--policy-input",
                                      file("policy-input-" + c.environment + ".json"), "--policy-ruleset",
                                      file(c.ruleset), "--trust-store", file("trust-store.json"), "--out", out};
        if (c.with_approval) args.insert(args.end(), {"--approval", file("approval-production.json")});
        const auto result = run_cli(args);
        const std::string label = c.environment + " with " + c.ruleset;
        EXPECT_EQ(result.status, c.status) << label << ": " << result.err;
        EXPECT_THAT(result.out, testing::HasSubstr(c.out)) << label;
        EXPECT_EQ(result.err, c.err) << label;
        if (c.status == 0) {
            const auto approved = read_json<DeploymentPlan>(out);
            ASSERT_TRUE(approved) << label;
            EXPECT_EQ(approved->status, voreldeploy_contracts::plan::PlanStatus::Approved);
            EXPECT_EQ(approved->approval.has_value(), c.with_approval);
        }
    }
}

TEST_F(DemoFixtures, StopsAtTheFirstFileItCannotWriteAndPrintsNothing) {
    const fs::path blocker = scratch.write("not-a-directory", "x");
    // A directory where a payload belongs: the documents before it are
    // written, the rest are not.
    fs::create_directories(dir / "payload-v1.bin");
    struct Case {
        fs::path out_dir;
        std::string err;
        std::size_t files_written;
    };
    for (const auto& c : {Case{blocker / "fixtures", "error: Not a directory (os error 20)\n", 0},
                          Case{dir, "error: Is a directory (os error 21)\n", 13}}) {
        const auto result = run_cli({"demo-fixtures", "--out-dir", c.out_dir.string()});
        EXPECT_EQ(result.status, 1) << c.out_dir;
        EXPECT_EQ(result.out, "") << c.out_dir;
        EXPECT_EQ(result.err, c.err) << c.out_dir;
        for (std::size_t i = 0; i < kFiles.size(); ++i) {
            if (kFiles[i] == "payload-v1.bin") continue;
            EXPECT_EQ(fs::exists(c.out_dir / kFiles[i]), i < c.files_written) << c.out_dir << " " << kFiles[i];
        }
    }
}

}  // namespace
