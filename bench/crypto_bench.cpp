// The byte-level work every signed or hashed document pays for: canonical
// JSON of a typical plan and of a 1 MiB document, signing and verifying a
// release manifest envelope, and BLAKE3 over 1 MiB and 1 GiB.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/parse.hpp"
#include "voreldeploy_contracts/manifest.hpp"
#include "voreldeploy_contracts/plan.hpp"
#include "voreldeploy_engine/manifest.hpp"

namespace {

using vorelcore_contracts::time::Timestamp;
using voreldeploy_engine::manifest::SignedManifest;

// A document from examples/, read with the same typed reader the program uses.
template <class T>
T example(const char* name) {
    std::ifstream in(std::string(VOREL_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = vorelcore_json::from_text<T>(text.str());
    if (!parsed) throw std::runtime_error(std::string(name) + ": " + parsed.error());
    return *parsed;
}

const vorelcore_crypto::keys::SigningKey& signing_key() {
    static const auto key = [] {
        std::array<std::uint8_t, 32> seed{};
        for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i * 13 + 5);
        return vorelcore_crypto::keys::SigningKey::from_bytes(seed);
    }();
    return key;
}

void BM_CanonicalPlan(benchmark::State& state) {
    const auto plan = example<voreldeploy_contracts::plan::DeploymentPlan>("plan.json");
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto canonical = vorelcore_crypto::canonical::canonical_bytes(plan);
        if (!canonical) state.SkipWithError("the plan did not canonicalise");
        bytes = canonical->size();
        benchmark::DoNotOptimize(canonical);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_CanonicalPlan)->Unit(benchmark::kMicrosecond);

// About 1 MiB of canonical JSON shaped like a large document: an array of
// records with strings (some with escapes and accented letters), integers,
// booleans and nested objects, members out of key order.
vorelcore_json::Value mebibyte_document() {
    using vorelcore_json::Array;
    using vorelcore_json::Object;
    using vorelcore_json::Value;
    Array records;
    for (std::uint64_t i = 0; i < 4'800; ++i) {
        Object labels;
        vorelcore_json::push_member(labels, "zone", Value("eu-west-" + std::to_string(i % 3)));
        vorelcore_json::push_member(labels, "team", Value(std::string("caf\u00e9 \"orders\"")));
        Object record;
        vorelcore_json::push_member(record, "name", Value("service-" + std::to_string(i)));
        vorelcore_json::push_member(record, "id", Value(i));
        vorelcore_json::push_member(record, "replicas", Value(static_cast<std::int64_t>(i % 7) - 3));
        vorelcore_json::push_member(record, "enabled", Value(i % 2 == 0));
        vorelcore_json::push_member(record, "labels", Value(std::move(labels)));
        vorelcore_json::push_member(record, "note", Value(std::string(80, 'a' + static_cast<char>(i % 26))));
        records.emplace_back(std::move(record));
    }
    Object root;
    vorelcore_json::push_member(root, "records", Value(std::move(records)));
    return Value(std::move(root));
}

void BM_CanonicalMebibyte(benchmark::State& state) {
    const auto document = mebibyte_document();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto canonical = vorelcore_crypto::canonical::canonical_value_bytes(document);
        if (!canonical) state.SkipWithError("the document did not canonicalise");
        bytes = canonical->size();
        benchmark::DoNotOptimize(canonical);
    }
    state.counters["doc_bytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_CanonicalMebibyte)->Unit(benchmark::kMillisecond);

void BM_EnvelopeSign(benchmark::State& state) {
    const auto manifest = example<voreldeploy_contracts::manifest::ReleaseManifest>("manifest.json");
    const auto key_id = vorelcore_contracts::ids::KeyId::generate();
    const auto now = Timestamp::now();
    const auto context = voreldeploy_engine::manifest::manifest_envelope_context();
    for (auto _ : state) {
        auto envelope = SignedManifest::sign(manifest, key_id, now, signing_key(), context);
        if (!envelope) state.SkipWithError("the manifest did not sign");
        benchmark::DoNotOptimize(envelope);
    }
}
BENCHMARK(BM_EnvelopeSign)->Unit(benchmark::kMicrosecond);

void BM_EnvelopeVerify(benchmark::State& state) {
    const auto context = voreldeploy_engine::manifest::manifest_envelope_context();
    const auto envelope =
        SignedManifest::sign(example<voreldeploy_contracts::manifest::ReleaseManifest>("manifest.json"),
                             vorelcore_contracts::ids::KeyId::generate(), Timestamp::now(), signing_key(), context)
            .value();
    const auto key = signing_key().verifying_key();
    const auto now = Timestamp::now();
    for (auto _ : state) {
        auto verified = envelope.verify(key, now, context);
        if (!verified) state.SkipWithError("the envelope did not verify");
        benchmark::DoNotOptimize(verified);
    }
}
BENCHMARK(BM_EnvelopeVerify)->Unit(benchmark::kMicrosecond);

std::vector<std::uint8_t> pattern(std::size_t size) {
    std::vector<std::uint8_t> out(size);
    std::uint32_t x = 2463534242u;  // xorshift: cheap bytes no compressor or branch predictor can exploit
    for (auto& byte : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x);
    }
    return out;
}

constexpr std::size_t kMebibyte = std::size_t{1} << 20;

// One call over a 1 MiB buffer.
void BM_Blake3OneMebibyte(benchmark::State& state) {
    const auto bytes = pattern(kMebibyte);
    for (auto _ : state) benchmark::DoNotOptimize(vorelcore_crypto::hash::blake3_hash(bytes));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Blake3OneMebibyte)->Unit(benchmark::kMicrosecond);

// 1 GiB fed through the incremental hasher in 1 MiB pieces, the way run
// start hashes a payload (the same 1 MiB buffer each time: this measures the
// hash, not the memory system or the disk).
void BM_Blake3OneGibibyte(benchmark::State& state) {
    const auto bytes = pattern(kMebibyte);
    for (auto _ : state) {
        vorelcore_crypto::hash::Blake3Hasher hasher;
        for (int i = 0; i < 1024; ++i) hasher.update(bytes);
        benchmark::DoNotOptimize(hasher.finalize());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 1024 * bytes.size()));
}
BENCHMARK(BM_Blake3OneGibibyte)->Unit(benchmark::kMillisecond);

}  // namespace
