// `plan parse` end to end: the built program on real files.
#include <gtest/gtest.h>

#include <string>

#include "../support/run_cli.hpp"

namespace {

using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;

const std::string kLabel = "voreldeploy_contracts::plan::DeploymentPlan";

TEST(PlanParse, GoodPlanPrintsOkLineThenThePlanWithoutUnknownMembers) {
    ScratchDir dir;
    std::string text = slurp(vorel_test::source_dir() / "examples/plan.json");
    // Members the plan type does not declare, at the top and inside a step.
    text.replace(text.find("\"contract_version\""), 0, "\"comment\": \"dropped\", ");
    text.replace(text.find("{ \"kind\": \"validate_target\" }"), 29,
                 "{ \"kind\": \"validate_target\", \"command\": \"rm -rf /\" }");
    const auto path = dir.write("plan.json", text);

    const auto r = run_cli({"plan", "parse", "--input", path.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string ok =
        "OK: plan 5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01 parsed \u2014 7 step(s), all typed, none a "
        "shell/script/run step\n";
    ASSERT_TRUE(r.out.starts_with(ok)) << r.out;
    const std::string printed = r.out.substr(ok.size());
    EXPECT_TRUE(printed.starts_with("{\n  \"contract_version\": 1,\n  \"id\": "));
    EXPECT_TRUE(printed.ends_with("\n  \"created_at\": \"2026-12-01T09:30:00Z\"\n}\n"));
    EXPECT_EQ(printed.find("comment"), std::string::npos);
    EXPECT_EQ(printed.find("command"), std::string::npos);
    EXPECT_NE(printed.find("    {\n      \"kind\": \"validate_target\"\n    },\n"), std::string::npos);

    // What was printed is itself a plan that parses to the same text.
    const auto again_path = dir.write("again.json", printed);
    const auto again = run_cli({"plan", "parse", "--input=" + again_path.string()});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, r.out);
}

TEST(PlanParse, ShellStepIsRefusedWithNothingOnStdout) {
    const auto path = vorel_test::source_dir() / "examples/shell-step-plan.json";
    const auto r = run_cli({"plan", "parse", "--input", path.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "error: parsing " + path.string() + " as " + kLabel +
                         ": unknown variant `shell_command`, expected one of `validate_target`, `apply_artifact`, "
                         "`apply_migration`, `set_config_reference`, `scale_replicas`, `health_check`, "
                         "`wait_for_healthy` at line 11 column 90\n");
}

TEST(PlanParse, UnreadableInputsGiveOneErrorLineAndExitOne) {
    ScratchDir dir;
    struct Case {
        std::string name;
        std::string content;  // empty name: the file is not created
        std::string error;    // after "error: "
    };
    const std::string deep(100000, '[');
    const Case cases[] = {
        {"missing.json", "", "reading {}: No such file or directory (os error 2)"},
        {"number.json", "5", "parsing {} as " + kLabel + ": invalid type: integer `5`, expected struct DeploymentPlan at line 1 column 1"},
        {"empty.json", "", "parsing {} as " + kLabel + ": EOF while parsing a value at line 1 column 0"},
        {"object.json", "{}", "parsing {} as " + kLabel + ": missing field `contract_version` at line 1 column 2"},
        {"latin1.json", "{\"x\": \"\xE9\"}", "reading {}: stream did not contain valid UTF-8"},
        {"deep.json", deep, "parsing {} as " + kLabel + ": recursion limit exceeded at line 1 column 129"},
        {"trailing.json", "{} {}", "parsing {} as " + kLabel + ": trailing characters at line 1 column 4"},
    };
    for (const auto& c : cases) {
        const auto path = dir / c.name;
        if (c.name != "missing.json") dir.write(c.name, c.content);
        std::string expected = c.error;
        expected.replace(expected.find("{}"), 2, path.string());
        const auto r = run_cli({"plan", "parse", "--input", path.string()});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, "error: " + expected + "\n") << c.name;
    }
}

TEST(PlanParse, PathsArePrintedExactlyAsGiven) {
    ScratchDir dir;
    dir.write("sub/five.json", "5");
    const std::string relative = "sub/./five.json";
    // Run from the scratch directory by giving the path through it.
    const std::string given = (dir.path() / relative).string();
    const auto r = run_cli({"plan", "parse", "--input", given});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("error: parsing " + given + " as ")) << r.err;
}

}  // namespace
