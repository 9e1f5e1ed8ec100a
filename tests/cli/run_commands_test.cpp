// `run start` and `target verify-artifact` end to end on real directories.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "../support/run_cli.hpp"
#include "deploy_fixtures.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_contracts/artifact.hpp"
#include "voreldeploy_contracts/plan.hpp"

namespace {

namespace fs = std::filesystem;
using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using vorel_test::make_artifact;
using vorelcore_contracts::time::Timestamp;
using namespace voreldeploy_contracts;
using Artifact = voreldeploy_contracts::artifact::ReleaseArtifact;

// The secret key of the first Ed25519 test vector of RFC 8032.
const std::string kSeed = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";

class RunStart : public ::testing::Test {
protected:
    ScratchDir dir;
    Artifact app = make_artifact("the release bytes\n");
    std::string bundle_path, target_path, root;

    void SetUp() override {
        vorel_test::register_secret(kSeed);
        dir.write("bundle/app.bin", "the release bytes\n");
        bundle_path = write_bundle({{app, "app.bin"}});
        target_path = write_target("local_filesystem");
        root = (dir / "root").string();
    }

    std::string write_bundle(const std::vector<std::pair<Artifact, std::string>>& entries,
                             const std::string& name = "bundle/bundle.json") {
        return vorel_test::write_bundle(dir, entries, name);
    }
    std::string write_target(const std::string& type) { return vorel_test::write_target(dir, type); }

    std::string write_plan(std::vector<plan::DeploymentStepKind> steps, plan::PlanStatus status = plan::PlanStatus::Approved) {
        auto drafted = plan::DeploymentPlan::draft(
            vorelcore_contracts::ids::TenantId::generate(), vorelcore_contracts::ids::WorkspaceId::generate(),
            ids::EnvironmentId::generate(), environment::EnvironmentType::Staging, ids::ManifestId::generate(),
            std::move(steps), vorelcore_contracts::ids::IdentityId::generate(), Timestamp::now());
        EXPECT_TRUE(drafted);
        drafted->status = status;
        plan_id = drafted->id.to_string();
        const std::string path = (dir / "plan.json").string();
        EXPECT_TRUE(razavovivodidi::write_json(path, *drafted));
        return path;
    }

    vorel_test::CliResult start(const std::string& plan, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"run", "start", "--plan", plan, "--seed", kSeed, "--target", target_path,
                                      "--root-dir", root, "--artifacts", bundle_path};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_cli(args);
    }

    // The run id from the "started" line, and the output with it replaced by RUN.
    static std::string normalised(const std::string& out) {
        std::smatch m;
        if (!std::regex_search(out, m, std::regex("^run ([0-9a-f-]{36}) started"))) return out;
        return std::regex_replace(out, std::regex(m[1].str()), "RUN");
    }

    std::string plan_id;
};

TEST_F(RunStart, ASuccessfulRunThenVerifyArtifactPassesUntilOneByteChanges) {
    const std::string plan = write_plan({plan::ValidateTarget{}, plan::ApplyArtifact{app.id}, plan::HealthCheck{30}});
    const std::string out = (dir / "run.json").string();
    const auto r = start(plan, {"--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(normalised(r.out), "run RUN started for plan " + plan_id + " (3 steps)\n"
                                 "  step 0 [validate_target] -> Applied\n"
                                 "  step 1 [apply_artifact] -> Applied\n"
                                 "  step 2 [health_check] -> Verified\n"
                                 "run RUN finished: Succeeded\n"
                                 "transition chain integrity: OK (2 record(s), signed and chained via vorelcore-audit)\n");
    EXPECT_EQ(slurp(fs::path(root) / "ACTIVE"), app.id.to_string());
    const std::string run_doc = slurp(out);
    EXPECT_NE(run_doc.find("\"status\": \"succeeded\""), std::string::npos);
    EXPECT_NE(run_doc.find("deploy.run.started"), std::string::npos);
    EXPECT_NE(run_doc.find("deploy.run.completed"), std::string::npos);

    const std::vector<std::string> verify{"target", "verify-artifact", "--root-dir", root, "--artifacts", bundle_path,
                                          "--artifact-id", app.id.to_string()};
    const auto pass = run_cli(verify);
    EXPECT_EQ(pass.status, 0) << pass.err;
    EXPECT_EQ(pass.out, "PASS: artifact " + app.id.to_string() + " on disk at " + root + " matches its declared digest\n");

    const fs::path stored = fs::path(root) / "releases" / (app.id.to_string() + ".bin");
    {
        std::fstream f(stored, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(3);
        f.put('X');
    }
    const auto fail = run_cli(verify);
    EXPECT_EQ(fail.status, 1);
    EXPECT_EQ(fail.out, "FAIL: artifact " + app.id.to_string() +
                            " did not verify \u2014 materialised artifact digest does not match the declared hash\n");
    EXPECT_EQ(fail.err, "error: artifact " + app.id.to_string() + " failed digest verification\n");
}

TEST_F(RunStart, AMismatchingPayloadFailsTheStepButNotTheCommand) {
    auto wrong = app;
    wrong.artifact_hash = vorelcore_crypto::hash::blake3_hash(std::string_view("something else"));
    bundle_path = write_bundle({{wrong, "app.bin"}});
    const std::string plan = write_plan({plan::ApplyArtifact{app.id}, plan::HealthCheck{30}});
    const std::string out = (dir / "run.json").string();
    const auto r = start(plan, {"--out", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(normalised(r.out),
              "run RUN started for plan " + plan_id + " (2 steps)\n"
              "  step 0 [apply_artifact] -> Failed { reason_redacted: \"artifact payload does not match its declared digest\" }\n"
              "run RUN finished: Failed\n"
              "transition chain integrity: OK (2 record(s), signed and chained via vorelcore-audit)\n");
    EXPECT_NE(slurp(out).find("\"status\": \"failed\""), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path(root) / "releases"));
}

TEST_F(RunStart, AnotherTargetTypeFailsTheFirstStep) {
    target_path = write_target("kubernetes");
    const auto r = start(write_plan({plan::ValidateTarget{}, plan::HealthCheck{30}}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(normalised(r.out),
              "run RUN started for plan " + plan_id + " (2 steps)\n"
              "  step 0 [validate_target] -> Failed { reason_redacted: \"target type Kubernetes is not handled by this adapter\" }\n"
              "run RUN finished: Failed\n"
              "transition chain integrity: OK (2 record(s), signed and chained via vorelcore-audit)\n");
}

TEST_F(RunStart, RefusalsBeforeOrWhileDriving) {
    const std::string out = (dir / "never.json").string();
    // A plan that is not approved never starts.
    const auto draft = start(write_plan({plan::ValidateTarget{}}, plan::PlanStatus::Draft), {"--out", out});
    EXPECT_EQ(draft.status, 1);
    EXPECT_EQ(draft.out, "");
    EXPECT_EQ(draft.err, "error: deployment plan is not approved (status: Draft)\n");

    // An artifact the bundle does not hold ends the command right after "started".
    const auto missing_id = ids::ArtifactId::generate();
    const auto missing = start(write_plan({plan::ApplyArtifact{missing_id}}), {"--out", out});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(normalised(missing.out), "run RUN started for plan " + plan_id + " (1 steps)\n");
    EXPECT_EQ(missing.err, "error: no artifact bundle entry supplied for " + missing_id.to_string() + "\n");
    EXPECT_FALSE(fs::exists(out));

    // Two entries for one id: the later one is used.
    const std::string later = write_bundle({{make_artifact("stale"), "app.bin"}, {app, "app.bin"}}, "bundle/two.json");
    bundle_path = later;
    const auto twice = start(write_plan({plan::ApplyArtifact{app.id}}));
    EXPECT_EQ(twice.status, 0);
    EXPECT_NE(twice.out.find("-> Applied"), std::string::npos) << twice.out;
}

TEST_F(RunStart, VerifyArtifactRefusals) {
    const auto bad_id = run_cli({"target", "verify-artifact", "--root-dir", root, "--artifacts", bundle_path,
                                 "--artifact-id", "nope"});
    EXPECT_EQ(bad_id.status, 1);
    EXPECT_TRUE(bad_id.err.starts_with("error: invalid ArtifactId identifier: ")) << bad_id.err;
    const auto other = ids::ArtifactId::generate();
    const auto absent = run_cli({"target", "verify-artifact", "--root-dir", root, "--artifacts", bundle_path,
                                 "--artifact-id", other.to_string()});
    EXPECT_EQ(absent.err, "error: no artifact bundle entry supplied for " + other.to_string() + "\n");
    const auto never_written = run_cli({"target", "verify-artifact", "--root-dir", root, "--artifacts", bundle_path,
                                        "--artifact-id", app.id.to_string()});
    EXPECT_EQ(never_written.status, 1);
    EXPECT_EQ(never_written.out, "FAIL: artifact " + app.id.to_string() +
                                     " did not verify \u2014 no materialised artifact found on disk for this id\n");
}

}  // namespace
