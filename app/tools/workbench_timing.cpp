// What a user waits for in the design workbench, for
// scripts/measure-workbench.sh: the real window on the display (the
// spreadsheet never called), a keystroke in R to the diagram repainted with
// its outcome, in milliseconds; the keystroke alternately adds a digit to R
// and takes it away, so every one changes the column. Two columns: the first
// example (11 stages, constant alpha) and ethanol–water on NRTL with R just
// above its tangent pinch (100 stages). Also the calculation alone, as
// compute_workbench() does it on the Recomputer's thread.
//
//   veltrano-workbench-timing [KEYSTROKES]   (default 50 each)
// Prints medians and the worst.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include "veltrano/command/workbench.h"
#include "veltrano/core/number_text.h"
#include "paint_clock_qt.h"
#include "veltrano/gui/form_qt.h"
#include "veltrano/gui/workbench.h"

namespace {

using veltrano::tools::Clock;
using veltrano::tools::ms_between;
using veltrano::tools::TimedApplication;
using veltrano::tools::wait_for_paint;

struct Figures {
    std::vector<double> ms;
    void print(const std::string& what) {
        std::sort(ms.begin(), ms.end());
        const std::size_t n = ms.size();
        const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
        std::printf("%-58s median %7.2f ms  (worst %.2f, best %.2f, %zu keystrokes)\n", what.c_str(), median, ms.back(),
                    ms.front(), n);
    }
};

template <typename T>
T* control(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("WorkbenchWindow")) return w->findChild<T*>(QString::fromUtf8(name));
    }
    return nullptr;
}

// Typed as a user types, not timed.
void type(const char* field, const char* text) {
    auto* edit = control<QLineEdit>(field);
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromUtf8(text));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano;
    TimedApplication app(argc, argv, QString::fromUtf8(veltrano::command::kDiagramArea.data(), int(veltrano::command::kDiagramArea.size())));
    gui::set_up_qt_application();
    const int keystrokes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 50;

    // Alone, as `veltrano --design` opens it; nothing is exported.
    gui::WorkbenchWindow window([]() -> std::unique_ptr<sheet::Spreadsheet> { return nullptr; }, true);
    window.open();
    QWidget* workbench = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("WorkbenchWindow")) workbench = w;
    }
    if (workbench == nullptr || !QTest::qWaitForWindowExposed(workbench)) {
        std::fprintf(stderr, "the workbench did not show\n");
        return 1;
    }

    struct Column {
        const char* what;
        const char* mixture;  // the list's item
        const char* xD;
        const char* R;        // a digit is added to it and taken away
    };
    const Column columns[] = {
        {"first example (11 stages, constant alpha)", command::kAlphaItem, "0.95", "2.0"},
        {"ethanol-water, NRTL, R near its tangent pinch (100 stages)", "乙醇/水", "0.8", "0.9826"},
    };
    for (const Column& c : columns) {
        auto* list = control<QComboBox>(command::kMixtureList.data());
        const int item = list->findText(QString::fromUtf8(c.mixture));
        while (list->currentIndex() != item) QTest::keyClick(list, item > list->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
        type("xD", c.xD);
        type("R", c.R);
        auto* R = control<QLineEdit>("R");
        // The column as shown, before the first keystroke.
        wait_for_paint(app, Clock::now());
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const std::string stages = control<QLineEdit>("result_stages")->text().toStdString();

        Figures keystroke, compute;
        for (int i = 0; i < keystrokes; ++i) {
            const Clock::time_point key = Clock::now();
            QTest::keyClick(R, i % 2 == 0 ? Qt::Key_5 : Qt::Key_Backspace);
            if (!wait_for_paint(app, key)) {
                std::fprintf(stderr, "a keystroke in R repainted no diagram\n");
                return 1;
            }
            keystroke.ms.push_back(ms_between(key, *app.painted));
        }
        command::WorkbenchState state = command::WorkbenchState::first_start();
        state.mixture = item;
        state.texts["xD"] = c.xD;
        state.texts["R"] = c.R;
        const core::NumberFormat format = core::user_number_format();
        for (int i = 0; i < keystrokes; ++i) {
            const Clock::time_point start = Clock::now();
            const command::WorkbenchOutcome outcome = command::compute_workbench(state, format);
            compute.ms.push_back(ms_between(start, Clock::now()));
            if (!outcome.ok()) {
                std::fprintf(stderr, "%s: %s\n", c.what, outcome.failure.c_str());
                return 1;
            }
        }
        std::printf("%s: %s stages, window %dx%d\n", c.what, stages.c_str(), workbench->width(), workbench->height());
        keystroke.print("  keystroke in R to the diagram repainted");
        compute.print("  the column computed and drawn alone (its thread)");
    }
    return 0;
}
