// The workbench's calculation on a thread of its own, so that typing never
// waits for a column: only the latest state waiting is computed next.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "veltrano/command/workbench.h"
#include "veltrano/diagram/window.h"

namespace veltrano::command {

struct Recomputer::Impl {
    core::NumberFormat format;
    Done done;
    std::mutex mutex;
    std::condition_variable wake;
    std::optional<WorkbenchState> waiting;
    std::uint64_t submitted = 0;
    bool stopping = false;
    std::thread worker;  // last: started once everything it reads exists

    void run() {
        for (;;) {
            WorkbenchState state;
            std::uint64_t number = 0;
            {
                std::unique_lock<std::mutex> lock(mutex);
                wake.wait(lock, [&] { return stopping || waiting.has_value(); });
                if (stopping) return;
                state = std::move(*waiting);
                waiting.reset();
                number = submitted;
            }
            auto outcome = std::make_shared<const WorkbenchOutcome>(compute_workbench(state, format));
            done(number, std::move(outcome));
        }
    }
};

Recomputer::Recomputer(core::NumberFormat format, Done done) : impl_(std::make_unique<Impl>()) {
    impl_->format = std::move(format);
    impl_->done = std::move(done);
    impl_->worker = std::thread([impl = impl_.get()] { impl->run(); });
}

Recomputer::~Recomputer() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_one();
    impl_->worker.join();
}

std::uint64_t Recomputer::submit(WorkbenchState state) {
    std::uint64_t number = 0;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->waiting = std::move(state);
        number = ++impl_->submitted;
    }
    impl_->wake.notify_one();
    return number;
}

diagram::Scene workbench_scene(const diagram::Scene* picture, bool stale, double width, double height) {
    return diagram::fitted_picture(picture, width, height, stale && picture != nullptr ? kStaleNote : std::string());
}

}  // namespace veltrano::command
