#include "vorelcore_crypto/keys.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "vorelcore_crypto/canonical.hpp"
#include "vorelcore_crypto/secret.hpp"
#include "vorelcore_crypto/sign.hpp"
#include "vorelcore_json/codec.hpp"

extern char** environ;

namespace {

using vorelcore_crypto::Bytes;
using vorelcore_crypto::SecretBytes;
using vorelcore_crypto::keys::KeyStatus;
using vorelcore_crypto::keys::SigningKey;
using vorelcore_crypto::keys::VerifyingKey;
using vorelcore_crypto::sign::Signature;
using vorelcore_error::CoreError;

Bytes unhex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

template <std::size_t N>
std::array<std::uint8_t, N> unhex_array(std::string_view hex) {
    const Bytes bytes = unhex(hex);
    std::array<std::uint8_t, N> out{};
    EXPECT_EQ(bytes.size(), N) << hex;
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
    return out;
}

Bytes to_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

// ------------------------------------------------------------ RFC 8032 7.1

struct Rfc8032Vector {
    const char* name;
    const char* seed;
    const char* public_key;
    const char* message;
    const char* signature;
};

const Rfc8032Vector kRfc8032[] = {
    {"TEST 1", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"TEST 2", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"TEST 3", "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
    {"TEST SHA(abc)", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
     "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b58909351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704"},
};

TEST(Ed25519Rfc8032, SeedGivesPublishedKeyAndSignature) {
    for (const auto& v : kRfc8032) {
        SCOPED_TRACE(v.name);
        const SigningKey key = SigningKey::from_bytes(unhex_array<32>(v.seed));
        EXPECT_EQ(key.verifying_key().to_bytes(), unhex_array<32>(v.public_key));
        const Signature signature = key.sign_bytes(unhex(v.message));
        EXPECT_EQ(signature.to_hex(), v.signature);
        EXPECT_TRUE(key.verifying_key().verify_bytes(unhex(v.message), signature).has_value());
    }
}

TEST(Ed25519Rfc8032, PublishedKeyVerifiesPublishedSignature) {
    for (const auto& v : kRfc8032) {
        SCOPED_TRACE(v.name);
        const auto key = VerifyingKey::from_bytes(unhex_array<32>(v.public_key));
        ASSERT_TRUE(key.has_value()) << key.error().message();
        EXPECT_EQ(key->to_bytes(), unhex_array<32>(v.public_key));
        const auto signature = Signature::from_hex(v.signature);
        ASSERT_TRUE(signature.has_value());
        EXPECT_TRUE(key->verify_bytes(unhex(v.message), *signature).has_value());
    }
}

// Every change to the message, the signature or the key must be refused.
TEST(Ed25519Verify, AnyChangeIsRefused) {
    const auto& v = kRfc8032[3];  // 64-byte message
    const Bytes message = unhex(v.message);
    const auto signature = Signature::from_hex(v.signature).value();
    const auto key = VerifyingKey::from_bytes(unhex_array<32>(v.public_key)).value();
    const auto other_key = VerifyingKey::from_bytes(unhex_array<32>(kRfc8032[1].public_key)).value();

    auto flip_message = [&](std::size_t byte, int bit) {
        Bytes m = message;
        m[byte] ^= static_cast<std::uint8_t>(1u << bit);
        return m;
    };
    auto flip_signature = [&](std::size_t byte, int bit) {
        auto bytes = signature.bytes();
        bytes[byte] ^= static_cast<std::uint8_t>(1u << bit);
        return Signature(bytes);
    };
    Bytes longer = message;
    longer.push_back(0);
    const Bytes shorter(message.begin(), message.end() - 1);

    struct Case {
        const char* what;
        Bytes message;
        Signature signature;
        const VerifyingKey* key;
    };
    const Case cases[] = {
        {"first message bit", flip_message(0, 0), signature, &key},
        {"last message bit", flip_message(63, 7), signature, &key},
        {"message one byte longer", longer, signature, &key},
        {"message one byte shorter", shorter, signature, &key},
        {"bit in R", message, flip_signature(5, 3), &key},
        {"bit in S", message, flip_signature(40, 1), &key},
        {"top bit of S", message, flip_signature(63, 7), &key},
        {"all-zero signature", message, Signature(), &key},
        {"another key", message, signature, &other_key},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto result = c.key->verify_bytes(c.message, c.signature);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind(), CoreError::Kind::SignatureInvalid);
        EXPECT_EQ(result.error().message(), "signature verification failed");
    }
}

// ------------------------------------------------------------ public keys

TEST(VerifyingKeyFromBytes, RefusesNonPointsAndSmallOrderPoints) {
    struct Case {
        const char* what;
        const char* bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"y = 2 has no x on the curve", "0200000000000000000000000000000000000000000000000000000000000000",
         "bytes do not encode a point on the curve"},
        {"y = p, which would reduce to 0", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
         "point encoding is not canonical"},
        {"y = p + 1, the identity written unreduced",
         "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", "point encoding is not canonical"},
        {"identity", "0100000000000000000000000000000000000000000000000000000000000000", "point has small order"},
        {"identity with the sign bit set", "0100000000000000000000000000000000000000000000000000000000000080",
         "point has small order"},
        {"order 2", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", "point has small order"},
        {"order 4", "0000000000000000000000000000000000000000000000000000000000000000", "point has small order"},
        {"order 4, negated", "0000000000000000000000000000000000000000000000000000000000000080",
         "point has small order"},
        {"order 8", "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a", "point has small order"},
        {"order 8, another", "26e8958fc2b227b045c3f489f2ef98f0d5dfac05d3c63339b13802886d53fc05",
         "point has small order"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto key = VerifyingKey::from_bytes(unhex_array<32>(c.bytes));
        ASSERT_FALSE(key.has_value());
        EXPECT_EQ(key.error().kind(), CoreError::Kind::Validation);
        EXPECT_EQ(key.error().message(), std::string("validation failed: invalid ed25519 public key: ") + c.reason);
    }
}

// The derived key of any seed reads back (the refusals above do not catch
// honest keys).
TEST(VerifyingKeyFromBytes, AcceptsDerivedKeys) {
    for (int i = 0; i < 32; ++i) {
        const SigningKey key = SigningKey::generate();
        auto read = VerifyingKey::from_bytes(key.verifying_key().to_bytes());
        ASSERT_TRUE(read.has_value()) << read.error().message();
        EXPECT_EQ(*read, key.verifying_key());
    }
}

// ------------------------------------------------------------ signing keys

TEST(SigningKey, GeneratedKeysAreDistinctAndRebuildFromTheirSeed) {
    const SigningKey a = SigningKey::generate();
    const SigningKey b = SigningKey::generate();
    EXPECT_FALSE(std::ranges::equal(a.seed(), b.seed()));
    EXPECT_NE(a.verifying_key(), b.verifying_key());

    std::array<std::uint8_t, 32> seed{};
    std::ranges::copy(a.seed(), seed.begin());
    const SigningKey again = SigningKey::from_bytes(seed);
    EXPECT_EQ(again.verifying_key(), a.verifying_key());
    const Bytes message = to_bytes("release 1.2.3");
    EXPECT_EQ(again.sign_bytes(message), a.sign_bytes(message));
}

TEST(SigningKey, SeedIsTheGivenSeed) {
    const auto seed = unhex_array<32>(kRfc8032[2].seed);
    const SigningKey key = SigningKey::from_bytes(seed);
    EXPECT_TRUE(std::ranges::equal(key.seed(), seed));
}

TEST(SigningKey, MovingAwayWipesTheSource) {
    const auto seed = unhex_array<32>(kRfc8032[0].seed);
    SigningKey source = SigningKey::from_bytes(seed);
    const std::uint8_t* storage = source.seed().data();

    SigningKey moved = std::move(source);
    // The moved-from key is still an object; its secret storage now holds zeros.
    EXPECT_TRUE(std::ranges::all_of(std::span<const std::uint8_t, 32>(storage, 32),
                                    [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::ranges::equal(moved.seed(), seed));
    EXPECT_EQ(moved.sign_bytes({}).to_hex(), kRfc8032[0].signature);

    SigningKey assigned = SigningKey::generate();
    assigned = std::move(moved);
    EXPECT_TRUE(std::ranges::all_of(moved.seed(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::ranges::equal(assigned.seed(), seed));
}

TEST(SecretBytes, WipesOnMoveAndOnRequest) {
    const std::array<std::uint8_t, 4> raw{1, 2, 3, 4};
    SecretBytes<4> a{std::span<const std::uint8_t, 4>(raw)};
    EXPECT_FALSE(a.is_zero());

    SecretBytes<4> copy = a.clone();
    EXPECT_TRUE(std::ranges::equal(copy.span(), raw));
    EXPECT_FALSE(a.is_zero());  // cloning leaves the original alone

    SecretBytes<4> b = std::move(a);
    EXPECT_TRUE(a.is_zero());
    EXPECT_TRUE(std::ranges::equal(b.span(), raw));

    SecretBytes<4> c;
    EXPECT_TRUE(c.is_zero());
    c = std::move(b);
    EXPECT_TRUE(b.is_zero());
    EXPECT_TRUE(std::ranges::equal(c.span(), raw));

    c.wipe();
    EXPECT_TRUE(c.is_zero());
    EXPECT_TRUE(std::ranges::equal(copy.span(), raw));  // the clone is a separate buffer
}

// A secret cannot be copied or printed by accident.
static_assert(!std::is_copy_constructible_v<SecretBytes<32>>);
static_assert(!std::is_copy_assignable_v<SecretBytes<32>>);
static_assert(!std::is_copy_constructible_v<SigningKey>);
static_assert(!std::is_copy_assignable_v<SigningKey>);
template <class T>
concept Streamable = requires(std::ostream& out, const T& t) { out << t; };
static_assert(!Streamable<SecretBytes<32>>);
static_assert(!Streamable<SigningKey>);

// A typed value is signed over its canonical bytes: keys sorted, no spaces.
struct Release {
    std::string version;
    std::uint32_t build = 0;
    std::vector<std::string> artifacts;
};
struct WithFloat {
    double ratio = 0;
};

}  // namespace

template <>
struct vorelcore_json::Fields<Release> {
    static constexpr std::string_view name = "Release";
    static constexpr auto list = std::make_tuple(field("version", &Release::version), field("build", &Release::build),
                                                 field("artifacts", &Release::artifacts));
};
template <>
struct vorelcore_json::Fields<WithFloat> {
    static constexpr std::string_view name = "WithFloat";
    static constexpr auto list = std::make_tuple(field("ratio", &WithFloat::ratio));
};

namespace {

TEST(SigningKey, SignCanonicalSignsTheSortedCompactForm) {
    const SigningKey key = SigningKey::from_bytes(unhex_array<32>(kRfc8032[1].seed));
    const Release release{"1.2.3", 7, {"web", "api"}};
    auto signature = key.sign_canonical(release);
    ASSERT_TRUE(signature.has_value()) << signature.error().message();
    const Bytes expected = to_bytes(R"({"artifacts":["web","api"],"build":7,"version":"1.2.3"})");
    EXPECT_TRUE(key.verifying_key().verify_bytes(expected, *signature).has_value());
    EXPECT_EQ(*signature, key.sign_bytes(expected));
}

TEST(SigningKey, SignCanonicalPassesTheCanonicalErrorThrough) {
    const SigningKey key = SigningKey::generate();
    auto signature = key.sign_canonical(WithFloat{0.5});
    ASSERT_FALSE(signature.has_value());
    EXPECT_EQ(signature.error(), vorelcore_crypto::canonical::canonical_bytes(WithFloat{0.5}).error());
    EXPECT_EQ(signature.error().kind(), CoreError::Kind::CanonicalSerialization);
}

// -------------------------------------------------------- signature text

const std::string kLowerHex = kRfc8032[0].signature;

std::string upper(std::string text) {
    std::ranges::transform(text, text.begin(), [](char c) { return (c >= 'a' && c <= 'f') ? char(c - 32) : c; });
    return text;
}

TEST(SignatureHex, ReadsEitherCaseAndWritesLowerCase) {
    const auto lower = Signature::from_hex(kLowerHex);
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(lower->bytes(), unhex_array<64>(kLowerHex));
    EXPECT_EQ(lower->to_hex(), kLowerHex);
    EXPECT_EQ(lower->to_string(), kLowerHex);

    const auto upper_case = Signature::from_hex(upper(kLowerHex));
    ASSERT_TRUE(upper_case.has_value());
    EXPECT_EQ(*upper_case, *lower);
    EXPECT_EQ(upper_case->to_hex(), kLowerHex);

    EXPECT_EQ(Signature().to_hex(), std::string(128, '0'));
}

TEST(SignatureHex, RefusalsNameTheFirstFault) {
    const std::string a125(125, 'a');
    const std::string a126(126, 'a');
    struct Case {
        const char* what;
        std::string text;
        std::string detail;
    };
    const Case cases[] = {
        {"empty", "", "ed25519 signature must be 128 hex characters, got 0"},
        {"127 digits", kLowerHex.substr(0, 127), "ed25519 signature must be 128 hex characters, got 127"},
        {"129 digits", kLowerHex + "0", "ed25519 signature must be 128 hex characters, got 129"},
        {"length counts bytes: 128 characters, 129 bytes", std::string(127, 'a') + "é",
         "ed25519 signature must be 128 hex characters, got 129"},
        {"length counts bytes: 64 two-byte characters", [] {
             std::string s;
             for (int i = 0; i < 64; ++i) s += "é";
             return s;
         }(),
         "invalid hex in signature: \"é\""},
        {"first pair not hex", "zz" + kLowerHex.substr(2), "invalid hex in signature: \"zz\""},
        {"last pair half hex", kLowerHex.substr(0, 126) + "0g", "invalid hex in signature: \"0g\""},
        {"sign is not a digit", "+a" + kLowerHex.substr(2), "invalid hex in signature: \"+a\""},
        {"space is not a digit", kLowerHex.substr(0, 10) + " 1" + kLowerHex.substr(12),
         "invalid hex in signature: \" 1\""},
        {"two-byte character exactly on a pair", a126 + "é", "invalid hex in signature: \"é\""},
        {"two-byte character across pairs", "a" + std::string("é") + a125, "signature is not ASCII"},
        {"three-byte character at the end", a125 + "€", "signature is not ASCII"},
        {"three-byte character at the start", "€" + a125, "signature is not ASCII"},
        {"bad pair before a split character", "zz" + std::string(123, 'a') + "€", "invalid hex in signature: \"zz\""},
        {"split character before a bad pair", "€" + std::string(121, 'a') + "zz" + "aa", "signature is not ASCII"},
        {"quote and backslash are quoted", kLowerHex.substr(0, 64) + "\"\\" + kLowerHex.substr(66),
         "invalid hex in signature: \"\\\"\\\\\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto signature = Signature::from_hex(c.text);
        ASSERT_FALSE(signature.has_value());
        EXPECT_EQ(signature.error().kind(), CoreError::Kind::Validation);
        EXPECT_EQ(signature.error().message(), "validation failed: " + c.detail);
        EXPECT_EQ(signature.error(), Signature::parse(c.text).error());
    }
}

TEST(SignatureHex, JsonFormIsTheHexString) {
    const auto read = vorelcore_json::from_text<Signature>("\"" + upper(kLowerHex) + "\"");
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->to_hex(), kLowerHex);
    EXPECT_EQ(vorelcore_json::to_value(*read), vorelcore_json::Value(kLowerHex));

    const auto short_one = vorelcore_json::from_text<Signature>("\"" + kLowerHex.substr(1) + "\"");
    ASSERT_FALSE(short_one.has_value());
    EXPECT_EQ(short_one.error().rfind("validation failed: ed25519 signature must be 128 hex characters, got 127", 0),
              0u)
        << short_one.error();
}

// ------------------------------------------------------------ key status

TEST(KeyStatus, SpellingsInOrder) {
    struct Case {
        KeyStatus status;
        const char* json;
        const char* display;
    };
    const Case cases[] = {
        {KeyStatus::Active, "active", "Active"},
        {KeyStatus::Rotating, "rotating", "Rotating"},
        {KeyStatus::Deprecated, "deprecated", "Deprecated"},
        {KeyStatus::Revoked, "revoked", "Revoked"},
        {KeyStatus::Compromised, "compromised", "Compromised"},
        {KeyStatus::Destroyed, "destroyed", "Destroyed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(vorelcore_json::to_value(c.status), vorelcore_json::Value(c.json));
        EXPECT_EQ(vorelcore_json::display_name(c.status), c.display);
        auto read = vorelcore_json::from_text<KeyStatus>(std::string("\"") + c.json + "\"");
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, c.status);
    }
    EXPECT_FALSE(vorelcore_json::from_text<KeyStatus>("\"Active\"").has_value());
}

// ---------------------------------------------- cross-check with openssl

std::optional<std::filesystem::path> find_on_path(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return std::nullopt;
    std::string_view rest(path);
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        const std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : dir) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

// Runs a program without a shell, its output into `log`; the exit status,
// or -1 when it could not be started or did not exit normally.
int run(const std::filesystem::path& program, const std::vector<std::string>& args, const std::filesystem::path& log) {
    std::vector<std::string> owned{program.string()};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : owned) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string read_text(const std::filesystem::path& path) {
    const Bytes bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

Bytes concat(std::string_view prefix_hex, std::span<const std::uint8_t> tail) {
    Bytes out = unhex(prefix_hex);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

class OpensslCrossCheck : public ::testing::Test {
protected:
    void SetUp() override {
        openssl_ = find_on_path("openssl");
        if (!openssl_) GTEST_SKIP() << "openssl is not installed";
        std::string pattern = (std::filesystem::temp_directory_path() / "vorel-ed25519-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }

    int openssl(const std::vector<std::string>& args) { return run(*openssl_, args, dir_ / "openssl.log"); }
    std::string log() { return read_text(dir_ / "openssl.log"); }

    std::optional<std::filesystem::path> openssl_;
    std::filesystem::path dir_;
};

// DER wrappings of raw Ed25519 keys (RFC 8410): a PKCS#8 private key around
// the seed, a SubjectPublicKeyInfo around the public key.
constexpr std::string_view kPkcs8Prefix = "302e020100300506032b657004220420";
constexpr std::string_view kSpkiPrefix = "302a300506032b6570032100";

TEST_F(OpensslCrossCheck, SignaturesAgreeBothWays) {
    std::vector<std::array<std::uint8_t, 32>> seeds{unhex_array<32>(kRfc8032[1].seed)};
    {
        const SigningKey fresh = SigningKey::generate();
        std::array<std::uint8_t, 32> seed{};
        std::ranges::copy(fresh.seed(), seed.begin());
        seeds.push_back(seed);
    }
    const Release release{"2.0.0-rc.1", 41, {"web", "worker", "migrations"}};
    for (const auto& seed : seeds) {
        const SigningKey key = SigningKey::from_bytes(seed);
        const Bytes message = vorelcore_crypto::canonical::canonical_bytes(release).value();
        const Signature ours = key.sign_canonical(release).value();

        write_file(dir_ / "message.bin", message);
        write_file(dir_ / "private.der", concat(kPkcs8Prefix, seed));
        write_file(dir_ / "public.der", concat(kSpkiPrefix, key.verifying_key().to_bytes()));
        write_file(dir_ / "ours.sig", Bytes(ours.bytes().begin(), ours.bytes().end()));

        // openssl derives the same public key from the seed.
        ASSERT_EQ(openssl({"pkey", "-inform", "DER", "-in", (dir_ / "private.der").string(), "-pubout", "-outform",
                           "DER", "-out", (dir_ / "derived.der").string()}),
                  0)
            << log();
        EXPECT_EQ(read_file(dir_ / "derived.der"), read_file(dir_ / "public.der"));

        // openssl's signature verifies with our key (and, Ed25519 being
        // deterministic, is byte for byte ours).
        ASSERT_EQ(openssl({"pkeyutl", "-sign", "-rawin", "-keyform", "DER", "-inkey",
                           (dir_ / "private.der").string(), "-in", (dir_ / "message.bin").string(), "-out",
                           (dir_ / "theirs.sig").string()}),
                  0)
            << log();
        const Bytes theirs = read_file(dir_ / "theirs.sig");
        ASSERT_EQ(theirs.size(), 64u);
        std::array<std::uint8_t, 64> theirs_array{};
        std::ranges::copy(theirs, theirs_array.begin());
        EXPECT_TRUE(key.verifying_key().verify_bytes(message, Signature(theirs_array)).has_value());
        EXPECT_EQ(Signature(theirs_array), ours);

        // openssl accepts our signature under our public key, and refuses it
        // for a changed message.
        EXPECT_EQ(openssl({"pkeyutl", "-verify", "-rawin", "-pubin", "-keyform", "DER", "-inkey",
                           (dir_ / "public.der").string(), "-in", (dir_ / "message.bin").string(), "-sigfile",
                           (dir_ / "ours.sig").string()}),
                  0)
            << log();
        Bytes changed = message;
        changed.back() ^= 1;
        write_file(dir_ / "changed.bin", changed);
        EXPECT_NE(openssl({"pkeyutl", "-verify", "-rawin", "-pubin", "-keyform", "DER", "-inkey",
                           (dir_ / "public.der").string(), "-in", (dir_ / "changed.bin").string(), "-sigfile",
                           (dir_ / "ours.sig").string()}),
                  0);
    }
}

}  // namespace
