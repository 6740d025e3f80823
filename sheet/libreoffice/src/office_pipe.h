// The office's UNO pipe: where LibreOffice puts its socket, and a connection
// that reaches only an office of ours.
//
// The pipe's name is on the office's command line, which every user can
// read, so another user may bind the socket path first, or fill its listen
// queue. We connect ourselves, to a socket of ours only, without blocking.
#pragma once

#include <string>

#include <sys/types.h>

#include "unique_fd.h"

namespace veltrano::sheet {

// The socket of the pipe `name` of an office run by this user, named as
// LibreOffice's own layer names it: in /tmp when that is writable, else in
// /var/tmp, else in the directory OSL_SOCKET_PATH names; the file is
// OSL_PIPE_<uid>_<name>, or OSL_PIPE_<name> for a user without a passwd
// entry.
std::string office_pipe_path(const std::string& name);

struct PipeAttempt {
    enum class Result {
        Connected,        // `fd` is ours, connected to a listener of ours
        Absent,           // no socket yet: the office has not opened the pipe
        NotListening,     // a socket of ours nobody listens on (yet, or any more)
        QueueFull,        // a listener of ours that does not accept
        ForeignOwner,     // the path belongs to another user: never ours
        ForeignListener,  // our path, but the listener runs as another user
        NotASocket,       // something else sits at the path
        Failed,           // `error` says why
    };
    Result result = Result::Failed;
    UniqueFd fd;         // Connected: a blocking stream socket, close-on-exec
    uid_t other_uid = 0;  // ForeignOwner, ForeignListener: whose it is
    int error = 0;       // Failed: errno
};

// Whose the pipe must be: this process's uid for both; a test without root
// pretends another uid for one of them.
struct PipeOwner {
    uid_t file;
    uid_t listener;
};

// One attempt, never blocking. Before connecting, the path must be a socket
// whose file belongs to `owner.file`: nobody else can replace a file of ours
// in a sticky directory such as /tmp. After connecting, the listener's
// credentials must name `owner.listener`. Nothing is sent.
PipeAttempt connect_office_pipe(const std::string& path, PipeOwner owner);

// Whether a socket bound to `path` is listening (the kernel's table in
// /proc/net/unix); true when that cannot be read, so nothing is removed on a
// guess.
bool pipe_listening(const std::string& path);

// Removes `path` when it is a socket owned by `owner` that nobody listens
// on: what an office leaves behind when it was killed. True when removed.
bool remove_stale_pipe(const std::string& path, uid_t owner);

}  // namespace veltrano::sheet
