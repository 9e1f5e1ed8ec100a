// examples/walkthrough.sh against the built program: the whole operator
// journey completes, and a program that answers wrongly stops it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "../support/run_cli.hpp"

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;
using vorel_test::ScratchDir;

struct ScriptResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs the walkthrough with `program` as its tool; its temporary directory
// goes under `tmpdir`. Scratch paths hold no quotes.
ScriptResult run_walkthrough(const fs::path& tmpdir, const std::string& program) {
    const fs::path script = vorel_test::source_dir() / "examples" / "walkthrough.sh";
    const std::string command = "TMPDIR='" + tmpdir.string() + "' bash '" + script.string() + "'" +
                                (program.empty() ? "" : " '" + program + "'") + " 2>&1 </dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("could not run bash");
    ScriptResult result;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return result;
}

TEST(Walkthrough, CompletesTheWholeJourneyAndCleansUp) {
    ScratchDir tmp;
    const ScriptResult result = run_walkthrough(tmp.path(), vorel_test::cli_path().string());
    ASSERT_EQ(result.status, 0) << result.output;

    // Each command is shown before its output, in the journey's order.
    const std::vector<std::string> in_order{
        "$ razavovivodidi demo-fixtures --out-dir fixtures\nwrote demo fixtures to fixtures\n",
        "$ razavovivodidi keygen\n",
        "verified and published\n",
        "$ razavovivodidi trust list --store trust-store.json\ndemo-trusted-signer  ",
        " for Sandbox may run\n",
        "WAITING_APPROVAL: Production requires an explicit approval regardless of the policy outcome\n",
        " for Production may run\n",
        "$ razavovivodidi plan parse --input hostile-plan.json\nerror: parsing hostile-plan.json as "
        "voreldeploy_contracts::plan::DeploymentPlan: unknown variant `shell_command`",
        "finished: Succeeded\n",
        "PASS: artifact ",
        "FAIL: artifact ",
        "finished: Failed\n",
        "CLEARED: rollback plan ",
        "rollback ",
        "status=Drifted severity=High drift_count=1\n",
        "status=InSync severity=Info drift_count=0\n",
        "walkthrough complete: every step succeeded or was refused exactly as expected\n",
    };
    std::size_t at = 0;
    for (const auto& line : in_order) {
        const std::size_t found = result.output.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing, or out of order: " << line << "\n" << result.output;
        at = found + line.size();
    }
    // unsigned manifest, waiting production, three bad rulesets, hostile
    // plan, hostile artifact
    const std::regex refused("\\(refused, as expected\\)\n");
    EXPECT_EQ(std::distance(std::sregex_iterator(result.output.begin(), result.output.end(), refused),
                            std::sregex_iterator()),
              7);

    // The seed never appears: not in keygen's shown output, not on a shown
    // command line.
    EXPECT_FALSE(std::regex_search(result.output, std::regex("seed: +[0-9a-fA-F]{64}"))) << result.output;
    EXPECT_FALSE(std::regex_search(result.output, std::regex("--seed [0-9a-fA-F]{64}"))) << result.output;
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "the walkthrough left its temporary directory behind";
}

// A stand-in tool that answers one command wrongly and passes every other
// one to the real program.
std::string write_liar(const ScratchDir& dir, const std::string& first, const std::string& second,
                       const std::string& answer) {
    const fs::path path = dir.write("liar.sh", "#!/bin/sh\nif [ \"$1\" = " + first + " ] && [ \"$2\" = " + second +
                                                   " ]; then " + answer + "; fi\nexec '" +
                                                   vorel_test::cli_path().string() + "' \"$@\"\n");
    fs::permissions(path, fs::perms::owner_all);
    return path.string();
}

TEST(Walkthrough, StopsAtAnUnexpectedAnswer) {
    struct Case {
        std::string first, second, answer, message;
    };
    const std::vector<Case> cases{
        {"plan", "parse", "echo 'OK: plan parsed'; exit 0",
         "walkthrough: UNEXPECTED: 'razavovivodidi plan parse ...' succeeded where a refusal was expected\n"},
        {"run", "start", "echo 'error: target busy' >&2; exit 1",
         "walkthrough: UNEXPECTED: 'razavovivodidi run start ...' failed (exit 1) where success was expected\n"},
        {"drift", "check", "echo 'status=InSync severity=Info drift_count=0'; exit 0",
         "walkthrough: UNEXPECTED: 'razavovivodidi drift check ...' did not print: status=Drifted severity=High\n"},
    };
    for (const auto& c : cases) {
        ScratchDir tools;
        ScratchDir tmp;
        const ScriptResult result =
            run_walkthrough(tmp.path(), write_liar(tools, c.first, c.second, c.answer));
        EXPECT_EQ(result.status, 1) << c.first << " " << c.second << "\n" << result.output;
        EXPECT_THAT(result.output, HasSubstr(c.message));
        EXPECT_THAT(result.output, Not(HasSubstr("walkthrough complete")));
        EXPECT_TRUE(fs::is_empty(tmp.path())) << c.first << " " << c.second;
    }
}

TEST(Walkthrough, NeedsTheProgramAsItsArgument) {
    ScratchDir tmp;
    for (const std::string& program : {std::string(), (tmp.path() / "missing").string()}) {
        const ScriptResult result = run_walkthrough(tmp.path(), program);
        EXPECT_EQ(result.status, 2) << result.output;
        EXPECT_THAT(result.output, Not(HasSubstr("$ razavovivodidi")));
    }
}

}  // namespace
