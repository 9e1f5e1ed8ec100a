#pragma once
// Where the ruleset for a decision comes from. There is no default and no
// built-in ruleset: either a policy service (its bundle verified locally
// against the keys it serves) or a signed ruleset file verified against the
// local trust store. The ruleset only ever leaves here verified.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "vorelcore_contracts/ids.hpp"
#include "vorelcore_contracts/time.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelcore_policy/eval.hpp"
#include "vorelpolicy_bundle/bundle.hpp"
#include "vorelpolicy_bundle/verify.hpp"

namespace razavovivodidi::policy_service {

struct RulesetSourceOptions {
    std::optional<std::filesystem::path> policy_ruleset;
    std::optional<std::filesystem::path> trust_store;
    std::optional<std::string> service_url;
    std::optional<std::string> service_scope;
    std::optional<std::string> service_token;  // a secret: never printed, written or put in a message
};

struct ResolvedRuleset {
    vorelcore_policy::eval::VerifiedRuleset ruleset;
    std::string description;  // printed as "policy ruleset source: {}"
};

// With a service URL (which then needs a scope and a token) the service is
// the source and the file flags are ignored; without one, the signed ruleset
// file and the trust store. Every failure is one line of text.
//
// The service source makes two GET requests, trust keys first, each with the
// one header "Authorization: Bearer {token}", and verifies the bundle of the
// scope against the keys of the first answer. Only http and https are
// fetched, redirects are not followed, servers are authenticated against the
// system's CA certificates, and each request gives up after a bounded time.
std::expected<ResolvedRuleset, std::string> resolve_ruleset_source(const RulesetSourceOptions& options,
                                                                   const vorelcore_contracts::time::Timestamp& now);

// ------------------------------------------------------------ request URLs

// The base URL: `url` without its trailing slashes (however many).
std::string base_url(std::string_view url);

// `text` as one path segment: every byte outside A-Z a-z 0-9 - . _ ~ is
// percent-encoded (upper-case hex), and a segment of only dots ("." or "..")
// is encoded whole, so no scope can step out of its place in the path.
std::string path_segment(std::string_view text);

std::string trust_keys_url(std::string_view base);
std::string ruleset_url(std::string_view base, std::string_view scope);

// ----------------------------------------------------------- wire formats

// The outer object of every successful answer.
template <class T>
struct SuccessEnvelope {
    T data;
};

struct TrustKeyEntryWire {
    vorelcore_contracts::ids::KeyId key_id;
    std::string verifying_key_hex;  // 64 hex digits, surrounding white space allowed
    vorelcore_crypto::keys::KeyStatus status = vorelcore_crypto::keys::KeyStatus::Active;
};

struct RulesetResponseWire {
    std::string pack_name;  // read, not otherwise used
    std::uint64_t version = 0;  // read, not otherwise used
    vorelpolicy_bundle::bundle::SignedPolicyBundle bundle;
};

// ------------------------------------------------------- reading answers

// The body of a trust-keys answer as the keys to verify a bundle with. A
// body that does not read, or any entry whose key is not a usable Ed25519
// public key, refuses the whole answer.
std::expected<vorelpolicy_bundle::verify::TrustStore, std::string> parse_trust_keys_response(std::string_view body);

// The signed bundle in the body of a ruleset answer, not yet verified.
std::expected<vorelpolicy_bundle::bundle::SignedPolicyBundle, std::string> parse_ruleset_response(
    std::string_view body);

}  // namespace razavovivodidi::policy_service

template <class T>
struct vorelcore_json::Fields<razavovivodidi::policy_service::SuccessEnvelope<T>> {
    using E = razavovivodidi::policy_service::SuccessEnvelope<T>;
    static constexpr std::string_view name = "SuccessEnvelope";
    static constexpr auto list = std::make_tuple(field("data", &E::data));
};

template <>
struct vorelcore_json::Fields<razavovivodidi::policy_service::TrustKeyEntryWire> {
    using T = razavovivodidi::policy_service::TrustKeyEntryWire;
    static constexpr std::string_view name = "TrustKeyEntryWire";
    static constexpr auto list = std::make_tuple(field("key_id", &T::key_id),
                                                 field("verifying_key_hex", &T::verifying_key_hex),
                                                 field("status", &T::status));
};

template <>
struct vorelcore_json::Fields<razavovivodidi::policy_service::RulesetResponseWire> {
    using T = razavovivodidi::policy_service::RulesetResponseWire;
    static constexpr std::string_view name = "RulesetResponseWire";
    static constexpr auto list = std::make_tuple(field("pack_name", &T::pack_name), field("version", &T::version),
                                                 field("bundle", &T::bundle));
};
