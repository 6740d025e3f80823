// One export at a time for each user.
//
// Two exports that start offices together race in the office's own start-up
// (one hands over to the other before it can take the hand-over, and both
// can hang). Each export therefore holds an exclusive lock on a file of ours
// from its start to its last clean-up.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "unique_fd.h"

namespace veltrano::sheet {

// Where the lock file lives: $XDG_RUNTIME_DIR (`runtime_dir`) when it is a
// directory of ours that nobody else may write to; otherwise `fallback`,
// created with mode 0700 when missing and used only when it is a directory
// (not a link) of ours that nobody else can enter. Throws std::system_error
// when neither is.
std::string export_lock_directory(const char* runtime_dir, const std::string& fallback);
// The same for this process: its XDG_RUNTIME_DIR, else /tmp/veltrano-<uid>.
std::string export_lock_directory();

class ExportLock {
public:
    using Clock = std::chrono::steady_clock;

    // Takes the lock in `directory`, waiting while another export holds it
    // up to `deadline`; empty when it is still held then. Throws
    // std::system_error when the lock file cannot be opened or is not a
    // plain file of ours.
    static std::optional<ExportLock> acquire(const std::string& directory, Clock::time_point deadline);

    // Releasing: the lock is dropped explicitly before the descriptor is
    // closed, so a copy of the descriptor in a forked child cannot keep it.
    ~ExportLock();
    ExportLock(ExportLock&&) noexcept = default;
    ExportLock& operator=(ExportLock&& other) noexcept;

private:
    explicit ExportLock(UniqueFd fd) : fd_(std::move(fd)) {}
    UniqueFd fd_;
};

}  // namespace veltrano::sheet
