// The office's pipe: we connect only to a listener of ours, without
// blocking and without sending a byte otherwise, and remove its socket only
// when it is ours and nobody listens on it any more.
#include <chrono>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "fake_listener.h"
#include "office_pipe.h"
#include "office_process.h"
#include "temp_dir.h"

namespace veltrano::sheet {
namespace {

using Result = PipeAttempt::Result;
using namespace std::chrono_literals;

TEST(PrivatePipe, ConnectsOnlyToAListenerOfOursAndSendsNothing) {
    const uid_t us = getuid();
    struct Case { const char* what; ListenerSpec spec; PipeOwner owner; Result expected; bool needs_root; };
    const Case cases[] = {
        {"ours", {}, {us, us}, Result::Connected, false},
        {"ours with its queue full", {false, false, true}, {us, us}, Result::QueueFull, false},
        // Without root, we pretend to be another uid instead.
        {"a file of another uid", {}, {us + 1, us}, Result::ForeignOwner, false},
        {"a listener of another uid", {}, {us, us + 1}, Result::ForeignListener, false},
        {"nobody's file", {true, false, false}, {us, us}, Result::ForeignOwner, true},
        {"nobody listening on our file", {false, true, false}, {us, us}, Result::ForeignListener, true},
        {"nobody's, its queue full", {true, false, true}, {us, us}, Result::ForeignOwner, true},
    };
    for (const auto& c : cases) {
        if (c.needs_root && !running_as_root()) continue;
        // In /tmp itself, where another user can bind as well as we can.
        const std::string path = "/tmp/OSL_PIPE_test_" + random_pipe_name();
        FakeListener listener(path, c.spec);
        const auto start = std::chrono::steady_clock::now();
        PipeAttempt attempt = connect_office_pipe(path, c.owner);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << c.what << ": never waits in connect";
        EXPECT_EQ(attempt.result, c.expected) << c.what;
        EXPECT_EQ(static_cast<bool>(attempt.fd), c.expected == Result::Connected) << c.what;
        if (c.expected == Result::ForeignOwner || c.expected == Result::ForeignListener) {
            EXPECT_EQ(attempt.other_uid, c.needs_root ? nobody().pw_uid : us) << c.what;
        }
        attempt.fd.reset();
        EXPECT_EQ(listener.stop(), 0) << c.what << ": a byte reached the listener";
    }
    TempDir dir;
    EXPECT_EQ(connect_office_pipe(dir.path() + "/absent", {us, us}).result, Result::Absent);
    EXPECT_EQ(connect_office_pipe(dir.file("plain", "", false), {us, us}).result, Result::NotASocket);
}

TEST(PipeCleanup, RemovesOnlyAStaleSocketOfOurs) {
    struct Case { const char* what; ListenerSpec spec; bool still_listening, removed, needs_root; };
    const Case cases[] = {
        {"ours, listening", {}, true, false, false},
        {"ours, its office gone", {}, false, true, false},
        {"nobody's, gone", {true, false, false}, false, false, true},
    };
    for (const auto& c : cases) {
        if (c.needs_root && !running_as_root()) continue;
        const std::string path = "/tmp/OSL_PIPE_test_" + random_pipe_name();
        FakeListener listener(path, c.spec);
        if (!c.still_listening) listener.stop();  // leaves its socket file, as a killed office does
        EXPECT_EQ(pipe_listening(path), c.still_listening) << c.what;
        EXPECT_EQ(remove_stale_pipe(path, getuid()), c.removed) << c.what;
        EXPECT_EQ(access(path.c_str(), F_OK) == 0, !c.removed) << c.what;
    }
}

}  // namespace
}  // namespace veltrano::sheet
