#pragma once
// Runs the built program as an operator would: real argv, a chosen
// environment, standard input closed, and both output streams captured.
//
// It also keeps the secrets a test hands the program (seeds, passphrases,
// bearer tokens): every run's output and every file left under a ScratchDir
// is checked for them, raw and in the hex and base64 forms the program could
// print them in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace vorel_test {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// The program under test and the source tree: compiled in by the build,
// overridable through VOREL_CLI / VOREL_SOURCE_DIR.
inline std::filesystem::path cli_path() {
    if (const char* path = std::getenv("VOREL_CLI")) return path;
#ifdef VOREL_CLI_PATH
    return VOREL_CLI_PATH;
#else
    throw std::runtime_error("this test binary was not built to run the program");
#endif
}

inline std::filesystem::path source_dir() {
    if (const char* path = std::getenv("VOREL_SOURCE_DIR")) return path;
    return VOREL_SOURCE_DIR_PATH;
}

inline std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

// ------------------------------------------------------------------ secrets

// Shorter values cannot be told apart from ordinary text.
constexpr std::size_t kMinSecretBytes = 8;

inline std::string ascii_lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

inline std::string hex_of(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// The bytes a text of hex digits stands for, when it is one.
inline std::optional<std::string> bytes_of_hex(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        };
        const int hi = digit(text[i]);
        const int lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

// The base64 characters that encode `bytes` wherever they sit in a longer
// encoded text: for each of the three alignments, only the characters that
// depend on nothing but these bytes.
inline std::vector<std::string> base64_runs(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::string> runs;
    for (std::size_t shift = 0; shift < 3; ++shift) {
        std::string padded(shift, '\0');
        padded.append(bytes);
        std::string encoded;
        std::uint32_t bits = 0;
        int held = 0;
        for (const unsigned char b : padded) {
            bits = (bits << 8) | b;
            held += 8;
            while (held >= 6) {
                held -= 6;
                encoded += kAlphabet[(bits >> held) & 63];
            }
        }
        const std::size_t first = (8 * shift + 5) / 6;  // characters touching the padding are dropped
        if (encoded.size() <= first) continue;
        std::string run = encoded.substr(first);
        if (run.size() < kMinSecretBytes) continue;
        runs.push_back(run);
        std::string url = run;  // the URL-safe alphabet
        std::replace(url.begin(), url.end(), '+', '-');
        std::replace(url.begin(), url.end(), '/', '_');
        if (url != run) runs.push_back(url);
    }
    return runs;
}

// Every spelling of `secret` that must never appear. A secret written in hex
// (a seed) is also looked for as its bytes and their base64; any other secret
// as its hex and base64. Text is compared ignoring ASCII case, except base64.
struct SecretForms {
    std::vector<std::string> caseless;
    std::vector<std::string> exact;
};

inline SecretForms secret_forms(const std::string& secret) {
    SecretForms forms;
    forms.caseless.push_back(ascii_lower(secret));
    if (const auto bytes = bytes_of_hex(secret)) {
        forms.exact.push_back(*bytes);
        for (auto& run : base64_runs(*bytes)) forms.exact.push_back(std::move(run));
    } else {
        forms.caseless.push_back(hex_of(secret));
        for (auto& run : base64_runs(secret)) forms.exact.push_back(std::move(run));
    }
    return forms;
}

// Which of `secrets` `text` holds, in any form; empty when none.
inline std::vector<std::string> leaked_secrets(const std::string& text, const std::vector<std::string>& secrets) {
    std::vector<std::string> found;
    const std::string lowered = ascii_lower(text);
    for (const std::string& secret : secrets) {
        const SecretForms forms = secret_forms(secret);
        const bool caseless = std::ranges::any_of(forms.caseless, [&](const std::string& f) {
            return lowered.find(f) != std::string::npos;
        });
        const bool exact = std::ranges::any_of(forms.exact, [&](const std::string& f) {
            return text.find(f) != std::string::npos;
        });
        if (caseless || exact) found.push_back(secret);
    }
    return found;
}

// The secrets of the test now running. Kept per test, so a test binary run
// as a whole does not carry one test's secrets into the next.
class SecretRegistry {
public:
    static SecretRegistry& instance() {
        static SecretRegistry registry;
        return registry;
    }
    void add(std::string secret) {
        const std::lock_guard lock(mutex_);
        sync();
        if (secret.empty()) return;  // an empty passphrase is not a value that can leak
        if (secret.size() < kMinSecretBytes) {
            ADD_FAILURE() << "a secret of " << secret.size() << " byte(s) is too short to be looked for; use at least "
                          << kMinSecretBytes;
            return;
        }
        if (std::ranges::find(secrets_, secret) == secrets_.end()) secrets_.push_back(std::move(secret));
    }
    // A copy: programs started from several threads check their output at once.
    std::vector<std::string> secrets() {
        const std::lock_guard lock(mutex_);
        sync();
        return secrets_;
    }

private:
    void sync() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        if (test != owner_) {
            owner_ = test;
            secrets_.clear();
        }
    }
    std::mutex mutex_;
    const ::testing::TestInfo* owner_ = nullptr;
    std::vector<std::string> secrets_;
};

// Call for every seed, passphrase or token a test gives the program.
inline void register_secret(std::string secret) { SecretRegistry::instance().add(std::move(secret)); }

// Fails the test when `text` holds a registered secret; `where` names it.
inline void check_no_secret(const std::string& text, const std::string& where) {
    for (const std::string& secret : leaked_secrets(text, SecretRegistry::instance().secrets())) {
        ADD_FAILURE() << where << " holds a secret the test supplied (" << secret.size() << " bytes, starting "
                      << secret.substr(0, 4) << "...)";
    }
}

// -------------------------------------------------------------- the program

// A program started and not yet waited for; its output goes to two files.
class CliProcess {
public:
    // `env` overrides (a value) or removes (no value) variables of this
    // process's environment; every VORELDEPLOY_ variable is removed unless
    // named, so tests never depend on the caller's shell. `launcher`, when
    // given, is a program (absolute path) and its arguments put in front of
    // the command line, such as a tool that drops privileges.
    CliProcess(const std::vector<std::string>& args, const std::map<std::string, std::optional<std::string>>& env,
               const std::vector<std::string>& launcher = {}) {
        namespace fs = std::filesystem;
        // Several threads may start programs at once: each gets files of its own.
        static std::atomic<unsigned> counter{0};
        dir_ = fs::temp_directory_path() / ("vorel-run-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::create_directories(dir_);
        command_ = args;

        std::vector<std::string> env_strings;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('='));
            if (name.rfind("VORELDEPLOY_", 0) == 0 || env.contains(name)) continue;
            env_strings.push_back(std::move(entry));
        }
        for (const auto& [name, value] : env) {
            if (value) env_strings.push_back(name + "=" + *value);
        }

        std::vector<std::string> argv_strings = launcher;
        argv_strings.push_back(cli_path().string());
        argv_strings.insert(argv_strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_strings) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : env_strings) envp.push_back(e.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (dir_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) throw std::runtime_error("posix_spawn failed for " + argv_strings[0]);
    }
    ~CliProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t pid() const { return pid_; }
    void kill(int signal) const { ::kill(pid_, signal); }

    // Waits for the program to end. A program still running after `limit`
    // is killed and the test fails: no input may make it hang.
    CliResult wait(std::chrono::seconds limit = std::chrono::seconds(300)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int wstatus = 0;
        long pause_ns = 100'000;
        for (;;) {
            const pid_t done = ::waitpid(pid_, &wstatus, WNOHANG);
            if (done == pid_) break;
            if (done < 0) throw std::runtime_error("waitpid failed");
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the program did not finish and was killed: " << command_line();
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &wstatus, 0);
                break;
            }
            const timespec pause{0, pause_ns};
            ::nanosleep(&pause, nullptr);
            pause_ns = std::min(pause_ns * 2, 20'000'000L);
        }
        pid_ = -1;
        CliResult result;
        result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        result.out = slurp(dir_ / "stdout");
        result.err = slurp(dir_ / "stderr");
        check_no_secret(result.out, "standard output of: " + command_line());
        check_no_secret(result.err, "standard error of: " + command_line());
        return result;
    }

private:
    std::string command_line() const {
        std::string line = "razavovivodidi";
        for (const auto& a : command_) line += " " + a;
        return line;
    }

    std::filesystem::path dir_;
    std::vector<std::string> command_;
    pid_t pid_ = -1;
};

inline CliResult run_cli(const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& env = {}) {
    return CliProcess(args, env).wait();
}

// The launcher that runs the program as an unprivileged user (nobody) when
// the tests run as root, for whom permission bits stop nothing; empty when
// the tests already run unprivileged. nullopt when root cannot drop
// privileges here (no setpriv).
inline std::optional<std::vector<std::string>> unprivileged_launcher() {
    if (::geteuid() != 0) return std::vector<std::string>{};
    if (::access("/usr/bin/setpriv", X_OK) != 0) return std::nullopt;
    return std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

// A fresh scratch directory per test, removed afterwards. Before it goes,
// every file left in it is checked for the test's secrets, except the files
// the test wrote itself through `write` (while they still hold what the test
// wrote) and those it names with `holds_secret` (a seed file it made).
class ScratchDir {
public:
    // Files larger than this are artifact payloads and their copies, not
    // documents; they are the operator's own bytes.
    static constexpr std::uintmax_t kLargestScanned = 16u << 20;

    ScratchDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "vorel-test-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = templ;
    }
    ~ScratchDir() {
        scan_for_secrets();
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    std::filesystem::path write(const std::string& name, const std::string& content) const {
        const auto file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        written_[file.lexically_normal()] = content;
        return file;
    }

    void holds_secret(const std::filesystem::path& file) const { exempt_.insert(file.lexically_normal()); }

    void scan_for_secrets() const {
        namespace fs = std::filesystem;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(path_, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec)) {
            const fs::path file = it->path().lexically_normal();
            if (!it->is_regular_file(ec) || it->is_symlink(ec) || exempt_.contains(file)) continue;
            if (it->file_size(ec) > kLargestScanned) continue;
            const std::string content = slurp(file);
            if (const auto own = written_.find(file); own != written_.end() && own->second == content) continue;
            check_no_secret(content, "file " + file.string());
        }
    }

private:
    std::filesystem::path path_;
    mutable std::map<std::filesystem::path, std::string> written_;
    mutable std::set<std::filesystem::path> exempt_;
};

}  // namespace vorel_test
