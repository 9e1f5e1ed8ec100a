// `keygen`, `manifest sign` and `manifest verify` end to end.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "../support/run_cli.hpp"

namespace {

using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;

struct KeyPair {
    std::string seed;
    std::string pubkey;
};

KeyPair keygen() {
    const auto r = run_cli({"keygen"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::smatch m;
    const std::regex shape(
        "seed:   ([0-9a-f]{64})\npubkey: ([0-9a-f]{64})\n"
        "\\(test/demo key \u2014 never used to protect a real production release\\)\n");
    EXPECT_TRUE(std::regex_match(r.out, m, shape)) << r.out;
    // Printed once, here, by design; from now on it must show up nowhere.
    vorel_test::register_secret(m[1]);
    return {m[1], m[2]};
}

std::string replace_once(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class ManifestCommands : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string manifest = (vorel_test::source_dir() / "examples/manifest.json").string();
    const std::string kOk = "OK: manifest 9a1b2c3d-4e5f-4a6b-8c7d-0e1f2a3b4c85 (release 2026.12.01-1) verified and published\n";

    std::string sign(const std::string& input, const std::string& seed, const std::string& name) {
        const std::string out = (dir / name).string();
        const auto r = run_cli({"manifest", "sign", "--input", input, "--seed", seed, "--out", out});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "signed manifest written to " + out + "\n");
        return out;
    }
};

TEST_F(ManifestCommands, KeygenPrintsAFreshPairEachTime) {
    const KeyPair a = keygen();
    const KeyPair b = keygen();
    EXPECT_NE(a.seed, b.seed);
    EXPECT_NE(a.pubkey, b.pubkey);
}

TEST_F(ManifestCommands, SignThenVerify) {
    const KeyPair key = keygen();
    const std::string signed_path = sign(manifest, key.seed, "nested/dir/signed.json");
    const std::string text = slurp(signed_path);
    EXPECT_NE(text.back(), '\n');
    EXPECT_TRUE(text.starts_with("{\n  \"format_version\": 1,\n  \"envelope_id\": ")) << text;
    EXPECT_NE(text.find("  \"associated_data\": [\n    \"voreldeploy\",\n    \"release-manifest\"\n  ],\n  \"payload\": {"),
              std::string::npos);
    EXPECT_EQ(text.find("expires_at"), std::string::npos);
    EXPECT_EQ(text.find("previous_hash"), std::string::npos);

    const auto r = run_cli({"manifest", "verify", "--input", signed_path, "--pubkey", key.pubkey});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, kOk);
    EXPECT_EQ(r.err, "");
}

TEST_F(ManifestCommands, SameSeedTwiceGivesDistinctEnvelopesAndUpperCaseSeedsSignAlike) {
    const KeyPair key = keygen();
    std::string upper = key.seed;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string first = slurp(sign(manifest, key.seed, "a.json"));
    const std::string second = slurp(sign(manifest, upper, "b.json"));
    const auto member = [](const std::string& text, const std::string& key) {
        const auto at = text.find("\"" + key + "\": \"");
        return text.substr(at, 60);
    };
    EXPECT_NE(member(first, "envelope_id"), member(second, "envelope_id"));
    EXPECT_NE(member(first, "key_id"), member(second, "key_id"));
    for (const char* path : {"a.json", "b.json"}) {
        const auto r = run_cli({"manifest", "verify", "--input", (dir / path).string(), "--pubkey", key.pubkey});
        EXPECT_EQ(r.status, 0) << path << ": " << r.err;
    }
}

TEST_F(ManifestCommands, RefusalsExitOneWithTheEngineText) {
    const KeyPair key = keygen();
    const KeyPair other = keygen();
    const std::string good = slurp(sign(manifest, key.seed, "good.json"));
    const std::string draft_manifest =
        dir.write("draft.json", replace_once(slurp(manifest), "\"status\": \"published\"", "\"status\": \"draft\"")).string();
    const std::string draft = slurp(sign(draft_manifest, key.seed, "draft-signed.json"));
    const std::string failed = "error: release manifest signature verification failed\n";

    struct Case {
        const char* name;
        std::string envelope;
        std::string pubkey;
        std::string err;
    };
    const Case cases[] = {
        {"payload edited after signing",
         replace_once(good, "\"release_version\": \"2026.12.01-1\"", "\"release_version\": \"2026.12.01-2\""),
         key.pubkey, failed},
        {"another key", good, other.pubkey, failed},
        {"wrong context", replace_once(good, "\"release-manifest\"", "\"policy-ruleset\""), key.pubkey, failed},
        {"draft manifest", draft, key.pubkey, "error: release manifest is not published: Draft\n"},
        {"member added to the payload is dropped, so the signature no longer covers it",
         replace_once(good, "\"payload\": {", "\"payload\": {\"note\": \"x\","), key.pubkey, ""},
    };
    for (const auto& c : cases) {
        const std::string path = dir.write("case.json", c.envelope).string();
        const auto r = run_cli({"manifest", "verify", "--input", path, "--pubkey", c.pubkey});
        if (c.err.empty()) {
            // An unknown payload member is ignored on read and was never signed.
            EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
    }
}

TEST_F(ManifestCommands, BadKeysAndPaths) {
    const KeyPair key = keygen();
    const std::string out = (dir / "never.json").string();
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string missing = (dir / "missing.json").string();
    const Case cases[] = {
        {{"manifest", "sign", "--input", manifest, "--seed", key.seed.substr(1), "--out", out},
         "error: expected 64 hex characters, got 63\n"},
        {{"manifest", "sign", "--input", manifest, "--seed", key.seed + "0", "--out", out},
         "error: expected 64 hex characters, got 65\n"},
        {{"manifest", "sign", "--input", manifest, "--seed", "g" + key.seed.substr(1), "--out", out},
         "error: invalid digit found in string\n"},
        // The manifest is read first: a bad path wins over a bad seed.
        {{"manifest", "sign", "--input", missing, "--seed", "x", "--out", out},
         "error: reading " + missing + ": No such file or directory (os error 2)\n"},
        {{"manifest", "verify", "--input", missing, "--pubkey", "x"},
         "error: reading " + missing + ": No such file or directory (os error 2)\n"},
    };
    for (const auto& c : cases) {
        const auto r = run_cli(c.args);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(out));

    // 32 bytes that are not a usable public key.
    const std::string signed_path = sign(manifest, key.seed, "s.json");
    const auto small_order = run_cli({"manifest", "verify", "--input", signed_path, "--pubkey", "01" + std::string(62, '0')});
    EXPECT_EQ(small_order.status, 1);
    EXPECT_TRUE(small_order.err.starts_with("error: validation failed: invalid ed25519 public key: ")) << small_order.err;
}

}  // namespace
