// Pixels of a painted diagram, read back: what the diagram window's test
// and the screenshot check of the real program share.
#pragma once

#include <string>
#include <vector>

#include <QImage>
#include <QString>
#include <QStringList>

#include "veltrano/calc/column.h"
#include "veltrano/diagram/scene.h"
#include "veltrano/diagram/window.h"

namespace veltrano::testkit_qt {

// What one place of a picture must show, in page (window) pixels; an image
// `scale` device pixels a page pixel is read at (x, y) × scale.
struct Probe {
    enum class Mode {
        kColour,  // the pixel is `colour`, each channel within `tolerance`
        kLine,    // a pixel within `radius` is `colour` laid over white at a
                  // coverage of at least `coverage` (a thin antialiased line)
        kWhite,   // every pixel within `radius` is white
    };
    Mode mode = Mode::kColour;
    double x = 0, y = 0;
    QRgb colour = 0;
    int tolerance = 8;
    double radius = 0;
    double coverage = 1;
    std::string name = {};
};

Probe colour_at(double x, double y, QRgb colour, int tolerance);
Probe white_at(double x, double y, double radius = 0);

// `scene` painted into an image `scale` device pixels a page pixel (its
// device pixel ratio), on a green ground that the white page must cover.
QImage painted(const diagram::Scene& scene, double scale);

// Empty when `image` shows what `probe` expects; otherwise what it shows.
QString probe_failure(const QImage& image, double scale, const Probe& probe);
QStringList failures(const QImage& image, double scale, const std::vector<Probe>& probes);

// The first worked example (F 100, xF 0.5, xD 0.95, xW 0.05, R 2, alpha 2.5)
// as the window shows it `width` × `height`: the corner of step 1 at (x1, xD)
// in the step colour, the middle of the feed step's run across in the feed
// colour, the diagonal grey where no other line is near, and empty plot area
// white. Positions from DiagramView::window_point.
std::vector<Probe> first_example_probes(const diagram::DiagramView& view, const calc::ColumnResult& column,
                                        double width, double height);

// The first worked example's six inputs.
calc::ColumnInputs first_example_inputs();

}  // namespace veltrano::testkit_qt
