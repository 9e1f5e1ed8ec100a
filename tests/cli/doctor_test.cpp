// `doctor`: the whole scenario end to end against the built program, and the
// runner's failure path in-process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "../support/run_cli.hpp"
#include "doctor.hpp"
#include "voreldeploy_engine/run.hpp"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;
using ::testing::Eq;
using ::testing::IsEmpty;
using ::testing::Matcher;
using ::testing::StartsWith;
using vorel_test::run_cli;
using vorel_test::ScratchDir;
using razavovivodidi::doctor::Check;
using razavovivodidi::doctor::CheckResult;
using razavovivodidi::doctor::Finding;
using razavovivodidi::doctor::Section;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Names of the entries of `dir`, sorted.
std::vector<std::string> entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kRunNotSucceeded = "the run itself ends Failed \u2014 it is not RunStatus::Succeeded";

// Every line of a clean run. A refusal reason that quotes a path of this run
// is matched up to the path's random part.
std::vector<Matcher<const std::string&>> clean_run_lines(const fs::path& tmpdir) {
    const std::string provenance = (tmpdir / "voreldeploy-doctor" / "provenance-").string();
    return {
        Eq("== VorelDeploy doctor =="),
        Eq("-- happy path: sandbox deployment, signed manifest, approved plan --"),
        Eq("  [pass] signed manifest verifies"),
        Eq("  [pass] plan steps are valid"),
        Eq("  [pass] the real evaluator returns Allow for a matching rule"),
        Eq("  [pass] sandbox promotion clears with a genuinely evaluated Allow decision"),
        Eq("  [pass] run starts in Running"),
        Eq("  [pass] run reaches Succeeded"),
        Eq("  [pass] signed transition chain integrity verifies"),
        Eq(""),
        Eq("-- refusal 1: a tampered signed manifest is rejected --"),
        Eq("  [pass] tampered manifest is refused (signature no longer covers the payload)"),
        Eq("  refusal reason: release manifest signature verification failed"),
        Eq(""),
        Eq("-- refusal 2: production promotion without an approval is refused (adapter never invoked) --"),
        Eq("  [pass] the real evaluator genuinely allows this request"),
        Eq("  [pass] production is refused (waiting on approval) even though the real policy evaluator said Allow"),
        Eq("  refusal reason: Production requires an explicit approval regardless of the policy outcome"),
        Eq("  [pass] the same production promotion clears once approved"),
        Eq(""),
        Eq("-- refusal 3: a shell/command step cannot even be parsed --"),
        Eq("  [pass] \"shell_command\" is not a representable step kind"),
        Eq("  refusal reason: unknown variant `shell_command`, expected one of `validate_target`, `apply_artifact`, "
           "`apply_migration`, `set_config_reference`, `scale_replicas`, `health_check`, `wait_for_healthy` at line 1 "
           "column 98"),
        Eq(""),
        Eq("-- refusal 5: an unsigned or untrusted-signed policy ruleset is refused; a trusted signature is required "
           "but still not sufficient alone --"),
        Eq("  [pass] an unsigned ruleset file is refused, not accepted with a warning"),
        ::testing::AllOf(
            StartsWith("  refusal reason: parsing " + provenance),
            ::testing::HasSubstr("/policy-ruleset-unsigned.json as "
                                 "vorelcore_crypto::envelope::SignedEnvelope<vorelcore_policy::eval::PolicyRuleset>: "
                                 "missing field `format_version`")),
        Eq("  [pass] a ruleset signed by a key that was never deliberately trusted is refused"),
        Eq("  refusal reason: ruleset failed signature verification against every key in the trust store \u2014 "
           "refusing to evaluate an unverifiable ruleset (unsigned, tampered, expired, or signed by a key nobody "
           "deliberately trusted)"),
        Eq("  [pass] a ruleset signed by a trusted key is accepted"),
        Eq("  [pass] the trusted-signed ruleset genuinely evaluates to Allow"),
        Eq("  [pass] production still waits on approval even with a trusted, signed, genuinely-Allow ruleset"),
        Eq("  [pass] a ruleset that spells a grant as warn is refused at validation, even signed by a trusted key"),
        Eq("  refusal reason: ruleset is signed by a trusted key but fails its own structural validation: rule "
           "\"doctor-sneaky-warn\" declares effect Warn, which permits the action without reading as a grant \u2014 "
           "a rule that grants must use `allow`, so a ruleset cannot express permission in a form a reviewer would "
           "read as a warning"),
        Eq(""),
        Eq("-- real adapter: local filesystem materialise / verify / corrupt-detect / rollback --"),
        Eq("  [pass] apply writes artifact A and verifies its digest at write time"),
        Eq("  [pass] verify independently re-confirms artifact A from disk"),
        Eq("  [pass] apply writes artifact B and activates it"),
        Eq("  [pass] a digest mismatch discovered after write is reported Failed, not silently accepted"),
        Eq("  [pass] rollback restores the previous known-good (artifact A)"),
        Eq("  [pass] after rollback, artifact A is active again and verifies intact"),
        Eq(""),
        Eq("-- refusal 4: an artifact digest mismatch fails the run closed, not just the step --"),
        Eq("  [pass] validate_target applies cleanly, run keeps going"),
        Eq("  [pass] the adapter refuses to write a payload that does not match its declared digest"),
        Eq("  [pass] " + kRunNotSucceeded),
        Eq("  [pass] the run's audit chain still verifies even though the run failed"),
        Eq(""),
        Eq("== all checks passed =="),
    };
}

// ------------------------------------------------------------- end to end

TEST(DoctorCommand, CleanRunPrintsEveryCheckAndLeavesNoSectionDirectory) {
    const ScratchDir tmp;
    const auto result = run_cli({"doctor"}, {{"TMPDIR", tmp.path().string()}});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_THAT(lines_of(result.out), ElementsAreArray(clean_run_lines(tmp.path())));
    EXPECT_EQ(result.out.back(), '\n');
    // The parent stays; every section directory went once its section passed.
    ASSERT_TRUE(fs::is_directory(tmp / "voreldeploy-doctor"));
    EXPECT_THAT(entries(tmp / "voreldeploy-doctor"), IsEmpty());
}

TEST(DoctorCommand, TwoRunsAtOnceBothPass) {
    const ScratchDir tmp;
    const std::map<std::string, std::optional<std::string>> env{{"TMPDIR", tmp.path().string()}};
    auto first = std::async(std::launch::async, [&] { return run_cli({"doctor"}, env); });
    auto second = std::async(std::launch::async, [&] { return run_cli({"doctor"}, env); });
    for (auto* run : {&first, &second}) {
        const auto result = run->get();
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_THAT(lines_of(result.out), ElementsAreArray(clean_run_lines(tmp.path())));
    }
    EXPECT_THAT(entries(tmp / "voreldeploy-doctor"), IsEmpty());
}

TEST(DoctorCommand, AnUnusableTemporaryDirectoryEndsTheRunWithThatErrorAndNoFailLine) {
    const ScratchDir tmp;
    const auto not_a_directory = tmp.write("plain-file", "");
    const auto result = run_cli({"doctor"}, {{"TMPDIR", not_a_directory.string()}});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, StartsWith("error: finding the temporary directory: "));
    EXPECT_THAT(result.out, ::testing::Not(::testing::HasSubstr("[FAIL]")));
    // The sections before the first one that needs a scratch directory ran
    // and were reported before the error.
    const auto lines = lines_of(result.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_THAT(lines.back(), StartsWith("-- refusal 5: "));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), 4);
}

// -------------------------------------------------------------- the runner

CheckResult passes() { return Finding{true, std::nullopt}; }

// A check that leaves a file in the section's scratch directory, the way the
// real sections do (the directory appears with the first file written).
Check writes_evidence(const fs::path& scratch) {
    return {"writes its evidence", [scratch] {
                fs::create_directories(scratch);
                std::ofstream(scratch / "evidence.txt") << "kept";
                return passes();
            }};
}

const std::string kUuid = "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}";

class DoctorRunner : public ::testing::Test {
protected:
    ScratchDir tmp;
    fs::path parent = tmp / "voreldeploy-doctor";
    std::ostringstream out;

    razavovivodidi::CommandResult run(const std::vector<Section>& sections) {
        return razavovivodidi::doctor::run_sections(out, sections, [this] { return parent; });
    }
};

TEST_F(DoctorRunner, AFailingCheckStopsEverythingAfterItAndKeepsItsScratchDirectory) {
    bool later_check_ran = false;
    bool later_section_built = false;
    fs::path scratch_seen;
    const std::vector<Section> sections{
        {"-- first --", std::nullopt,
         [](const fs::path&) {
             return std::vector<Check>{{"refuses", [] { return CheckResult(Finding{true, "the words it used"}); }}};
         }},
        {"-- second --", "lifecycle",
         [&](const fs::path& scratch) {
             scratch_seen = scratch;
             return std::vector<Check>{
                 writes_evidence(scratch),
                 {"does not hold", [] { return CheckResult(Finding{false, "never printed"}); }},
                 {"never runs",
                  [&] {
                      later_check_ran = true;
                      return passes();
                  }},
             };
         }},
        {"-- third --", std::nullopt,
         [&](const fs::path&) {
             later_section_built = true;
             return std::vector<Check>{};
         }},
    };

    const auto result = run(sections);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "doctor check failed: does not hold");
    EXPECT_THAT(lines_of(out.str()), ElementsAreArray<std::string>({
                                         "== VorelDeploy doctor ==",
                                         "-- first --",
                                         "  [pass] refuses",
                                         "  refusal reason: the words it used",
                                         "",
                                         "-- second --",
                                         "  [pass] writes its evidence",
                                         "  [FAIL] does not hold",
                                     }));
    EXPECT_FALSE(later_check_ran);
    EXPECT_FALSE(later_section_built);
    EXPECT_EQ(scratch_seen.parent_path(), parent);
    EXPECT_THAT(scratch_seen.filename().string(), ::testing::MatchesRegex("lifecycle-" + kUuid));
    EXPECT_EQ(vorel_test::slurp(scratch_seen / "evidence.txt"), "kept");
}

TEST_F(DoctorRunner, AnOperationErrorEndsTheRunWithItsOwnTextAndNoFailLine) {
    fs::path scratch_seen;
    const std::vector<Section> sections{
        {"-- only --", "mismatch",
         [&](const fs::path& scratch) {
             scratch_seen = scratch;
             return std::vector<Check>{
                 writes_evidence(scratch),
                 {"cannot be carried out", [] { return CheckResult(std::unexpected("the operation's own words")); }},
             };
         }},
    };
    const auto result = run(sections);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "the operation's own words");
    EXPECT_THAT(lines_of(out.str()), ElementsAreArray<std::string>({"== VorelDeploy doctor ==", "-- only --",
                                                                     "  [pass] writes its evidence"}));
    EXPECT_TRUE(fs::exists(scratch_seen / "evidence.txt"));
}

TEST_F(DoctorRunner, ASectionThatCannotBuildItsFixturesEndsTheRunWithThatError) {
    const std::vector<Section> sections{
        {"-- only --", std::nullopt,
         [](const fs::path&) -> std::expected<std::vector<Check>, std::string> {
             return std::unexpected("fixture could not be built");
         }},
    };
    const auto result = run(sections);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "fixture could not be built");
    EXPECT_THAT(lines_of(out.str()), ElementsAreArray<std::string>({"== VorelDeploy doctor ==", "-- only --"}));
}

TEST_F(DoctorRunner, PassedSectionsRemoveTheirOwnDirectoriesButNeverTheParent) {
    std::vector<fs::path> seen;
    const auto section = [&](std::string label) {
        return Section{"-- " + label + " --", label, [&](const fs::path& scratch) {
                           seen.push_back(scratch);
                           return std::vector<Check>{writes_evidence(scratch)};
                       }};
    };
    // Something else living in the parent is none of the doctor's business.
    fs::create_directories(parent / "someone-else");

    const auto result = run({section("provenance"), section("provenance")});
    ASSERT_TRUE(result) << result.error();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0], seen[1]);
    for (const auto& scratch : seen) {
        EXPECT_THAT(scratch.filename().string(), ::testing::MatchesRegex("provenance-" + kUuid));
        EXPECT_FALSE(fs::exists(scratch));
    }
    EXPECT_THAT(entries(parent), ElementsAreArray<std::string>({"someone-else"}));
    EXPECT_THAT(lines_of(out.str()).back(), Eq("== all checks passed =="));
}

// ------------------------------------------------- the real scenario, in-process

TEST_F(DoctorRunner, AnEngineThatLetsAFailedRunEndSucceededFailsTheRunCheck) {
    // The real engine, except that a failed step "finishes" the run as if
    // it had succeeded.
    const razavovivodidi::doctor::RecordStepOutcome lenient_engine =
        [](auto& run, auto steps, voreldeploy_contracts::run::StepOutcome outcome, const auto& key, const auto& now)
        -> std::expected<void, voreldeploy_engine::error::EngineError> {
        const bool failed = std::holds_alternative<voreldeploy_contracts::run::Failed>(outcome);
        auto recorded = voreldeploy_engine::run::record_step_outcome(run, steps, std::move(outcome), key, now);
        if (recorded && failed) run.status = voreldeploy_contracts::run::RunStatus::Succeeded;
        return recorded;
    };

    const auto result = run(razavovivodidi::doctor::scenario(lenient_engine));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "doctor check failed: " + kRunNotSucceeded);
    const auto lines = lines_of(out.str());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(lines.end() - 3, lines.end()),
                ElementsAreArray<std::string>({
                    "  [pass] validate_target applies cleanly, run keeps going",
                    "  [pass] the adapter refuses to write a payload that does not match its declared digest",
                    "  [FAIL] " + kRunNotSucceeded,
                }));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "== all checks passed =="), 0);
    // Only the failed section's directory is left behind.
    const auto left = entries(parent);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_THAT(left[0], ::testing::MatchesRegex("mismatch-" + kUuid));
}

}  // namespace
