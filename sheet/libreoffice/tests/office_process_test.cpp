// Starting the office detached from us, checked with a stand-in office: a
// shell script that reports how it was started.
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "office_process.h"
#include "temp_dir.h"

namespace veltrano::sheet {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The file's text once it is complete: holding "END\n" or, with `marked`
// false, any line.
std::string read_when_complete(const std::string& path, bool marked = true) {
    for (int i = 0; i < 600; ++i) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        if (text.str().find(marked ? "END\n" : "\n") != std::string::npos) return text.str();
        std::this_thread::sleep_for(50ms);
    }
    return {};
}

// Running, not a zombie nobody reaps (PID 1 here does not).
bool alive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    return std::getline(stat, line) && line.substr(line.rfind(')') + 2, 1) != "Z";
}

// A variable of `report`: the line "name=value".
std::string field(const std::string& report, const std::string& name) {
    const auto at = report.find("\n" + name + "=");
    if (at == std::string::npos) return "<missing>";
    const auto begin = at + name.size() + 2;
    return report.substr(begin, report.find('\n', begin) - begin);
}

TEST(OfficeProcess, StartsDetachedInItsOwnSessionWithNothingOfOurs) {
    TempDir dir;
    const std::string report = dir.path() + "/report";
    const std::string office = dir.file("office",
                                        "#!/bin/sh\n"
                                        "in=$(readlink /proc/$$/fd/0) out=$(readlink /proc/$$/fd/1)\n"
                                        "err=$(readlink /proc/$$/fd/2)\n"
                                        "{ echo\n"
                                        "  echo \"args=$*\"\n"
                                        "  echo \"umask=$(umask)\"\n"
                                        "  echo \"session=$(ps -o sid= -p $$ | tr -d ' ')\"\n"
                                        "  echo \"group=$(ps -o pgid= -p $$ | tr -d ' ')\"\n"
                                        "  echo \"stdin=$in\"\n"
                                        "  echo \"stdout=$out\"\n"
                                        "  echo \"stderr=$err\"\n"
                                        "  echo \"dropped=${VELTRANO_TEST_DROPPED-unset}\"\n"
                                        "  echo \"kept=${VELTRANO_TEST_KEPT-unset}\"\n"
                                        "  echo \"path=$PATH\"\n"
                                        "  echo END; } > \"$1\"\n"
                                        "exec sleep 60\n",
                                        true);
    // A descriptor of ours without close-on-exec, as a library might leave one.
    int ours[2];
    ASSERT_EQ(pipe(ours), 0);
    setenv("VELTRANO_TEST_DROPPED", "1", 1);
    setenv("VELTRANO_TEST_KEPT", "2", 1);
    const std::string saved_path = std::getenv("PATH");
    setenv("PATH", ".:bin:/usr/local/bin::/usr/bin", 1);

    OfficeProcess process = OfficeProcess::start(office, {report, "--accept=pipe,name=x;urp;"},
                                                 {"VELTRANO_TEST_DROPPED"});
    setenv("PATH", saved_path.c_str(), 1);
    const std::string text = read_when_complete(report);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(field(text, "args"), report + " --accept=pipe,name=x;urp;");
    EXPECT_EQ(field(text, "umask"), "0077");
    EXPECT_EQ(field(text, "session"), std::to_string(process.group()));
    EXPECT_EQ(field(text, "group"), std::to_string(process.group()));
    EXPECT_NE(process.group(), getsid(0));
    for (const char* stream : {"stdin", "stdout", "stderr"}) {
        EXPECT_EQ(field(text, stream), "/dev/null") << stream;
    }
    EXPECT_EQ(field(text, "dropped"), "unset");
    EXPECT_EQ(field(text, "kept"), "2");
    EXPECT_EQ(field(text, "path"), "/usr/local/bin:/usr/bin:/bin") << "absolute entries only, and the system's";

    // The office holds no copy of our pipe: with our end closed the reader
    // sees end-of-file while the office still runs.
    close(ours[1]);
    pollfd p{ours[0], POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    char byte;
    EXPECT_EQ(read(ours[0], &byte, 1), 0);
    close(ours[0]);

    // Not our child, so it never becomes our zombie, and it outlives us.
    EXPECT_TRUE(process.running());
    EXPECT_EQ(waitpid(process.pid(), nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    kill(-process.group(), SIGKILL);
    for (int i = 0; i < 200 && process.running(); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(process.running());
    unsetenv("VELTRANO_TEST_DROPPED");
    unsetenv("VELTRANO_TEST_KEPT");
}

TEST(OfficeProcess, AProgramThatCannotRunIsReportedAtOnce) {
    TempDir dir;
    const std::string cases[] = {
        dir.path() + "/missing",
        dir.file("not-executable", "#!/bin/sh\n", false),
        dir.path(),  // a directory
    };
    for (const auto& program : cases) {
        EXPECT_THROW(OfficeProcess::start(program, {}), std::system_error) << program;
    }
}

TEST(FindProgram, PathThenFallback) {
    TempDir dir;
    fs::create_directory(dir.path() + "/a");
    fs::create_directory(dir.path() + "/b");
    dir.file("a/soffice", "", false);  // not executable: skipped
    const std::string in_b = dir.file("b/soffice", "#!/bin/sh\n", true);
    const std::string fallback = dir.file("fallback", "#!/bin/sh\n", true);
    const std::string saved_path = std::getenv("PATH") ? std::getenv("PATH") : "";

    // An office of the current directory's is never taken, however PATH names it.
    const fs::path saved_cwd = fs::current_path();
    fs::current_path(dir.path() + "/b");
    struct Case { std::string path_variable, name, fallback; std::optional<std::string> found; };
    const Case cases[] = {
        {dir.path() + "/a:" + dir.path() + "/b", "soffice", fallback, in_b},
        {"::" + dir.path() + "/a", "soffice", fallback, fallback},
        {".:../b:" + dir.path() + "/a", "soffice", fallback, fallback},
        {dir.path() + "/a", "soffice", "", std::nullopt},
        {dir.path() + "/b", in_b, "", in_b},                                  // a path is taken as is
        {dir.path() + "/b", dir.path() + "/a/soffice", fallback, std::nullopt},  // ... and not replaced
    };
    for (const auto& c : cases) {
        setenv("PATH", c.path_variable.c_str(), 1);
        EXPECT_EQ(find_program(c.name, c.fallback), c.found) << c.path_variable << " " << c.name;
    }
    setenv("PATH", saved_path.c_str(), 1);
    fs::current_path(saved_cwd);
    EXPECT_EQ(office_search_path(nullptr), "/usr/bin:/bin");
    EXPECT_EQ(office_search_path("/nonexistent"), "/nonexistent:/usr/bin:/bin");
}

// Ending a start that never served us reaches everything in the launcher's
// group, and nothing the launcher handed over to (a session of its own).
TEST(OfficeProcess, EndsItsGroupAndNothingElse) {
    TempDir dir;
    const std::string other = dir.path() + "/other-office";
    const std::string launcher = dir.file("launcher",
                                          "#!/bin/sh\n"
                                          "setsid sh -c 'echo $$ > \"$1\"; exec sleep 60' sh \"$1\" &\n"
                                          "sleep 60 &\n"
                                          "echo $! > \"$1.child\"\n"
                                          "exec sleep 60\n",
                                          true);
    OfficeProcess process = OfficeProcess::start(launcher, {other});
    const std::string child = read_when_complete(other + ".child", false), office = read_when_complete(other, false);
    ASSERT_FALSE(child.empty() || office.empty());
    process.end_group(2s);
    for (int i = 0; i < 200 && process.running(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(process.running());
    EXPECT_FALSE(alive(std::stoi(child))) << "a process of the launcher's group survived";
    EXPECT_TRUE(alive(std::stoi(office))) << "the office in its own session was ended";
    kill(std::stoi(office), SIGKILL);
}

}  // namespace
}  // namespace veltrano::sheet
