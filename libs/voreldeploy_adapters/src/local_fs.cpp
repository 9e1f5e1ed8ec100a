#include "voreldeploy_adapters/local_fs.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <expected>
#include <memory>
#include <optional>
#include <utility>

#include "vorelcore_error/text.hpp"

namespace voreldeploy_adapters::local_fs {

namespace fs = std::filesystem;
using vorelcore_crypto::hash::Blake3Hasher;
using vorelcore_crypto::hash::ContentHash;
using voreldeploy_contracts::run::Applied;
using voreldeploy_contracts::run::Failed;
using voreldeploy_contracts::run::StepOutcome;
using voreldeploy_contracts::run::Verified;
using voreldeploy_contracts::target::TargetType;
using namespace voreldeploy_contracts::plan;

namespace {

// Payloads move through a buffer of this size; memory use does not depend
// on the artifact's size.
constexpr std::size_t kChunk = 1 << 20;
// An ACTIVE file larger than this cannot hold an artifact id.
constexpr std::size_t kMaxActiveBytes = 4096;

AdapterError io_error(int code) { return Io{vorelcore_error::os_error_text(code)}; }

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&&) = delete;
    int get() const { return fd_; }
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

// Reads up to `buffer.size()` bytes; 0 at end of file, -1 with errno set.
ssize_t read_some(int fd, std::vector<std::uint8_t>& buffer) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Opens a file for reading only when it is a regular file. Without this a
// FIFO would block the open for ever and a device such as /dev/zero would
// never reach its end; the non-blocking open lets the type be checked first.
// Fails with the errno of the failure, or 0 for a file of another type.
std::expected<Fd, int> open_regular(const fs::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) return std::unexpected(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return std::unexpected(errno);
    if (S_ISDIR(st.st_mode)) return std::unexpected(EISDIR);
    if (!S_ISREG(st.st_mode)) return std::unexpected(0);
    return fd;
}

AdapterError open_error(int code) { return code == 0 ? AdapterError(Io{"not a regular file"}) : io_error(code); }

// BLAKE3 of what is left to read from `fd`, read in chunks.
AdapterResult<ContentHash> hash_fd(int fd) {
    Blake3Hasher hasher;
    std::vector<std::uint8_t> buffer(kChunk);
    for (;;) {
        const ssize_t n = read_some(fd, buffer);
        if (n < 0) return std::unexpected(io_error(errno));
        if (n == 0) break;
        hasher.update(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
    }
    return hasher.finalize();
}

AdapterResult<ContentHash> hash_file(const fs::path& path) {
    auto fd = open_regular(path);
    if (!fd) return std::unexpected(open_error(fd.error()));
    return hash_fd(fd->get());
}

// Starts writing a file being filled to disk as it grows, a stretch at a
// time, without waiting. Left alone, the kernel would hold a large copy in
// memory and only begin writing it when the caller flushes, so the whole
// write would be waited for at the end; started early, it proceeds while
// the rest is copied and re-hashed. Only a hint: the flush before the file
// is published is what makes it durable.
class EarlyWriteback {
public:
    explicit EarlyWriteback(int fd) : fd_(fd) {}
    void wrote(std::size_t bytes) {
        written_ += static_cast<off_t>(bytes);
        if (written_ - started_ < kStretch) return;
        ::sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
        started_ = written_;
    }

private:
    static constexpr off_t kStretch = off_t{8} << 20;
    int fd_;
    off_t written_ = 0;
    off_t started_ = 0;
};

// Copies what is left to read from `in` to `out` in chunks, in the kernel
// when it can.
bool copy_fd_to(int in, int out) {
    EarlyWriteback writeback(out);
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
        if (n > 0) {
            writeback.wrote(static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) return false;
        break;  // not possible between these files: copy through a buffer from here on
    }
    std::vector<std::uint8_t> buffer(kChunk);
    for (;;) {
        const ssize_t n = read_some(in, buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        if (!write_all(out, buffer.data(), static_cast<std::size_t>(n))) return false;
        writeback.wrote(static_cast<std::size_t>(n));
    }
}

void sync_directory(const fs::path& dir) {
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

AdapterResult<void> make_directories(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return std::unexpected(io_error(ec.value()));
    return {};
}

// Writes `temp` with `fill` and starts writing it back to disk without
// waiting, so the flush overlaps whatever the caller does next (re-hashing
// the file). The descriptor stays open for `publish`. A failure removes it.
template <class Fill>
AdapterResult<Fd> write_temp(const fs::path& temp, Fill fill) {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) return std::unexpected(io_error(errno));
    if (!fill(fd.get())) {
        const int code = errno;
        ::unlink(temp.c_str());
        return std::unexpected(io_error(code));
    }
    ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    return fd;
}

// Waits until the temporary file is on disk, renames it over `target` and
// flushes the directory, so the new content is durable before anyone can
// see it under the name.
AdapterResult<void> publish(Fd fd, const fs::path& temp, const fs::path& target) {
    if (::fsync(fd.get()) != 0 || fd.close() != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return std::unexpected(io_error(code));
    }
    sync_directory(target.parent_path());
    return {};
}

bool file_exists(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

AdapterResult<void> check_target(const voreldeploy_contracts::target::DeployTarget& target) {
    if (target.target_type != TargetType::LocalFilesystem) return std::unexpected(WrongTargetType{target.target_type});
    return {};
}

bool is_health_step(const DeploymentStepKind& step) {
    return std::holds_alternative<HealthCheck>(step) || std::holds_alternative<WaitForHealthy>(step);
}

bool is_unsupported_step(const DeploymentStepKind& step) {
    return std::holds_alternative<ApplyMigration>(step) || std::holds_alternative<SetConfigReference>(step) ||
           std::holds_alternative<ScaleReplicas>(step);
}

// The artifact metadata must be present and name the step's artifact.
AdapterResult<const voreldeploy_contracts::artifact::ReleaseArtifact*> step_artifact(const AdapterRequest& request) {
    if (request.artifact == nullptr) return std::unexpected(MissingArtifactMetadata{});
    if (request.artifact->id != std::get<ApplyArtifact>(request.step).artifact_id) {
        return std::unexpected(ArtifactMismatch{});
    }
    return request.artifact;
}

}  // namespace

AdapterResult<std::optional<voreldeploy_contracts::ids::ArtifactId>> parse_active_pointer(std::string_view text) {
    if (text.size() > kMaxActiveBytes) return std::unexpected(CorruptState{"ACTIVE pointer is not a valid artifact id"});
    if (vorelcore_error::check_utf8(text)) return std::unexpected(Io{"stream did not contain valid UTF-8"});
    const std::string_view trimmed = vorelcore_error::trim_unicode_whitespace(text);
    if (trimmed.empty()) return std::nullopt;
    auto id = voreldeploy_contracts::ids::ArtifactId::parse(trimmed);
    if (!id) return std::unexpected(CorruptState{"ACTIVE pointer is not a valid artifact id"});
    return *id;
}

fs::path LocalFilesystemAdapter::release_path(const ArtifactId& id) const {
    return root_ / "releases" / (id.to_string() + ".bin");
}

AdapterResult<std::optional<LocalFilesystemAdapter::ArtifactId>> LocalFilesystemAdapter::read_active() const {
    auto fd = open_regular(root_ / "ACTIVE");
    if (!fd) {
        if (fd.error() == ENOENT) return std::nullopt;
        return std::unexpected(open_error(fd.error()));
    }
    std::vector<std::uint8_t> buffer(kMaxActiveBytes + 1);
    std::string text;
    for (;;) {
        const ssize_t n = read_some(fd->get(), buffer);
        if (n < 0) return std::unexpected(io_error(errno));
        if (n == 0) break;
        text.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(n));
        if (text.size() > kMaxActiveBytes) return std::unexpected(CorruptState{"ACTIVE pointer is not a valid artifact id"});
    }
    return parse_active_pointer(text);
}

AdapterResult<void> LocalFilesystemAdapter::write_active(const std::optional<ArtifactId>& id) const {
    if (auto made = make_directories(root_); !made) return made;
    const std::string text = id ? id->to_string() : std::string();
    const fs::path temp = root_ / ".ACTIVE.tmp";
    auto written = write_temp(temp, [&](int fd) {
        return write_all(fd, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    });
    if (!written) return std::unexpected(std::move(written.error()));
    return publish(std::move(*written), temp, root_ / "ACTIVE");
}

AdapterResult<StepOutcome> LocalFilesystemAdapter::verify_active() const {
    auto active = read_active();
    if (!active) return std::unexpected(std::move(active.error()));
    if (!*active) return Failed{"no active release on this target"};
    const fs::path path = release_path(**active);
    if (const auto recorded = applied_.find(**active); recorded != applied_.end()) {
        auto hash = hash_file(path);
        if (!hash) return std::unexpected(std::move(hash.error()));
        if (!hash->ct_eq(recorded->second)) return Failed{"active release digest no longer matches what was applied"};
        return Verified{};
    }
    if (!file_exists(path)) return Failed{"active release is not present on disk"};
    return Verified{};
}

AdapterResult<StepOutcome> LocalFilesystemAdapter::apply_artifact(const AdapterRequest& request) {
    auto artifact = step_artifact(request);
    if (!artifact) return std::unexpected(std::move(artifact.error()));
    if (request.payload == nullptr) return std::unexpected(MissingPayload{});
    const auto& declared = (*artifact)->artifact_hash;
    const ArtifactId& id = (*artifact)->id;

    // A payload file is opened once, and hashed and copied through that one
    // descriptor: what is copied is the file that was hashed, even if its
    // name is removed or pointed elsewhere in between.
    const auto* bytes = std::get_if<PayloadBytes>(request.payload);
    std::optional<Fd> source;
    if (bytes == nullptr) {
        auto opened = open_regular(std::get<PayloadFile>(*request.payload).path);
        if (!opened) return std::unexpected(open_error(opened.error()));
        source.emplace(std::move(*opened));
    }

    // Nothing is written for bytes that do not match their declared digest.
    auto payload_hash = bytes != nullptr ? AdapterResult<ContentHash>(vorelcore_crypto::hash::blake3_hash(bytes->bytes))
                                         : hash_fd(source->get());
    if (!payload_hash) return std::unexpected(std::move(payload_hash.error()));
    if (!payload_hash->ct_eq(declared)) return Failed{"artifact payload does not match its declared digest"};
    if (source && ::lseek(source->get(), 0, SEEK_SET) != 0) return std::unexpected(io_error(errno));

    const fs::path releases = root_ / "releases";
    if (auto made = make_directories(releases); !made) return std::unexpected(std::move(made.error()));
    const fs::path temp = releases / ("." + id.to_string() + ".tmp");
    const fs::path target = release_path(id);
    auto written = write_temp(temp, [&](int fd) {
        if (bytes != nullptr) return write_all(fd, bytes->bytes.data(), bytes->bytes.size());
        return copy_fd_to(source->get(), fd);
    });
    if (!written) return std::unexpected(std::move(written.error()));

    // The payload could have changed between hashing and copying, or the
    // write could have gone wrong: the written bytes are checked again
    // before they get the release's name, so that name never holds bytes
    // that do not match.
    auto on_disk = hash_file(temp);
    if (!on_disk) {
        ::unlink(temp.c_str());
        return std::unexpected(std::move(on_disk.error()));
    }
    if (!on_disk->ct_eq(declared)) {
        ::unlink(temp.c_str());
        return Failed{"materialised artifact failed post-write digest verification"};
    }
    if (auto published = publish(std::move(*written), temp, target); !published) {
        return std::unexpected(std::move(published.error()));
    }

    auto previous = read_active();
    if (!previous) return std::unexpected(std::move(previous.error()));
    if (auto activated = write_active(id); !activated) return std::unexpected(std::move(activated.error()));
    applied_.insert_or_assign(id, declared);
    history_.push_back(*previous);
    return Applied{};
}

AdapterResult<StepOutcome> LocalFilesystemAdapter::apply(const AdapterRequest& request) {
    if (auto ok = check_target(request.target); !ok) return std::unexpected(std::move(ok.error()));
    if (std::holds_alternative<ValidateTarget>(request.step)) {
        if (auto made = make_directories(root_); !made) return std::unexpected(std::move(made.error()));
        return Applied{};
    }
    if (is_health_step(request.step)) return verify_active();
    if (is_unsupported_step(request.step)) return std::unexpected(UnsupportedStep{std::string(step_label(request.step))});
    return apply_artifact(request);
}

AdapterResult<StepOutcome> LocalFilesystemAdapter::verify(const AdapterRequest& request) const {
    if (auto ok = check_target(request.target); !ok) return std::unexpected(std::move(ok.error()));
    if (std::holds_alternative<ValidateTarget>(request.step) || is_health_step(request.step)) return verify_active();
    if (is_unsupported_step(request.step)) return std::unexpected(UnsupportedStep{std::string(step_label(request.step))});

    auto artifact = step_artifact(request);
    if (!artifact) return std::unexpected(std::move(artifact.error()));
    const fs::path path = release_path((*artifact)->id);
    if (!file_exists(path)) return Failed{"no materialised artifact found on disk for this id"};
    auto hash = hash_file(path);
    if (!hash) return std::unexpected(std::move(hash.error()));
    if (!hash->ct_eq((*artifact)->artifact_hash)) return Failed{"materialised artifact digest does not match the declared hash"};
    return Verified{};
}

AdapterResult<void> LocalFilesystemAdapter::rollback(const voreldeploy_contracts::target::DeployTarget& target) {
    if (auto ok = check_target(target); !ok) return ok;
    if (history_.empty()) return std::unexpected(NothingToRollBack{});
    const std::optional<ArtifactId> previous = history_.back();
    history_.pop_back();
    if (!previous) return write_active(std::nullopt);
    const auto recorded = applied_.find(*previous);
    if (recorded == applied_.end()) return std::unexpected(NothingToRollBack{});
    const fs::path path = release_path(*previous);
    if (!file_exists(path)) return std::unexpected(RollbackTargetMissing{});
    auto hash = hash_file(path);
    if (!hash) return std::unexpected(std::move(hash.error()));
    if (!hash->ct_eq(recorded->second)) return std::unexpected(RollbackTargetCorrupted{});
    return write_active(*previous);
}

}  // namespace voreldeploy_adapters::local_fs
