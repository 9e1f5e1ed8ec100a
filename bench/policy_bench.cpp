// evaluate over growing rulesets. The first matching rule decides, so the
// one rule that matches is put last: every rule before it is examined and
// refused, which is the most work a ruleset of that size can cause. Time
// should grow linearly with the number of rules.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_policy/eval.hpp"

namespace {

using namespace vorelcore_policy;
using vorelcore_contracts::time::Timestamp;

constexpr std::string_view kAction = "voreldeploy:deployment.promote";

template <class T>
T parsed(std::string_view text) {
    return T::parse(text).value();
}

// A request like the ones the promotion gate asks about.
input::PolicyInput request() {
    input::PolicyInput in;
    in.tenant_id = parsed<vorelcore_contracts::ids::TenantId>("0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82");
    in.workspace_id = parsed<vorelcore_contracts::ids::WorkspaceId>("7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43");
    in.product_id = parsed<vorelcore_contracts::ids::ProductId>("voreldeploy");
    in.resource_type = "service";
    in.resource_id = "orders-api";
    in.actor_type = input::PolicyActorType::User;
    in.actor_id = "alice";
    in.action = std::string(kAction);
    in.facts = {{"change_ticket", "CHG-1"}, {"approvals", "2"}, {"region", "eu-west"}};
    in.context = {{"window", "business-hours"}};
    in.requested_at = parsed<Timestamp>("2026-12-11T11:40:00Z");
    in.schema_version = 1;
    return in;
}

// Rule i refuses the request through one of several conditions (so every
// kind of test is exercised); the last rule matches it.
eval::PolicyRule rule(std::size_t i, bool last) {
    eval::PolicyRule out;
    out.rule_id = "rule-" + std::to_string(i);
    out.rule_name = "rule number " + std::to_string(i);
    out.action = parsed<action::PolicyActionId>(kAction);
    out.effect = last ? decision::Decision::Allow : decision::Decision::Deny;
    if (last) {
        out.facts.emplace("change_ticket", eval::Present{});
        out.facts.emplace("approvals", eval::AtLeast{2});
        return out;
    }
    out.facts.emplace("change_ticket", eval::Present{});  // matches; the next condition decides
    switch (i % 5) {
    case 0: out.facts.emplace("approvals", eval::AtLeast{static_cast<std::int64_t>(3 + i)}); break;
    case 1: out.facts.emplace("region", eval::Equals{"us-east-" + std::to_string(i)}); break;
    case 2: out.facts.emplace("region", eval::OneOf{{"ap-south", "sa-east", "us-west-" + std::to_string(i)}}); break;
    case 3: out.context.emplace("window", eval::NotEquals{"business-hours"}); break;
    default: out.resource_type = "database-" + std::to_string(i); break;
    }
    return out;
}

void BM_Evaluate(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<eval::PolicyRule> rules;
    rules.reserve(count);
    for (std::size_t i = 0; i < count; ++i) rules.push_back(rule(i, i + 1 == count));
    const auto ruleset = eval::VerifiedRuleset::create(
                             parsed<vorelcore_contracts::ids::PolicyId>("6a3f1c2e-9b4d-4e8f-a1c3-5d7e9f0b2a41"),
                             parsed<vorelcore_contracts::ids::ProductId>("voreldeploy"), 1, std::move(rules))
                             .value();
    const auto in = request();
    const auto act = parsed<action::PolicyActionId>(kAction);
    const auto now = parsed<Timestamp>("2026-12-11T11:40:01Z");
    for (auto _ : state) {
        auto decided = eval::evaluate(ruleset, in, act, now);
        if (!decided || decided->decision != decision::Decision::Allow) state.SkipWithError("the last rule did not decide");
        benchmark::DoNotOptimize(decided);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Evaluate)->Arg(10)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond)->Complexity(benchmark::oN);

}  // namespace
