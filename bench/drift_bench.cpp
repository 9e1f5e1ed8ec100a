// drift::compare over growing fact lists: time should grow as n log n.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "voreldeploy_engine/drift.hpp"

namespace {

using namespace voreldeploy_contracts::drift;

// Facts spread over the eleven keys, so most of them are later duplicates
// that the index must resolve; every tenth observed value differs.
std::vector<DriftFact> facts(std::size_t n, bool observed) {
    std::vector<DriftFact> out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t value = static_cast<std::uint32_t>(observed && i % 10 == 0 ? i + 1 : i);
        switch (i % 3) {
        case 0: out.emplace_back(ReplicaCount{value}); break;
        case 1: out.emplace_back(Version{std::to_string(value)}); break;
        default: out.emplace_back(NetworkPolicyPresent{value % 2 == 0}); break;
        }
    }
    return out;
}

void BM_DriftCompare(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto desired = facts(n, false);
    const auto observed = facts(n, true);
    const auto environment = voreldeploy_contracts::ids::EnvironmentId::generate();
    const auto target = voreldeploy_contracts::ids::TargetId::generate();
    const auto now = vorelcore_contracts::time::Timestamp::now();
    for (auto _ : state) {
        auto check = voreldeploy_engine::drift::compare(environment, target, desired, observed, now);
        benchmark::DoNotOptimize(check);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DriftCompare)->Arg(1'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oNLogN);

}  // namespace
