// A bound on calls into another process that has no timeout of its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace veltrano::sheet {

// One thread that waits beside the caller. While armed, it runs the expiry
// action once the time is up; the action must make the blocked call return
// (for a UNO bridge: close its connection, and the call throws).
//
// Lifetime rule: the thread is joined by the destructor, and disarm() does
// not return while the action is running, so after disarm() nothing the
// action uses is touched by the watchdog again.
class CallWatchdog {
public:
    CallWatchdog();
    ~CallWatchdog();
    CallWatchdog(const CallWatchdog&) = delete;
    CallWatchdog& operator=(const CallWatchdog&) = delete;

    void arm(std::chrono::milliseconds timeout, std::function<void()> on_expiry);
    // True when the action ran since arm().
    bool disarm();

private:
    void watch();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool armed_ = false;
    bool running_action_ = false;
    bool fired_ = false;
    bool stopping_ = false;
    std::chrono::steady_clock::time_point deadline_;
    std::function<void()> action_;
    std::thread thread_;  // last: started once every member above exists
};

}  // namespace veltrano::sheet
