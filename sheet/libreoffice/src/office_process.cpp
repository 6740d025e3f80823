#include "office_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/close_range.h>

extern char** environ;

namespace veltrano::sheet {

namespace {

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> split_path(const char* path) {
    std::vector<std::string> entries;
    if (path == nullptr) return entries;
    std::stringstream in(path);
    std::string entry;
    while (std::getline(in, entry, ':')) entries.push_back(entry);
    return entries;
}

// What the forked processes tell the parent through their report pipes.
// Each message is one write of 8 bytes, below PIPE_BUF, so it arrives whole.
struct Report {
    enum Kind : std::int32_t { LauncherPid = 1, ForkFailed = 2, ExecFailed = 3, Exited = 4 } kind;
    std::int32_t value;
};

// Reads one whole report; false at end of file.
bool read_report(int fd, Report& r) {
    for (;;) {
        const ssize_t n = read(fd, &r, sizeof r);
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(sizeof r);
    }
}

void write_report(int fd, Report::Kind kind, std::int32_t value) {
    const Report r{kind, value};
    // Async-signal-safe context: nothing to do if the parent stopped listening.
    [[maybe_unused]] ssize_t n = write(fd, &r, sizeof r);
}

// Runs in the launcher between fork and exec: async-signal-safe calls only.
[[noreturn]] void exec_launcher(const char* program, char* const* argv, char* const* envp, int report) {
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

// Runs in the watcher after fork: async-signal-safe calls only. Reports the
// launcher's exit status, or leaves as soon as the parent closes its end.
[[noreturn]] void watch_launcher(pid_t launcher, int report) {
    // Nothing of ours stays open here: no lock, no socket, no other pipe.
    if (report > 3) syscall(SYS_close_range, 3u, static_cast<unsigned>(report - 1), 0u);
    syscall(SYS_close_range, static_cast<unsigned>(report + 1), ~0u, 0u);
    // The group's SIGTERM is for the launcher and its office; the watcher
    // stays until SIGKILL or until we stop watching.
    signal(SIGTERM, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, launcher, 0));
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(launcher, &status, WNOHANG);
        if (done == launcher) {
            write_report(report, Report::Exited, status);
            _exit(0);
        }
        if (done < 0 && errno != EINTR) _exit(0);
        // A pipe's write end polls POLLERR once its reader is gone.
        pollfd watched[2] = {{report, 0, 0}, {pidfd, POLLIN, 0}};
        poll(watched, pidfd >= 0 ? 2 : 1, pidfd >= 0 ? -1 : 10);
        if (watched[0].revents & (POLLERR | POLLHUP)) _exit(0);
    }
}

// Whether a process other than `except` in process group `group` is alive
// (zombies do not count: they hold nothing).
bool group_has_members(int group, int except) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == except) continue;
        const auto stat = read_process_stat(entry.path() / "stat");
        if (stat && stat->group == group && stat->state != 'Z' && stat->state != 'X') return true;
    }
    return false;
}

}  // namespace

std::optional<ProcessStat> read_process_stat(const std::string& stat_file) {
    std::ifstream stat(stat_file);
    std::string line;
    if (!std::getline(stat, line)) return std::nullopt;
    // pid (comm) state ppid pgrp ...: comm may hold blanks, so read after ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream rest(line.substr(close + 1));
    ProcessStat parsed;
    if (!(rest >> parsed.state >> parsed.ppid >> parsed.group)) return std::nullopt;
    return parsed;
}

bool process_running(const std::string& name, uid_t uid) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        struct stat st {};
        if (std::getline(comm, command) && command == name && stat(entry.path().c_str(), &st) == 0 &&
            st.st_uid == uid) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> find_program(const std::string& name_or_path, const std::string& fallback) {
    if (name_or_path.find('/') != std::string::npos) {
        if (is_executable_file(name_or_path)) return name_or_path;
        return std::nullopt;
    }
    for (const auto& dir : split_path(std::getenv("PATH"))) {
        if (dir.empty() || dir[0] != '/') continue;
        const std::string candidate = dir + '/' + name_or_path;
        if (is_executable_file(candidate)) return candidate;
    }
    if (!fallback.empty() && is_executable_file(fallback)) return fallback;
    return std::nullopt;
}

std::string office_search_path(const char* ours) {
    std::vector<std::string> kept;
    for (auto& dir : split_path(ours)) {
        if (!dir.empty() && dir[0] == '/' && std::find(kept.begin(), kept.end(), dir) == kept.end()) kept.push_back(dir);
    }
    for (const char* system : {"/usr/bin", "/bin"}) {
        if (std::find(kept.begin(), kept.end(), system) == kept.end()) kept.emplace_back(system);
    }
    std::string path;
    for (const auto& dir : kept) path += (path.empty() ? "" : ":") + dir;
    return path;
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

    std::string path_variable = "PATH=" + office_search_path(std::getenv("PATH"));
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
        bool drop = std::strncmp(*e, "PATH=", 5) == 0;
        for (const auto& name : drop_variables) {
            drop = drop || (std::strncmp(*e, name.c_str(), name.size()) == 0 && (*e)[name.size()] == '=');
        }
        if (!drop) envp.push_back(*e);
    }
    envp.push_back(path_variable.data());
    envp.push_back(nullptr);

    // Two pipes: the watcher's reports, read for as long as we watch, and the
    // launcher's own, which ends (close-on-exec) once its exec has succeeded.
    int watch[2], exec_report[2];
    if (pipe2(watch, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    UniqueFd watch_read(watch[0]), watch_write(watch[1]);
    if (pipe2(exec_report, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    UniqueFd exec_read(exec_report[0]), exec_write(exec_report[1]);

    const pid_t watcher = fork();
    if (watcher < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (watcher == 0) {
        setsid();
        // Only the office's files (its profile, its pipe socket) get this mask;
        // our own process keeps its umask.
        umask(077);
        const pid_t launcher = fork();
        if (launcher == 0) exec_launcher(program.c_str(), argv.data(), envp.data(), exec_report[1]);
        if (launcher < 0) {
            write_report(watch[1], Report::ForkFailed, errno);
            _exit(0);
        }
        write_report(watch[1], Report::LauncherPid, launcher);
        watch_launcher(launcher, watch[1]);
    }
    watch_write.reset();
    exec_write.reset();

    // The launcher's pid, or why there is none.
    Report first{};
    int failure = 0;
    const char* failed_call = "";
    if (!read_report(watch_read.get(), first) || first.kind != Report::LauncherPid) {
        failure = first.kind == Report::ForkFailed ? first.value : ECHILD;
        failed_call = "fork";
    } else if (Report exec{}; read_report(exec_read.get(), exec) && exec.kind == Report::ExecFailed) {
        // Without a report the pipe reached end of file: the exec succeeded.
        failure = exec.value;
        failed_call = "execve";
    }
    OfficeProcess process(failure == 0 ? first.value : -1, watcher, -1, std::move(watch_read));
    if (failure != 0) throw std::system_error(failure, std::generic_category(), failed_call + (" " + program));
    // A pidfd tells when the launcher exits although it is not our child.
    process.pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, process.pid_, 0));
    return process;
}

OfficeProcess::OfficeProcess(OfficeProcess&& other) noexcept
    : pid_(other.pid_),
      group_(other.group_),
      pidfd_(other.pidfd_),
      reports_(std::move(other.reports_)),
      exit_status_(other.exit_status_),
      watcher_gone_(other.watcher_gone_),
      reaped_(other.reaped_) {
    other.pidfd_ = -1;
    other.reaped_ = true;
}

OfficeProcess::~OfficeProcess() {
    stop_watching();
    if (pidfd_ >= 0) close(pidfd_);
}

bool OfficeProcess::running() const {
    if (pidfd_ < 0) return false;
    pollfd p{pidfd_, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

void OfficeProcess::read_reports(int timeout_ms) {
    while (reports_ && !watcher_gone_) {
        pollfd p{reports_.get(), POLLIN, 0};
        const int ready = poll(&p, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready != 1) return;
        Report r{};
        if (!read_report(reports_.get(), r)) {
            watcher_gone_ = true;  // end of file: nothing more will come
            return;
        }
        if (r.kind == Report::Exited) exit_status_ = r.value;
        timeout_ms = 0;
    }
}

std::optional<int> OfficeProcess::exit_status() {
    if (!exit_status_) read_reports(0);
    return exit_status_;
}

std::optional<int> OfficeProcess::wait_exit(Clock::time_point deadline) {
    while (!exit_status_ && reports_ && !watcher_gone_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        read_reports(static_cast<int>(std::min<long long>(left, 60000)));
    }
    return exit_status_;
}

void OfficeProcess::end_group(std::chrono::milliseconds grace) noexcept {
    if (reaped_) return;
    kill(-group_, SIGTERM);
    const auto until = Clock::now() + grace;
    try {
        while (group_has_members(group_, group_) && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (...) {
        // Not knowing who is left: SIGKILL below ends them all anyway.
    }
    kill(-group_, SIGKILL);
    // The launcher's status, if the watcher reported it before it went.
    read_reports(100);
}

void OfficeProcess::stop_watching() noexcept {
    if (reaped_) return;
    read_reports(0);
    reports_.reset();  // the watcher sees its reader gone and leaves
    const auto until = Clock::now() + std::chrono::seconds(2);
    for (;;) {
        const pid_t done = waitpid(group_, nullptr, WNOHANG);
        if (done == group_ || (done < 0 && errno != EINTR)) break;
        if (Clock::now() >= until) {
            // Stopped with the launcher's group, perhaps: it is ours to end.
            kill(group_, SIGKILL);
            while (waitpid(group_, nullptr, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reaped_ = true;
}

}  // namespace veltrano::sheet
