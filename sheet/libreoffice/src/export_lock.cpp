#include "export_lock.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backoff.h"

namespace veltrano::sheet {

namespace {

constexpr const char* kLockFile = "/veltrano-export.lock";

// A directory (not a link) of ours whose mode lets nobody else write to it,
// or, with `private_only`, do anything in it.
bool directory_of_ours(const std::string& path, bool private_only) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) return false;
    return (st.st_mode & (private_only ? 077 : 022)) == 0;
}

}  // namespace

std::string export_lock_directory(const char* runtime_dir, const std::string& fallback) {
    if (runtime_dir != nullptr && runtime_dir[0] == '/' && directory_of_ours(runtime_dir, false)) return runtime_dir;
    if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        throw std::system_error(errno, std::generic_category(), "mkdir " + fallback);
    }
    if (!directory_of_ours(fallback, true)) {
        throw std::system_error(EPERM, std::generic_category(), fallback + " is not a private directory of ours");
    }
    return fallback;
}

std::string export_lock_directory() {
    return export_lock_directory(std::getenv("XDG_RUNTIME_DIR"), "/tmp/veltrano-" + std::to_string(getuid()));
}

std::optional<ExportLock> ExportLock::acquire(const std::string& directory, Clock::time_point deadline) {
    const std::string path = directory + kLockFile;
    UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) throw std::system_error(errno, std::generic_category(), "open " + path);
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) throw std::system_error(errno, std::generic_category(), "fstat " + path);
    if (!S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        throw std::system_error(EPERM, std::generic_category(), path + " is not a file of ours");
    }
    // flock has no timeout of its own: poll it.
    Backoff backoff;
    for (;;) {
        if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return ExportLock(std::move(fd));
        if (errno != EWOULDBLOCK && errno != EINTR) throw std::system_error(errno, std::generic_category(), "flock " + path);
        if (!backoff.wait(deadline)) return std::nullopt;
    }
}

ExportLock::~ExportLock() {
    if (fd_) flock(fd_.get(), LOCK_UN);
}

ExportLock& ExportLock::operator=(ExportLock&& other) noexcept {
    if (this != &other) {
        if (fd_) flock(fd_.get(), LOCK_UN);
        fd_ = std::move(other.fd_);
    }
    return *this;
}

}  // namespace veltrano::sheet
