// Starting an office program the way a desktop launcher would: detached from
// us, so it outlives the program that started it and belongs to the user.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "unique_fd.h"

namespace veltrano::sheet {

// The program to start: `name_or_path` as given when it holds a '/',
// otherwise the first executable of that name in an absolute PATH entry
// (relative entries, the empty one included, would name the current
// directory: never for an office), then `fallback`. Empty when none of them
// is an executable file.
std::optional<std::string> find_program(const std::string& name_or_path,
                                        const std::string& fallback = {});

// The PATH a started office gets: the absolute entries of `ours` (may be
// null), then /usr/bin and /bin when missing, so the office's launcher
// script finds the tools it runs whatever PATH we were given.
std::string office_search_path(const char* ours);

// Whether a process named `name` (its command name, as in /proc) runs as
// `uid`: is there an office a launcher can have handed over to?
bool process_running(const std::string& name, uid_t uid);

// What /proc/<pid>/stat (or a task's stat) says of a process.
struct ProcessStat {
    char state = 0;  // R, S, T (stopped), Z (zombie) ...
    int ppid = 0;
    int group = 0;   // process group
};
// Empty when the process has gone.
std::optional<ProcessStat> read_process_stat(const std::string& stat_file);

// A name for a private office pipe nobody can guess: 128 random bits.
std::string random_pipe_name();

// A started office launcher. It is not our child: an intermediate process,
// the watcher, puts it in a session of its own (no terminal, no signals from
// ours) with umask 077, stdin/stdout/stderr on /dev/null and no other
// descriptor of ours. The watcher stays while we watch, to tell us the
// launcher's exit status (a launcher that hands over to a running office
// exits 0 at once, one that fails exits non-zero), and leaves when we stop
// watching; the launcher is then re-parented and never becomes our zombie.
// Destroying this object stops watching; it never stops the launcher.
class OfficeProcess {
public:
    using Clock = std::chrono::steady_clock;

    // Starts `program` with `arguments` (argv[1..]) and our environment
    // minus `drop_variables`, PATH as office_search_path() makes it. Throws
    // std::system_error when the program cannot be executed at all.
    static OfficeProcess start(const std::string& program, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& drop_variables = {});

    OfficeProcess(OfficeProcess&& other) noexcept;
    OfficeProcess& operator=(OfficeProcess&&) = delete;
    OfficeProcess(const OfficeProcess&) = delete;
    ~OfficeProcess();

    int pid() const noexcept { return pid_; }
    // The launcher's session and process group: kill(-group, ...) reaches the
    // launcher and any office it started itself, never an office it handed
    // over to (that one runs in a session of its own).
    int group() const noexcept { return group_; }
    // False once the launcher has exited.
    bool running() const;

    // The launcher's wait status (as waitpid gives it) once it has exited;
    // empty while it runs, and when we stopped watching before it exited.
    std::optional<int> exit_status();
    // The same, waiting for the exit up to `deadline`.
    std::optional<int> wait_exit(Clock::time_point deadline);

    // Ends every process of the launcher's group that is still there:
    // SIGTERM, then SIGKILL after `grace`. Only while watching: the watcher,
    // a member we have not yet reaped, keeps the group's number from being
    // given to anyone else.
    void end_group(std::chrono::milliseconds grace) noexcept;
    // The watcher exits and is reaped; the launcher runs on.
    void stop_watching() noexcept;

private:
    OfficeProcess(int pid, int group, int pidfd, UniqueFd reports)
        : pid_(pid), group_(group), pidfd_(pidfd), reports_(std::move(reports)) {}
    // Reads the watcher's reports that have arrived, waiting up to `timeout_ms`.
    void read_reports(int timeout_ms);

    int pid_;
    int group_;  // also the watcher's process id
    int pidfd_;  // -1 when the launcher had already gone before we could watch it
    UniqueFd reports_;  // from the watcher; closed when we stop watching
    std::optional<int> exit_status_;
    bool watcher_gone_ = false;  // its reports ended (it exited or was killed)
    bool reaped_ = false;        // the watcher is reaped: the group's number is free again
};

}  // namespace veltrano::sheet
