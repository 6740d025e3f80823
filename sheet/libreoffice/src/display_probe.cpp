#include "display_probe.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "backoff.h"
#include "unique_fd.h"

namespace veltrano::sheet {

namespace {

using Clock = std::chrono::steady_clock;

// X11 address families of the cookie file (Xauth.h).
constexpr std::uint16_t kFamilyInternet = 0;
constexpr std::uint16_t kFamilyInternet6 = 6;
constexpr std::uint16_t kFamilyLocal = 256;
constexpr std::uint16_t kFamilyWild = 65535;
constexpr const char* kCookieName = "MIT-MAGIC-COOKIE-1";
constexpr int kXTcpPort = 6000;
constexpr auto kResetRetry = std::chrono::seconds(2);

// Why a display did not answer; empty when it did.
struct Failure {
    enum class Kind { Unrecognised, NoAnswer, Refused, Closed, Unreachable } kind;
    std::string detail;  // the server's reason, or the system's error text
};
using Problem = std::optional<Failure>;

Failure unreachable(int error) { return {Failure::Kind::Unreachable, std::strerror(error)}; }
Failure no_answer() { return {Failure::Kind::NoAnswer, {}}; }

std::string describe(const Failure& failure) {
    switch (failure.kind) {
    case Failure::Kind::Unrecognised: return "无法识别（不是有效的 DISPLAY 值）";
    case Failure::Kind::NoAnswer: return "没有响应";
    case Failure::Kind::Refused: return failure.detail.empty() ? "拒绝连接" : "拒绝连接（" + failure.detail + "）";
    case Failure::Kind::Closed: return "没有应答就关闭了连接";
    case Failure::Kind::Unreachable: break;
    }
    return "无法连接（" + failure.detail + "）";
}

// Where an X display is, from the forms of DISPLAY the X client library
// accepts: /path/to/socket[.screen], [protocol/]host:display[.screen].
struct XTarget {
    bool unix_socket = true;
    std::string path;  // unix: the socket file; empty for the numbered one in x_socket_dir
    std::string host;  // tcp
    bool tcp_fallback = false;  // ":N": TCP to localhost when the socket fails
    int display = 0;
};

std::optional<XTarget> parse_display(std::string name) {
    XTarget target;
    auto path_form = [&](const std::string& path) -> std::optional<XTarget> {
        struct stat st {};
        target.path = path;
        if (stat(path.c_str(), &st) != 0) {
            // A trailing ".screen" is not part of the file name.
            const auto dot = path.rfind('.');
            if (dot == std::string::npos || dot + 1 >= path.size()) return std::nullopt;
            target.path = path.substr(0, dot);
        }
        return target;
    };
    if (!name.empty() && name[0] == '/') return path_form(name);
    if (name.rfind("unix:/", 0) == 0) return path_form(name.substr(5));

    std::string protocol;
    if (const auto slash = name.rfind('/'); slash != std::string::npos) {
        protocol = name.substr(0, slash);
        name = name.substr(slash + 1);
    }
    const auto colon = name.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string number = name.substr(colon + 1);
    char* end = nullptr;
    const long display = std::strtol(number.c_str(), &end, 10);
    if (end == number.c_str() || display < 0 || display > 1000000) return std::nullopt;
    if (*end != '\0' && *end != '.') return std::nullopt;
    target.display = static_cast<int>(display);
    std::string host = name.substr(0, colon);

    if (protocol == "unix" || (protocol.empty() && (host.empty() || host == "unix"))) {
        target.tcp_fallback = protocol.empty() && host.empty();
        return target;
    }
    if (!protocol.empty() && protocol != "tcp" && protocol != "inet" && protocol != "inet6") return std::nullopt;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    target.unix_socket = false;
    target.host = host.empty() ? "localhost" : host;
    return target;
}

// A connected, non-blocking stream socket to `address`, or why not within
// the deadline. A listener whose queue is full is tried again until then.
Problem connect_socket(UniqueFd& fd, int family, const sockaddr* address, socklen_t length,
                       Clock::time_point deadline) {
    Backoff backoff;
    for (;;) {
        fd.reset(socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!fd) return unreachable(errno);
        if (connect(fd.get(), address, length) == 0) return std::nullopt;
        if (errno == EAGAIN) {
            if (backoff.wait(deadline)) continue;
            return no_answer();
        }
        if (errno != EINPROGRESS) return unreachable(errno);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd.get(), POLLOUT, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) return no_answer();
        int error = 0;
        socklen_t size = sizeof error;
        getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error != 0) return unreachable(error);
        return std::nullopt;
    }
}

Problem connect_unix(UniqueFd& fd, const std::string& path, bool abstract, Clock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) return unreachable(ENAMETOOLONG);
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return connect_socket(fd, AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length, deadline);
}

Problem connect_tcp(UniqueFd& fd, const std::string& host, int port, Clock::time_point deadline) {
    if (port > 65535) return unreachable(EADDRNOTAVAIL);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (error != 0) return Failure{Failure::Kind::Unreachable, gai_strerror(error)};
    Problem problem = unreachable(EADDRNOTAVAIL);
    for (const addrinfo* a = found; a != nullptr && problem; a = a->ai_next) {
        problem = connect_socket(fd, a->ai_family, a->ai_addr, a->ai_addrlen, deadline);
    }
    freeaddrinfo(found);
    return problem;
}

// The address an X cookie is filed under for this connection: the host
// name for a local one (a socket, or TCP to a loopback address), otherwise
// the server's address.
std::pair<std::uint16_t, std::string> cookie_address(int fd, bool unix_socket) {
    std::pair<std::uint16_t, std::string> local{kFamilyLocal, ""};
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) local.second = host;
    if (unix_socket) return local;
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0) return local;
    if (peer.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(peer).sin_addr;
        const auto* bytes = reinterpret_cast<const char*>(&in.s_addr);
        if (bytes[0] == 127) return local;
        return {kFamilyInternet, std::string(bytes, 4)};
    }
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(peer).sin6_addr;
    const auto* bytes = reinterpret_cast<const char*>(in6.s6_addr);
    if (IN6_IS_ADDR_LOOPBACK(&in6)) return local;
    if (IN6_IS_ADDR_V4MAPPED(&in6)) {
        if (bytes[12] == 127) return local;
        return {kFamilyInternet, std::string(bytes + 12, 4)};
    }
    return {kFamilyInternet6, std::string(bytes, 16)};
}

// The user's cookie for the display, from the cookie file: the first entry
// of its address (or of any address) and display number (or any), as the X
// client library picks it. Empty when there is none.
std::string find_cookie(const std::string& file, std::pair<std::uint16_t, std::string> address, int display) {
    std::ifstream in(file, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = 0;
    auto u16 = [&](std::uint16_t& value) {
        if (at + 2 > data.size()) return false;
        value = static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) << 8 | static_cast<unsigned char>(data[at + 1]));
        at += 2;
        return true;
    };
    auto counted = [&](std::string& value) {
        std::uint16_t length = 0;
        if (!u16(length) || at + length > data.size()) return false;
        value = data.substr(at, length);
        at += length;
        return true;
    };
    const std::string number = std::to_string(display);
    for (;;) {
        std::uint16_t family = 0;
        std::string entry_address, entry_number, name, cookie;
        if (!u16(family) || !counted(entry_address) || !counted(entry_number) || !counted(name) || !counted(cookie)) {
            return {};
        }
        const bool address_matches = family == kFamilyWild || (family == address.first && entry_address == address.second);
        const bool number_matches = entry_number.empty() || entry_number == number;
        if (address_matches && number_matches && name == kCookieName) return cookie;
    }
}

// Waits until `fd` has data or the deadline passes.
bool wait_readable(int fd, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

// Reads exactly `size` bytes before the deadline; why not, otherwise.
Problem read_exactly(int fd, unsigned char* into, std::size_t size, Clock::time_point deadline) {
    std::size_t got = 0;
    while (got < size) {
        if (!wait_readable(fd, deadline)) return no_answer();
        const ssize_t n = read(fd, into + got, size - got);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return Failure{Failure::Kind::Closed, {}};
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return unreachable(errno);
        }
        got += static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

// The X connection set-up: the server's first byte says Success (1),
// Failed (0, with a reason) or Authenticate (2).
Problem x_handshake(int fd, const std::string& cookie, Clock::time_point deadline) {
    auto padded = [](std::size_t n) { return (n + 3) & ~std::size_t{3}; };
    const std::string name = cookie.empty() ? "" : kCookieName;
    std::vector<unsigned char> request(12 + padded(name.size()) + padded(cookie.size()), 0);
    request[0] = 'l';  // little-endian numbers follow
    request[2] = 11;   // protocol 11.0
    request[6] = static_cast<unsigned char>(name.size());
    request[8] = static_cast<unsigned char>(cookie.size());
    std::memcpy(request.data() + 12, name.data(), name.size());
    std::memcpy(request.data() + 12 + padded(name.size()), cookie.data(), cookie.size());
    // Fits any socket buffer: one send, or the server is not taking anything.
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        return unreachable(errno);
    }
    unsigned char reply[8];
    if (Problem problem = read_exactly(fd, reply, sizeof reply, deadline)) return problem;
    if (reply[0] == 1) return std::nullopt;
    Failure refused{Failure::Kind::Refused, {}};
    if (reply[0] == 0 && reply[1] > 0) {
        std::vector<unsigned char> text(reply[1]);
        if (!read_exactly(fd, text.data(), text.size(), deadline)) {
            refused.detail.assign(text.begin(), text.end());
            while (!refused.detail.empty() && (refused.detail.back() == '\n' || refused.detail.back() == ' ')) {
                refused.detail.pop_back();
            }
        }
    }
    return refused;
}

// One connection set-up with the X server of `target`.
Problem x_attempt(const DisplaySettings& settings, const XTarget& target, Clock::time_point deadline) {
    UniqueFd fd;
    Problem problem;
    if (target.unix_socket) {
        if (!target.path.empty()) {
            problem = connect_unix(fd, target.path, false, deadline);
        } else {
            // The server's abstract socket first, as the X client library does.
            const std::string path = settings.x_socket_dir + "/X" + std::to_string(target.display);
            problem = connect_unix(fd, path, true, deadline);
            if (problem) problem = connect_unix(fd, path, false, deadline);
            if (problem && target.tcp_fallback) {
                if (!connect_tcp(fd, "localhost", kXTcpPort + target.display, deadline)) problem.reset();
            }
        }
    } else {
        problem = connect_tcp(fd, target.host, kXTcpPort + target.display, deadline);
    }
    if (problem) return problem;
    const std::string cookie =
        settings.xauthority.empty()
            ? std::string()
            : find_cookie(settings.xauthority, cookie_address(fd.get(), target.unix_socket), target.display);
    return x_handshake(fd.get(), cookie, deadline);
}

Problem x_problem(const DisplaySettings& settings, Clock::time_point deadline) {
    const std::optional<XTarget> target = parse_display(settings.x_display);
    if (!target) return Failure{Failure::Kind::Unrecognised, {}};
    // A server whose last client has left starts over, and closes what
    // connects meanwhile; it answers again a moment later.
    const auto retry_until = std::min(deadline, Clock::now() + kResetRetry);
    Backoff backoff;
    for (;;) {
        Problem problem = x_attempt(settings, *target, deadline);
        if (!problem || problem->kind != Failure::Kind::Closed || !backoff.wait(retry_until)) return problem;
    }
}

Problem wayland_problem(const DisplaySettings& settings, Clock::time_point deadline) {
    std::string path = settings.wayland_display;
    if (path[0] != '/') {
        if (settings.runtime_dir.empty()) return unreachable(ENOENT);
        path = settings.runtime_dir + "/" + path;
    }
    UniqueFd fd;
    return connect_unix(fd, path, false, deadline);
}

}  // namespace

DisplaySettings DisplaySettings::from_environment() {
    auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    DisplaySettings settings;
    settings.x_display = variable("DISPLAY");
    settings.wayland_display = variable("WAYLAND_DISPLAY");
    settings.runtime_dir = variable("XDG_RUNTIME_DIR");
    settings.xauthority = variable("XAUTHORITY");
    if (settings.xauthority.empty() && !variable("HOME").empty()) settings.xauthority = variable("HOME") + "/.Xauthority";
    return settings;
}

std::optional<std::string> display_problem(const DisplaySettings& settings, Clock::time_point deadline) {
    if (settings.x_display.empty() && settings.wayland_display.empty()) {
        return std::string("没有图形显示（DISPLAY 和 WAYLAND_DISPLAY 均未设置）");
    }
    std::string problems;
    if (!settings.x_display.empty()) {
        const Problem problem = x_problem(settings, deadline);
        if (!problem) return std::nullopt;
        problems = "X 显示 " + settings.x_display + " " + describe(*problem);
    }
    if (!settings.wayland_display.empty()) {
        const Problem problem = wayland_problem(settings, deadline);
        if (!problem) return std::nullopt;
        if (!problems.empty()) problems += "，";
        problems += "Wayland 显示 " + settings.wayland_display + " " + describe(*problem);
    }
    return "图形显示不可用：" + problems;
}

}  // namespace veltrano::sheet
