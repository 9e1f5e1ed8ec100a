#include "vorelcore_crypto/hash.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using vorelcore_crypto::hash::Blake3Hasher;
using vorelcore_crypto::hash::blake3_hash;
using vorelcore_crypto::hash::ContentHash;
using vorelcore_crypto::hash::HashAlgorithm;
using vorelcore_error::CoreError;
using Bytes = std::vector<std::uint8_t>;

// Feeds `data` to a fresh hasher in pieces of the given sizes, cycling
// through them until the data is used up.
ContentHash hash_in_chunks(const Bytes& data, const std::vector<std::size_t>& sizes) {
    Blake3Hasher hasher;
    std::size_t at = 0;
    for (std::size_t i = 0; at < data.size(); ++i) {
        const std::size_t n = std::min(sizes[i % sizes.size()], data.size() - at);
        hasher.update(std::span(data).subspan(at, n));
        at += n;
    }
    return hasher.finalize();
}

// Chunk sizes around the block (64) and chunk (1024) boundaries of BLAKE3.
const std::vector<std::vector<std::size_t>> kChunkings = {
    {1}, {63}, {64}, {65}, {1023}, {1024}, {1025}, {7, 1000, 4097, 3, 65537},
};

// --------------------------------------------------- official test vectors

// The unkeyed "hash" outputs of the official BLAKE3 test vectors
// (test_vectors/test_vectors.json of the BLAKE3 repository, BLAKE3-team/BLAKE3),
// first 32 bytes, the default output length. The Debian package does not
// ship that file; these values were copied from it and also agree with
// b3sum 1.2.0. Input: `input_len` bytes 0, 1, ..., 250, 0, 1, ...
struct Vector {
    std::size_t input_len;
    std::string_view hex;
};

const Vector kVectors[] = {
    {0, "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262"},
    {1, "2d3adedff11b61f14c886e35afa036736dcd87a74d27b5c1510225d0f592e213"},
    {1023, "10108970eeda3eb932baac1428c7a2163b0e924c9a9e25b35bba72b28f70bd11"},
    {1024, "42214739f095a406f3fc83deb889744ac00df831c10daa55189b5d121c855af7"},
    {1025, "d00278ae47eb27b34faecf67b4fe263f82d5412916c1ffd97c8cb7fb814b8444"},
    {2048, "e776b6028c7cd22a4d0ba182a8bf62205d2ef576467e838ed6f2529b85fba24a"},
    {2049, "5f4d72f40d7a5f82b15ca2b2e44b1de3c2ef86c426c95c1af0b6879522563030"},
    {3072, "b98cb0ff3623be03326b373de6b9095218513e64f1ee2edd2525c7ad1e5cffd2"},
    {3073, "7124b49501012f81cc7f11ca069ec9226cecb8a2c850cfe644e327d22d3e1cd3"},
    {4096, "015094013f57a5277b59d8475c0501042c0b642e531b0a1c8f58d2163229e969"},
    {4097, "9b4052b38f1c5fc8b1f9ff7ac7b27cd242487b3d890d15c96a1c25b8aa0fb995"},
    {5120, "9cadc15fed8b5d854562b26a9536d9707cadeda9b143978f319ab34230535833"},
    {5121, "628bd2cb2004694adaab7bbd778a25df25c47b9d4155a55f8fbd79f2fe154cff"},
    {6144, "3e2e5b74e048f3add6d21faab3f83aa44d3b2278afb83b80b3c35164ebeca205"},
    {6145, "f1323a8631446cc50536a9f705ee5cb619424d46887f3c376c695b70e0f0507f"},
    {7168, "61da957ec2499a95d6b8023e2b0e604ec7f6b50e80a9678b89d2628e99ada77a"},
    {7169, "a003fc7a51754a9b3c7fae0367ab3d782dccf28855a03d435f8cfe74605e7817"},
    {8192, "aae792484c8efe4f19e2ca7d371d8c467ffb10748d8a5a1ae579948f718a2a63"},
    {8193, "bab6c09cb8ce8cf459261398d2e7aef35700bf488116ceb94a36d0f5f1b7bc3b"},
    {16384, "f875d6646de28985646f34ee13be9a576fd515f76b5b0a26bb324735041ddde4"},
    {31744, "62b6960e1a44bcc1eb1a611a8d6235b6b4b78f32e7abc4fb4c6cdcce94895c47"},
    {102400, "bc3e3d41a1146b069abffad3c0d44860cf664390afce4d9661f7902e7943e085"},
};

Bytes vector_input(std::size_t length) {
    Bytes input(length);
    for (std::size_t i = 0; i < length; ++i) input[i] = static_cast<std::uint8_t>(i % 251);
    return input;
}

class OfficialVector : public testing::TestWithParam<Vector> {};

TEST_P(OfficialVector, OneShot) {
    const ContentHash hash = blake3_hash(vector_input(GetParam().input_len));
    EXPECT_EQ(hash.algorithm(), HashAlgorithm::Blake3);
    EXPECT_EQ(hash.to_hex(), GetParam().hex);
}

TEST_P(OfficialVector, Incremental) {
    const Bytes input = vector_input(GetParam().input_len);
    for (const auto& sizes : kChunkings) {
        EXPECT_EQ(hash_in_chunks(input, sizes).to_hex(), GetParam().hex) << "first chunk size " << sizes.front();
    }
}

INSTANTIATE_TEST_SUITE_P(Blake3, OfficialVector, testing::ValuesIn(kVectors),
                         [](const testing::TestParamInfo<Vector>& info) {
                             return "len" + std::to_string(info.param.input_len);
                         });

// ------------------------------------------------ differential against b3sum

// A file under the temporary directory holding the given bytes, removed again
// at the end of the test.
class TempFile {
public:
    explicit TempFile(const Bytes& data) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vorel-hash-test-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            ADD_FAILURE() << "mkstemp failed for " << pattern;
            return;
        }
        path_ = pattern;
        std::size_t written = 0;
        while (written < data.size()) {
            const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
            if (n <= 0) {
                ADD_FAILURE() << "writing " << path_ << " failed";
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    ~TempFile() {
        if (!path_.empty()) std::filesystem::remove(path_);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The digest b3sum prints for a file, or nothing when b3sum cannot be run.
std::optional<std::string> b3sum_hex(const std::string& path) {
    // The path is one we made with mkstemp: no quotes in it.
    const std::string command = "b3sum --no-names '" + path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (status != 0) return std::nullopt;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

class AgainstB3sum : public testing::TestWithParam<std::size_t> {};

TEST_P(AgainstB3sum, SameDigestOneShotAndIncremental) {
    std::mt19937_64 random(0x5eed0000u + GetParam());
    Bytes data(GetParam());
    std::ranges::generate(data, [&] { return static_cast<std::uint8_t>(random()); });

    const TempFile file(data);
    ASSERT_FALSE(file.path().empty());
    const auto expected = b3sum_hex(file.path());
    ASSERT_TRUE(expected.has_value()) << "could not run b3sum (scripts/install-deps installs it)";
    ASSERT_EQ(expected->size(), 64u) << *expected;

    EXPECT_EQ(blake3_hash(data).to_hex(), *expected);
    EXPECT_EQ(hash_in_chunks(data, {7, 1000, 4097, 3, 65537}).to_hex(), *expected);
    EXPECT_EQ(hash_in_chunks(data, {1025}).to_hex(), *expected);
}

INSTANTIATE_TEST_SUITE_P(RandomData, AgainstB3sum,
                         testing::Values(std::size_t{0}, std::size_t{1}, std::size_t{1024}, std::size_t{1025},
                                         std::size_t{3} * 1024 * 1024 + 7),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                             return "size" + std::to_string(info.param);
                         });

// ------------------------------------------------------------ hasher usage

TEST(Blake3HasherTest, FinalizeCanBeRepeatedAndContinued) {
    Blake3Hasher hasher;
    EXPECT_EQ(hasher.finalize().to_hex(), kVectors[0].hex);  // nothing hashed yet
    hasher.update(std::string_view("hello "));
    const ContentHash partial = hasher.finalize();
    EXPECT_EQ(hasher.finalize(), partial);
    EXPECT_EQ(partial, blake3_hash(std::string_view("hello ")));
    hasher.update(std::string_view("world"));
    // b3sum 1.2.0 of the 11 bytes "hello world".
    EXPECT_EQ(hasher.finalize().to_hex(), "d74981efa70a0c880b8d8c1985d075dbcbf679b99a5f9914e5aaf96b831a9e24");
}

TEST(Blake3HashTest, TextAndByteInputsAgree) {
    const std::string_view text = "abc";
    const Bytes bytes(text.begin(), text.end());
    // b3sum 1.2.0 of the 3 bytes "abc".
    constexpr std::string_view expected = "6437b3ac38465133ffb63b75273a8db548c558465d79db03fd359c6cd5bd9d85";
    EXPECT_EQ(blake3_hash(text).to_hex(), expected);
    EXPECT_EQ(blake3_hash(bytes).to_hex(), expected);
}

// -------------------------------------------------------- text form: reading

constexpr std::string_view kHexEmpty = "af1349b9f5f9a1a6a0404dea36dcc9499bcb25c9adc112b7cc9a93cae41f3262";
// Every hex digit in both the high and the low half of a byte.
constexpr std::string_view kHexAllDigits = "0123456789abcdeffedcba98765432100123456789abcdeffedcba9876543210";

std::string hex_digits(std::size_t count) {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out.push_back("0123456789abcdef"[i % 16]);
    return out;
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

struct ParseOk {
    std::string input;
    HashAlgorithm algorithm;
    std::string written;  // to_string()
};

const ParseOk kParseOk[] = {
    {"blake3:" + std::string(kHexEmpty), HashAlgorithm::Blake3, "blake3:" + std::string(kHexEmpty)},
    {"blake3:" + upper(kHexEmpty), HashAlgorithm::Blake3, "blake3:" + std::string(kHexEmpty)},
    {"blake3:" + std::string(kHexAllDigits), HashAlgorithm::Blake3, "blake3:" + std::string(kHexAllDigits)},
    {"blake3:" + upper(kHexAllDigits), HashAlgorithm::Blake3, "blake3:" + std::string(kHexAllDigits)},
    {"sha256:" + std::string(kHexEmpty), HashAlgorithm::Sha256, "sha256:" + std::string(kHexEmpty)},
    {"sha256:" + upper(kHexAllDigits), HashAlgorithm::Sha256, "sha256:" + std::string(kHexAllDigits)},
    {"blake3:" + std::string(64, '0'), HashAlgorithm::Blake3, "blake3:" + std::string(64, '0')},
    {"blake3:" + std::string(64, 'F'), HashAlgorithm::Blake3, "blake3:" + std::string(64, 'f')},
};

class ParseAccepted : public testing::TestWithParam<ParseOk> {};

TEST_P(ParseAccepted, ReadsAndWritesLowerCase) {
    auto hash = ContentHash::parse(GetParam().input);
    ASSERT_TRUE(hash.has_value()) << hash.error().message();
    EXPECT_EQ(hash->algorithm(), GetParam().algorithm);
    EXPECT_EQ(hash->to_string(), GetParam().written);
    EXPECT_EQ(hash->to_hex(), GetParam().written.substr(7));
    std::ostringstream shown;
    shown << *hash;
    EXPECT_EQ(shown.str(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseAccepted, testing::ValuesIn(kParseOk));

TEST(ContentHashTest, DigestBytesFollowTheTextInOrder) {
    auto hash = ContentHash::parse("blake3:" + upper(kHexAllDigits));
    ASSERT_TRUE(hash.has_value());
    const ContentHash::Digest expected = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba,
                                          0x98, 0x76, 0x54, 0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab,
                                          0xcd, 0xef, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(hash->digest(), expected);
    // The parsed digest is the one BLAKE3 computes for the same bytes.
    EXPECT_EQ(*ContentHash::parse("blake3:" + std::string(kHexEmpty)), blake3_hash(Bytes{}));
}

TEST(ContentHashTest, DefaultIsAZeroBlake3Placeholder) {
    EXPECT_EQ(ContentHash().to_string(), "blake3:" + std::string(64, '0'));
    EXPECT_EQ(vorelcore_crypto::hash::to_string(HashAlgorithm::Blake3), "blake3");
    EXPECT_EQ(vorelcore_crypto::hash::to_string(HashAlgorithm::Sha256), "sha256");
}

struct ParseBad {
    std::string input;
    CoreError::Kind kind;
    std::string message;  // display text
};

constexpr auto kValidation = CoreError::Kind::Validation;
constexpr auto kUnknown = CoreError::Kind::UnknownAlgorithm;

std::string validation(std::string_view detail) { return "validation failed: " + std::string(detail); }
std::string unknown(std::string_view name) { return "unknown or rejected algorithm: " + std::string(name); }
std::string length(std::size_t n) {
    return validation("content hash digest must be 64 hex characters, got " + std::to_string(n));
}
std::string bad_pair(std::string_view quoted) { return validation("invalid hex in content hash: " + std::string(quoted)); }
const std::string kNotAscii = validation("content hash digest is not ASCII");

const ParseBad kParseBad[] = {
    // No colon: the whole input, quoted.
    {"", kValidation, validation(R"(content hash must be 'algorithm:hex', got "")")},
    {"blake3" + std::string(kHexEmpty), kValidation,
     validation("content hash must be 'algorithm:hex', got \"blake3" + std::string(kHexEmpty) + "\"")},
    {"abc\n\"", kValidation, validation(R"(content hash must be 'algorithm:hex', got "abc\n\"")")},
    // The algorithm, exactly as written; checked before the digest.
    {"BLAKE3:" + std::string(kHexEmpty), kUnknown, unknown("BLAKE3")},
    {"Blake3:" + std::string(kHexEmpty), kUnknown, unknown("Blake3")},
    {"BLAKE3:" + hex_digits(63), kUnknown, unknown("BLAKE3")},
    {":" + std::string(kHexEmpty), kUnknown, unknown("")},
    {"sha512:" + std::string(kHexEmpty), kUnknown, unknown("sha512")},
    {" blake3:" + std::string(kHexEmpty), kUnknown, unknown(" blake3")},
    {"bl\u00e5ke3:" + std::string(kHexEmpty), kUnknown, unknown("bl\u00e5ke3")},
    // Length in bytes.
    {"blake3:" + hex_digits(63), kValidation, length(63)},
    {"blake3:" + hex_digits(65), kValidation, length(65)},
    {"blake3:", kValidation, length(0)},
    {"sha256:" + hex_digits(62), kValidation, length(62)},
    {"blake3:" + hex_digits(62) + "\u00e9", kValidation, bad_pair("\"\u00e9\"")},  // 64 bytes, é is one pair
    {"blake3:" + hex_digits(63) + "\u00e9", kValidation, length(65)},
    // Pairs that split a character.
    {"blake3:\u20ac" + hex_digits(61), kValidation, kNotAscii},
    {"blake3:0\u00e9" + hex_digits(61), kValidation, kNotAscii},
    {"blake3:" + hex_digits(32) + "\u20ac" + hex_digits(29), kValidation, kNotAscii},
    // A pair that is a whole non-ASCII character is simply not hex.
    {"blake3:\u00e9" + hex_digits(62), kValidation, bad_pair("\"\u00e9\"")},
    // Pairs that are not hex; the first bad pair is reported.
    {"blake3:zz" + hex_digits(62), kValidation, bad_pair(R"("zz")")},
    {"blake3:" + hex_digits(62) + "0g", kValidation, bad_pair(R"("0g")")},
    {"blake3:" + hex_digits(30) + "G0" + hex_digits(32), kValidation, bad_pair(R"("G0")")},
    {"blake3:+f" + hex_digits(62), kValidation, bad_pair(R"("+f")")},
    {"blake3:-0" + hex_digits(62), kValidation, bad_pair(R"("-0")")},
    {"blake3: a" + hex_digits(62), kValidation, bad_pair(R"(" a")")},
    {"blake3:\ta" + hex_digits(62), kValidation, bad_pair(R"("\ta")")},
    {"blake3:a:" + hex_digits(62), kValidation, bad_pair(R"("a:")")},  // split at the first colon
    {"blake3:zz" + hex_digits(59) + "\u20ac", kValidation, bad_pair(R"("zz")")},
    {"blake3:\u20aczz" + hex_digits(59), kValidation, kNotAscii},
};

class ParseRefused : public testing::TestWithParam<ParseBad> {};

TEST_P(ParseRefused, WithItsKindAndMessage) {
    auto hash = ContentHash::parse(GetParam().input);
    ASSERT_FALSE(hash.has_value()) << "accepted as " << hash->to_string();
    EXPECT_EQ(hash.error().kind(), GetParam().kind);
    EXPECT_EQ(hash.error().message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseRefused, testing::ValuesIn(kParseBad));

// ------------------------------------------------------------------- ct_eq

TEST(ContentHashTest, EqualTagAndDigestAreEqual) {
    const ContentHash a = blake3_hash(vector_input(1025));
    const ContentHash b(HashAlgorithm::Blake3, a.digest());
    EXPECT_TRUE(a.ct_eq(b));
    EXPECT_TRUE(b.ct_eq(a));
    EXPECT_TRUE(a == b);
    const ContentHash s(HashAlgorithm::Sha256, a.digest());
    EXPECT_TRUE(s.ct_eq(ContentHash(HashAlgorithm::Sha256, a.digest())));
}

TEST(ContentHashTest, DifferentTagSameDigestIsUnequal) {
    const ContentHash blake(HashAlgorithm::Blake3, blake3_hash(Bytes{}).digest());
    const ContentHash sha(HashAlgorithm::Sha256, blake.digest());
    EXPECT_FALSE(blake.ct_eq(sha));
    EXPECT_FALSE(sha.ct_eq(blake));
    EXPECT_FALSE(blake == sha);
    EXPECT_TRUE(blake != sha);
}

// A single flipped bit anywhere, the last byte included, is a difference.
TEST(ContentHashTest, ADifferenceInAnyByteIsSeen) {
    const ContentHash base = blake3_hash(vector_input(31744));
    for (std::size_t i = 0; i < base.digest().size(); ++i) {
        for (const std::uint8_t bit : {std::uint8_t{0x01}, std::uint8_t{0x80}}) {
            ContentHash::Digest changed = base.digest();
            changed[i] ^= bit;
            const ContentHash other(HashAlgorithm::Blake3, changed);
            EXPECT_FALSE(base.ct_eq(other)) << "byte " << i << " bit " << int{bit};
            EXPECT_FALSE(other.ct_eq(base)) << "byte " << i << " bit " << int{bit};
        }
    }
}

}  // namespace
