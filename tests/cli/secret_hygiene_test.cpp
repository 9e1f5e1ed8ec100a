// The checker that keeps secrets out of the program's output and files must
// itself catch a leak: in every form it looks for, in a run's output, and in
// a file left in a scratch directory.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "../support/run_cli.hpp"

namespace {

using vorel_test::leaked_secrets;

const std::string kSeedHex = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
const std::string kToken = "tok-hygiene-3f9a-SECRET";

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

TEST(SecretChecker, FindsASecretInEveryFormTheProgramCouldWriteItIn) {
    const std::string seed_bytes = *vorel_test::bytes_of_hex(kSeedHex);
    struct Case {
        std::string name;
        std::string text;
        std::string secret;
    } const cases[] = {
        {"seed as lower-case hex", "seed: " + kSeedHex + "\n", kSeedHex},
        {"seed as upper-case hex", "k=" + upper(kSeedHex), kSeedHex},
        {"seed as raw bytes", "\x01" + seed_bytes + "\x02", kSeedHex},
        // base64 of the seed bytes (`xxd -r -p | base64`), inside other text
        {"seed as base64", "{\"k\": \"nWGxne/9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2A=\"}", kSeedHex},
        // the same bytes after one other byte
        {"seed as base64, shifted by one byte", "AJ1hsZ3v/VpguoRK9JLsLMREScVpezJpGXA7rAMcrn9g", kSeedHex},
        {"seed as URL-safe base64", "nWGxne_9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2A", kSeedHex},
        {"token as is", "Authorization: Bearer " + kToken, kToken},
        {"token in other case", upper(kToken), kToken},
        {"token as hex", vorel_test::hex_of(kToken), kToken},
        // `printf %s tok-hygiene-3f9a-SECRET | base64`
        {"token as base64", "dG9rLWh5Z2llbmUtM2Y5YS1TRUNSRVQ=", kToken},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(leaked_secrets(c.text, {c.secret}), std::vector<std::string>{c.secret}) << c.name;
    }
}

TEST(SecretChecker, LeavesOrdinaryTextAlone) {
    const std::vector<std::string> secrets{kSeedHex, kToken};
    const std::string texts[] = {
        "",
        // the public key of the same seed, and a prefix of the seed
        "pubkey: d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a",
        "seed starts " + kSeedHex.substr(0, 60),
        "tok-hygiene-3f9a-SECRE",
    };
    for (const std::string& text : texts) EXPECT_EQ(leaked_secrets(text, secrets), std::vector<std::string>{}) << text;
}

TEST(SecretChecker, FailsTheTestOnARegisteredSecret) {
    vorel_test::register_secret(kToken);
    EXPECT_NONFATAL_FAILURE(vorel_test::check_no_secret("token=" + kToken, "a report"),
                            "a report holds a secret the test supplied");
    vorel_test::check_no_secret("nothing to see", "a report");  // and passes on clean text
}

TEST(SecretChecker, RefusesASecretTooShortToLookFor) {
    EXPECT_NONFATAL_FAILURE(vorel_test::register_secret("pw"), "too short to be looked for");
}

// The program echoes the path it could not read: a secret in that path is
// caught in its standard error.
TEST(SecretChecker, CatchesASecretInTheProgramsOutput) {
    vorel_test::register_secret(kToken);
    EXPECT_NONFATAL_FAILURE(vorel_test::run_cli({"plan", "parse", "--input", "/nonexistent/" + kToken}),
                            "standard error of: razavovivodidi plan parse");
}

TEST(SecretChecker, CatchesASecretInAFileLeftInAScratchDirectory) {
    vorel_test::register_secret(kSeedHex);
    EXPECT_NONFATAL_FAILURE(
        {
            vorel_test::ScratchDir dir;
            std::ofstream(dir / "run.json") << "{\"seed\": \"" << kSeedHex << "\"}";
        },
        "run.json holds a secret");
    // Files the test wrote to hold a secret are not the program's doing.
    vorel_test::ScratchDir dir;
    dir.write("seed.txt", kSeedHex);
    std::ofstream(dir / "seed-by-hand.txt") << kSeedHex;
    dir.holds_secret(dir / "seed-by-hand.txt");
}

TEST(SecretChecker, AFileTheTestWroteIsScannedOnceTheProgramRewritesIt) {
    vorel_test::register_secret(kToken);
    EXPECT_NONFATAL_FAILURE(
        {
            vorel_test::ScratchDir dir;
            const auto path = dir.write("store.json", "{}");
            std::ofstream(path) << kToken;
        },
        "store.json holds a secret");
}

}  // namespace
