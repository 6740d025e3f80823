#include "call_watchdog.h"

#include <utility>

namespace veltrano::sheet {

CallWatchdog::CallWatchdog() : thread_([this] { watch(); }) {}

CallWatchdog::~CallWatchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CallWatchdog::arm(std::chrono::milliseconds timeout, std::function<void()> on_expiry) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
        fired_ = false;
        deadline_ = std::chrono::steady_clock::now() + timeout;
        action_ = std::move(on_expiry);
    }
    wake_.notify_all();
}

bool CallWatchdog::disarm() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return !running_action_; });
    armed_ = false;
    action_ = nullptr;
    return fired_;
}

void CallWatchdog::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_) return;
        if (!armed_) {
            wake_.wait(lock);
            continue;
        }
        if (wake_.wait_until(lock, deadline_) == std::cv_status::no_timeout) continue;
        if (!armed_ || std::chrono::steady_clock::now() < deadline_) continue;
        // Time is up. The action runs without the lock (it may take a moment,
        // and the caller's blocked call ends only because of it); disarm()
        // waits for it to finish.
        armed_ = false;
        fired_ = true;
        running_action_ = true;
        std::function<void()> action = std::move(action_);
        lock.unlock();
        try {
            if (action) action();
        } catch (...) {
            // The caller still gets its call back or times out again; an
            // exception must not end the process from this thread.
        }
        action = nullptr;
        lock.lock();
        running_action_ = false;
        wake_.notify_all();
    }
}

}  // namespace veltrano::sheet
