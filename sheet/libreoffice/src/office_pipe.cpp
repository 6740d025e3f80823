#include "office_pipe.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace veltrano::sheet {

namespace {

// The kernel's flag of a listening socket in /proc/net/unix (__SO_ACCEPTCON).
constexpr unsigned long kAcceptingConnections = 0x10000;

bool has_passwd_entry(uid_t uid) {
    std::vector<char> buffer(1024);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
        if (error != ERANGE) return error == 0 && found != nullptr;
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string office_pipe_path(const std::string& name) {
    std::string dir;
    if (access("/tmp", W_OK) == 0) {
        dir = "/tmp";
    } else if (access("/var/tmp", W_OK) == 0) {
        dir = "/var/tmp";
    } else if (const char* configured = std::getenv("OSL_SOCKET_PATH")) {
        dir = configured;
    }
    const uid_t uid = getuid();
    if (!has_passwd_entry(uid)) return dir + "/OSL_PIPE_" + name;
    return dir + "/OSL_PIPE_" + std::to_string(uid) + "_" + name;
}

PipeAttempt connect_office_pipe(const std::string& path, PipeOwner owner) {
    using Result = PipeAttempt::Result;
    const auto found = [](Result result, uid_t other_uid = 0) {
        PipeAttempt attempt;
        attempt.result = result;
        attempt.other_uid = other_uid;
        return attempt;
    };
    const auto failed = [](int error) {
        PipeAttempt attempt;
        attempt.error = error;
        return attempt;
    };

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return failed(ENAMETOOLONG);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? found(Result::Absent) : failed(errno);
    if (st.st_uid != owner.file) return found(Result::ForeignOwner, st.st_uid);
    if (!S_ISSOCK(st.st_mode)) return found(Result::NotASocket);

    // Non-blocking: a listener that never accepts keeps a blocking connect
    // in the kernel for as long as its queue stays full.
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) return failed(errno);
    int result;
    do {
        result = connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        switch (errno) {
        case ENOENT: return found(Result::Absent);
        case ECONNREFUSED: return found(Result::NotListening);
        case EAGAIN:
        case EINPROGRESS: return found(Result::QueueFull);
        default: return failed(errno);
        }
    }

    ucred peer{};
    socklen_t length = sizeof peer;
    if (getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0) return failed(errno);
    if (peer.uid != owner.listener) return found(Result::ForeignListener, peer.uid);
    // The bridge reads and writes blocking; its watchdog ends a stuck call
    // by shutting the socket down.
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags < 0 || fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return failed(errno);
    PipeAttempt connected = found(Result::Connected);
    connected.fd = std::move(fd);
    return connected;
}

bool pipe_listening(const std::string& path) {
    std::ifstream table("/proc/net/unix");
    if (!table) return true;
    std::string line;
    std::getline(table, line);  // Num RefCount Protocol Flags Type St Inode Path
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, refs, protocol, flags, type, state, inode, bound;
        if (!(fields >> slot >> refs >> protocol >> flags >> type >> state >> inode >> bound)) continue;
        if (bound != path) continue;
        if (std::strtoul(flags.c_str(), nullptr, 16) & kAcceptingConnections) return true;
    }
    return false;
}

bool remove_stale_pipe(const std::string& path, uid_t owner) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != owner) return false;
    if (pipe_listening(path)) return false;
    return unlink(path.c_str()) == 0;
}

}  // namespace veltrano::sheet
