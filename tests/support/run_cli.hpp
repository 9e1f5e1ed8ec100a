#pragma once
// Runs the built program as an operator would: real argv, a chosen
// environment, standard input closed, and both output streams captured.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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

// `env` overrides (a value) or removes (no value) variables of this process's
// environment; every VORELDEPLOY_ variable is removed unless named, so tests
// never depend on the caller's shell. Safe to call from several threads at
// once: each call captures into files of its own.
inline CliResult run_cli(const std::vector<std::string>& args,
                         const std::map<std::string, std::optional<std::string>>& env = {}) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vorel-run-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    static std::atomic<unsigned> calls{0};
    const std::string call = std::to_string(calls++);
    const fs::path out_path = dir / ("stdout-" + call);
    const fs::path err_path = dir / ("stderr-" + call);

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

    std::vector<std::string> argv_strings{cli_path().string()};
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
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("posix_spawn failed");
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);

    CliResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return result;
}

// A fresh scratch directory per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        std::string templ = (std::filesystem::temp_directory_path() / "vorel-test-XXXXXX").string();
        if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = templ;
    }
    ~ScratchDir() {
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
        return file;
    }

private:
    std::filesystem::path path_;
};

}  // namespace vorel_test
