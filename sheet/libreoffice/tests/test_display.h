// A real display for a test: Xvfb on a free display number it picks
// itself, letting in only the holders of one cookie.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace veltrano::sheet {

constexpr const char* kXvfb = "/usr/bin/Xvfb";

// An X cookie file with one MIT-MAGIC-COOKIE-1 entry for this host and any
// display number.
inline void write_cookie_file(const std::string& path, const std::string& cookie) {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::ofstream out(path, std::ios::binary);
    auto counted = [&](const std::string& s) { out << char(s.size() >> 8) << char(s.size() & 255) << s; };
    out << char(1) << char(0);  // FamilyLocal: a connection on this host
    counted(host);
    counted("");
    counted("MIT-MAGIC-COOKIE-1");
    counted(cookie);
}

// The first display number from `from` up to, not including, `to` that
// nothing else uses: no lock file, no socket file in /tmp/.X11-unix, and no
// socket of that name bound, in /tmp or in the abstract namespace, which a
// chroot with a /tmp of its own still shares with us (and X clients try that
// one first). Empty when there is none.
inline std::optional<int> free_display_number(int from, int to) {
    std::ifstream table("/proc/net/unix");
    const std::string sockets((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
    for (int number = from; number < to; ++number) {
        const std::string name = "/tmp/.X11-unix/X" + std::to_string(number);
        if (sockets.find(name + "\n") == std::string::npos && access(name.c_str(), F_OK) != 0 &&
            access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) != 0) {
            return number;
        }
    }
    return std::nullopt;
}

// Xvfb on a display number nothing else uses.
class TestXServer {
public:
    // `noreset` false: the server starts over whenever its last client leaves.
    explicit TestXServer(const std::string& cookie_file, bool noreset = true) {
        for (auto number = free_display_number(150, 400); number && display_.empty();
             number = free_display_number(*number + 1, 400)) {
            start(":" + std::to_string(*number), cookie_file, noreset);
        }
        if (display_.empty()) throw std::runtime_error("Xvfb did not start");
    }
    ~TestXServer() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    TestXServer(const TestXServer&) = delete;
    TestXServer& operator=(const TestXServer&) = delete;

    const std::string& display() const { return display_; }

private:
    // Sets display_ once the server takes connections (it writes its number
    // to the -displayfd descriptor then); leaves it empty if it gave up.
    void start(const std::string& display, const std::string& cookie_file, bool noreset) {
        int ready[2];
        if (pipe(ready) != 0) throw std::runtime_error("pipe");
        const std::string fd = std::to_string(ready[1]);
        std::vector<const char*> argv = {kXvfb, display.c_str(), "-displayfd", fd.c_str(), "-auth",
                                         cookie_file.c_str(), "-nolisten", "tcp"};
        // A desktop's server has clients all along; this one would start over
        // each time its only client leaves.
        if (noreset) argv.push_back("-noreset");
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execv(kXvfb, const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        close(ready[0]);
        if (":" + number == display) {
            display_ = display;
        } else {
            waitpid(pid_, nullptr, 0);
        }
    }

    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace veltrano::sheet
