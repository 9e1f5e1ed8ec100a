// `ruleset keygen` and `ruleset sign` end to end with the built program: the
// key file on disk, signing, `trust add` and `plan simulate` accepting the
// result, every refusal, and no secret ever in the program's output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../support/run_cli.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "keystore.hpp"
#include "trust_store.hpp"  // the document labels of rulesets
#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_policy/eval.hpp"
#include "voreldeploy_engine/manifest.hpp"

namespace {

namespace fs = std::filesystem;
namespace keystore = razavovivodidi::keystore;
using vorel_test::CliResult;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using vorelcore_contracts::ids::EnvelopeId;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_policy::eval::SignedPolicyRuleset;
using Env = std::map<std::string, std::optional<std::string>>;

const std::string kPassphrase = "Tr0ub4dor&3 plus a lantern";
const std::string kCouldNotUnlock =
    "error: could not unlock the ruleset-signing key \u2014 wrong passphrase, or a corrupted/tampered key file\n";
const std::string kPlanId = "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01";

std::string ruleset_json(const std::string& effect, const std::string& extra = "") {
    return R"({"ruleset_id": "aa11bb22-cc33-4d44-8e55-ff6677889900", "product_id": "voreldeploy", "version": 3,)" +
           extra + R"(
  "rules": [{"rule_id": "deploys", "rule_name": "Deploys need a ticket", "action": "voreldeploy:deployment.promote",
             "facts": {"change_ticket": {"op": "present"}}, "effect": ")" +
           effect + R"("}]})";
}

std::string replace_once(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    if (at == std::string::npos) throw std::runtime_error("fixture text not found: " + from);
    return text.replace(at, from.size(), to);
}

class RulesetCommands : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string ruleset = dir.write("ruleset.json", ruleset_json("allow")).string();

    void SetUp() override { vorel_test::register_secret(kPassphrase); }

    // Each run's output is checked for the registered secrets by run_cli.
    CliResult run(const std::vector<std::string>& args, const Env& env = {}) { return vorel_test::run_cli(args, env); }

    CliResult keygen(const std::string& out, const std::string& passphrase = kPassphrase) {
        CliResult result = run({"ruleset", "keygen", "--out", out, "--passphrase", passphrase});
        remember_seed(out, passphrase);
        return result;
    }

    CliResult sign(const std::string& key_file, const std::string& out, const std::string& passphrase = kPassphrase,
                   const std::string& input = "") {
        return run({"ruleset", "sign", "--input", input.empty() ? ruleset : input, "--signing-key", key_file,
                    "--passphrase", passphrase, "--out", out});
    }

    keystore::SealedSigningKeyFile read_key_file(const std::string& path) {
        auto file = razavovivodidi::read_json<keystore::SealedSigningKeyFile>(path);
        EXPECT_TRUE(file) << file.error();
        return file ? *file : keystore::SealedSigningKeyFile{};
    }

    SigningKey unseal(const std::string& path, const std::string& passphrase = kPassphrase) {
        auto key = keystore::unseal_signing_key(read_key_file(path), passphrase, Timestamp::now());
        EXPECT_TRUE(key) << key.error();
        return key ? std::move(*key) : SigningKey::from_bytes({});
    }

    // The seed sealed in a key file the program made: it must show up
    // nowhere, neither in output nor in any file (the key file included).
    void remember_seed(const std::string& path, const std::string& passphrase) {
        if (!fs::exists(path)) return;
        auto key = keystore::unseal_signing_key(read_key_file(path), passphrase, Timestamp::now());
        if (key) vorel_test::register_secret(razavovivodidi::hex_encode(key->seed()));
        vorel_test::register_secret(passphrase);
    }
};

// ------------------------------------------------------------------ keygen

TEST_F(RulesetCommands, KeygenWritesAnOwnerOnlyKeyFileAndPrintsOnlyThePublicKey) {
    const std::string existing = dir.write("existing.json", "an old key file").string();
    ASSERT_EQ(::chmod(existing.c_str(), 0644), 0);
    for (const std::string& out : {(dir / "keys/deeper/ruleset-key.json").string(), existing}) {
        const CliResult r = keygen(out);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");

        struct stat st {};
        ASSERT_EQ(::stat(out.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << out;

        const keystore::SealedSigningKeyFile file = read_key_file(out);
        const std::string pubkey = razavovivodidi::hex_encode(unseal(out).verifying_key().to_bytes());
        EXPECT_EQ(file.pubkey_hex, pubkey);
        EXPECT_EQ(r.out, "ruleset-signing key generated; private key sealed (never printed) at " + out +
                             "\npubkey: " + pubkey +
                             "\ntrust it wherever this key's rulesets must be accepted:\n"
                             "  razavovivodidi trust add --store <trust-store.json> --name <name> --pubkey " +
                             pubkey + "\n");
    }
}

TEST_F(RulesetCommands, TwoKeygensWithOnePassphraseShareNothing) {
    const std::string a = (dir / "a.json").string(), b = (dir / "b.json").string();
    ASSERT_EQ(keygen(a).status, 0);
    ASSERT_EQ(keygen(b).status, 0);
    const auto file_a = read_key_file(a), file_b = read_key_file(b);
    EXPECT_NE(file_a.kdf_salt_hex, file_b.kdf_salt_hex);
    EXPECT_NE(file_a.sealed_key.ciphertext, file_b.sealed_key.ciphertext);
    EXPECT_NE(file_a.pubkey_hex, file_b.pubkey_hex);
}

// --------------------------------------------------- sign, trust, simulate

TEST_F(RulesetCommands, SignedRulesetIsAcceptedByPlanSimulateOnceItsKeyIsTrusted) {
    const std::string key_file = (dir / "ruleset-key.json").string();
    const CliResult made = keygen(key_file);
    ASSERT_EQ(made.status, 0) << made.err;
    // The operator copies the printed line.
    const std::string line = made.out.substr(made.out.find("  razavovivodidi trust add"));
    const std::string pubkey = line.substr(line.rfind(' ') + 1, 64);
    const std::string store = (dir / "trust.json").string();
    const CliResult trusted = run({"trust", "add", "--store", store, "--name", "policy-team", "--pubkey", pubkey});
    ASSERT_EQ(trusted.status, 0) << trusted.err;

    const std::string signed_path = (dir / "out/signed-ruleset.json").string();
    const CliResult signed_run = sign(key_file, signed_path);
    ASSERT_EQ(signed_run.status, 0) << signed_run.err;
    EXPECT_EQ(signed_run.err, "");
    EXPECT_EQ(signed_run.out, "signed policy ruleset written to " + signed_path + " (signer pubkey " + pubkey + ")\n");

    auto envelope = razavovivodidi::read_json<SignedPolicyRuleset>(signed_path);
    ASSERT_TRUE(envelope) << envelope.error();
    EXPECT_EQ(envelope->associated_data, vorelcore_policy::eval::ruleset_envelope_context());
    EXPECT_FALSE(envelope->expires_at);
    EXPECT_FALSE(envelope->previous_hash);
    EXPECT_NE(envelope->key_id, read_key_file(key_file).sealed_key.key_id);
    auto input = razavovivodidi::read_json<vorelcore_policy::eval::PolicyRuleset>(ruleset);
    ASSERT_TRUE(input);
    EXPECT_EQ(envelope->payload, *input);

    // The promotion gate takes it.
    const SigningKey release_key = SigningKey::from_bytes({1, 2, 3});
    auto manifest_doc = razavovivodidi::read_json<voreldeploy_contracts::manifest::ReleaseManifest>(
        vorel_test::source_dir() / "examples/manifest.json");
    ASSERT_TRUE(manifest_doc) << manifest_doc.error();
    auto manifest_envelope = voreldeploy_engine::manifest::SignedManifest::sign(
        std::move(*manifest_doc), KeyId::generate(), Timestamp::now(), release_key,
        voreldeploy_engine::manifest::manifest_envelope_context());
    ASSERT_TRUE(manifest_envelope);
    const std::string manifest = (dir / "signed-manifest.json").string();
    ASSERT_TRUE(razavovivodidi::write_json(manifest, *manifest_envelope));
    const std::string plan =
        dir.write("plan.json", replace_once(slurp(vorel_test::source_dir() / "examples/plan.json"),
                                            "\"environment_type\": \"staging\"", "\"environment_type\": \"sandbox\""))
            .string();
    const std::string request = dir.write("request.json", R"({
  "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82", "workspace_id": "7d4a1c9e-2f3b-4a6d-8e5c-9b0a1f2e3d43",
  "resource_type": "service", "resource_id": "orders-api", "actor_type": "user", "actor_id": "alice",
  "facts": {"change_ticket": "CHG-1"}})")
                                    .string();
    const CliResult simulated =
        run({"plan", "simulate", "--input", plan, "--manifest", manifest, "--pubkey",
             razavovivodidi::hex_encode(release_key.verifying_key().to_bytes()), "--policy-input", request,
             "--policy-ruleset", signed_path, "--trust-store", store});
    EXPECT_EQ(simulated.status, 0) << simulated.err;
    EXPECT_TRUE(simulated.out.ends_with("CLEARED: plan " + kPlanId + " for Sandbox may run\n")) << simulated.out;
}

// ----------------------------------------------------------------- refusals

TEST_F(RulesetCommands, EveryDamagedKeyFileOrWrongPassphraseIsRefusedAndNothingIsWritten) {
    const std::string key_file = (dir / "key.json").string();
    ASSERT_EQ(keygen(key_file).status, 0);
    const keystore::SealedSigningKeyFile good = read_key_file(key_file);
    using File = keystore::SealedSigningKeyFile;
    struct Case {
        const char* name;
        std::function<void(File&)> change;
        std::string passphrase;
        std::string err;
    };
    const auto keep = [](File&) {};
    const Case cases[] = {
        {"wrong passphrase", keep, kPassphrase + "!", kCouldNotUnlock},
        {"one ciphertext byte changed", [](File& f) { f.sealed_key.ciphertext[12] ^= 0x01; }, kPassphrase,
         kCouldNotUnlock},
        {"nonce changed", [](File& f) { f.sealed_key.nonce[23] ^= 0x80; }, kPassphrase, kCouldNotUnlock},
        {"key_id changed", [](File& f) { f.sealed_key.key_id = KeyId::generate(); }, kPassphrase, kCouldNotUnlock},
        {"envelope_id changed", [](File& f) { f.sealed_key.envelope_id = EnvelopeId::generate(); }, kPassphrase,
         kCouldNotUnlock},
        {"context changed",
         [](File& f) { f.sealed_key.associated_data = vorelcore_policy::eval::ruleset_envelope_context(); },
         kPassphrase, kCouldNotUnlock},
        {"salt of 31 characters", [](File& f) { f.kdf_salt_hex.pop_back(); }, kPassphrase,
         "error: invalid hex length: 31\n"},
        {"salt not hex", [](File& f) { f.kdf_salt_hex.replace(0, 2, "zz"); }, kPassphrase, "error: invalid hex\n"},
        {"salt of 4 bytes", [](File& f) { f.kdf_salt_hex.resize(8); }, kPassphrase,
         "error: passphrase key derivation failed: Salt is too short\n"},
    };
    for (const Case& c : cases) {
        File file = good;
        c.change(file);
        const std::string damaged = (dir / "damaged.json").string();
        ASSERT_TRUE(razavovivodidi::write_json(damaged, file));
        const std::string out = (dir / "never.json").string();
        const CliResult r = sign(damaged, out, c.passphrase);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_FALSE(fs::exists(out)) << c.name;
    }
    // The untouched file still signs: each refusal above came from its change.
    EXPECT_EQ(sign(key_file, (dir / "signed.json").string()).status, 0);
}

TEST_F(RulesetCommands, TheRulesetIsReadAndValidatedBeforeTheKeyFile) {
    const std::string no_key = (dir / "no-such-key.json").string();
    const std::string warn = dir.write("warn.json", ruleset_json("warn")).string();
    const std::string zero_ttl =
        dir.write("zero-ttl.json", ruleset_json("allow", R"( "decision_ttl_seconds": 0,)")).string();
    const std::string not_json = dir.write("not-json.json", "{").string();
    const std::string missing = (dir / "missing.json").string();
    const std::string label = " as vorelcore_policy::eval::PolicyRuleset: ";
    struct Case {
        const char* name;
        std::string input;
        std::string err_start;
    };
    const Case cases[] = {
        {"warn rule", warn, "error: rule \"deploys\" declares effect Warn, which permits the action"},
        {"zero decision TTL", zero_ttl, "error: ruleset sets decision_ttl_seconds to 0"},
        {"not JSON", not_json, "error: parsing " + not_json + label},
        {"missing input", missing, "error: reading " + missing + ": No such file or directory (os error 2)\n"},
        {"valid ruleset, missing key file", ruleset,
         "error: reading " + no_key + ": No such file or directory (os error 2)\n"},
    };
    for (const Case& c : cases) {
        const std::string out = (dir / "never.json").string();
        const CliResult r = sign(no_key, out, kPassphrase, c.input);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_TRUE(r.err.starts_with(c.err_start)) << c.name << "\n  got: " << r.err;
        EXPECT_FALSE(fs::exists(out)) << c.name;
    }

    const std::string not_a_key = dir.write("not-a-key.json", R"({"kdf_salt_hex": "00"})").string();
    const CliResult r = sign(not_a_key, (dir / "never.json").string());
    EXPECT_EQ(r.err, "error: parsing " + not_a_key +
                         " as razavovivodidi::keystore::SealedSigningKeyFile: missing field `sealed_key` at line 1 "
                         "column 22\n");
}

// --------------------------------------------------------------- passphrase

TEST_F(RulesetCommands, PassphraseFromTheEnvironmentAndTheFlagWins) {
    const std::string env_pass = "from the environment, 42 lanterns";
    vorel_test::register_secret(env_pass);
    const std::string key_file = (dir / "key.json").string();
    const CliResult made =
        run({"ruleset", "keygen", "--out", key_file}, {{"VORELDEPLOY_RULESET_PASSPHRASE", env_pass}});
    ASSERT_EQ(made.status, 0) << made.err;
    remember_seed(key_file, env_pass);

    const std::string out = (dir / "signed.json").string();
    const std::vector<std::string> without_flag{"ruleset", "sign", "--input", ruleset, "--signing-key", key_file,
                                                "--out", out};
    struct Case {
        const char* name;
        std::optional<std::string> variable;
        std::optional<std::string> flag;
        int status;
    };
    const Case cases[] = {
        {"variable only", env_pass, std::nullopt, 0},
        {"flag only", std::nullopt, env_pass, 0},
        {"right flag beats wrong variable", "wrong", env_pass, 0},
        {"wrong flag beats right variable", env_pass, "wrong", 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = without_flag;
        if (c.flag) args.insert(args.end(), {"--passphrase", *c.flag});
        const CliResult r = run(args, {{"VORELDEPLOY_RULESET_PASSPHRASE", c.variable}});
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.err, kCouldNotUnlock) << c.name;
        }
    }
}

TEST_F(RulesetCommands, AnEmptyPassphraseSealsAndUnsealsLikeAnyOther) {
    const std::string key_file = (dir / "key.json").string();
    // As its own argument: the parser takes "--passphrase=" (and an empty
    // variable) as no value at all.
    const CliResult made = run({"ruleset", "keygen", "--out", key_file, "--passphrase", ""});
    ASSERT_EQ(made.status, 0) << made.err;
    remember_seed(key_file, "");
    EXPECT_EQ(sign(key_file, (dir / "signed.json").string(), "").status, 0);
    const CliResult wrong = sign(key_file, (dir / "never.json").string(), " ");
    EXPECT_EQ(wrong.err, kCouldNotUnlock);
}

// "pubkey_hex" is information only: an edited one is printed as stored,
// while the envelope carries the real key's signature.
TEST_F(RulesetCommands, AnEditedPublicKeyIsShownButDoesNotChangeTheSigner) {
    const std::string key_file = (dir / "key.json").string();
    ASSERT_EQ(keygen(key_file).status, 0);
    keystore::SealedSigningKeyFile file = read_key_file(key_file);
    const SigningKey other = SigningKey::from_bytes({9, 9, 9});
    file.pubkey_hex = razavovivodidi::hex_encode(other.verifying_key().to_bytes());
    ASSERT_TRUE(razavovivodidi::write_json(key_file, file));

    const std::string out = (dir / "signed.json").string();
    const CliResult r = sign(key_file, out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "signed policy ruleset written to " + out + " (signer pubkey " + file.pubkey_hex + ")\n");
    auto envelope = razavovivodidi::read_json<SignedPolicyRuleset>(out);
    ASSERT_TRUE(envelope) << envelope.error();
    const auto context = vorelcore_policy::eval::ruleset_envelope_context();
    EXPECT_TRUE(envelope->verify(unseal(key_file).verifying_key(), Timestamp::now(), context));
    EXPECT_FALSE(envelope->verify(other.verifying_key(), Timestamp::now(), context));
}

}  // namespace
