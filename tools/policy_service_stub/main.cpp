// vorel-policy-stub: a small stand-in for the policy service, for tests and
// demonstrations on one machine. It serves
//
//   GET /v1/trust-keys              {"data": <contents of --trust-keys FILE>}
//   GET /v1/scopes/{scope}/ruleset  {"data": <contents of the scope's FILE>}
//
// to requests that carry "Authorization: Bearer <--token>" (401 otherwise),
// and 404 for an unknown scope or path. The files are read at each request
// and inserted as they are, so a test can serve any answer, broken ones
// included. It listens on a loopback address only, prints
// "listening on http://HOST:PORT" once it accepts connections (PORT is an
// ephemeral port unless --port names one), and logs one line per request,
// "GET <target as received> -> <status>", on standard output.
#include <httplib.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view kUsage =
    "usage: vorel-policy-stub --token TOKEN --trust-keys FILE [--scope NAME=FILE]...\n"
    "                         [--host 127.0.0.1|::1] [--port PORT] [--cert FILE --key FILE]\n"
    "                         [--stop-on-stdin-eof]\n";

struct Options {
    std::string token;
    std::string trust_keys;
    std::map<std::string, std::string> scopes;  // scope -> file of its ruleset answer
    std::string host = "127.0.0.1";
    int port = 0;
    std::optional<std::string> cert;
    std::optional<std::string> key;
    bool stop_on_stdin_eof = false;
};

std::optional<Options> parse_options(int argc, char** argv) {
    Options options;
    bool have_token = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view flag = argv[i];
        if (flag == "--stop-on-stdin-eof") {
            options.stop_on_stdin_eof = true;
            continue;
        }
        if (i + 1 >= argc) return std::nullopt;
        const std::string value = argv[++i];
        if (flag == "--token") {
            options.token = value;
            have_token = true;
        } else if (flag == "--trust-keys") {
            options.trust_keys = value;
        } else if (flag == "--scope") {
            const auto eq = value.find('=');
            if (eq == std::string::npos) return std::nullopt;
            options.scopes[value.substr(0, eq)] = value.substr(eq + 1);
        } else if (flag == "--host") {
            options.host = value;
        } else if (flag == "--port") {
            try {
                options.port = std::stoi(value);
            } catch (const std::exception&) {
                return std::nullopt;
            }
        } else if (flag == "--cert") {
            options.cert = value;
        } else if (flag == "--key") {
            options.key = value;
        } else {
            return std::nullopt;
        }
    }
    if (!have_token || options.trust_keys.empty() || options.port < 0 || options.port > 65535 ||
        options.cert.has_value() != options.key.has_value()) {
        return std::nullopt;
    }
    return options;
}

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percent_decode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex_value(text[i + 1]);
        const int low = hex_value(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// Shared with the threads that wait for a stop request; those are never
// joined, so what they touch lives as long as the process.
std::atomic<bool> g_stop_requested = false;
sigset_t g_stop_signals;

void answer(httplib::Response& res, int status, const std::string& body) {
    res.status = status;
    res.set_content(body, "application/json");
}

void serve(const Options& options, const httplib::Request& req, httplib::Response& res) {
    // Routing works on the target exactly as received, before any decoding,
    // so a scope is always one path segment.
    std::string_view path = req.target;
    path = path.substr(0, path.find('?'));

    if (req.method != "GET") return answer(res, 405, R"({"error": "method not allowed"})");
    if (req.get_header_value("Authorization") != "Bearer " + options.token) {
        return answer(res, 401, R"({"error": "unauthorized"})");
    }
    if (path == "/v1/trust-keys") {
        auto keys = read_file(options.trust_keys);
        if (!keys) return answer(res, 500, R"({"error": "trust keys file unreadable"})");
        return answer(res, 200, "{\"data\": " + *keys + "}");
    }
    constexpr std::string_view prefix = "/v1/scopes/";
    constexpr std::string_view suffix = "/ruleset";
    if (path.starts_with(prefix) && path.ends_with(suffix) && path.size() > prefix.size() + suffix.size()) {
        const std::string_view segment = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
        if (segment.find('/') == std::string_view::npos) {
            const auto scope = percent_decode(segment);
            const auto found = scope ? options.scopes.find(*scope) : options.scopes.end();
            if (found == options.scopes.end()) return answer(res, 404, R"({"error": "unknown scope"})");
            auto ruleset = read_file(found->second);
            if (!ruleset) return answer(res, 500, R"({"error": "ruleset file unreadable"})");
            return answer(res, 200, "{\"data\": " + *ruleset + "}");
        }
    }
    answer(res, 404, R"({"error": "not found"})");
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parse_options(argc, argv);
    if (!options) {
        std::cerr << kUsage;
        return 2;
    }
    if (options->host != "127.0.0.1" && options->host != "::1") {
        std::cerr << "vorel-policy-stub: listens on a loopback address only (127.0.0.1 or ::1)\n";
        return 2;
    }

    // Stop requests arrive as SIGINT/SIGTERM (taken by one thread with
    // sigwait) or, when asked for, as the end of standard input; every
    // other thread has them blocked.
    sigemptyset(&g_stop_signals);
    sigaddset(&g_stop_signals, SIGINT);
    sigaddset(&g_stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &g_stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<httplib::Server> server;
    if (options->cert) {
        auto tls = std::make_unique<httplib::SSLServer>(options->cert->c_str(), options->key->c_str());
        if (!tls->is_valid()) {
            std::cerr << "vorel-policy-stub: cannot use the certificate and key given\n";
            return 1;
        }
        server = std::move(tls);
    } else {
        server = std::make_unique<httplib::Server>();
    }
    server->set_pre_routing_handler([&](const httplib::Request& req, httplib::Response& res) {
        serve(*options, req, res);
        std::cout << req.method << ' ' << req.target << " -> " << res.status << std::endl;
        return httplib::Server::HandlerResponse::Handled;
    });

    int port = options->port;
    if (port == 0) {
        port = server->bind_to_any_port(options->host);
        if (port < 0) port = 0;
    } else if (!server->bind_to_port(options->host, port)) {
        port = 0;
    }
    if (port == 0) {
        std::cerr << "vorel-policy-stub: cannot listen on " << options->host << '\n';
        return 1;
    }

    std::atomic<bool> finished = false;
    std::thread([] {
        int signal_number = 0;
        sigwait(&g_stop_signals, &signal_number);
        g_stop_requested = true;
    }).detach();
    if (options->stop_on_stdin_eof) {
        std::thread([] {
            char buffer[256];
            while (true) {
                const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (n == 0 || (n < 0 && errno != EINTR)) break;
            }
            g_stop_requested = true;
        }).detach();
    }
    // Keeps asking the server to stop until it has (a request that comes
    // before the accept loop started would otherwise be lost).
    std::thread stopper([&] {
        while (!finished) {
            if (g_stop_requested) server->stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    const std::string scheme = options->cert ? "https" : "http";
    const std::string host = options->host == "::1" ? "[::1]" : options->host;
    std::cout << "listening on " << scheme << "://" << host << ':' << port << std::endl;
    const bool ok = server->listen_after_bind();
    finished = true;
    stopper.join();
    std::cout << "stopped" << std::endl;
    return ok || g_stop_requested ? 0 : 1;
}
