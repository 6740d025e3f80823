// Checks a screenshot of the real program's diagram window against the
// first example's table of pixels, for app/tests/diagram_window_xvfb.sh.
// The window's size is the image's; the presses say where the picture sits
// (each failed press puts a note over it).
//
//   diagram_screenshot_check IMAGE.png [--failed-after N] [--then-failed N]
//     --failed-after N  the first example's press failed after its
//                       calculation with error N (the hand-over: 429)
//     --then-failed N   a later press failed before calculating (13)
//
// Prints each probe's place and what it found; exit status 0 when all hold.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QGuiApplication>
#include <QImage>

#include "diagram_pixels.h"

int main(int argc, char** argv) {
    using namespace veltrano;
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: diagram_screenshot_check IMAGE.png [--failed-after N] [--then-failed N]\n");
        return 2;
    }
    diagram::DiagramView view;
    const calc::ColumnInputs in = testkit_qt::first_example_inputs();
    const calc::ColumnResult column = calc::calculate(in);
    view.press_started();
    view.calculated(in, column);
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--failed-after") == 0) {
            view.failed(std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--then-failed") == 0) {
            view.press_started();
            view.failed(std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }

    QImage image;
    if (!image.load(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    std::printf("%s: %d x %d\n", argv[1], image.width(), image.height());
    int failed = 0;
    for (const testkit_qt::Probe& probe : testkit_qt::first_example_probes(view, column, image.width(), image.height())) {
        const QString failure = testkit_qt::probe_failure(image, 1, probe);
        const QRgb seen = image.pixel(int(probe.x), int(probe.y));
        std::printf("  %-16s (%7.2f, %7.2f)  want %s #%06x, centre pixel #%06x  %s\n", probe.name.c_str(), probe.x,
                    probe.y, probe.mode == testkit_qt::Probe::Mode::kWhite ? "white" : "line of", probe.colour & 0xFFFFFFu,
                    seen & 0xFFFFFFu, failure.isEmpty() ? "ok" : qPrintable(failure));
        failed += !failure.isEmpty();
    }
    return failed == 0 ? 0 : 1;
}
