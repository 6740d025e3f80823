// For the Qt timing tools: the application that notes when a widget of a
// given object name last finished a paint, and the wait for that paint.
#pragma once

#include <chrono>
#include <optional>

#include <QApplication>
#include <QString>

namespace veltrano::tools {

using Clock = std::chrono::steady_clock;

inline double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class TimedApplication final : public QApplication {
public:
    // `watched`: the object name of the widget whose paints are timed.
    TimedApplication(int& argc, char** argv, QString watched) : QApplication(argc, argv), watched_(std::move(watched)) {}
    std::optional<Clock::time_point> painted;

    bool notify(QObject* target, QEvent* event) override {
        const bool done = QApplication::notify(target, event);
        if (event->type() == QEvent::Paint && target->objectName() == watched_) painted = Clock::now();
        return done;
    }

private:
    QString watched_;
};

// Runs the event loop until the watched widget has painted since `since`;
// false after ten seconds without.
inline bool wait_for_paint(TimedApplication& app, Clock::time_point since) {
    const Clock::time_point deadline = since + std::chrono::seconds(10);
    while (!(app.painted && *app.painted >= since)) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace veltrano::tools
