// Writes the seed corpora under fuzz/corpus/ from examples/ and the small
// documents in fuzz/seeds/: each document for the readers of its type (with
// the selector byte of the target in front), the signed and encrypted ones
// made here with the fixed keys the targets verify with, every document
// again for the JSON and canonical targets, and short texts for the value
// parsers. Every seed document must read as its type, so a seed that has
// gone stale fails here instead of silently seeding nothing.
//   fuzz_make_seeds <source directory>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document_types.hpp"
#include "fuzz_support.hpp"
#include "hex.hpp"
#include "vorelcore_audit/chain.hpp"
#include "voreldeploy_engine/audit.hpp"
#include "voreldeploy_engine/drift.hpp"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void die(const std::string& why) {
    std::cerr << "fuzz_make_seeds: " << why << '\n';
    std::exit(1);
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) die("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_seed(const fs::path& dir, const std::string& name, std::string_view bytes) {
    std::ofstream out(dir / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) die("cannot write " + (dir / name).string());
}

template <class T>
T read_as(const std::string& name, const std::string& text) {
    auto document = vorelcore_json::from_text<T>(text);
    if (!document) die("seed " + name + " does not read: " + document.error());
    return std::move(*document);
}

const vorelcore_contracts::ids::KeyId& key_id() {
    static const auto id = vorelcore_contracts::ids::KeyId::parse("00000000-0000-4000-8000-00000000f022").value();
    return id;
}

template <class T>
std::string signed_text(const std::string& name, const std::string& payload, std::vector<std::string> context) {
    auto envelope = vorelcore_crypto::envelope::SignedEnvelope<T>::sign(
        read_as<T>(name, payload), key_id(), vorel_fuzz::now(), vorel_fuzz::signing_key(), std::move(context));
    if (!envelope) die("cannot sign " + name);
    return vorelcore_json::to_pretty(*envelope);
}

std::string byte(std::size_t selector) { return std::string(1, static_cast<char>(selector)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) die("usage: fuzz_make_seeds <source directory>");
    const fs::path source = argv[1];
    const fs::path seeds = source / "fuzz" / "seeds";

    // name -> seed documents of that type
    std::map<std::string, std::vector<std::string>> documents;
    documents["plan"].push_back(read_file(source / "examples" / "plan.json"));
    documents["manifest"].push_back(read_file(source / "examples" / "manifest.json"));
    for (const auto& entry : fs::directory_iterator(seeds)) {
        documents[entry.path().stem().string()].push_back(read_file(entry.path()));
    }

    const std::vector<std::string> bundle_context{"product:voreldeploy", "purpose:policy-bundle"};
    const std::string signed_manifest = signed_text<voreldeploy_contracts::manifest::ReleaseManifest>(
        "manifest", documents["manifest"][0], voreldeploy_engine::manifest::manifest_envelope_context());
    const std::string signed_ruleset = signed_text<vorelcore_policy::eval::PolicyRuleset>(
        "ruleset", documents["ruleset"][0], vorelcore_policy::eval::ruleset_envelope_context());
    const std::string signed_bundle = signed_text<vorelpolicy_bundle::bundle::PolicyBundleBody>(
        "bundle_body", documents["bundle_body"][0], bundle_context);
    documents["signed_manifest"].push_back(signed_manifest);
    documents["signed_ruleset"].push_back(signed_ruleset);
    documents["signed_bundle"].push_back(signed_bundle);

    const auto aead = std::span<const std::uint8_t, 32>(vorel_fuzz::aead_key());
    const auto seed = vorel_fuzz::signing_key().seed();
    auto sealed = vorelcore_crypto::envelope::EncryptedEnvelope::seal(
        seed, aead, key_id(), vorel_fuzz::now(), std::nullopt, razavovivodidi::keystore::key_file_context());
    if (!sealed) die("cannot seal");
    documents["encrypted_envelope"].push_back(vorelcore_json::to_pretty(*sealed));
    razavovivodidi::keystore::SealedSigningKeyFile key_file{
        std::string(32, 'a'), *sealed, razavovivodidi::hex_encode(vorel_fuzz::signing_key().verifying_key().to_bytes())};
    documents["sealed_key_file"].push_back(vorelcore_json::to_pretty(key_file));

    auto facts = read_as<std::vector<voreldeploy_contracts::drift::DriftFact>>("drift_facts", documents["drift_facts"][0]);
    auto observed = facts;
    observed.pop_back();
    observed.erase(observed.begin());
    documents["drift_check"].push_back(vorelcore_json::to_pretty(
        voreldeploy_engine::drift::compare({}, {}, facts, observed, vorel_fuzz::now())));
    auto entries = read_as<std::vector<razavovivodidi::artifacts::BundleEntry>>("bundle_entries",
                                                                             documents["bundle_entries"][0]);
    documents["artifact"].push_back(vorelcore_json::to_pretty(entries.at(0).artifact));

    // A run record: two steps and its started and completed events, chained
    // and signed with the fixed key.
    voreldeploy_contracts::run::DeploymentRun run;
    run.status = voreldeploy_contracts::run::RunStatus::Succeeded;
    run.started_at = vorel_fuzz::now();
    run.completed_at = vorel_fuzz::now().saturating_add_seconds(42);
    run.current_step = 2;
    run.step_results = {
        {0, "validate_target", voreldeploy_contracts::run::Verified{}, vorel_fuzz::now(), vorel_fuzz::now()},
        {1, "apply_artifact", voreldeploy_contracts::run::Failed{"digest mismatch"}, vorel_fuzz::now(),
         vorel_fuzz::now().saturating_add_seconds(1)}};
    run.redacted_error = "digest mismatch";
    vorelcore_audit::chain::AuditChain chain;
    const auto actor = voreldeploy_engine::audit::worker_actor();
    for (auto event : {voreldeploy_engine::audit::run_started_event(run.id, actor, vorel_fuzz::now()),
                       voreldeploy_engine::audit::run_failed_event(run.id, actor, vorel_fuzz::now())}) {
        auto record = chain.append(std::move(event), vorel_fuzz::signing_key());
        if (!record) die("cannot append an audit event");
        run.transitions.push_back(std::move(*record));
    }
    documents["audit_event"].push_back(vorelcore_json::to_pretty(run.transitions.back()));
    documents["run"].push_back(vorelcore_json::to_pretty(run));

    // typed_documents: every type, each seed read first.
    const fs::path corpus = source / "fuzz" / "corpus";
    const auto fresh = [&](const std::string& target) {
        const fs::path dir = corpus / target;
        fs::remove_all(dir);
        fs::create_directories(dir);
        return dir;
    };
    const fs::path typed = fresh("typed_documents");
    std::size_t selector = 0;
    std::apply(
        [&](auto... types) {
            const auto one = [&](auto type) {
                using T = typename decltype(type)::type;
                const std::string name(type.name);
                const auto& texts = documents[name];
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    (void)read_as<T>(name, texts[i]);
                    write_seed(typed, std::to_string(selector) + "-" + name + "-" + std::to_string(i),
                               byte(selector) + texts[i]);
                }
                if (texts.empty()) std::cerr << "no seed for " << name << " (the fuzzer starts from nothing)\n";
                ++selector;
            };
            (one(types), ...);
        },
        vorel_fuzz::kDocumentTypes);

    const fs::path envelopes = fresh("envelopes");
    write_seed(envelopes, "0-signed_manifest", byte(0) + signed_manifest);
    write_seed(envelopes, "1-signed_ruleset", byte(1) + signed_ruleset);
    write_seed(envelopes, "2-signed_bundle", byte(2) + signed_bundle);
    write_seed(envelopes, "3-encrypted_envelope", byte(3) + documents["encrypted_envelope"][0]);

    const fs::path service = fresh("policy_service_response");
    const std::string trust_keys =
        R"({"data": [{"key_id": ")" + key_id().to_string() + R"(", "verifying_key_hex": ")" +
        razavovivodidi::hex_encode(vorel_fuzz::signing_key().verifying_key().to_bytes()) +
        R"(", "status": "active"}, {"key_id": "00000000-0000-4000-8000-000000000001", "verifying_key_hex": " 3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c\n", "status": "revoked"}]})";
    write_seed(service, "0-trust_keys", byte(0) + trust_keys);
    write_seed(service, "1-ruleset",
               byte(1) + R"({"data": {"pack_name": "deploy-baseline", "version": 4, "bundle": )" + signed_bundle + "}}");

    // The JSON and canonical targets: every document, and the corners of
    // the grammar and of normalisation.
    std::vector<std::pair<std::string, std::string>> json;
    for (const auto& [name, texts] : documents) {
        for (std::size_t i = 0; i < texts.size(); ++i) json.emplace_back(name + "-" + std::to_string(i), texts[i]);
    }
    json.emplace_back("shell-step-plan", read_file(source / "examples" / "shell-step-plan.json"));
    json.emplace_back("numbers", "[0, -0, 1.5, -2.5e-3, 1E+2, 18446744073709551615, 18446744073709551616, "
                                 "-9223372036854775808, -9223372036854775809, 1e400, 5e-324]");
    json.emplace_back("strings", R"(["", "\"\\\/\b\f\n\r\t", "\u0000\u001f", "\u00e9", "e\u0301", "\ud83d\ude00", "Å", "ﬁ", "\uFFFF"])");
    json.emplace_back("keys", R"({"b": 1, "a": [true, false, null], "é": {}, "e\u0301": []})");
    json.emplace_back("duplicate", R"({"a": 1, "a": 2})");
    json.emplace_back("nested", std::string(127, '[') + std::string(127, ']'));
    json.emplace_back("too-deep", std::string(129, '[') + std::string(129, ']'));
    json.emplace_back("trailing", "{} x");
    for (const char* target : {"json_reader", "canonical"}) {
        const fs::path dir = fresh(target);
        for (const auto& [name, text] : json) write_seed(dir, name, text);
    }

    const fs::path scalars = fresh("scalars");
    const std::vector<std::pair<std::size_t, std::string>> values{
        {0, "9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85"},
        {0, "9A1B2C3D4E5F4A6B8C7D0E1F2A3B4C85"},
        {0, "{9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85}"},
        {0, "urn:uuid:9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85"},
        {1, "2026-12-01T10:00:00Z"},
        {1, "2026-12-01t10:00:00.123456789+05:30"},
        {1, "0000-01-01T00:00:00+01:00"},
        {1, "9999-12-31T23:59:59.999999999-23:59"},
        {1, "2024-02-29T23:59:60Z"},
        {2, "orders-api"},
        {2, std::string(64, 'a')},
        {3, "blake3:1389793347b2d201061f28ed63c85637e096c1a9a0456283cf6611dc26b25c1e"},
        {3, "sha256:E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {4, std::string(128, 'f')},
        {5, "voreldeploy:deployment.promote"},
        {5, "a:b.c.d.e.f.g"},
        {6, "3c4d5e6f-7a8b-4c9d-8e0f-1a2b3c4d5e06\n"},
        {6, " \u00a0\n"},
        {7, razavovivodidi::hex_encode(vorel_fuzz::signing_key().verifying_key().to_bytes())},
        {7, std::string(64, '0')},
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        write_seed(scalars, std::to_string(values[i].first) + "-" + std::to_string(i),
                   byte(values[i].first) + values[i].second);
    }
    std::cout << "seed corpora written under " << corpus.string() << '\n';
    return 0;
}
