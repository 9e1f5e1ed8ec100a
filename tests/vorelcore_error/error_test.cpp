#include "vorelcore_error/error.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

using vorelcore_error::CoreError;
using Kind = CoreError::Kind;

TEST(CoreError, EveryVariantHasItsFixedDisplayText) {
    struct Case {
        CoreError error;
        Kind kind;
        std::string_view display;
    };
    const Case cases[] = {
        {CoreError::invalid_identifier("TenantId", "invalid length"), Kind::InvalidIdentifier,
         "invalid TenantId identifier: invalid length"},
        {CoreError::unsupported_version("3", "1", "2"), Kind::UnsupportedVersion,
         "unsupported contract version: 3 (supported 1..=2)"},
        {CoreError::canonical_serialization("non-finite number"), Kind::CanonicalSerialization,
         "canonical serialization failed: non-finite number"},
        {CoreError::signature_invalid(), Kind::SignatureInvalid, "signature verification failed"},
        {CoreError::unknown_algorithm("rsa"), Kind::UnknownAlgorithm, "unknown or rejected algorithm: rsa"},
        {CoreError::expired("2024-01-01T00:00:00Z"), Kind::Expired, "envelope expired at 2024-01-01T00:00:00Z"},
        {CoreError::not_yet_valid("2030-01-01T00:00:00Z"), Kind::NotYetValid,
         "envelope is not yet valid until 2030-01-01T00:00:00Z"},
        {CoreError::encryption_failed(), Kind::EncryptionFailed, "encryption failed"},
        {CoreError::decryption_failed(), Kind::DecryptionFailed, "decryption failed"},
        {CoreError::validation("field \"x\" \xe2\x80\x94 bad"), Kind::Validation,
         "validation failed: field \"x\" \xe2\x80\x94 bad"},
        {CoreError::unknown_product("vorelother"), Kind::UnknownProduct, "unknown product: vorelother"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.display);
        EXPECT_EQ(c.error.kind(), c.kind);
        EXPECT_EQ(c.error.message(), c.display);
        std::ostringstream streamed;
        streamed << c.error;
        EXPECT_EQ(streamed.str(), c.display);
    }
}

TEST(CoreError, FieldsAreKeptInOrderAndTakePartInEquality) {
    const CoreError version = CoreError::unsupported_version("9", "1", "2");
    EXPECT_EQ(version.first(), "9");
    EXPECT_EQ(version.second(), "1");
    EXPECT_EQ(version.third(), "2");

    const CoreError id = CoreError::invalid_identifier("Slug", "must not be empty");
    EXPECT_EQ(id.first(), "Slug");
    EXPECT_EQ(id.second(), "must not be empty");

    EXPECT_EQ(id, CoreError::invalid_identifier("Slug", "must not be empty"));
    EXPECT_NE(id, CoreError::invalid_identifier("TenantId", "must not be empty"));
    EXPECT_NE(id, CoreError::invalid_identifier("Slug", "must not start or end with a hyphen"));
    // Same text, different variant.
    EXPECT_NE(CoreError::expired("x"), CoreError::not_yet_valid("x"));
    EXPECT_NE(CoreError::encryption_failed(), CoreError::decryption_failed());
}

}  // namespace
