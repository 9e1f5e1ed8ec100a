#include "vorelcore_error/error.hpp"

namespace vorelcore_error {

CoreError CoreError::invalid_identifier(std::string_view kind, std::string reason) {
    return {Kind::InvalidIdentifier, std::string(kind), std::move(reason)};
}
CoreError CoreError::unsupported_version(std::string requested, std::string min, std::string max) {
    return {Kind::UnsupportedVersion, std::move(requested), std::move(min), std::move(max)};
}
CoreError CoreError::canonical_serialization(std::string detail) {
    return {Kind::CanonicalSerialization, std::move(detail)};
}
CoreError CoreError::signature_invalid() { return {Kind::SignatureInvalid}; }
CoreError CoreError::unknown_algorithm(std::string detail) {
    return {Kind::UnknownAlgorithm, std::move(detail)};
}
CoreError CoreError::expired(std::string expired_at) { return {Kind::Expired, std::move(expired_at)}; }
CoreError CoreError::not_yet_valid(std::string not_before) {
    return {Kind::NotYetValid, std::move(not_before)};
}
CoreError CoreError::encryption_failed() { return {Kind::EncryptionFailed}; }
CoreError CoreError::decryption_failed() { return {Kind::DecryptionFailed}; }
CoreError CoreError::validation(std::string detail) { return {Kind::Validation, std::move(detail)}; }
CoreError CoreError::unknown_product(std::string detail) {
    return {Kind::UnknownProduct, std::move(detail)};
}

std::string CoreError::message() const {
    switch (kind_) {
    case Kind::InvalidIdentifier: return "invalid " + first_ + " identifier: " + second_;
    case Kind::UnsupportedVersion:
        return "unsupported contract version: " + first_ + " (supported " + second_ + "..=" + third_ + ")";
    case Kind::CanonicalSerialization: return "canonical serialization failed: " + first_;
    case Kind::SignatureInvalid: return "signature verification failed";
    case Kind::UnknownAlgorithm: return "unknown or rejected algorithm: " + first_;
    case Kind::Expired: return "envelope expired at " + first_;
    case Kind::NotYetValid: return "envelope is not yet valid until " + first_;
    case Kind::EncryptionFailed: return "encryption failed";
    case Kind::DecryptionFailed: return "decryption failed";
    case Kind::Validation: return "validation failed: " + first_;
    case Kind::UnknownProduct: return "unknown product: " + first_;
    }
    return {};
}

std::ostream& operator<<(std::ostream& out, const CoreError& error) { return out << error.message(); }

}  // namespace vorelcore_error
