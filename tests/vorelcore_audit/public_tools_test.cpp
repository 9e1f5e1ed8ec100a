// A chain must be checkable by someone who has none of this code: the event
// hash with the `b3sum` tool, the signature with the `openssl` command line,
// both over the canonical bytes of the event as they stand in the record.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "../support/run_cli.hpp"
#include "fixtures.hpp"
#include "vorelcore_crypto/canonical.hpp"

namespace {

using vorel_test::ScratchDir;
using vorel_test::slurp;

struct Command {
    int status = -1;
    std::string out;
};

// Runs `line` through the shell with standard error folded into the output.
Command shell(const std::string& line) {
    Command result;
    FILE* pipe = ::popen((line + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) result.out += buffer.data();
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

void write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

// The fixed DER prefixes that wrap a raw Ed25519 key for OpenSSL: PKCS#8 for
// the 32-byte seed, SubjectPublicKeyInfo for the 32-byte public key.
std::vector<std::uint8_t> der(std::initializer_list<std::uint8_t> prefix, std::span<const std::uint8_t> key) {
    std::vector<std::uint8_t> out(prefix);
    out.insert(out.end(), key.begin(), key.end());
    return out;
}
const std::initializer_list<std::uint8_t> kPkcs8Prefix{0x30, 0x2e, 0x02, 0x01, 0x00, 0x30, 0x05, 0x06,
                                                       0x03, 0x2b, 0x65, 0x70, 0x04, 0x22, 0x04, 0x20};
const std::initializer_list<std::uint8_t> kSpkiPrefix{0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                                      0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};

class PublicTools : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"b3sum", "openssl"}) {
            ASSERT_EQ(shell(std::string("command -v ") + tool).status, 0)
                << tool << " is needed to check the chain independently (scripts/install-deps installs it)";
        }
    }

    // b3sum's digest of a file, as 64 hex digits.
    std::string b3sum(const std::filesystem::path& file) {
        const Command run = shell("b3sum --no-names " + quoted(file));
        EXPECT_EQ(run.status, 0) << run.out;
        return run.out.substr(0, run.out.find('\n'));
    }

    ScratchDir dir;
};

TEST_F(PublicTools, B3sumRecomputesEventHashesAndLinks) {
    const auto records = vorel_audit_test::three_records(vorel_audit_test::signer());
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const auto file = dir / ("event-" + std::to_string(i) + ".json");
        write_bytes(file, vorelcore_crypto::canonical::canonical_bytes(records[i].event).value());
        const std::string digest = b3sum(file);
        EXPECT_EQ("blake3:" + digest, records[i].event.event_hash().value().to_string());
        // The next record names exactly this digest as its link.
        if (i + 1 < records.size()) {
            EXPECT_EQ(records[i + 1].event.previous_event_hash->to_string(), "blake3:" + digest);
        }
    }
}

TEST_F(PublicTools, OpensslVerifiesTheRecordSignatureAndRefusesAnAlteredEvent) {
    const auto key = vorel_audit_test::signer();
    const auto records = vorel_audit_test::three_records(key);
    const auto& record = records[1];
    const auto message = dir / "event.json";
    const auto altered = dir / "altered.json";
    const auto signature = dir / "event.sig";
    const auto public_key = dir / "public.der";
    write_bytes(message, vorelcore_crypto::canonical::canonical_bytes(record.event).value());
    auto edited = record.event;
    edited.action = "first";
    write_bytes(altered, vorelcore_crypto::canonical::canonical_bytes(edited).value());
    write_bytes(signature, record.signature.bytes());
    write_bytes(public_key, der(kSpkiPrefix, key.verifying_key().to_bytes()));

    const std::string verify = "openssl pkeyutl -verify -pubin -inkey " + quoted(public_key) +
                               " -keyform DER -rawin -sigfile " + quoted(signature) + " -in ";
    const Command good = shell(verify + quoted(message));
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_NE(good.out.find("Signature Verified Successfully"), std::string::npos) << good.out;

    const Command bad = shell(verify + quoted(altered));
    EXPECT_NE(bad.status, 0) << bad.out;
    EXPECT_NE(bad.out.find("Signature Verification Failure"), std::string::npos) << bad.out;
}

TEST_F(PublicTools, OpensslSigningTheSameBytesWithTheSameSeedGivesTheSameSignature) {
    // Ed25519 is deterministic: pure Ed25519 over exactly these bytes, no
    // prefix and no context, gives this signature and no other.
    const auto key = vorel_audit_test::signer();
    const auto records = vorel_audit_test::three_records(key);
    const auto message = dir / "event.json";
    const auto private_key = dir / "private.der";
    const auto signature = dir / "openssl.sig";
    write_bytes(message, vorelcore_crypto::canonical::canonical_bytes(records[2].event).value());
    write_bytes(private_key, der(kPkcs8Prefix, key.seed()));

    const Command sign = shell("openssl pkeyutl -sign -inkey " + quoted(private_key) + " -keyform DER -rawin -in " +
                               quoted(message) + " -out " + quoted(signature));
    ASSERT_EQ(sign.status, 0) << sign.out;
    const std::string produced = slurp(signature);
    const auto& expected = records[2].signature.bytes();
    EXPECT_EQ(produced, std::string(expected.begin(), expected.end()));
}

}  // namespace
