#include "diagram_pixels.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>

#include <QPainter>

#include "veltrano/diagram/paint_qt.h"

namespace veltrano::testkit_qt {

namespace {

using Channel = int (*)(QRgb);
constexpr Channel kChannels[] = {qRed, qGreen, qBlue};

QString hex(QRgb c) { return QStringLiteral("#%1").arg(c & 0xFFFFFFu, 6, 16, QLatin1Char('0')); }

int channel_distance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// How much of `colour` over white `pixel` is, when it is that colour at
// some coverage: each channel must say the same share within `tolerance`.
bool is_blend(QRgb pixel, QRgb colour, int tolerance, double least) {
    double share = 0;
    int counted = 0;
    for (Channel ch : kChannels) {
        const int room = 255 - ch(colour);
        if (room < 40) continue;  // a channel near white says little
        share += double(255 - ch(pixel)) / room;
        ++counted;
    }
    if (counted == 0) return false;
    share /= counted;
    if (share < least) return false;
    const double c = std::min(share, 1.0);
    for (Channel ch : kChannels) {
        const double expected = 255 - c * (255 - ch(colour));
        if (std::abs(ch(pixel) - expected) > tolerance) return false;
    }
    return true;
}

}  // namespace

Probe colour_at(double x, double y, QRgb colour, int tolerance) {
    Probe p;
    p.mode = Probe::Mode::kColour;
    p.x = x;
    p.y = y;
    p.colour = colour;
    p.tolerance = tolerance;
    return p;
}

Probe white_at(double x, double y, double radius) {
    Probe p = colour_at(x, y, 0xffffff, 0);
    p.mode = Probe::Mode::kWhite;
    p.radius = radius;
    return p;
}

QImage painted(const diagram::Scene& scene, double scale) {
    QImage image(int(std::ceil(scene.width * scale)), int(std::ceil(scene.height * scale)), QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(0, 255, 0));
    QPainter painter(&image);
    diagram::paint(scene, painter);
    return image;
}

QString probe_failure(const QImage& image, double scale, const Probe& probe) {
    const int cx = int(std::floor(probe.x * scale)), cy = int(std::floor(probe.y * scale));
    const int r = int(std::ceil(probe.radius * scale));
    const QString where = QStringLiteral("%1(%2, %3) @%4x").arg(QString::fromStdString(probe.name.empty() ? "" : probe.name + " "))
                              .arg(probe.x).arg(probe.y).arg(scale);
    QStringList seen;
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            if (dx * dx + dy * dy > r * r) continue;
            const int px = cx + dx, py = cy + dy;
            if (px < 0 || py < 0 || px >= image.width() || py >= image.height()) {
                return where + QStringLiteral(": outside the %1 × %2 image").arg(image.width()).arg(image.height());
            }
            const QRgb pixel = image.pixel(px, py);
            bool good = false;
            switch (probe.mode) {
            case Probe::Mode::kColour:
                good = channel_distance(pixel, probe.colour) <= probe.tolerance;
                break;
            case Probe::Mode::kLine:
                good = is_blend(pixel, probe.colour, probe.tolerance, probe.coverage);
                break;
            case Probe::Mode::kWhite:
                good = channel_distance(pixel, 0xffffff) <= probe.tolerance;
                if (!good) return where + QStringLiteral(": %1 at device (%2, %3), not white").arg(hex(pixel)).arg(px).arg(py);
                continue;
            }
            if (good) return {};
            seen << hex(pixel);
        }
    }
    if (probe.mode == Probe::Mode::kWhite) return {};
    const char* wanted = probe.mode == Probe::Mode::kLine ? "line of" : "";
    return where + QStringLiteral(": wanted %1 %2, saw %3").arg(wanted, hex(probe.colour), seen.join(' '));
}

QStringList failures(const QImage& image, double scale, const std::vector<Probe>& probes) {
    QStringList out;
    for (const Probe& p : probes) {
        const QString f = probe_failure(image, scale, p);
        if (!f.isEmpty()) out << f;
    }
    return out;
}

calc::ColumnInputs first_example_inputs() { return {100, 0.5, 0.95, 0.05, 2, 2.5}; }

std::vector<Probe> first_example_probes(const diagram::DiagramView& view, const calc::ColumnResult& column,
                                        double width, double height) {
    const auto at = [&](double x, double y) {
        const std::optional<diagram::Pt> p = view.window_point(width, height, x, y);
        if (!p) throw std::logic_error("the view has no picture");
        return std::pair{p->x.v, p->y.v};
    };
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    const int feed = column.feed_plate.value();
    const calc::ColumnInputs in = first_example_inputs();

    std::vector<Probe> probes;
    const auto line = [&](std::string name, std::pair<double, double> p, QRgb colour, double coverage) {
        Probe probe;
        probe.mode = Probe::Mode::kLine;
        probe.x = p.first;
        probe.y = p.second;
        probe.colour = colour;
        probe.tolerance = 24;
        probe.radius = 1;
        probe.coverage = coverage;
        probe.name = std::move(name);
        probes.push_back(probe);
    };
    // Where step 1's run across from the distillate turns down: the
    // staircase over the equilibrium curve.
    line("step 1 corner", at(x[1], in.xD), 0x222222, 0.6);
    // The middle of the feed step's run across, from plate 4's liquid to plate 5's.
    line("feed step", at((x[feed - 1] + x[feed]) / 2, y[feed]), 0xe67e22, 0.8);
    // The diagonal between the grid lines at 0.7 and 0.8, well below the
    // rectifying line; thinner than a pixel at the opening size.
    line("diagonal", at(0.75, 0.75), 0x808080, 0.4);
    // Below the stripping line, left of the legend, between grid lines.
    const auto [ex, ey] = at(0.35, 0.15);
    Probe empty = white_at(ex, ey, 3);
    empty.name = "empty plot area";
    probes.push_back(empty);
    return probes;
}

}  // namespace veltrano::testkit_qt
