// `trust add` and `trust list` end to end, through the built program.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "../support/run_cli.hpp"
#include "hex.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"

namespace {

namespace fs = std::filesystem;
using vorel_test::run_cli;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using vorelcore_contracts::time::Timestamp;

std::string pubkey_hex(std::uint8_t fill) {
    std::array<std::uint8_t, 32> seed{};
    seed.fill(fill);
    return razavovivodidi::hex_encode(vorelcore_crypto::keys::SigningKey::from_bytes(seed).verifying_key().to_bytes());
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string added_line(const std::string& quoted_name, const fs::path& store, int count) {
    return "trusted signer " + quoted_name + " added to " + store.string() + " (" + std::to_string(count) +
           " signer(s) now trusted)\n";
}

std::string no_signers_line(const fs::path& store) {
    return "trust store " + store.string() + " has no trusted signers \u2014 every ruleset will be refused\n";
}

class TrustCommands : public ::testing::Test {
protected:
    ScratchDir dir;
    const std::string key_a = pubkey_hex(1);
    const std::string key_b = pubkey_hex(2);
    const std::string key_c = pubkey_hex(3);

    vorel_test::CliResult add(const fs::path& store, const std::string& name, const std::string& pubkey) {
        return run_cli({"trust", "add", "--store", store.string(), "--name", name, "--pubkey", pubkey});
    }
    vorel_test::CliResult list(const fs::path& store) { return run_cli({"trust", "list", "--store", store.string()}); }
};

// The exact file `trust add` writes: pretty JSON, no newline at the end;
// each signer's added_at is captured.
std::regex store_file(const std::vector<std::pair<std::string, std::string>>& signers) {
    std::string pattern = "\\{\n  \"signers\": \\[";
    for (std::size_t i = 0; i < signers.size(); ++i) {
        pattern += std::string(i == 0 ? "" : ",") + "\n    \\{\n      \"name\": \"" + signers[i].first +
                   "\",\n      \"pubkey_hex\": \"" + signers[i].second +
                   "\",\n      \"added_at\": \"([0-9T:Z-]+)\"\n    \\}";
    }
    return std::regex(pattern + "\n  \\]\n\\}");
}

TEST_F(TrustCommands, AddCreatesTheStoreThenAppendsToIt) {
    const fs::path store = dir / "etc/vorel/trust.json";
    const auto before = Timestamp::now();
    const auto first = add(store, "release-signer", key_a);
    const auto after = Timestamp::now();
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(first.out, added_line("\"release-signer\"", store, 1));

    const std::string text = slurp(store);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, store_file({{"release-signer", key_a}}))) << text;
    const auto added_at = Timestamp::parse(m[1].str());
    ASSERT_TRUE(added_at) << m[1];
    EXPECT_LE(before, *added_at);
    EXPECT_LE(*added_at, after);

    // Upper case and surrounding white space are normalised away; the first
    // signer is kept exactly as it was.
    const auto second = add(store, "backup signer", " " + upper(key_b) + "\n");
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, added_line("\"backup signer\"", store, 2));
    const std::string two = slurp(store);
    std::smatch m2;
    ASSERT_TRUE(std::regex_match(two, m2, store_file({{"release-signer", key_a}, {"backup signer", key_b}}))) << two;
    EXPECT_EQ(m2[1], m[1]);
}

TEST_F(TrustCommands, RefusedAdditionsExitOneAndLeaveTheStoreUntouched) {
    const fs::path store = dir / "trust.json";
    ASSERT_EQ(add(store, "ops", key_a).status, 0);
    ASSERT_EQ(add(store, "Ops", key_b).status, 0);
    const std::string original = slurp(store);

    struct Case {
        std::string name;
        std::string pubkey;
        std::string err;
    };
    const Case cases[] = {
        {"ops", key_c, "a trusted signer named \"ops\" already exists in this trust store"},
        {"ops", key_a, "a trusted signer named \"ops\" already exists in this trust store"},
        {"audit", upper(key_a), "this public key is already trusted, under a different name"},
        {"audit", key_c.substr(1), "expected a 64-character hex Ed25519 public key, got 63 characters"},
        {"audit", "zz" + key_c.substr(2), "invalid hex in public key: \"zz\""},
        {"audit", "0\u00e9" + key_c.substr(3), "public key is not ASCII hex"},
        {"audit", std::string(64, 'f'),
         "validation failed: invalid ed25519 public key: point encoding is not canonical"},
    };
    for (const auto& c : cases) {
        const auto r = add(store, c.name, c.pubkey);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.err, "error: " + c.err + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(slurp(store), original) << c.err;
    }
}

TEST_F(TrustCommands, ListShowsSignersInStoreOrderWithoutValidatingThem) {
    const fs::path store = dir.write("trust.json", R"({
  "signers": [
    {"name": "team \"blue\"", "pubkey_hex": ")" + key_a + R"(", "added_at": "2026-01-02T03:04:05Z"},
    {"name": "hand edited", "pubkey_hex": "NOT-A-KEY", "added_at": "2026-02-03T04:05:06.5+01:00", "note": "x"}
  ]
})");
    const auto r = list(store);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "team \"blue\"  " + key_a + "  (added 2026-01-02T03:04:05Z)\n"
                     "hand edited  NOT-A-KEY  (added 2026-02-03T03:05:06.5Z)\n");

    // `add` quotes the same kind of name that `list` prints plain.
    const fs::path fresh = dir / "fresh.json";
    const auto added = add(fresh, "team \"red\"", key_b);
    EXPECT_EQ(added.out, added_line("\"team \\\"red\\\"\"", fresh, 1));
    const auto listed = list(fresh);
    EXPECT_TRUE(listed.out.starts_with("team \"red\"  " + key_b + "  (added ")) << listed.out;
}

TEST_F(TrustCommands, ListOfAMissingOrEmptyStoreSaysEveryRulesetWillBeRefused) {
    const fs::path missing = dir / "no/such/trust.json";
    const fs::path empty = dir.write("empty.json", "{\"signers\": []}");
    for (const fs::path& store : {missing, empty}) {
        const auto r = list(store);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, no_signers_line(store));
        EXPECT_EQ(r.err, "");
    }
    EXPECT_FALSE(fs::exists(dir / "no")) << "listing never creates the store";
}

TEST_F(TrustCommands, AStoreThatCannotBeReadIsNeverReplaced) {
    const fs::path directory = dir / "trust.d";
    fs::create_directories(directory);
    const fs::path loop = dir / "loop.json";
    fs::create_symlink(dir / "loop-back.json", loop);
    fs::create_symlink(loop, dir / "loop-back.json");
    const fs::path no_signers = dir.write("keys.json", "{\n  \"keys\": []\n}");

    const std::string label = "razavovivodidi::trust_store::TrustStore";
    struct Case {
        fs::path store;
        std::string err;
    };
    const Case cases[] = {
        {directory, "reading " + directory.string() + ": Is a directory (os error 21)"},
        {loop, "reading " + loop.string() + ": Too many levels of symbolic links (os error 40)"},
        {no_signers, "parsing " + no_signers.string() + " as " + label + ": missing field `signers` at line 3 column 1"},
    };
    for (const auto& c : cases) {
        for (const auto& r : {add(c.store, "ops", key_a), list(c.store)}) {
            EXPECT_EQ(r.status, 1) << c.err;
            EXPECT_EQ(r.err, "error: " + c.err + "\n");
            EXPECT_EQ(r.out, "");
        }
    }
    EXPECT_TRUE(fs::is_empty(directory));
    EXPECT_EQ(slurp(no_signers), "{\n  \"keys\": []\n}");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 4u) << "nothing was written beside the stores";
}

}  // namespace
