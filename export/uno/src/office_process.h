// Starting an office program the way a desktop launcher would: detached from
// us, so it outlives the program that started it and belongs to the user.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace veltrano::exporting {

// The program to start: `name_or_path` as given when it holds a '/',
// otherwise the first executable of that name on PATH, then `fallback`.
// Empty when none of them is an executable file.
std::optional<std::string> find_program(const std::string& name_or_path,
                                        const std::string& fallback = {});

// A name for a private office pipe nobody can guess: 128 random bits.
std::string random_pipe_name();

// A started office. It is not our child: an intermediate process puts it in
// a session of its own (no terminal, no signals from ours) with umask 077,
// stdin/stdout/stderr on /dev/null and no other descriptor of ours, then
// exits, so the office is re-parented and never becomes our zombie.
// Destroying this object forgets the office; it never stops it.
class OfficeProcess {
public:
    // Starts `program` with `arguments` (argv[1..]) and our environment
    // minus `drop_variables`. Throws std::system_error when the program
    // cannot be executed at all.
    static OfficeProcess start(const std::string& program, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& drop_variables = {});

    OfficeProcess(OfficeProcess&& other) noexcept;
    OfficeProcess& operator=(OfficeProcess&&) = delete;
    OfficeProcess(const OfficeProcess&) = delete;
    ~OfficeProcess();

    int pid() const noexcept { return pid_; }
    // The office's session and process group: kill(-group, ...) reaches the
    // launcher and the office it runs.
    int group() const noexcept { return group_; }
    // False once the started program has exited. A launcher that hands its
    // arguments to an office already running on the same profile exits
    // normally, so exiting alone is not a failure.
    bool running() const;

private:
    OfficeProcess(int pid, int group, int pidfd) : pid_(pid), group_(group), pidfd_(pidfd) {}

    int pid_;
    int group_;
    int pidfd_;  // -1 when the process had already gone before we could watch it
};

}  // namespace veltrano::exporting
