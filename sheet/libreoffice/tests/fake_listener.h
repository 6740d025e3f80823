// The other end of a socket path, as someone else may put it there: a
// listener run by us or, as root, by `nobody`, counting every byte any
// connection sends it. A forked child, so that it can change its uid.
#pragma once

#include <cstring>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltrano::sheet {

inline bool running_as_root() { return geteuid() == 0; }

inline const passwd& nobody() {
    static const passwd* entry = getpwnam("nobody");
    if (entry == nullptr) throw std::runtime_error("no user nobody");
    return *entry;
}

struct ListenerSpec {
    bool file_as_nobody = false;      // `nobody` binds: the socket file is theirs
    bool listener_as_nobody = false;  // we bind, then `nobody` listens
    bool fill_queue = false;          // its queue is full and it never accepts
};

class FakeListener {
public:
    FakeListener(const std::string& path, ListenerSpec spec) : path_(path) {
        int ready[2], control[2], result[2];
        if (pipe(ready) != 0 || pipe(control) != 0 || pipe(result) != 0) throw std::runtime_error("pipe");
        const passwd& other = spec.file_as_nobody || spec.listener_as_nobody ? nobody() : passwd{};
        if ((child_ = fork()) == 0) {
            close(ready[0]);
            close(control[1]);  // or the child would never see the parent's end go
            close(result[0]);
            serve(spec, other.pw_uid, other.pw_gid, ready[1], control[0], result[1]);
        }
        close(ready[1]);
        close(control[0]);
        close(result[1]);
        control_ = control[1];
        result_ = result[0];
        char byte = 0;
        const bool listening = read(ready[0], &byte, 1) == 1;
        close(ready[0]);
        if (!listening) throw std::runtime_error("fake listener did not start at " + path);
    }
    ~FakeListener() {
        stop();
        unlink(path_.c_str());
    }
    FakeListener(const FakeListener&) = delete;
    FakeListener& operator=(const FakeListener&) = delete;

    // Ends the listener (its socket file stays); the bytes it received.
    long stop() {
        if (child_ > 0) {
            close(control_);
            if (read(result_, &received_, sizeof received_) != sizeof received_) received_ = -1;
            close(result_);
            waitpid(child_, nullptr, 0);
            child_ = -1;
        }
        return received_;
    }

private:
    // In the child: system calls and fixed arrays only.
    [[noreturn]] void serve(ListenerSpec spec, uid_t uid, gid_t gid, int ready, int control, int result) {
        auto become_nobody = [&] {
            if (setgid(gid) != 0 || setuid(uid) != 0) _exit(2);
        };
        if (spec.file_as_nobody) become_nobody();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) _exit(3);
        chmod(address.sun_path, 0777);  // anyone may try it, ourselves after setuid too
        if (spec.listener_as_nobody) become_nobody();
        if (listen(listener, spec.fill_queue ? 0 : 8) != 0) _exit(4);
        int fds[64], count = 0;
        while (spec.fill_queue && count < 64) {
            const int own = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            if (connect(own, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) break;
            fds[count++] = own;
        }
        if (write(ready, "", 1) != 1) _exit(5);
        long received = 0;
        for (bool stopping = false; !stopping;) {
            pollfd watched[66] = {{control, POLLIN, 0}, {listener, short(spec.fill_queue ? 0 : POLLIN), 0}};
            for (int i = 0; i < count; ++i) watched[2 + i] = {fds[i], POLLIN, 0};
            poll(watched, 2 + count, -1);
            stopping = watched[0].revents != 0;
            if (stopping || watched[1].revents != 0) {  // what waits in the queue counts too
                fcntl(listener, F_SETFL, O_NONBLOCK);
                for (int c; count < 64 && (c = accept(listener, nullptr, nullptr)) >= 0;) fds[count++] = c;
            }
            for (int i = 0; i < count; ++i) {
                char buffer[4096];
                const ssize_t got = recv(fds[i], buffer, sizeof buffer, MSG_DONTWAIT);
                if (got > 0) received += got;
                if (got == 0 && !spec.fill_queue) {  // that end has gone: stop polling it
                    close(fds[i]);
                    fds[i--] = fds[--count];
                }
            }
        }
        _exit(write(result, &received, sizeof received) == sizeof received ? 0 : 6);
    }

    std::string path_;
    pid_t child_ = -1;
    int control_ = -1, result_ = -1;
    long received_ = 0;
};

}  // namespace veltrano::sheet
