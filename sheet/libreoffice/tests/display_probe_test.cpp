// A display must answer before an office is started for it.
#include <chrono>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "display_probe.h"
#include "fake_listener.h"
#include "temp_dir.h"
#include "test_display.h"

namespace veltrano::sheet {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

TEST(DisplayCheck, OnlyADisplayThatAnswersWillDo) {
    TempDir dir;
    // Listens, takes the connection, and never says a word: a frozen server.
    FakeListener silent_x(dir.path() + "/X7", {});
    FakeListener compositor(dir.path() + "/wayland-test", {});

    struct Case { const char* what; std::string x, wayland; std::optional<std::string> says; };
    const Case cases[] = {
        {"nothing set", "", "", "均未设置"},
        {"no server for the number", ":65000", "", "X 显示 :65000 无法连接"},
        {"a server that does not answer", ":7", "", "X 显示 :7 没有响应"},
        {"... named by its socket", dir.path() + "/X7.0", "", "没有响应"},
        {"not a display name", "nonsense", "", "无法识别"},
        {"a compositor that accepts", ":65000", "wayland-test", std::nullopt},
        {"no compositor", "", "wayland-none", "Wayland 显示 wayland-none 无法连接"},
    };
    for (const auto& c : cases) {
        DisplaySettings settings;
        settings.x_display = c.x;
        settings.wayland_display = c.wayland;
        settings.runtime_dir = dir.path();
        settings.x_socket_dir = dir.path();
        const auto deadline = Clock::now() + 300ms;
        const std::optional<std::string> problem = display_problem(settings, deadline);
        EXPECT_LT(Clock::now(), deadline + 2s) << c.what << ": waits no longer than asked";
        ASSERT_EQ(problem.has_value(), c.says.has_value()) << c.what << ": " << problem.value_or("answers");
        if (problem) {
            EXPECT_NE(problem->find(*c.says), std::string::npos) << c.what << ": " << *problem;
        }
    }
}

// The whole connection set-up with a real X server, the cookie included.
TEST(DisplayCheck, ARealServerLetsInTheHolderOfItsCookie) {
    if (access(kXvfb, X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    TempDir dir;
    const std::string cookies = dir.path() + "/cookies", wrong = dir.path() + "/wrong";
    write_cookie_file(cookies, "0123456789abcdef");
    write_cookie_file(wrong, "fedcba9876543210");
    TestXServer server(cookies);

    struct Case { std::string xauthority; bool answers; };
    const Case cases[] = {{cookies, true}, {wrong, false}, {dir.path() + "/none", false}};
    for (const auto& c : cases) {
        DisplaySettings settings;
        settings.x_display = server.display();
        settings.xauthority = c.xauthority;
        const auto problem = display_problem(settings, Clock::now() + 10s);
        EXPECT_EQ(!problem, c.answers) << c.xauthority << ": " << problem.value_or("answers");
        if (problem) {
            EXPECT_NE(problem->find("拒绝连接"), std::string::npos) << *problem;
        }
    }
    // A server starts over when its only client leaves, and closes what
    // connects meanwhile: probes in a row all get through.
    TestXServer resetting(cookies, false);
    for (int probe = 0; probe < 10; ++probe) {
        DisplaySettings settings;
        settings.x_display = resetting.display();
        settings.xauthority = cookies;
        EXPECT_EQ(display_problem(settings, Clock::now() + 10s).value_or("answers"), "answers") << probe;
    }
}

}  // namespace
}  // namespace veltrano::sheet
