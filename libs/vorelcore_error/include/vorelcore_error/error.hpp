#pragma once
// The error of the core libraries: identifiers, canonical JSON, signatures,
// envelopes and policy input checks. A plain value that owns its texts; the
// version and time fields arrive already formatted so the error depends on
// no other type.
#include <ostream>
#include <string>
#include <string_view>

namespace vorelcore_error {

class CoreError {
public:
    enum class Kind {
        InvalidIdentifier,
        UnsupportedVersion,
        CanonicalSerialization,
        SignatureInvalid,
        UnknownAlgorithm,
        Expired,
        NotYetValid,
        EncryptionFailed,
        DecryptionFailed,
        Validation,
        UnknownProduct,
    };

    static CoreError invalid_identifier(std::string_view kind, std::string reason);
    static CoreError unsupported_version(std::string requested, std::string min, std::string max);
    static CoreError canonical_serialization(std::string detail);
    static CoreError signature_invalid();
    static CoreError unknown_algorithm(std::string detail);
    static CoreError expired(std::string expired_at);
    static CoreError not_yet_valid(std::string not_before);
    static CoreError encryption_failed();
    static CoreError decryption_failed();
    static CoreError validation(std::string detail);
    static CoreError unknown_product(std::string detail);

    Kind kind() const { return kind_; }
    // The variant's fields in declaration order; unused ones are empty.
    const std::string& first() const { return first_; }
    const std::string& second() const { return second_; }
    const std::string& third() const { return third_; }

    // The fixed display text.
    std::string message() const;

    friend bool operator==(const CoreError&, const CoreError&) = default;

private:
    CoreError(Kind kind, std::string first = {}, std::string second = {}, std::string third = {})
        : kind_(kind), first_(std::move(first)), second_(std::move(second)), third_(std::move(third)) {}

    Kind kind_;
    std::string first_;
    std::string second_;
    std::string third_;
};

std::ostream& operator<<(std::ostream& out, const CoreError& error);

}  // namespace vorelcore_error
