#include "policy_service.hpp"

#include <string.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "curl_api.hpp"
#include "trust_store.hpp"
#include "vorelcore_error/text.hpp"
#include "vorelpolicy_bundle/verify.hpp"

namespace razavovivodidi::policy_service {

using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::VerifyingKey;

namespace {

// -------------------------------------------------------------- HTTP client

// Limits of one request. A silent or endless server must not hold the tool.
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kRequestTimeoutSeconds = 30;
constexpr std::size_t kMaxBodyBytes = 16 * 1024 * 1024;

// A request that did not produce a usable body: either the request itself
// failed (no answer, or a status that is not success), or the answer started
// well and its body could not be read.
struct HttpFailure {
    enum class Stage { Request, Body };
    Stage stage;
    std::string text;
};

struct Transfer {
    std::string body;
    bool too_large = false;
    bool headers_complete = false;  // of the final answer, its status line and headers all received
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->body.size() + bytes > kMaxBodyBytes) {
        transfer->too_large = true;
        return 0;  // aborts the transfer
    }
    transfer->body.append(data, bytes);
    return bytes;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::string_view line(data, size * count);
    if (line.starts_with("HTTP/")) transfer->headers_complete = false;  // a new (possibly interim) answer
    if (line == "\r\n" || line == "\n") transfer->headers_complete = true;
    return size * count;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::string status_text(long status) {
    const std::string code = "HTTP status " + std::to_string(status);
    if (status >= 500) return code + " (server error)";
    if (status >= 400) return code + " (client error)";
    return code + " (a redirect, which is not followed)";
}

struct CurlDeleter {
    const curl_api::CurlApi* api;
    void operator()(CURL* curl) const { api->easy_cleanup(curl); }
};

// Wipes the copies of the Authorization header curl was given, then frees them.
struct HeaderListDeleter {
    const curl_api::CurlApi* api;
    void operator()(curl_slist* list) const {
        for (curl_slist* item = list; item != nullptr; item = item->next) {
            if (item->data != nullptr) explicit_bzero(item->data, strlen(item->data));
        }
        api->slist_free_all(list);
    }
};

// One GET with the bearer header; the whole body as text on success. The
// token goes into the header and nowhere else: not into any message.
std::expected<std::string, HttpFailure> http_get(const std::string& url, const std::string& token) {
    const auto request_failure = [](std::string text) {
        return std::unexpected(HttpFailure{HttpFailure::Stage::Request, std::move(text)});
    };
    if (!starts_with_ignoring_case(url, "http://") && !starts_with_ignoring_case(url, "https://")) {
        return request_failure("only http:// and https:// URLs are fetched");
    }
    const auto loaded = curl_api::curl();
    if (!loaded) return request_failure(loaded.error());
    const curl_api::CurlApi& api = **loaded;
    std::unique_ptr<CURL, CurlDeleter> curl(api.easy_init(), CurlDeleter{&api});
    if (!curl) return request_failure("the HTTP client could not be initialised");

    std::string header = "Authorization: Bearer " + token;
    std::unique_ptr<curl_slist, HeaderListDeleter> headers(api.slist_append(nullptr, header.c_str()),
                                                             HeaderListDeleter{&api});
    explicit_bzero(header.data(), header.size());
    if (!headers) return request_failure("the HTTP client could not be initialised");

    std::array<char, CURL_ERROR_SIZE> error{};
    Transfer transfer;
    CURL* c = curl.get();
    api.easy_setopt(c, CURLOPT_ERRORBUFFER, error.data());
    api.easy_setopt(c, CURLOPT_URL, url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
    api.easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
#else
    api.easy_setopt(c, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    api.easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    api.easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);  // the path requested is the path in the messages
    api.easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    api.easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    api.easy_setopt(c, CURLOPT_TIMEOUT, kRequestTimeoutSeconds);
    api.easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    api.easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    api.easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
    api.easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    api.easy_setopt(c, CURLOPT_HEADERFUNCTION, on_header);
    api.easy_setopt(c, CURLOPT_HEADERDATA, &transfer);

    const CURLcode rc = api.easy_perform(c);
    long status = 0;
    api.easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    const bool answered = transfer.headers_complete && status != 0;

    if (answered && (status < 200 || status >= 300)) return request_failure(status_text(status));
    if (rc != CURLE_OK) {
        std::string text = transfer.too_large ? "the response body is larger than " +
                                                    std::to_string(kMaxBodyBytes / (1024 * 1024)) + " MiB"
                           : error[0] != '\0' ? std::string(error.data())
                                              : std::string(api.easy_strerror(rc));
        if (answered) return std::unexpected(HttpFailure{HttpFailure::Stage::Body, std::move(text)});
        return request_failure(std::move(text));
    }
    if (vorelcore_error::check_utf8(transfer.body)) {
        return std::unexpected(HttpFailure{HttpFailure::Stage::Body, "stream did not contain valid UTF-8"});
    }
    return std::move(transfer.body);
}

// ------------------------------------------------------------ the service

const std::vector<std::string>& bundle_context() {
    static const std::vector<std::string> context{"product:voreldeploy", "purpose:policy-bundle"};
    return context;
}

// A byte that would end or split a header line (CR, LF, any other C0 control
// or DEL): such a token is never put into a request.
bool has_control_byte(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return true;
    }
    return false;
}

// GET `url`, returning the body text; `what` names the answer in the body
// reading error ("trust-keys", "ruleset").
std::expected<std::string, std::string> fetch(const std::string& url, const std::string& token, std::string_view what) {
    auto body = http_get(url, token);
    if (body) return std::move(*body);
    if (body.error().stage == HttpFailure::Stage::Body) {
        return std::unexpected("reading " + std::string(what) + " response body: " + body.error().text);
    }
    return std::unexpected("GET " + url + ": " + body.error().text);
}

std::expected<VerifyingKey, std::string> parse_service_key(std::string_view text) {
    const std::string_view trimmed = vorelcore_error::trim_unicode_whitespace(text);
    std::array<std::uint8_t, VerifyingKey::kSize> bytes{};
    bool hex = trimmed.size() == 2 * bytes.size();
    for (std::size_t i = 0; hex && i < bytes.size(); ++i) {
        const auto byte = vorelcore_error::hex_pair(trimmed[2 * i], trimmed[2 * i + 1]);
        if (!byte) hex = false;
        else bytes[i] = *byte;
    }
    if (!hex) {
        return std::unexpected("expected a 64-character hex Ed25519 public key, got " + std::to_string(trimmed.size()) +
                               " characters");
    }
    auto key = VerifyingKey::from_bytes(bytes);
    if (!key) return std::unexpected(key.error().message());
    return *key;
}

std::expected<ResolvedRuleset, std::string> resolve_from_service(const std::string& url, const std::string& scope,
                                                                 const std::string& token, const Timestamp& now) {
    if (has_control_byte(token)) {
        return std::unexpected(
            std::string("--policy-service-token contains a control character (such as a line break), which cannot "
                        "be sent in a request header; no request was made"));
    }
    const std::string base = base_url(url);

    auto keys_text = fetch(trust_keys_url(base), token, "trust-keys");
    if (!keys_text) return std::unexpected(std::move(keys_text.error()));
    auto trusted = parse_trust_keys_response(*keys_text);
    if (!trusted) return std::unexpected(std::move(trusted.error()));

    auto ruleset_text = fetch(ruleset_url(base, scope), token, "ruleset");
    if (!ruleset_text) return std::unexpected(std::move(ruleset_text.error()));
    auto bundle = parse_ruleset_response(*ruleset_text);
    if (!bundle) return std::unexpected(std::move(bundle.error()));

    auto verified = vorelpolicy_bundle::verify::verify_bundle(*bundle, *trusted, now, bundle_context());
    if (!verified) {
        return std::unexpected("VorelPolicy bundle failed local verification: " + verified.error().message());
    }
    return ResolvedRuleset{std::move(verified->ruleset),
                           "vorelpolicy-service " + url + " scope=" + scope + " (verified locally against " +
                               std::to_string(trusted->size()) + " fetched trust key(s))"};
}

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

}  // namespace

std::expected<vorelpolicy_bundle::verify::TrustStore, std::string> parse_trust_keys_response(std::string_view body) {
    auto keys = vorelcore_json::from_text<SuccessEnvelope<std::vector<TrustKeyEntryWire>>>(body);
    if (!keys) return std::unexpected("parsing VorelPolicy trust-keys response: " + keys.error());

    // Keys of every status go in; what a status means is verify_bundle's call.
    // One bad entry refuses the whole answer.
    vorelpolicy_bundle::verify::TrustStore trusted;
    for (const TrustKeyEntryWire& entry : keys->data) {
        auto key = parse_service_key(entry.verifying_key_hex);
        if (!key) return std::unexpected(std::move(key.error()));
        trusted.trust_key(entry.key_id, *key, entry.status);
    }
    return trusted;
}

std::expected<vorelpolicy_bundle::bundle::SignedPolicyBundle, std::string> parse_ruleset_response(
    std::string_view body) {
    auto response = vorelcore_json::from_text<SuccessEnvelope<RulesetResponseWire>>(body);
    if (!response) return std::unexpected("parsing VorelPolicy ruleset response: " + response.error());
    return std::move(response->data.bundle);
}

std::string base_url(std::string_view url) {
    while (url.ends_with('/')) url.remove_suffix(1);
    return std::string(url);
}

std::string path_segment(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool only_dots = text == "." || text == "..";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (is_unreserved(byte) && !only_dots) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string trust_keys_url(std::string_view base) { return std::string(base) + "/v1/trust-keys"; }

std::string ruleset_url(std::string_view base, std::string_view scope) {
    return std::string(base) + "/v1/scopes/" + path_segment(scope) + "/ruleset";
}

std::expected<ResolvedRuleset, std::string> resolve_ruleset_source(const RulesetSourceOptions& options,
                                                                   const Timestamp& now) {
    // The first matching row of the source table decides.
    if (options.service_url) {
        if (!options.service_scope) return std::unexpected("--policy-service-url requires --policy-service-scope");
        if (!options.service_token) return std::unexpected("--policy-service-url requires --policy-service-token");
        return resolve_from_service(*options.service_url, *options.service_scope, *options.service_token, now);
    }
    if (!options.policy_ruleset) {
        return std::unexpected(
            "either --policy-service-url (+ --policy-service-scope + --policy-service-token) or --policy-ruleset "
            "(+ --trust-store) is required \u2014 there is no default ruleset source");
    }
    if (!options.trust_store) return std::unexpected("--policy-ruleset requires --trust-store");

    auto verified = trust_store::verify_ruleset_file(*options.policy_ruleset, *options.trust_store, now);
    if (!verified) return std::unexpected(std::move(verified.error()));
    return ResolvedRuleset{std::move(*verified), "local file " + options.policy_ruleset->string() + " (trust store " +
                                                     options.trust_store->string() + ")"};
}

}  // namespace razavovivodidi::policy_service
