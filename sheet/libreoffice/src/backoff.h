// Polling for something another process provides soon (a socket, a lock):
// a few milliseconds at first, since it usually comes within a fraction of
// a second, then longer waits up to a ceiling.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

namespace veltrano::sheet {

class Backoff {
public:
    using Clock = std::chrono::steady_clock;

    // Sleeps the next interval, never past `deadline`. False, without
    // sleeping, once the deadline has passed.
    bool wait(Clock::time_point deadline) {
        const auto now = Clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(next_, deadline - now));
        next_ = std::min<std::chrono::microseconds>(next_ * 3 / 2, kCeiling);
        return true;
    }

private:
    static constexpr std::chrono::microseconds kCeiling{20000};
    std::chrono::microseconds next_{2000};
};

}  // namespace veltrano::sheet
