// How long checking a run's transition chain takes as the chain grows.
// Verifying is one canonicalisation, one Ed25519 verification and one
// BLAKE3 hash per record, so the time per record should stay flat and the
// total grow linearly with the length.
//
// A real run carries two transitions; the chain here has up to 100 000
// records, built once (signing is not what is measured).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "vorelcore_audit/chain.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "voreldeploy_engine/audit.hpp"

namespace {

using vorelcore_audit::event::SignedAuditEvent;

constexpr std::size_t kLongest = 100'000;

const vorelcore_crypto::keys::SigningKey& signing_key() {
    static const auto key = [] {
        std::array<std::uint8_t, 32> seed{};
        for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i * 7 + 1);
        return vorelcore_crypto::keys::SigningKey::from_bytes(seed);
    }();
    return key;
}

// One run's chain, 100 000 records long: a started event, then alternately
// completed and failed events, one second apart.
const std::vector<SignedAuditEvent>& longest_chain() {
    static const auto records = [] {
        namespace audit = voreldeploy_engine::audit;
        const auto run_id = voreldeploy_contracts::ids::RunId::generate();
        const auto actor = audit::worker_actor();
        const auto start = vorelcore_contracts::time::Timestamp::parse("2026-12-11T11:40:00Z").value();
        vorelcore_audit::chain::AuditChain chain;
        std::vector<SignedAuditEvent> out;
        out.reserve(kLongest);
        for (std::size_t i = 0; i < kLongest; ++i) {
            const auto now = start.saturating_add_seconds(static_cast<std::int64_t>(i));
            auto event = i == 0       ? audit::run_started_event(run_id, actor, now)
                         : i % 2 == 1 ? audit::run_succeeded_event(run_id, actor, now)
                                      : audit::run_failed_event(run_id, actor, now);
            out.push_back(chain.append(std::move(event), signing_key()).value());
        }
        return out;
    }();
    return records;
}

void BM_VerifyChain(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    const std::span<const SignedAuditEvent> records = std::span(longest_chain()).first(length);
    const auto key = signing_key().verifying_key();
    for (auto _ : state) {
        auto verified = vorelcore_audit::chain::verify_chain(records, key);
        if (!verified) state.SkipWithError("the chain did not verify");
        benchmark::DoNotOptimize(verified);
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void chain_lengths(benchmark::internal::Benchmark* b) {
    for (const std::int64_t n : {10, 1'000, 100'000}) b->Arg(n);
    b->Complexity(benchmark::oN)->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_VerifyChain)->Apply(chain_lengths);

}  // namespace
