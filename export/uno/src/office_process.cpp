#include "office_process.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/close_range.h>

extern char** environ;

namespace veltrano::exporting {

namespace {

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// What the two forked processes tell the parent through the report pipe.
// Each message is one write of 8 bytes, below PIPE_BUF, so it arrives whole.
struct Report {
    enum Kind : std::int32_t { OfficePid = 1, ForkFailed = 2, ExecFailed = 3 } kind;
    std::int32_t value;
};

void write_report(int fd, Report::Kind kind, std::int32_t value) {
    const Report r{kind, value};
    // Async-signal-safe context: nothing to do if the parent stopped listening.
    [[maybe_unused]] ssize_t n = write(fd, &r, sizeof r);
}

// Runs in the grandchild between fork and exec: async-signal-safe calls only.
[[noreturn]] void exec_office(const char* program, char* const* argv, char* const* envp, int report) {
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (null > 2) close(null);
    }
    // Descriptors we hold without close-on-exec (ours or a library's) would
    // otherwise live on in the office and keep pipes of ours open.
    syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
    // Ignored signals and the blocked mask survive exec; the office starts clean.
    for (int s = 1; s < NSIG; ++s) signal(s, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    execve(program, argv, envp);
    write_report(report, Report::ExecFailed, errno);
    _exit(127);
}

}  // namespace

std::optional<std::string> find_program(const std::string& name_or_path, const std::string& fallback) {
    if (name_or_path.find('/') != std::string::npos) {
        if (is_executable_file(name_or_path)) return name_or_path;
        return std::nullopt;
    }
    if (const char* path = std::getenv("PATH")) {
        const std::string dirs = path;
        std::size_t begin = 0;
        while (begin <= dirs.size()) {
            std::size_t end = dirs.find(':', begin);
            if (end == std::string::npos) end = dirs.size();
            // An empty PATH entry means the current directory: never for an office.
            if (end > begin) {
                const std::string candidate = dirs.substr(begin, end - begin) + '/' + name_or_path;
                if (is_executable_file(candidate)) return candidate;
            }
            begin = end + 1;
        }
    }
    if (!fallback.empty() && is_executable_file(fallback)) return fallback;
    return std::nullopt;
}

std::string random_pipe_name() {
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        got += static_cast<std::size_t>(n);
    }
    std::string name = "veltrano_";
    for (unsigned char b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        name += hex;
    }
    return name;
}

OfficeProcess OfficeProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                                   const std::vector<std::string>& drop_variables) {
    // Everything the forked processes need is built before fork: after it,
    // in a threaded program, only async-signal-safe calls are allowed.
    std::vector<std::string> args_storage;
    args_storage.push_back(program);
    args_storage.insert(args_storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args_storage) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        bool drop = false;
        for (const auto& name : drop_variables) {
            drop = drop || (std::strncmp(*e, name.c_str(), name.size()) == 0 && (*e)[name.size()] == '=');
        }
        if (!drop) envp.push_back(*e);
    }
    envp.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");

    const pid_t middle = fork();
    if (middle < 0) {
        const int e = errno;
        close(report[0]);
        close(report[1]);
        throw std::system_error(e, std::generic_category(), "fork");
    }
    if (middle == 0) {
        close(report[0]);
        setsid();
        // Only the office's files (its profile, its pipe socket) get this mask;
        // our own process keeps its umask.
        umask(077);
        const pid_t office = fork();
        if (office == 0) exec_office(program.c_str(), argv.data(), envp.data(), report[1]);
        if (office < 0) write_report(report[1], Report::ForkFailed, errno);
        else write_report(report[1], Report::OfficePid, office);
        _exit(0);
    }

    close(report[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    // Read until every writer is gone: the middle process has exited, and the
    // office either exec'd (close-on-exec) or reported why it could not.
    pid_t office = -1;
    int failure = 0;
    const char* failed_call = "";
    Report r{};
    for (;;) {
        const ssize_t n = read(report[0], &r, sizeof r);
        if (n < 0 && errno == EINTR) continue;
        if (n != static_cast<ssize_t>(sizeof r)) break;
        if (r.kind == Report::OfficePid) office = r.value;
        if (r.kind == Report::ForkFailed) failure = r.value, failed_call = "fork";
        if (r.kind == Report::ExecFailed) failure = r.value, failed_call = "execve";
    }
    close(report[0]);
    if (failure != 0) throw std::system_error(failure, std::generic_category(), failed_call + (" " + program));
    if (office <= 0) throw std::system_error(ECHILD, std::generic_category(), "start " + program);

    // A pidfd tells when the office exits although it is not our child.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, office, 0));
    return OfficeProcess(office, middle, pidfd);
}

OfficeProcess::OfficeProcess(OfficeProcess&& other) noexcept
    : pid_(other.pid_), group_(other.group_), pidfd_(other.pidfd_) {
    other.pidfd_ = -1;
}

OfficeProcess::~OfficeProcess() {
    if (pidfd_ >= 0) close(pidfd_);
}

bool OfficeProcess::running() const {
    if (pidfd_ < 0) return false;
    pollfd p{pidfd_, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

}  // namespace veltrano::exporting
