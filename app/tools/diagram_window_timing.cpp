// What a user waits for in the diagram window, for
// scripts/measure-diagram-window.sh: the real main window and diagram window
// wired as the program wires them, on the display (the spreadsheet a text
// table, so that only the window's own work is timed). Milliseconds, each
// up to the end of the diagram window's paint:
//   - F2 to the diagram painted, the first time (the window built, mapped
//     and exposed) and again after Esc;
//   - a press of 计算 to the new diagram painted, and of that the redraw
//     alone (from the column computed: the scene built and painted), at the
//     opening size and at twice it;
//   - the scene built alone, and a repaint of an unchanged window.
//
//   veltrano-diagram-window-timing [RUNS]   (default 40 presses each)
// Prints medians, minima and maxima; the aim for a redraw is 16 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include "veltrano/command/calculate.h"
#include "veltrano/command/main_form.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/diagram_window.h"
#include "paint_clock_qt.h"
#include "veltrano/gui/form_qt.h"
#include "veltrano/sheet/text_table.h"

namespace {

using veltrano::tools::Clock;
using veltrano::tools::ms_between;
using veltrano::tools::TimedApplication;
using veltrano::tools::wait_for_paint;

QWidget* diagram_widget() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("DiagramWindow")) return w;
    }
    return nullptr;
}

// A key as the window system delivers it, shortcuts included.
void key(QWidget* to, Qt::Key k) { QTest::keyClick(to, k); }

struct Figures {
    std::vector<double> ms;
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        const double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
        std::printf("%-46s median %7.2f ms  (min %.2f, max %.2f, %zu runs)\n", what, median, ms.front(), ms.back(),
                    ms.size());
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano;
    TimedApplication app(argc, argv, QStringLiteral("DiagramWindow"));
    gui::set_up_qt_application();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;

    // As app/desktop/main_qt.cpp wires them.
    diagram::DiagramView view;
    gui::DiagramWindow window(view);
    std::optional<Clock::time_point> calculated;
    const auto on_click = [&](command::Fields& fields) {
        view.press_started();
        try {
            command::press_calculate(fields, [] { return std::make_unique<sheet::TextTable>(); },
                                     [&](const command::Calculation& c) {
                                         calculated = Clock::now();
                                         view.calculated(c.inputs, c.column);
                                         window.refresh();
                                     });
        } catch (const core::RunError& e) {
            view.failed(e.number());
            window.refresh();
            throw;
        }
    };
    const auto main = gui::build_form(command::main_form(), on_click,
                                      {{diagram::kOpenCommand, 2, [&] { window.open(); }}});
    main->show();
    main->activateWindow();
    QCoreApplication::processEvents();
    const char* inputs[][2] = {{"Text1", "100"}, {"Text7", "0.5"}, {"Text2", "0.95"},
                               {"Text3", "0.05"}, {"Text4", "2"},   {"Text5", "2.5"}};
    for (const auto& [name, text] : inputs) main->findChild<QLineEdit*>(name)->setText(text);
    auto* button = main->findChild<QPushButton*>(QStringLiteral("Command1"));
    auto* text1 = main->findChild<QLineEdit*>(QStringLiteral("Text1"));

    // A first press, so that F2 opens onto a diagram.
    button->click();

    Figures first, again;
    {
        const Clock::time_point f2 = Clock::now();
        key(text1, Qt::Key_F2);
        if (!wait_for_paint(app, f2)) {
            std::fprintf(stderr, "F2 painted no diagram window\n");
            return 1;
        }
        first.ms.push_back(ms_between(f2, *app.painted));
    }
    QWidget* diagram = diagram_widget();
    for (int i = 0; i < std::min(runs, 10); ++i) {
        key(diagram, Qt::Key_Escape);
        QApplication::setActiveWindow(main.get());  // as the window manager gives it back
        QCoreApplication::processEvents();
        const Clock::time_point f2 = Clock::now();
        key(text1, Qt::Key_F2);
        if (!wait_for_paint(app, f2)) {
            std::fprintf(stderr, "F2 after Esc painted no diagram window\n");
            return 1;
        }
        again.ms.push_back(ms_between(f2, *app.painted));
    }
    first.print("F2 to the diagram painted, first time");
    again.print("F2 to the diagram painted, after Esc");

    for (double factor : {1.0, 2.0}) {
        diagram->resize(int(diagram::kOpeningWidth * factor), int(diagram::kOpeningHeight * factor));
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
        Figures press, redraw, scene, repaint;
        for (int i = 0; i < runs; ++i) {
            calculated.reset();
            const Clock::time_point click = Clock::now();
            button->click();  // the press runs, and repaints the diagram, inside
            if (!calculated || !app.painted || *app.painted < *calculated) {
                std::fprintf(stderr, "the press repainted no diagram\n");
                return 1;
            }
            press.ms.push_back(ms_between(click, *app.painted));
            redraw.ms.push_back(ms_between(*calculated, *app.painted));

            const Clock::time_point build = Clock::now();
            const diagram::Scene built = view.scene(diagram->width(), diagram->height());
            scene.ms.push_back(ms_between(build, Clock::now()));

            const Clock::time_point expose = Clock::now();
            diagram->repaint();
            repaint.ms.push_back(ms_between(expose, *app.painted));
        }
        const std::string size = std::to_string(diagram->width()) + "x" + std::to_string(diagram->height());
        press.print(("press to the diagram painted, " + size).c_str());
        redraw.print(("redraw after the column, " + size).c_str());
        scene.print(("  of which: the scene built, " + size).c_str());
        repaint.print(("repaint of an unchanged window, " + size).c_str());
    }
    return 0;
}
