#include "document_io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "vorelcore_error/text.hpp"

namespace razavovivodidi {
namespace fs = std::filesystem;

namespace {

// Closes a descriptor on every path out of a function.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the error close may carry (late write errors).
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Follows a chain of symbolic links to the path that would really be
// written; a link to a missing file resolves to that missing file.
std::expected<fs::path, int> resolve_links(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) return std::unexpected(ec.value());
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::unexpected(ELOOP);
}

mode_t current_umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace


std::expected<std::string, std::string> read_text_file(const fs::path& path) {
    const auto fail = [&](const std::string& why) {
        return std::unexpected("reading " + path.string() + ": " + why);
    };
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return fail(os_error_text(errno));
    std::string text;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        text.reserve(static_cast<std::size_t>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(os_error_text(errno));
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (vorelcore_error::check_utf8(text)) return fail("stream did not contain valid UTF-8");
    return text;
}

namespace {

// Why a replacement failed: the system error code, and whether it came from
// creating the missing parent directories rather than from the file itself.
struct ReplaceFailure {
    int code = 0;
    bool creating_parent = false;
};

std::expected<void, ReplaceFailure> replace_file(const fs::path& path, std::string_view bytes,
                                                 std::optional<mode_t> mode) {
    const auto fail = [](int code) { return std::unexpected(ReplaceFailure{code, false}); };

    if (const fs::path parent = path.parent_path(); !parent.empty()) {
        std::error_code ec;
        fs::create_directories(parent, ec);
        if (ec) return std::unexpected(ReplaceFailure{ec.value(), true});
    }

    const auto resolved = resolve_links(path);
    if (!resolved) return fail(resolved.error());
    const fs::path& target = *resolved;

    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // Not a file we could replace (a FIFO, a terminal, /dev/stdout, or a
        // directory, which fails here with the system's own words).
        Fd fd(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        if (fd.get() < 0) return fail(errno);
        if (!write_all(fd.get(), bytes)) return fail(errno);
        if (fd.close() != 0) return fail(errno);
        return {};
    }

    const mode_t bits = mode ? *mode : exists ? (st.st_mode & 07777) : (0666 & ~current_umask());
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0) return fail(errno);
    const auto abandon = [&](int code) {
        ::unlink(temp.c_str());
        return fail(code);
    };
    if (::fchmod(fd.get(), bits) != 0) return abandon(errno);
    if (!write_all(fd.get(), bytes)) return abandon(errno);
    if (::fsync(fd.get()) != 0) return abandon(errno);
    if (fd.close() != 0) return abandon(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) return abandon(errno);

    // Make the rename itself durable.
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    Fd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.get() >= 0) ::fsync(dir_fd.get());
    return {};
}

}  // namespace

std::expected<void, std::string> write_file(const fs::path& path, std::string_view bytes, std::optional<mode_t> mode) {
    auto replaced = replace_file(path, bytes, mode);
    if (replaced) return {};
    // A parent directory that cannot be made is reported in the system's
    // own words, with no prefix.
    if (replaced.error().creating_parent) return std::unexpected(os_error_text(replaced.error().code));
    return std::unexpected("writing " + path.string() + ": " + os_error_text(replaced.error().code));
}

std::expected<void, std::string> write_raw_file(const fs::path& path, std::string_view bytes) {
    auto replaced = replace_file(path, bytes, std::nullopt);
    if (!replaced) return std::unexpected(os_error_text(replaced.error().code));
    return {};
}

}  // namespace razavovivodidi
