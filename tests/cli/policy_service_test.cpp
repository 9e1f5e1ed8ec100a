// The policy service source end to end: the built program against the
// substitute service (vorel-policy-stub) on loopback, plus the request URLs.
#include <curl/curl.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "../support/run_cli.hpp"
#include "policy_fixtures.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "policy_service.hpp"
#include "vorelcore_crypto/keys.hpp"
#include "vorelcore_json/codec.hpp"
#include "vorelpolicy_bundle/bundle.hpp"
#include "voreldeploy_engine/manifest.hpp"

extern char** environ;

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using vorel_test::CliResult;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using vorelcore_contracts::ids::KeyId;
using vorelcore_contracts::time::Timestamp;
using vorelcore_crypto::keys::SigningKey;
namespace ps = razavovivodidi::policy_service;

const std::string kPlanId = "5f0c6f3e-8a4b-4e0a-9d1c-2b7e4f6a9c01";
const std::string kToken = "tok-7f3a9c-SECRET-e41b";
const std::string kUntrusted =
    "error: VorelPolicy bundle failed local verification: bundle is signed by an untrusted key, or a key whose "
    "status no longer verifies\n";

// ------------------------------------------------------------ request URLs

TEST(ServiceRequestUrls, TrailingSlashesAreDroppedFromTheBase) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://127.0.0.1:8090", "http://127.0.0.1:8090"},
        {"http://127.0.0.1:8090/", "http://127.0.0.1:8090"},
        {"http://127.0.0.1:8090///", "http://127.0.0.1:8090"},
        {"https://policy.example/base/", "https://policy.example/base"},
        {"http://h/a//b//", "http://h/a//b"},
    };
    for (const auto& [url, base] : cases) {
        EXPECT_EQ(ps::base_url(url), base) << url;
        EXPECT_EQ(ps::trust_keys_url(ps::base_url(url)), std::string(base) + "/v1/trust-keys") << url;
    }
}

TEST(ServiceRequestUrls, TheScopeIsAlwaysExactlyOnePathSegment) {
    const std::pair<std::string, std::string> cases[] = {
        {"prod-eu_1.v2~x", "prod-eu_1.v2~x"},  // unreserved characters go as they are
        {"ABCxyz0189", "ABCxyz0189"},
        {"../trust-keys", "..%2Ftrust-keys"},
        {"a/b?x", "a%2Fb%3Fx"},
        {"a#b", "a%23b"},
        {"50%", "50%25"},
        {"team a", "team%20a"},
        {"..", "%2E%2E"},
        {".", "%2E"},
        {"...", "..."},
        {"\xC3\xA9t\xC3\xA9", "%C3%A9t%C3%A9"},
        {std::string("x\r\ny\0", 5), "x%0D%0Ay%00"},
        {"", ""},
    };
    for (const auto& [scope, segment] : cases) {
        EXPECT_EQ(ps::path_segment(scope), segment) << vorelcore_error::debug_quoted(scope);
        EXPECT_EQ(ps::ruleset_url("http://h:1", scope), "http://h:1/v1/scopes/" + segment + "/ruleset");
    }
}

// ------------------------------------------------------ the substitute service

std::filesystem::path stub_path() {
    if (const char* path = std::getenv("VOREL_POLICY_STUB")) return path;
    return VOREL_POLICY_STUB_PATH;
}

using Clock = std::chrono::steady_clock;

// Reads from `fd` until `done(buffer)` or end of file or the deadline.
void read_until(int fd, std::string& buffer, Clock::time_point deadline, bool (*done)(const std::string&)) {
    char chunk[4096];
    while (!done(buffer)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) return;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

// One run of vorel-policy-stub on an ephemeral loopback port. The stub ends
// when its standard input closes (so it cannot outlive this process), and
// every wait here has a deadline.
class PolicyStub {
public:
    explicit PolicyStub(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
        std::vector<std::string> argv_strings{stub_path().string()};
        argv_strings.insert(argv_strings.end(), args.begin(), args.end());
        argv_strings.push_back("--stop-on-stdin-eof");
        std::vector<char*> argv;
        for (auto& a : argv_strings) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        if (rc != 0) {
            pid_ = -1;
            stop();
            throw std::runtime_error("cannot start " + argv_strings[0]);
        }
        read_until(stdout_, output_, Clock::now() + std::chrono::seconds(10),
                   [](const std::string& b) { return b.find('\n') != std::string::npos; });
        const auto eol = output_.find('\n');
        const std::string prefix = "listening on ";
        if (eol == std::string::npos || !output_.starts_with(prefix)) {
            stop();
            throw std::runtime_error("the stub did not report its port: " + output_);
        }
        url_ = output_.substr(prefix.size(), eol - prefix.size());
        output_.erase(0, eol + 1);
    }
    ~PolicyStub() { stop(); }
    PolicyStub(const PolicyStub&) = delete;
    PolicyStub& operator=(const PolicyStub&) = delete;

    // As the stub reported it, e.g. http://127.0.0.1:40123
    const std::string& url() const { return url_; }

    // Stops the stub and returns the requests it logged, one line each.
    std::vector<std::string> stop() {
        if (stdin_ >= 0) {
            ::close(stdin_);
            stdin_ = -1;
        }
        if (stdout_ >= 0) {
            read_until(stdout_, output_, Clock::now() + std::chrono::seconds(10),
                       [](const std::string& b) { return b.ends_with("stopped\n"); });
            ::close(stdout_);
            stdout_ = -1;
        }
        if (pid_ > 0) {
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            int status = 0;
            while (::waitpid(pid_, &status, WNOHANG) == 0) {
                if (Clock::now() > deadline) {
                    ::kill(pid_, SIGKILL);
                    ::waitpid(pid_, &status, 0);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            pid_ = -1;
        }
        std::vector<std::string> lines;
        std::istringstream in(output_);
        for (std::string line; std::getline(in, line);) {
            if (line != "stopped") lines.push_back(line);
        }
        return lines;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    std::string url_;
    std::string output_;
};

// A loopback port with nothing listening on it (bound, read, released).
int unused_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::string ruleset_json(const std::string& effect) {
    return R"({"ruleset_id": "aa11bb22-cc33-4d44-8e55-ff6677889900", "product_id": "voreldeploy", "version": 3,
  "rules": [{"rule_id": "deploys", "action": "voreldeploy:deployment.promote",
             "facts": {"change_ticket": {"op": "present"}}, "effect": ")" + effect + R"("}]})";
}

class PolicyServiceSource : public ::testing::Test {
protected:
    ScratchDir dir;
    SigningKey release_key = SigningKey::from_bytes({1, 2, 3});
    SigningKey bundle_key = SigningKey::from_bytes({4, 5, 6});
    SigningKey other_key = SigningKey::from_bytes({7, 8, 9});
    KeyId bundle_key_id = *KeyId::parse("0f1e2d3c-4b5a-4697-8877-665544332211");
    KeyId other_key_id = *KeyId::parse("a1a2a3a4-b5b6-4c7c-8d8d-e9e0f1f2f3f4");
    std::string pubkey = razavovivodidi::hex_encode(release_key.verifying_key().to_bytes());
    std::string manifest, request, plan, allow_answer;

    void SetUp() override {
        vorel_test::register_secret(kToken);
        manifest = vorel_test::write_signed_manifest(dir, release_key);
        request = vorel_test::write_request_fields(dir);
        std::string text = slurp(vorel_test::source_dir() / "examples/plan.json");
        text.replace(text.find("\"staging\""), 9, "\"sandbox\"");
        plan = dir.write("plan.json", text).string();
        allow_answer = ruleset_answer("allow.json", signed_bundle(ruleset_json("allow"), bundle_key, bundle_key_id));
    }

    std::string hex(const SigningKey& key) const { return razavovivodidi::hex_encode(key.verifying_key().to_bytes()); }

    std::string key_entry(const KeyId& id, const std::string& key_hex, const std::string& status) const {
        return R"({"key_id": ")" + id.to_string() + R"(", "verifying_key_hex": )" +
               vorelcore_json::to_pretty(key_hex) + R"(, "status": ")" + status + "\"}";
    }

    // The envelope JSON of a bundle around `ruleset`.
    std::string signed_bundle(const std::string& ruleset, const SigningKey& key, const KeyId& key_id) const {
        auto body = vorelcore_json::from_text<vorelpolicy_bundle::bundle::PolicyBundleBody>(
            R"({"bundle_id": "3c1d5e7f-9a2b-4c4d-8e6f-0a1b2c3d4e5f", "tenant_id": "0b8e2a34-6c1d-4f7e-a5b9-3d2c1e0f9a82",
                "pack_name": "deploy-baseline", "ruleset": )" + ruleset + R"(,
                "controls": [{"control_code": "CM-3", "category": "deployment", "title": "Change control"}],
                "created_at": "2026-12-01T09:00:00Z", "publisher": "policy-team"})");
        EXPECT_TRUE(body) << body.error();
        auto envelope = vorelpolicy_bundle::bundle::SignedPolicyBundle::sign(
            std::move(*body), key_id, Timestamp::now(), key, {"product:voreldeploy", "purpose:policy-bundle"});
        EXPECT_TRUE(envelope);
        return vorelcore_json::to_pretty(*envelope);
    }

    std::string ruleset_answer(const std::string& name, const std::string& bundle,
                               const std::string& head = R"("pack_name": "deploy-baseline", "version": 7, )") {
        return dir.write(name, "{" + head + "\"bundle\": " + bundle + "}").string();
    }

    std::string keys_file(const std::string& name, const std::vector<std::string>& entries) {
        std::string json = "[";
        for (std::size_t i = 0; i < entries.size(); ++i) json += (i ? ",\n " : "") + entries[i];
        return dir.write(name, json + "]").string();
    }

    std::string good_keys() {
        return keys_file("keys.json", {key_entry(bundle_key_id, hex(bundle_key), "active"),
                                       key_entry(other_key_id, hex(other_key), "rotating")});
    }

    std::vector<std::string> stub_args(const std::string& keys, const std::map<std::string, std::string>& scopes) const {
        std::vector<std::string> args{"--token", kToken, "--trust-keys", keys};
        for (const auto& [scope, file] : scopes) {
            args.push_back("--scope");
            args.push_back(scope + "=" + file);
        }
        return args;
    }

    // `plan simulate` with the given policy-source flags; proxies are kept
    // out of the way so loopback requests go straight to the stub.
    CliResult simulate(const std::vector<std::string>& source_flags,
                       std::map<std::string, std::optional<std::string>> env = {}) const {
        std::vector<std::string> args{"plan", "simulate", "--input", plan, "--manifest", manifest,
                                      "--pubkey", pubkey, "--policy-input", request};
        args.insert(args.end(), source_flags.begin(), source_flags.end());
        for (const char* proxy : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            env.emplace(proxy, std::nullopt);
        }
        return vorel_test::run_cli(args, env);
    }

    static std::vector<std::string> service(const std::string& url, const std::string& scope,
                                            const std::string& token = kToken) {
        return {"--policy-service-url", url, "--policy-service-scope", scope, "--policy-service-token", token};
    }
};

std::string cleared_line() { return "CLEARED: plan " + kPlanId + " for Sandbox may run\n"; }

TEST_F(PolicyServiceSource, ClearsThroughTheServiceWhichTakesPriorityOverTheFileFlags) {
    // The signer's id twice (the later entry, blank-padded upper-case hex, wins)
    // and one more key: two distinct key ids.
    std::string padded = hex(bundle_key);
    for (char& c : padded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    padded = " \t" + padded + "\u00a0\n";
    const std::string keys = keys_file("keys.json", {key_entry(bundle_key_id, hex(other_key), "revoked"),
                                                     key_entry(other_key_id, hex(other_key), "active"),
                                                     key_entry(bundle_key_id, padded, "deprecated")});
    PolicyStub stub(stub_args(keys, {{"prod-eu", allow_answer}}));
    const std::string url = stub.url() + "///";
    auto flags = service(url, "prod-eu");
    for (const std::string f : {"--policy-ruleset", "--trust-store"}) {
        flags.push_back(f);
        flags.push_back((dir / "never-read.json").string());
    }
    const CliResult r = simulate(flags);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "policy ruleset source: vorelpolicy-service " + url +
                         " scope=prod-eu (verified locally against 2 fetched trust key(s))\n" + cleared_line());
    EXPECT_EQ(stub.stop(), (std::vector<std::string>{"GET /v1/trust-keys -> 200",
                                                     "GET /v1/scopes/prod-eu/ruleset -> 200"}));
}

TEST_F(PolicyServiceSource, TakesUrlScopeAndTokenFromTheEnvironment) {
    PolicyStub stub(stub_args(good_keys(), {{"prod-eu", allow_answer}}));
    const CliResult r = simulate({}, {{"VORELDEPLOY_POLICY_SERVICE_URL", stub.url()},
                                      {"VORELDEPLOY_POLICY_SERVICE_SCOPE", "prod-eu"},
                                      {"VORELDEPLOY_POLICY_SERVICE_TOKEN", kToken}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "policy ruleset source: vorelpolicy-service " + stub.url() +
                         " scope=prod-eu (verified locally against 2 fetched trust key(s))\n" + cleared_line());
}

TEST_F(PolicyServiceSource, EveryRefusalEndsTheRunBeforeAnyVerdict) {
    const std::string revoked_keys = keys_file("revoked.json", {key_entry(bundle_key_id, hex(bundle_key), "revoked")});
    const std::string no_keys = keys_file("none.json", {});
    const std::string short_key =
        keys_file("short.json", {key_entry(bundle_key_id, hex(bundle_key).substr(1), "active")});
    const std::string g_key =
        keys_file("g.json", {key_entry(bundle_key_id, "g" + hex(bundle_key).substr(1), "active")});
    const std::string off_curve = keys_file("off-curve.json", {key_entry(bundle_key_id, std::string(64, 'f'), "active")});
    const std::string no_status = dir.write("no-status.json", R"([{"key_id": ")" + bundle_key_id.to_string() +
                                                                  R"(", "verifying_key_hex": ")" + hex(bundle_key) + "\"}]")
                                      .string();
    const std::string no_pack_name = ruleset_answer(
        "no-pack.json", signed_bundle(ruleset_json("allow"), bundle_key, bundle_key_id), R"("version": 7, )");
    std::string tampered_bundle = signed_bundle(ruleset_json("allow"), bundle_key, bundle_key_id);
    tampered_bundle.replace(tampered_bundle.find("\"policy-team\""), 13, "\"someone-else\"");
    const std::string tampered = ruleset_answer("tampered.json", tampered_bundle);
    const std::string warn = ruleset_answer("warn.json", signed_bundle(ruleset_json("warn"), bundle_key, bundle_key_id));
    const std::string latin1 = "[\"caf\xe9\"]";  // not UTF-8
    const std::string latin1_keys = dir.write("latin1-keys.json", latin1).string();
    const std::string latin1_answer = dir.write("latin1-answer.json", latin1).string();

    struct Case {
        const char* name;
        std::string keys;
        std::string answer;            // served for the scope "prod-eu"
        std::string scope = "prod-eu";  // requested
        std::string token = kToken;     // sent
        std::string err_start;          // after "error: "; {url} is the stub's base URL
        std::vector<std::string> requests;
    };
    const std::string keys_ok = "GET /v1/trust-keys -> 200";
    const std::string ruleset_ok = "GET /v1/scopes/prod-eu/ruleset -> 200";
    const std::vector<Case> cases{
        {"wrong token", good_keys(), allow_answer, "prod-eu", "not-" + kToken,
         "GET {url}/v1/trust-keys: HTTP status 401 (client error)\n", {"GET /v1/trust-keys -> 401"}},
        {"unknown scope", good_keys(), allow_answer, "staging", kToken,
         "GET {url}/v1/scopes/staging/ruleset: HTTP status 404 (client error)\n",
         {keys_ok, "GET /v1/scopes/staging/ruleset -> 404"}},
        {"revoked signer", revoked_keys, allow_answer, "prod-eu", kToken, kUntrusted.substr(7), {keys_ok, ruleset_ok}},
        {"empty key list", no_keys, allow_answer, "prod-eu", kToken, kUntrusted.substr(7), {keys_ok, ruleset_ok}},
        {"63-character key", short_key, allow_answer, "prod-eu", kToken,
         "expected a 64-character hex Ed25519 public key, got 63 characters\n", {keys_ok}},
        {"key with a g", g_key, allow_answer, "prod-eu", kToken,
         "expected a 64-character hex Ed25519 public key, got 64 characters\n", {keys_ok}},
        {"key off the curve", off_curve, allow_answer, "prod-eu", kToken,
         "validation failed: invalid ed25519 public key: ", {keys_ok}},
        {"trust keys that are not UTF-8", latin1_keys, allow_answer, "prod-eu", kToken,
         "reading trust-keys response body: stream did not contain valid UTF-8\n", {keys_ok}},
        {"ruleset answer that is not UTF-8", good_keys(), latin1_answer, "prod-eu", kToken,
         "reading ruleset response body: stream did not contain valid UTF-8\n", {keys_ok, ruleset_ok}},
        {"key entry without status", no_status, allow_answer, "prod-eu", kToken,
         "parsing VorelPolicy trust-keys response: missing field `status` at line 1 column ", {keys_ok}},
        {"ruleset answer without pack_name", good_keys(), no_pack_name, "prod-eu", kToken,
         "parsing VorelPolicy ruleset response: missing field `pack_name` at line ", {keys_ok, ruleset_ok}},
        {"bundle altered after signing", good_keys(), tampered, "prod-eu", kToken,
         "VorelPolicy bundle failed local verification: envelope verification failed: signature verification "
         "failed\n",
         {keys_ok, ruleset_ok}},
        {"structurally invalid ruleset", good_keys(), warn, "prod-eu", kToken,
         "VorelPolicy bundle failed local verification: ruleset failed structural validation: rule \"deploys\" "
         "declares effect Warn",
         {keys_ok, ruleset_ok}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PolicyStub stub(stub_args(c.keys, {{"prod-eu", c.answer}}));
        const CliResult r = simulate(service(stub.url(), c.scope, c.token));
        std::string expected = "error: " + c.err_start;
        if (const auto at = expected.find("{url}"); at != std::string::npos) expected.replace(at, 5, stub.url());
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with(expected)) << "expected: " << expected << "\n     got: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const std::string& secret : {kToken, c.token}) {
            EXPECT_THAT(r.out + r.err, Not(HasSubstr(secret)));
        }
        EXPECT_EQ(stub.stop(), c.requests);
    }
}

TEST_F(PolicyServiceSource, ScopesCannotLeaveTheirPathSegment) {
    const std::string team_answer = allow_answer;
    PolicyStub stub(stub_args(good_keys(), {{"team a/b", team_answer}}));
    struct Case {
        std::string scope;
        std::string segment;
    };
    const Case unknown[] = {{"../trust-keys", "..%2Ftrust-keys"}, {"a/b?x", "a%2Fb%3Fx"}, {"..", "%2E%2E"}};
    std::vector<std::string> expected_log;
    for (const Case& c : unknown) {
        const CliResult r = simulate(service(stub.url(), c.scope));
        EXPECT_EQ(r.status, 1) << c.scope;
        EXPECT_EQ(r.err, "error: GET " + stub.url() + "/v1/scopes/" + c.segment +
                             "/ruleset: HTTP status 404 (client error)\n");
        expected_log.push_back("GET /v1/trust-keys -> 200");
        expected_log.push_back("GET /v1/scopes/" + c.segment + "/ruleset -> 404");
    }
    // Encoded on the way out, decoded by the service: the same scope.
    const CliResult r = simulate(service(stub.url(), "team a/b"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "policy ruleset source: vorelpolicy-service " + stub.url() +
                         " scope=team a/b (verified locally against 2 fetched trust key(s))\n" + cleared_line());
    expected_log.push_back("GET /v1/trust-keys -> 200");
    expected_log.push_back("GET /v1/scopes/team%20a%2Fb/ruleset -> 200");
    EXPECT_EQ(stub.stop(), expected_log);
}

TEST_F(PolicyServiceSource, RefusedBeforeAnyRequest) {
    PolicyStub stub(stub_args(good_keys(), {{"prod-eu", allow_answer}}));
    const std::vector<std::string> file_flags{"--policy-ruleset", (dir / "r.json").string(), "--trust-store",
                                              (dir / "t.json").string()};
    const auto with_files = [&](std::vector<std::string> flags) {
        flags.insert(flags.end(), file_flags.begin(), file_flags.end());
        return flags;
    };
    const std::string token_refusal =
        "error: --policy-service-token contains a control character (such as a line break), which cannot be sent "
        "in a request header; no request was made\n";
    const std::string closed = "http://127.0.0.1:" + std::to_string(unused_port());
    struct Case {
        const char* name;
        std::vector<std::string> flags;
        std::string err_start;
        std::vector<std::string> secrets;  // must not appear in the output
    };
    const std::vector<Case> cases{
        {"url without scope", with_files({"--policy-service-url", stub.url(), "--policy-service-token", kToken}),
         "error: --policy-service-url requires --policy-service-scope\n", {kToken}},
        {"url without token", with_files({"--policy-service-url", stub.url(), "--policy-service-scope", "prod-eu"}),
         "error: --policy-service-url requires --policy-service-token\n", {}},
        {"token with CR LF", service(stub.url(), "prod-eu", kToken + "\r\nX-Injected: 1"), token_refusal,
         {kToken, "X-Injected"}},
        {"token with LF", service(stub.url(), "prod-eu", "abc\ndef"), token_refusal, {"abc"}},
        {"token with TAB", service(stub.url(), "prod-eu", "abc\tdef"), token_refusal, {"abc"}},
        {"token with DEL", service(stub.url(), "prod-eu", "abc\x7f" "def"), token_refusal, {"abc"}},
        {"file URL", service("file:///etc", "prod-eu"),
         "error: GET file:///etc/v1/trust-keys: only http:// and https:// URLs are fetched\n", {kToken}},
        {"nothing listening", service(closed, "prod-eu"), "error: GET " + closed + "/v1/trust-keys: ", {kToken}},
    };
    for (const Case& c : cases) {
        const CliResult r = simulate(c.flags);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_TRUE(r.err.starts_with(c.err_start)) << c.name << "\n  got: " << r.err;
        for (const std::string& secret : c.secrets) EXPECT_THAT(r.err, Not(HasSubstr(secret))) << c.name;
    }
    EXPECT_EQ(stub.stop(), std::vector<std::string>{});
}

// The stub's TLS works for a client that trusts its certificate; the program
// trusts only the system's CA certificates and refuses it.
TEST_F(PolicyServiceSource, HttpsServerWithASelfSignedCertificateIsRefused) {
    const std::string cert = (dir / "cert.pem").string();
    const std::string key = (dir / "key.pem").string();
    const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
                                "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                key + "' -out '" + cert + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "openssl could not make a test certificate";
    std::vector<std::string> args = stub_args(good_keys(), {{"prod-eu", allow_answer}});
    for (const std::string& a : {std::string("--cert"), cert, std::string("--key"), key}) args.push_back(a);
    PolicyStub stub(args);
    ASSERT_TRUE(stub.url().starts_with("https://127.0.0.1:")) << stub.url();

    {
        CURL* curl = curl_easy_init();
        ASSERT_NE(curl, nullptr);
        std::string body;
        const std::string header = "Authorization: Bearer " + kToken;
        curl_slist* headers = curl_slist_append(nullptr, header.c_str());
        const std::string url = stub.url() + "/v1/trust-keys";
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CAINFO, cert.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* d, std::size_t s, std::size_t n, void* u) {
            static_cast<std::string*>(u)->append(d, s * n);
            return s * n;
        });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        const CURLcode rc = curl_easy_perform(curl);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        ASSERT_EQ(rc, CURLE_OK) << curl_easy_strerror(rc);
        EXPECT_EQ(status, 200);
        EXPECT_TRUE(body.starts_with("{\"data\": [")) << body;
    }

    const CliResult r = simulate(service(stub.url(), "prod-eu"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("error: GET " + stub.url() + "/v1/trust-keys: ")) << r.err;
    EXPECT_THAT(r.err, HasSubstr("certificate"));
    EXPECT_THAT(r.err, Not(HasSubstr(kToken)));
    // Only the trusting client's request got through.
    EXPECT_EQ(stub.stop(), std::vector<std::string>{"GET /v1/trust-keys -> 200"});
}

}  // namespace
