#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "../support/run_cli.hpp"
#include "voreldeploy_adapters/local_fs.hpp"

namespace voreldeploy_adapters::local_fs {
namespace {

namespace fs = std::filesystem;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using voreldeploy_contracts::artifact::ReleaseArtifact;
using voreldeploy_contracts::plan::ApplyArtifact;
using voreldeploy_contracts::plan::DeploymentStepKind;
using voreldeploy_contracts::run::StepOutcome;
using voreldeploy_contracts::target::DeployTarget;
using voreldeploy_contracts::target::TargetType;
namespace plan = voreldeploy_contracts::plan;

std::vector<std::uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

DeployTarget target_of(TargetType type = TargetType::LocalFilesystem) {
    DeployTarget t;
    t.target_type = type;
    return t;
}

ReleaseArtifact artifact_for(const std::string& content) {
    ReleaseArtifact a;
    a.id = voreldeploy_contracts::ids::ArtifactId::generate();
    a.artifact_hash = vorelcore_crypto::hash::blake3_hash(bytes_of(content));
    return a;
}

std::string describe(const AdapterResult<StepOutcome>& r) {
    if (!r) return "error: " + r.error().message();
    return std::visit(
        [](const auto& o) -> std::string {
            using O = std::remove_cvref_t<decltype(o)>;
            if constexpr (std::is_same_v<O, voreldeploy_contracts::run::Applied>) return "Applied";
            else if constexpr (std::is_same_v<O, voreldeploy_contracts::run::Verified>) return "Verified";
            else if constexpr (std::is_same_v<O, voreldeploy_contracts::run::Skipped>) return "Skipped: " + o.reason;
            else return "Failed: " + o.reason_redacted;
        },
        *r);
}

std::string describe(const AdapterResult<void>& r) { return r ? "ok" : "error: " + r.error().message(); }

class LocalFs : public ::testing::Test {
protected:
    ScratchDir dir;
    fs::path root = dir / "target-root";
    DeployTarget target = target_of();

    AdapterResult<StepOutcome> apply_bytes(LocalFilesystemAdapter& adapter, const ReleaseArtifact& a,
                                           const std::string& content) {
        const DeploymentStepKind step = ApplyArtifact{a.id};
        const ArtifactPayload payload = PayloadBytes{bytes_of(content)};
        return adapter.apply({target, step, &a, &payload});
    }
    AdapterResult<StepOutcome> step(LocalFilesystemAdapter& adapter, const DeploymentStepKind& s) {
        return adapter.apply({target, s});
    }
    std::string active() const { return slurp(root / "ACTIVE"); }
    fs::path release(const ReleaseArtifact& a) const { return root / "releases" / (a.id.to_string() + ".bin"); }
};

TEST_F(LocalFs, ApplyTwoReleasesThenRollBackToEachPredecessor) {
    LocalFilesystemAdapter adapter(root);
    const auto a = artifact_for("release A");
    const auto b = artifact_for("release B, longer");
    EXPECT_EQ(describe(step(adapter, plan::ValidateTarget{})), "Applied");
    EXPECT_TRUE(fs::is_directory(root));
    EXPECT_EQ(describe(step(adapter, plan::HealthCheck{5})), "Failed: no active release on this target");

    EXPECT_EQ(describe(apply_bytes(adapter, a, "release A")), "Applied");
    EXPECT_EQ(describe(apply_bytes(adapter, b, "release B, longer")), "Applied");
    EXPECT_EQ(active(), b.id.to_string());
    EXPECT_EQ(slurp(release(a)), "release A");
    EXPECT_EQ(slurp(release(b)), "release B, longer");
    EXPECT_EQ(describe(step(adapter, plan::WaitForHealthy{1})), "Verified");
    // No temporary files are left behind.
    EXPECT_FALSE(fs::exists(root / ".ACTIVE.tmp"));
    EXPECT_FALSE(fs::exists(root / "releases" / ("." + b.id.to_string() + ".tmp")));

    EXPECT_EQ(describe(adapter.rollback(target)), "ok");
    EXPECT_EQ(active(), a.id.to_string());
    EXPECT_EQ(describe(adapter.rollback(target)), "ok");
    EXPECT_TRUE(fs::exists(root / "ACTIVE"));
    EXPECT_EQ(active(), "");
    EXPECT_EQ(describe(adapter.rollback(target)),
              "error: no previously applied release is recorded for this target \u2014 nothing to roll back to");
    // Rollback never deletes releases.
    EXPECT_TRUE(fs::exists(release(a)));
    EXPECT_TRUE(fs::exists(release(b)));
}

TEST_F(LocalFs, AReleaseChangedOnDiskIsCaughtByTheAdapterThatAppliedIt) {
    LocalFilesystemAdapter adapter(root);
    const auto b = artifact_for("release B");
    ASSERT_EQ(describe(apply_bytes(adapter, b, "release B")), "Applied");
    std::ofstream(release(b), std::ios::binary) << "tampered";
    EXPECT_EQ(describe(step(adapter, plan::HealthCheck{5})),
              "Failed: active release digest no longer matches what was applied");
    // A fresh adapter has no recorded digest and only checks presence.
    LocalFilesystemAdapter fresh(root);
    EXPECT_EQ(describe(step(fresh, plan::HealthCheck{5})), "Verified");
    EXPECT_EQ(describe(fresh.rollback(target)),
              "error: no previously applied release is recorded for this target \u2014 nothing to roll back to");
    // verify of the apply step re-hashes what is on disk against the declared digest.
    const DeploymentStepKind apply_b = ApplyArtifact{b.id};
    EXPECT_EQ(describe(fresh.verify({target, apply_b, &b})),
              "Failed: materialised artifact digest does not match the declared hash");
    fs::remove(release(b));
    EXPECT_EQ(describe(fresh.verify({target, apply_b, &b})), "Failed: no materialised artifact found on disk for this id");
    EXPECT_EQ(describe(fresh.verify({target, plan::DeploymentStepKind{plan::ValidateTarget{}}})),
              "Failed: active release is not present on disk");
}

TEST_F(LocalFs, PayloadsThatDoNotMatchTheirDigestLeaveNoFile) {
    LocalFilesystemAdapter adapter(root);
    auto a = artifact_for("the real bytes");
    EXPECT_EQ(describe(apply_bytes(adapter, a, "other bytes")), "Failed: artifact payload does not match its declared digest");
    // A sha256-tagged hash never matches, even with the right digest bytes.
    a.artifact_hash = vorelcore_crypto::hash::ContentHash(vorelcore_crypto::hash::HashAlgorithm::Sha256,
                                                          a.artifact_hash.digest());
    EXPECT_EQ(describe(apply_bytes(adapter, a, "the real bytes")), "Failed: artifact payload does not match its declared digest");
    EXPECT_FALSE(fs::exists(root / "releases"));
    EXPECT_FALSE(fs::exists(root / "ACTIVE"));
}

TEST_F(LocalFs, LargeFilePayloadIsCopiedWhole) {
    LocalFilesystemAdapter adapter(root);
    std::string content(5 * (1 << 20) + 3, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131) % 251);
    const auto payload_path = dir.write("payload.bin", content);
    const auto a = artifact_for(content);
    const DeploymentStepKind s = ApplyArtifact{a.id};
    const ArtifactPayload payload = PayloadFile{payload_path};
    EXPECT_EQ(describe(adapter.apply({target, s, &a, &payload})), "Applied");
    EXPECT_EQ(slurp(release(a)), content);

    const ArtifactPayload missing = PayloadFile{dir / "missing.bin"};
    EXPECT_EQ(describe(adapter.apply({target, s, &a, &missing})),
              "error: filesystem operation failed: No such file or directory (os error 2)");
}

TEST_F(LocalFs, RequestsAreCheckedInOrder) {
    LocalFilesystemAdapter adapter(root);
    const auto a = artifact_for("x");
    const auto other = artifact_for("x");
    const DeploymentStepKind s = ApplyArtifact{a.id};
    const ArtifactPayload payload = PayloadBytes{bytes_of("x")};
    EXPECT_EQ(describe(adapter.apply({target, s, nullptr, &payload})),
              "error: no release artifact metadata was supplied for this step");
    EXPECT_EQ(describe(adapter.apply({target, s, &other, nullptr})),
              "error: the supplied artifact metadata does not match the step's artifact id");
    EXPECT_EQ(describe(adapter.apply({target, s, &a, nullptr})), "error: no artifact payload was supplied for this step");
    EXPECT_EQ(describe(adapter.verify({target, s, nullptr})), "error: no release artifact metadata was supplied for this step");

    for (const DeploymentStepKind& unsupported :
         {DeploymentStepKind{plan::ScaleReplicas{2}}, DeploymentStepKind{plan::ApplyMigration{"m"}},
          DeploymentStepKind{plan::SetConfigReference{"k", *vorelcore_contracts::ids::Slug::parse("s")}}}) {
        const std::string expected = "error: step " + std::string(plan::step_label(unsupported)) +
                                     " is not supported by this adapter";
        EXPECT_EQ(describe(adapter.apply({target, unsupported})), expected);
        EXPECT_EQ(describe(adapter.verify({target, unsupported})), expected);
    }

    const DeployTarget kubernetes = target_of(TargetType::Kubernetes);
    const std::string wrong = "error: target type Kubernetes is not handled by this adapter";
    EXPECT_EQ(describe(adapter.apply({kubernetes, s, &a, &payload})), wrong);
    EXPECT_EQ(describe(adapter.verify({kubernetes, s, &a})), wrong);
    EXPECT_EQ(describe(adapter.rollback(kubernetes)), wrong);
    EXPECT_FALSE(fs::exists(root));
}

TEST_F(LocalFs, TheActivePointerIsReadStrictly) {
    LocalFilesystemAdapter adapter(root);
    const auto a = artifact_for("A");
    ASSERT_EQ(describe(apply_bytes(adapter, a, "A")), "Applied");

    std::ofstream(root / "ACTIVE", std::ios::binary) << a.id.to_string() << "\n";
    LocalFilesystemAdapter fresh(root);
    EXPECT_EQ(describe(step(fresh, plan::HealthCheck{1})), "Verified");

    const std::string corrupt = "error: on-disk adapter state is unreadable or corrupt: ACTIVE pointer is not a valid artifact id";
    for (const std::string& garbage : {std::string("not-a-uuid"), std::string(10000, 'a')}) {
        std::ofstream(root / "ACTIVE", std::ios::binary | std::ios::trunc) << garbage;
        EXPECT_EQ(describe(step(fresh, plan::HealthCheck{1})), corrupt);
        EXPECT_EQ(describe(fresh.verify({target, plan::DeploymentStepKind{plan::WaitForHealthy{1}}})), corrupt);
        const auto b = artifact_for("B");
        EXPECT_EQ(describe(apply_bytes(fresh, b, "B")), corrupt);
    }
    std::ofstream(root / "ACTIVE", std::ios::binary | std::ios::trunc) << "\xff\xfe";
    EXPECT_EQ(describe(step(fresh, plan::HealthCheck{1})), "error: filesystem operation failed: stream did not contain valid UTF-8");
}

TEST_F(LocalFs, RollbackRefusesAMissingOrCorruptedPredecessor) {
    const auto a = artifact_for("A");
    const auto b = artifact_for("B");
    {
        LocalFilesystemAdapter adapter(root);
        ASSERT_EQ(describe(apply_bytes(adapter, a, "A")), "Applied");
        ASSERT_EQ(describe(apply_bytes(adapter, b, "B")), "Applied");
        std::ofstream(release(a), std::ios::binary | std::ios::trunc) << "not A";
        EXPECT_EQ(describe(adapter.rollback(target)),
                  "error: the release being rolled back to failed digest verification \u2014 refusing to activate it");
        EXPECT_EQ(active(), b.id.to_string());
    }
    {
        LocalFilesystemAdapter adapter(root);
        ASSERT_EQ(describe(apply_bytes(adapter, a, "A")), "Applied");
        ASSERT_EQ(describe(apply_bytes(adapter, b, "B")), "Applied");
        fs::remove(release(a));
        EXPECT_EQ(describe(adapter.rollback(target)), "error: the release being rolled back to is no longer present on disk");
        EXPECT_EQ(active(), b.id.to_string());
    }
}

}  // namespace
}  // namespace voreldeploy_adapters::local_fs
