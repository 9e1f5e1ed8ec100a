#include "vorelcore_audit/chain.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.hpp"
#include "vorelcore_crypto/canonical.hpp"

namespace vorelcore_audit::chain {
namespace {

using event::SignedAuditEvent;
using vorel_audit_test::event;
using vorel_audit_test::signer;
using vorel_audit_test::stranger;
using vorel_audit_test::three_records;
using vorelcore_crypto::hash::ContentHash;
using vorelcore_error::CoreError;
using Records = std::vector<SignedAuditEvent>;

ContentHash hash_of(const SignedAuditEvent& record) { return record.event.event_hash().value(); }

std::string outcome(const std::expected<void, CoreError>& result) {
    return result ? "<verified>" : result.error().message();
}

TEST(AuditChainAppend, NumbersFromOneAndLinksEachEventToThePreviousOne) {
    const auto key = signer();
    AuditChain chain;
    auto first_event = event("first");
    // Whatever the author put there is replaced by the chain's head.
    first_event.previous_event_hash = vorelcore_crypto::hash::blake3_hash(std::string_view("forged"));
    Records records;
    records.push_back(chain.append(first_event, key).value());
    records.push_back(chain.append(event("second"), key).value());
    records.push_back(chain.append(event("third"), key).value());

    EXPECT_EQ(records[0].sequence, 1u);
    EXPECT_EQ(records[1].sequence, 2u);
    EXPECT_EQ(records[2].sequence, 3u);
    EXPECT_FALSE(records[0].event.previous_event_hash.has_value());
    EXPECT_EQ(records[1].event.previous_event_hash, hash_of(records[0]));
    EXPECT_EQ(records[2].event.previous_event_hash, hash_of(records[1]));
    EXPECT_EQ(chain, (AuditChain{3, hash_of(records[2])}));

    // The signature is over the event as recorded, link included.
    const auto bytes = vorelcore_crypto::canonical::canonical_bytes(records[1].event).value();
    EXPECT_TRUE(key.verifying_key().verify_bytes(bytes, records[1].signature));
    EXPECT_EQ(hash_of(records[1]), vorelcore_crypto::hash::blake3_hash(bytes));
}

TEST(AuditChainAppend, ResumingAfterARecordContinuesItsChain) {
    const auto key = signer();
    Records records = three_records(key);
    auto resumed = AuditChain::resume_after(records.back()).value();
    EXPECT_EQ(resumed, (AuditChain{3, hash_of(records.back())}));
    records.push_back(resumed.append(event("fourth"), key).value());
    EXPECT_EQ(records.back().sequence, 4u);
    EXPECT_EQ(outcome(verify_chain(records, key.verifying_key())), "<verified>");
}

TEST(AuditChainAppend, TheSequenceSaturatesAtTheLargest64BitValue) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    const auto key = signer();
    AuditChain chain{kMax - 1, std::nullopt};
    Records records;
    records.push_back(chain.append(event("a"), key).value());
    records.push_back(chain.append(event("b"), key).value());
    EXPECT_EQ(records[0].sequence, kMax);
    EXPECT_EQ(records[1].sequence, kMax);
    EXPECT_EQ(chain.last_sequence, kMax);
}

// Every way a chain of three records can be presented to the verifier. A
// failure "at" index i means: the first i records still verify on their own,
// and the first i + 1 fail with the same error.
TEST(AuditChainVerify, FindsTheFirstFaultOfATamperedChain) {
    const std::string kSignature = "signature verification failed";
    const auto broken = [](int sequence) {
        return "validation failed: audit chain broken at sequence " + std::to_string(sequence) +
               ": previous-hash link does not match the preceding event";
    };
    struct Case {
        const char* name;
        std::function<void(Records&)> tamper;
        bool wrong_key;
        std::string expected;          // "<verified>" or the error's display text
        std::optional<std::size_t> at;  // index of the record that fails
    };
    const Case cases[] = {
        {"clean three-record chain", [](Records&) {}, false, "<verified>", std::nullopt},
        {"second event edited", [](Records& r) { r[1].event.action = "deploy.run.completed"; }, false, kSignature, 1},
        {"second event's link edited",
         [](Records& r) { r[1].event.previous_event_hash = hash_of(r[1]); }, false, kSignature, 1},
        {"second event's link dropped", [](Records& r) { r[1].event.previous_event_hash.reset(); }, false,
         kSignature, 1},
        {"second record removed", [](Records& r) { r.erase(r.begin() + 1); }, false, broken(3), 1},
        {"first record removed", [](Records& r) { r.erase(r.begin()); }, false, broken(2), 0},
        {"second and third swapped", [](Records& r) { std::swap(r[1], r[2]); }, false, broken(3), 1},
        {"second record replayed", [](Records& r) { r.insert(r.begin() + 2, r[1]); }, false, broken(2), 2},
        {"third renumbered to 4", [](Records& r) { r[2].sequence = 4; }, false,
         "validation failed: audit chain sequence gap: expected 3, found 4", 2},
        {"second renumbered to 3", [](Records& r) { r[1].sequence = 3; }, false,
         "validation failed: audit chain sequence gap: expected 2, found 3", 1},
        {"every record renumbered by 10",
         [](Records& r) {
             for (auto& record : r) record.sequence += 10;
         },
         false, "<verified>", std::nullopt},
        {"verified with another key", [](Records&) {}, true, kSignature, 0},
        {"empty list", [](Records& r) { r.clear(); }, false, "<verified>", std::nullopt},
    };
    const auto key = signer();
    const Records pristine = three_records(key);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Records records = pristine;
        c.tamper(records);
        const auto verifier = c.wrong_key ? stranger().verifying_key() : key.verifying_key();
        EXPECT_EQ(outcome(verify_chain(records, verifier)), c.expected);
        if (c.at) {
            const std::span<const SignedAuditEvent> all(records);
            EXPECT_EQ(outcome(verify_chain(all.first(*c.at), verifier)), "<verified>");
            EXPECT_EQ(outcome(verify_chain(all.first(*c.at + 1), verifier)), c.expected);
        }
    }
}

TEST(AuditChainVerify, TheSignatureIsCheckedBeforeTheLinkAndTheLinkBeforeTheSequence) {
    const auto key = signer();
    // The third record edited, unlinked and renumbered: the signature wins.
    Records records = three_records(key);
    records[2].event.previous_event_hash.reset();
    records[2].sequence = 9;
    EXPECT_EQ(verify_chain(records, key.verifying_key()).error(), CoreError::signature_invalid());

    // A validly signed record with a wrong link and a wrong number: the link wins.
    records = three_records(key);
    records.erase(records.begin() + 1);
    records[1].sequence = 9;
    EXPECT_EQ(outcome(verify_chain(records, key.verifying_key())),
              "validation failed: audit chain broken at sequence 9: previous-hash link does not match the "
              "preceding event");
}

TEST(AuditChainVerify, ALinkMustMatchInAlgorithmAsWellAsDigest) {
    const auto key = signer();
    AuditChain chain;
    Records records;
    records.push_back(chain.append(event("first"), key).value());
    // Same digest bytes under the other algorithm tag, properly signed.
    chain.head_hash = ContentHash(vorelcore_crypto::hash::HashAlgorithm::Sha256, chain.head_hash->digest());
    records.push_back(chain.append(event("second"), key).value());
    EXPECT_EQ(outcome(verify_chain(records, key.verifying_key())),
              "validation failed: audit chain broken at sequence 2: previous-hash link does not match the "
              "preceding event");
}

}  // namespace
}  // namespace vorelcore_audit::chain
