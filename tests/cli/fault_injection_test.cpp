// The program against a hostile or failing file system, end to end: target
// directories it may not write, a `releases` path that is a file, payloads
// that are missing or are not files, a full file system, a process killed
// in the middle of a deployment, and every document writer failing. Each
// case checks the exit status, the one error line, and what is on disk
// afterwards: the previous release stays active and no written file is ever
// left half-written.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../support/run_cli.hpp"
#include "deploy_fixtures.hpp"
#include "document_io.hpp"
#include "hex.hpp"
#include "keystore.hpp"
#include "policy_fixtures.hpp"
#include "vorelcore_crypto/hash.hpp"
#include "voreldeploy_contracts/plan.hpp"

namespace {

namespace fs = std::filesystem;
using vorel_test::CliProcess;
using vorel_test::CliResult;
using vorel_test::ScratchDir;
using vorel_test::slurp;
using Artifact = voreldeploy_contracts::artifact::ReleaseArtifact;
namespace plan = voreldeploy_contracts::plan;

// The secret key of the third Ed25519 test vector of RFC 8032.
const std::string kSeed = "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7";
const std::string kPassphrase = "correct horse battery staple, faulted";
const std::string kNoSpace = "No space left on device (os error 28)";
const std::string kDenied = "Permission denied (os error 13)";

// Every file under `dir` with its content: two snapshots are equal when
// nothing was added, removed or changed.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = slurp(entry.path());
    }
    return files;
}

// Temporary files anywhere under `dir`.
std::vector<std::string> temp_files(const fs::path& dir) {
    std::vector<std::string> found;
    if (!fs::exists(dir)) return found;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.path().filename().string().find(".tmp") != std::string::npos) found.push_back(entry.path().string());
    }
    return found;
}

std::string step_failed(std::size_t index, const std::string& reason) {
    return "  step " + std::to_string(index) + " [apply_artifact] -> Failed { reason_redacted: \"filesystem operation "
           "failed: " + reason + "\" }\n";
}

// A tmpfs of a few MiB mounted for one test and unmounted when it goes.
// Mounting needs root and a machine that allows it; `why_not` says what
// was missing.
class SmallFilesystem {
public:
    SmallFilesystem(const fs::path& at, const std::string& size) : at_(at) {
        fs::create_directories(at);
        if (::geteuid() != 0) {
            why_not_ = "mounting a tmpfs needs root (running as uid " + std::to_string(::geteuid()) + ")";
        } else if (::mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()) != 0) {
            why_not_ = std::string("this machine refused to mount a tmpfs: ") + std::strerror(errno);
        } else {
            mounted_ = true;
        }
    }
    ~SmallFilesystem() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why_not() const { return why_not_; }

    // Takes all the free space, so the next byte anyone writes fails.
    void fill() const {
        const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(1 << 16, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        const int code = errno;
        ::close(fd);
        ASSERT_EQ(code, ENOSPC);
    }

private:
    fs::path at_;
    bool mounted_ = false;
    std::string why_not_;
};

class Faults : public ::testing::Test {
protected:
    ScratchDir dir;
    Artifact old_app = vorel_test::make_artifact("release one\n");
    Artifact new_app = vorel_test::make_artifact("release two\n");
    std::string target, root;

    void SetUp() override {
        vorel_test::register_secret(kSeed);
        // Readable by the unprivileged user some cases run the program as.
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
        dir.write("payloads/old.bin", "release one\n");
        dir.write("payloads/new.bin", "release two\n");
        target = vorel_test::write_target(dir, "local_filesystem");
        root = (dir / "root").string();
    }

    std::string bundle(const std::string& new_payload = "new.bin", const std::string& name = "payloads/bundle.json") {
        return vorel_test::write_bundle(dir, {{old_app, "old.bin"}, {new_app, new_payload}}, name);
    }

    CliResult start(const std::string& artifacts, const plan::DeploymentStepKind& step, const std::string& at,
                    std::vector<std::string> extra = {}, const std::vector<std::string>& launcher = {}) {
        const std::string plan_path = vorel_test::write_approved_plan(dir, {plan::ValidateTarget{}, step});
        std::vector<std::string> args{"run", "start", "--plan", plan_path, "--seed", kSeed, "--target", target,
                                      "--root-dir", at, "--artifacts", artifacts};
        args.insert(args.end(), extra.begin(), extra.end());
        return CliProcess(args, {}, launcher).wait();
    }

    CliResult deploy(const Artifact& artifact, const std::string& at, const std::string& artifacts) {
        return start(artifacts, plan::ApplyArtifact{artifact.id}, at);
    }

    // A run whose second step failed: exit 0, nothing on standard error,
    // the step line with `reason`, and the run finished Failed.
    static void expect_failed_apply(const CliResult& r, const std::string& reason) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find(step_failed(1, reason)), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(" finished: Failed\n"), std::string::npos) << r.out;
    }

    // ACTIVE names `active`, its release verifies, and nothing temporary is left.
    void expect_active(const std::string& at, const Artifact& active, const std::string& artifacts) {
        EXPECT_EQ(slurp(fs::path(at) / "ACTIVE"), active.id.to_string());
        const CliResult verified = vorel_test::run_cli({"target", "verify-artifact", "--root-dir", at, "--artifacts",
                                                        artifacts, "--artifact-id", active.id.to_string()});
        EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
        EXPECT_EQ(temp_files(at), std::vector<std::string>{});
    }

    fs::path release_file(const std::string& at, const Artifact& a) const {
        return fs::path(at) / "releases" / (a.id.to_string() + ".bin");
    }
};

// ------------------------------------------------------------ the payload

// Payload entries that are not readable files. Each fails the step with the
// system's words and leaves the release that was active in place; a FIFO or
// a device would otherwise block or never end.
TEST_F(Faults, APayloadThatIsNotAReadableFileFailsTheStepAndKeepsTheActiveRelease) {
    const std::string good = bundle();
    ASSERT_EQ(deploy(old_app, root, good).status, 0);
    fs::create_directories(dir / "payloads/a-directory");
    ASSERT_EQ(::mkfifo((dir / "payloads/a-fifo").c_str(), 0644), 0);
    struct Case {
        std::string payload;
        std::string reason;
    } const cases[] = {
        {"vanished.bin", "No such file or directory (os error 2)"},
        {"a-directory", "Is a directory (os error 21)"},
        {"a-fifo", "not a regular file"},
        {"/dev/zero", "not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload);
        expect_failed_apply(start(bundle(c.payload, "payloads/faulty.json"), plan::ApplyArtifact{new_app.id}, root),
                            c.reason);
        EXPECT_FALSE(fs::exists(release_file(root, new_app)));
        expect_active(root, old_app, good);
    }
}

TEST_F(Faults, AReleasesPathThatIsAFileFailsTheStepAndIsLeftAlone) {
    dir.write("root/releases", "not a directory");
    const std::string artifacts = bundle();
    expect_failed_apply(start(artifacts, plan::ApplyArtifact{old_app.id}, root), "Not a directory (os error 20)");
    EXPECT_EQ(slurp(dir / "root/releases"), "not a directory");
    EXPECT_FALSE(fs::exists(dir / "root/ACTIVE"));

    const CliResult verified = vorel_test::run_cli({"target", "verify-artifact", "--root-dir", root, "--artifacts",
                                                    artifacts, "--artifact-id", old_app.id.to_string()});
    EXPECT_EQ(verified.status, 1);
    EXPECT_EQ(verified.out, "FAIL: artifact " + old_app.id.to_string() +
                                " did not verify \u2014 no materialised artifact found on disk for this id\n");
    EXPECT_EQ(verified.err, "error: artifact " + old_app.id.to_string() + " failed digest verification\n");
}

// ------------------------------------------------------ permission bits

// Run as an unprivileged user: permission bits mean nothing to root.
TEST_F(Faults, WithoutPermissionTheStepFailsAndTheActiveReleaseStays) {
    const auto launcher = vorel_test::unprivileged_launcher();
    if (!launcher) GTEST_SKIP() << "running as root and /usr/bin/setpriv is missing: cannot drop privileges";
    const std::string good = bundle();
    ASSERT_EQ(deploy(old_app, root, good).status, 0);  // owned by this user: read-only to the other one

    dir.write("payloads/locked.bin", "release two\n");
    ASSERT_EQ(::chmod((dir / "payloads/locked.bin").c_str(), 0), 0);
    const std::string own_root = (dir / "own-root").string();
    fs::create_directories(own_root);
    ASSERT_EQ(::chown(own_root.c_str(), 65534, 65534), 0) << std::strerror(errno);

    struct Case {
        std::string name;
        std::string payload;
        std::string at;  // the target directory
    } const cases[] = {
        {"a target directory it may not write", "new.bin", root},
        {"a payload it may not read", "locked.bin", own_root},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = snapshot(c.at);
        expect_failed_apply(start(bundle(c.payload, "payloads/faulty.json"), plan::ApplyArtifact{new_app.id}, c.at,
                                  {}, *launcher),
                            kDenied);
        EXPECT_EQ(snapshot(c.at), before);
    }
    expect_active(root, old_app, good);
}

// ------------------------------------------------------ a full file system

TEST_F(Faults, AnArtifactLargerThanTheFreeSpaceIsNeverActivatedAndLeavesNothingBehind) {
    const SmallFilesystem small(dir / "small", "4m");
    if (!small.mounted()) GTEST_SKIP() << small.why_not();
    const std::string at = (dir / "small/root").string();
    const std::string big(8 << 20, 'B');
    new_app = vorel_test::make_artifact(big);
    dir.write("payloads/new.bin", big);
    const std::string artifacts = bundle();
    ASSERT_EQ(deploy(old_app, at, artifacts).status, 0);
    const auto before = snapshot(at);

    const std::string run_doc = (dir / "small/run.json").string();
    const CliResult r = start(artifacts, plan::ApplyArtifact{new_app.id}, at, {"--out", run_doc});
    expect_failed_apply(r, kNoSpace);
    EXPECT_EQ(snapshot(at), before);
    expect_active(at, old_app, artifacts);
    // The space the partial copy took is free again: the run document fits.
    EXPECT_NE(slurp(run_doc).find("\"status\": \"failed\""), std::string::npos);

    // And the target still takes a release that fits.
    const Artifact small_app = vorel_test::make_artifact("release three\n");
    dir.write("payloads/three.bin", "release three\n");
    const std::string three = vorel_test::write_bundle(dir, {{small_app, "three.bin"}}, "payloads/three.json");
    EXPECT_EQ(deploy(small_app, at, three).status, 0);
    expect_active(at, small_app, three);
}

// ------------------------------------------------------ killed mid-deploy

// The process is killed while a large release is being written. Whenever
// the kill lands, ACTIVE names the old or the new release, that release is
// complete, and the next run deploys normally.
TEST_F(Faults, AKilledDeploymentLeavesAWholeReleaseActiveAndTheNextRunWorks) {
    constexpr std::size_t kMiB = 1 << 20;
    constexpr std::size_t kSize = 256 * kMiB;
    {
        std::ofstream out(dir / "payloads/new.bin", std::ios::binary);
        vorelcore_crypto::hash::Blake3Hasher hasher;
        std::string block(kMiB, '\0');
        for (std::size_t i = 0; i < kSize / kMiB; ++i) {
            for (std::size_t j = 0; j < block.size(); j += 64) block[j] = static_cast<char>(i + j / 64);
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
            hasher.update(std::string_view(block));
        }
        new_app.artifact_hash = hasher.finalize();
    }
    const std::string artifacts = bundle();
    ASSERT_EQ(deploy(old_app, root, artifacts).status, 0);

    const std::string plan_path = vorel_test::write_approved_plan(dir, {plan::ApplyArtifact{new_app.id}}, "big.json");
    const std::vector<std::string> args{"run", "start", "--plan", plan_path, "--seed", kSeed, "--target", target,
                                        "--root-dir", root, "--artifacts", artifacts};
    const fs::path temp = fs::path(root) / "releases" / ("." + new_app.id.to_string() + ".tmp");
    bool killed_while_writing = false;
    {
        CliProcess process(args, {});
        // Wait for the release's temporary file to start growing, or for
        // the program to end on its own.
        for (;;) {
            std::error_code ec;
            if (fs::file_size(temp, ec) > 0 && !ec) {
                killed_while_writing = true;
                break;
            }
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(process.pid()), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                info.si_pid != 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        process.kill(SIGKILL);
        (void)process.wait();
    }
    if (!killed_while_writing) std::cout << "note: the run finished before it could be killed mid-write\n";

    const std::string active = slurp(fs::path(root) / "ACTIVE");
    ASSERT_TRUE(active == old_app.id.to_string() || active == new_app.id.to_string()) << active;
    const CliResult verified = vorel_test::run_cli(
        {"target", "verify-artifact", "--root-dir", root, "--artifacts", artifacts, "--artifact-id", active});
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;

    const CliResult again = vorel_test::run_cli(args);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find(" finished: Succeeded\n"), std::string::npos) << again.out;
    expect_active(root, new_app, artifacts);
}

// ------------------------------------------------------ document writers

// Every command that writes a document, each over an existing document in
// a directory that cannot take it: the command fails with one "writing"
// line, the old document is intact and no temporary file is left.
class FailingWriters : public Faults {
protected:
    std::string manifest, key_file, ruleset;

    void SetUp() override {
        Faults::SetUp();
        vorel_test::register_secret(kPassphrase);
        manifest = (vorel_test::source_dir() / "examples/manifest.json").string();
        ruleset = dir.write("ruleset.json", vorel_test::ruleset_json("allow")).string();
        key_file = (dir / "ruleset-key.json").string();
        const CliResult made =
            vorel_test::run_cli({"ruleset", "keygen", "--out", key_file, "--passphrase", kPassphrase});
        ASSERT_EQ(made.status, 0) << made.err;
        auto file = razavovivodidi::read_json<razavovivodidi::keystore::SealedSigningKeyFile>(key_file);
        ASSERT_TRUE(file) << file.error();
        auto key = razavovivodidi::keystore::unseal_signing_key(*file, kPassphrase,
                                                                vorelcore_contracts::time::Timestamp::now());
        ASSERT_TRUE(key) << key.error();
        vorel_test::register_secret(razavovivodidi::hex_encode(key->seed()));
        fs::create_directories(root);
    }

    struct Writer {
        std::string name;
        std::string previous;  // what the destination holds before
        std::function<std::vector<std::string>(const std::string& out)> args;
    };

    std::vector<Writer> writers() {
        const std::string store =
            R"({"signers": [{"name": "policy-team", "pubkey_hex": ")" + std::string(64, 'a') +
            R"(", "added_at": "2026-01-01T00:00:00Z"}]})";
        const std::string pubkey = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
        const std::string plan_path = vorel_test::write_approved_plan(dir, {plan::ValidateTarget{}}, "validate.json");
        return {
            {"manifest sign", "an earlier envelope",
             [=, this](const std::string& out) {
                 return std::vector<std::string>{"manifest", "sign", "--input", manifest, "--seed", kSeed, "--out", out};
             }},
            {"trust add", store,
             [=](const std::string& out) {
                 return std::vector<std::string>{"trust", "add", "--store", out, "--name", "release-team", "--pubkey",
                                                 pubkey};
             }},
            {"ruleset keygen", "an earlier key file",
             [](const std::string& out) {
                 return std::vector<std::string>{"ruleset", "keygen", "--out", out, "--passphrase", kPassphrase};
             }},
            {"ruleset sign", "an earlier signed ruleset",
             [this](const std::string& out) {
                 return std::vector<std::string>{"ruleset", "sign", "--input", ruleset, "--signing-key", key_file,
                                                 "--passphrase", kPassphrase, "--out", out};
             }},
            {"run start", "an earlier run",
             [=, this](const std::string& out) {
                 return std::vector<std::string>{"run", "start", "--plan", plan_path, "--seed", kSeed, "--target",
                                                 target, "--root-dir", root, "--artifacts", bundle(), "--out", out};
             }},
        };
    }

    // Runs every writer with its destination in `where` and expects the
    // write to fail with `reason`.
    void expect_every_writer_fails(const fs::path& where, const std::string& reason,
                                   const std::vector<std::string>& launcher = {}) {
        const auto cases = writers();
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const Writer& w = cases[i];
            SCOPED_TRACE(w.name);
            const std::string out = (where / ("doc-" + std::to_string(i) + ".json")).string();
            const auto before = snapshot(where);
            const CliResult r = CliProcess(w.args(out), {}, launcher).wait();
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_EQ(r.err, "error: writing " + out + ": " + reason + "\n");
            EXPECT_EQ(slurp(out), w.previous);
            EXPECT_EQ(snapshot(where), before);
        }
    }

    void write_previous(const fs::path& where) {
        const auto cases = writers();
        for (std::size_t i = 0; i < cases.size(); ++i) {
            dir.write(fs::relative(where / ("doc-" + std::to_string(i) + ".json"), dir.path()).string(),
                      cases[i].previous);
        }
    }
};

TEST_F(FailingWriters, OnAFullFileSystemEveryWriterKeepsTheOldDocument) {
    const SmallFilesystem small(dir / "small", "1m");
    if (!small.mounted()) GTEST_SKIP() << small.why_not();
    write_previous(dir / "small");
    small.fill();
    expect_every_writer_fails(dir / "small", kNoSpace);
}

TEST_F(FailingWriters, InADirectoryItMayNotWriteEveryWriterKeepsTheOldDocument) {
    const auto launcher = vorel_test::unprivileged_launcher();
    if (!launcher) GTEST_SKIP() << "running as root and /usr/bin/setpriv is missing: cannot drop privileges";
    const fs::path locked = dir / "locked";
    write_previous(locked);
    // Readable by everyone, writable by nobody but this user; the key file
    // the unprivileged user signs with must be readable to it.
    ASSERT_EQ(::chmod(locked.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(key_file.c_str(), 0644), 0);
    ASSERT_EQ(::chown(root.c_str(), 65534, 65534), 0);
    expect_every_writer_fails(locked, kDenied, *launcher);
}

}  // namespace
