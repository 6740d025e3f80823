#include "diagram.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "diagram_draw.h"
#include "veltrano/calc/balances.h"
#include "veltrano/core/number_text.h"

namespace veltrano::app {

namespace draw {

using calc::ColumnInputs;

// Chinese glyphs on Linux (Noto, WenQuanYi) and on Windows (YaHei, SimHei).
constexpr const char* kFonts =
    "'Noto Sans CJK SC','Source Han Sans SC','WenQuanYi Micro Hei','Microsoft YaHei','SimHei',sans-serif";

// Digits after the point, rounded as printf would, in any locale; several
// times faster than printf, which matters at a few hundred points a diagram.
std::string fixed(double v, int decimals) {
    char buf[400];  // 309 integer digits at most, the sign, the point, the decimals
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    return std::string(buf, written.ec == std::errc() ? written.ptr : buf);
}

// Page coordinates, a hundredth of a pixel is plenty.
std::string px(double v) { return fixed(v, 2); }

std::string exact(double v) { return core::double_to_text(v); }

std::string tick_text(double v, double step) {
    const int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(step) + 1e-9)));
    if (decimals <= 6 && std::abs(v) < 1e9) return fixed(v, decimals);
    char buf[32];
    const auto written = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 3);
    return std::string(buf, written.ec == std::errc() ? written.ptr : buf);
}

// --- text -----------------------------------------------------------------

double text_ems(std::string_view text) {
    double ems = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        // U+3000 and above (CJK, full-width forms) start with 0xE3 or more.
        ems += lead >= 0xE3 ? 1.0 : 0.58;
        i += length;
    }
    return ems;
}

double runs_width(const Runs& runs, double size) {
    double w = 0;
    for (const Run& r : runs) w += text_ems(r.text) * (r.sub ? 0.72 : 1.0) * size;
    return w;
}

// One line of text at (x, y), baseline y. The shift of a subscript is undone by
// the run after it, so the baseline ends where it started.
void text_line(std::string& out, double x, double y, double size, const Runs& runs,
               std::string_view attributes) {
    out += "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\" font-size=\"" + px(size) + "\"";
    if (!attributes.empty()) {
        out += ' ';
        out += attributes;
    }
    out += '>';
    const std::string shift = px(size * 0.28);
    bool lowered = false;
    for (const Run& r : runs) {
        if (r.sub) {
            out += "<tspan dy=\"" + shift + "\" font-size=\"" + px(size * 0.72) + "\">" + r.text + "</tspan>";
            lowered = true;
        } else if (lowered) {
            // A blank at the start of a run may be dropped by a renderer: a gap instead.
            const bool blank = !r.text.empty() && r.text[0] == ' ';
            out += "<tspan dy=\"-" + shift + "\"" + (blank ? " dx=\"" + px(size * 0.28) + "\"" : "") + ">" +
                   r.text.substr(blank ? 1 : 0) + "</tspan>";
            lowered = false;
        } else {
            out += r.text;
        }
    }
    if (lowered) out += "<tspan dy=\"-" + shift + "\"></tspan>";
    out += "</text>\n";
}

// A title line centred on the page, made smaller when long numbers would
// make it wider than the page.
void title_line(std::string& out, double width, double y, double size, const Runs& runs,
                std::string_view attributes) {
    const double room = width - 40;
    const double w = runs_width(runs, size);
    if (w > room) size *= room / w;
    text_line(out, width / 2, y, size, runs, std::string("text-anchor=\"middle\" ") + std::string(attributes));
}

void append_quantity(Runs& runs, std::string caption, std::string symbol, std::string sub, double value,
                     std::string unit) {
    runs.push_back({std::move(caption) + " " + std::move(symbol)});
    if (!sub.empty()) runs.push_back({std::move(sub), true});
    runs.push_back({" = " + exact(value) + std::move(unit)});
}

void append_input(Runs& runs, const ColumnInputs& in, double ColumnInputs::*input) {
    if (!runs.empty()) runs.push_back({"　　"});
    if (input == &ColumnInputs::F) append_quantity(runs, "进料流率", "F", "", in.F, " kmol/h");
    if (input == &ColumnInputs::xF) append_quantity(runs, "进料组成", "x", "F", in.xF);
    if (input == &ColumnInputs::xD) append_quantity(runs, "馏出组成", "x", "D", in.xD);
    if (input == &ColumnInputs::xW) append_quantity(runs, "塔底组成", "x", "W", in.xW);
    if (input == &ColumnInputs::R) append_quantity(runs, "回流比", "R", "", in.R);
    if (input == &ColumnInputs::alpha) append_quantity(runs, "相对挥发度", "α", "", in.alpha);
}

void document_start(std::string& out, double width, double height, std::string_view title) {
    const std::string w = px(width), h = px(height);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + w + "\" height=\"" + h +
           "\" viewBox=\"0 0 " + w + " " + h + "\" font-family=\"" + kFonts + "\" fill=\"#222222\">\n";
    out += "<title>" + std::string(title) + "</title>\n";
    out += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
}

// --- page boxes -------------------------------------------------------------

bool crosses(const Box& box, Point a, Point b) {
    double t0 = 0, t1 = 1;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    return t0 < t1;
}

Box legend(std::string& out, double right, double top_or_bottom, bool at_bottom,
           const std::vector<LegendEntry>& entries) {
    constexpr double kRow = 18, kPad = 8, kSample = 26, kSize = 12;
    double text_width = 0;
    for (const LegendEntry& e : entries) text_width = std::max(text_width, runs_width(e.text, kSize));
    const double w = kPad * 3 + kSample + text_width, h = kPad * 2 + kRow * static_cast<double>(entries.size());
    const double x = right - w - 10, y = at_bottom ? top_or_bottom - h - 10 : top_or_bottom + 10;
    out += "<g class=\"legend\">\n<rect x=\"" + px(x) + "\" y=\"" + px(y) + "\" width=\"" + px(w) +
           "\" height=\"" + px(h) + "\" fill=\"#ffffff\" fill-opacity=\"0.92\" stroke=\"#bbbbbb\"/>\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const double row = y + kPad + kRow * (static_cast<double>(i) + 0.5);
        out += "<g transform=\"translate(" + px(x + kPad) + " " + px(row) + ")\">" + entries[i].sample + "</g>\n";
        text_line(out, x + kPad * 2 + kSample, row + kSize * 0.36, kSize, entries[i].text);
    }
    out += "</g>\n";
    return {x, y, x + w, y + h};
}

std::string sample_line(const char* colour, double width, std::string_view dashes) {
    std::string s = "<line x1=\"0\" y1=\"0\" x2=\"26\" y2=\"0\" stroke=\"" + std::string(colour) +
                    "\" stroke-width=\"" + px(width) + "\"";
    if (!dashes.empty()) s += " stroke-dasharray=\"" + std::string(dashes) + "\"";
    return s + "/>";
}

// --- a plot of mole fractions ----------------------------------------------

std::string Frame::transform() const {
    return "matrix(" + px(scale) + " 0 0 " + px(-scale) + " " + px(left - x0 * scale) + " " +
           px(bottom() + y0 * scale) + ")";
}

bool in_unit_square(Point p) { return p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1; }

void polylines(std::string& out, const Frame& frame, const std::vector<std::vector<Point>>& pieces,
               std::string_view cls, const char* colour, double width, std::string_view dashes) {
    for (const auto& piece : pieces) {
        out += "<polyline class=\"" + std::string(cls) + "\" stroke=\"" + colour + "\" stroke-width=\"" +
               frame.length(width) + "\"";
        if (!dashes.empty()) out += " stroke-dasharray=\"" + std::string(dashes) + "\"";
        out += " points=\"";
        for (std::size_t i = 0; i < piece.size(); ++i) {
            if (i) out += ' ';
            out += exact(piece[i].x) + "," + exact(piece[i].y);
        }
        out += "\"/>\n";
    }
}

// The equilibrium curve, as points on it: x = i / 200 (exact decimals) with
// their vapour, and where the curve is steep, y = j / 200 with their liquid,
// so that a volatile mixture's curve is as smooth near x = 0 as elsewhere.
// The computed coordinate is written to 1e-9. Only points inside the unit
// square are drawn; a gap (alpha <= 0 puts the curve outside) splits the line.
void equilibrium_curve(std::string& out, const Frame& frame, double alpha) {
    struct Sample {
        double x, y;
        std::string text;
    };
    constexpr int kSteps = 200;
    std::vector<Sample> samples;
    const auto inside = [](double v) { return std::isfinite(v) && v >= -1e-12 && v <= 1 + 1e-12; };
    const auto clamp01 = [](double v) { return std::min(1.0, std::max(0.0, v)); };
    for (int i = 0; i <= kSteps; ++i) {
        const double x = i / static_cast<double>(kSteps);
        const double y = calc::equilibrium_vapour(alpha, x);
        samples.push_back({x, inside(y) ? y : NAN, fixed(x, 3) + "," + fixed(clamp01(y), 9)});
    }
    // Monotone from (0, 0) to (1, 1) only for alpha > 0; otherwise x decides alone.
    if (alpha > 0) {
        for (int j = 1; j < kSteps; ++j) {
            const double y = j / static_cast<double>(kSteps);
            const double x = calc::equilibrium_liquid(alpha, y);
            if (inside(x)) samples.push_back({x, y, fixed(clamp01(x), 9) + "," + fixed(y, 3)});
        }
        std::stable_sort(samples.begin(), samples.end(),
                         [](const Sample& a, const Sample& b) { return a.x < b.x; });
    }
    std::vector<std::string> run;
    const auto flush = [&] {
        if (run.size() >= 2) {
            out += "<polyline class=\"equilibrium\" stroke=\"" + std::string(kCurveColour) + "\" stroke-width=\"" +
                   frame.length(2) + "\" points=\"";
            for (std::size_t i = 0; i < run.size(); ++i) out += (i ? " " : "") + run[i];
            out += "\"/>\n";
        }
        run.clear();
    };
    for (const Sample& s : samples) {
        if (std::isnan(s.y)) {
            flush();
        } else {
            run.push_back(s.text);
        }
    }
    flush();
}

// --- step numbers -------------------------------------------------------------

double StepLabel::extent(double ux, double uy) const { return std::abs(ux) * w / 2 + std::abs(uy) * h / 2; }

Point StepLabel::leader_end() const {
    const double e = extent(nx, ny);
    return {lx - nx * e, ly - ny * e};
}

constexpr double kStepFont = 11;

std::vector<StepLabel> place_step_numbers(const Frame& frame, const std::vector<Corner>& corners, int feed,
                                          const Box& allowed, const std::vector<Box>& taken, bool clear_leaders) {
    constexpr double kFont = kStepFont, kGap = 6, kRailGap = 14;
    std::vector<StepLabel> labels;
    labels.reserve(corners.size());
    for (const Corner& c : corners) {
        // Its normal towards the upper left, on the page.
        const double slope = c.slope;
        const double norm = std::hypot(slope, 1.0);
        StepLabel l{c.stage, frame.page_x(c.x), frame.page_y(c.y), -slope / norm, -1.0 / norm, 0, kFont + 2,
                    std::to_string(c.stage) + (c.stage == feed ? " 进料板" : "")};
        l.w = text_ems(l.text) * kFont + 2;
        l.offset = c.offset;
        l.leader = c.offset > 4;
        const double d = kGap + (l.offset + l.extent(l.nx, l.ny));
        l.lx = l.cx + l.nx * d;
        l.ly = l.cy + l.ny * d;
        labels.push_back(l);
    }

    // Runs of neighbours [first, last] placed together; a run that collides
    // with the next one joins it, until none does.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < labels.size(); ++i) runs.push_back({i, i});
    const auto place = [&](std::size_t first, std::size_t last) {
        if (first == last) return;
        double cx = 0, cy = 0, nx = 0, ny = 0;
        for (std::size_t i = first; i <= last; ++i) {
            cx += labels[i].cx;
            cy += labels[i].cy;
            nx += labels[i].nx;
            ny += labels[i].ny;
        }
        const double count = static_cast<double>(last - first + 1), nn = std::hypot(nx, ny);
        cx /= count;
        cy /= count;
        nx = nn > 0 ? nx / nn : -std::sqrt(0.5);  // normals that cancel out: up and to the left
        ny = nn > 0 ? ny / nn : -std::sqrt(0.5);
        // Along the rail, in the direction of rising plate number.
        double tx = -ny, ty = nx;
        if ((labels[last].cx - labels[first].cx) * tx + (labels[last].cy - labels[first].cy) * ty < 0) {
            tx = -tx;
            ty = -ty;
        }
        double out_by = 0;
        for (std::size_t i = first; i <= last; ++i) {
            out_by = std::max(out_by, labels[i].offset + labels[i].extent(nx, ny));
        }
        const double rail = kGap + out_by + kRailGap;
        // Each label as near its corner as the one before allows, then the
        // whole run centred on its corners.
        std::vector<double> at;
        double wanted_sum = 0;
        for (std::size_t i = first; i <= last; ++i) {
            const double wanted = (labels[i].cx - cx) * tx + (labels[i].cy - cy) * ty;
            wanted_sum += wanted;
            if (i == first) {
                at.push_back(wanted);
            } else {
                // Clear of the one before along x or along y, whichever comes first.
                const double wide = (labels[i - 1].w + labels[i].w) / 2 / std::max(std::abs(tx), 1e-9);
                const double high = (labels[i - 1].h + labels[i].h) / 2 / std::max(std::abs(ty), 1e-9);
                const double apart = std::min(wide, high) + 1;
                at.push_back(std::max(wanted, at.back() + apart));
            }
        }
        const auto put = [&] {
            double at_sum = 0;
            for (const double a : at) at_sum += a;
            const double shift = (wanted_sum - at_sum) / count;
            for (std::size_t i = first; i <= last; ++i) {
                StepLabel& l = labels[i];
                l.lx = cx + nx * rail + tx * (at[i - first] + shift);
                l.ly = cy + ny * rail + ty * (at[i - first] + shift);
                l.leader = true;
            }
        };
        put();
        // A wide number (the feed stage's) can reach across its neighbour's
        // leader: the rest of the run moves along until none does.
        for (std::size_t i = first + 1; clear_leaders && i <= last; ++i) {
            for (int tries = 0; tries < 100 && (label_hits(labels[i], labels[i - 1]) ||
                                                label_hits(labels[i - 1], labels[i]));
                 ++tries) {
                for (std::size_t j = i; j <= last; ++j) at[j - first] += 2;
                put();
            }
        }
    };
    // Two runs collide where a label of one covers a label or a leader of the
    // other; they become one, with every run between them.
    const auto hits = [&](const StepLabel& l, const StepLabel& other) {
        if (l.box().overlaps(other.box())) return true;
        const double e = other.extent(other.nx, other.ny);
        return other.leader && crosses(l.box(), {other.cx, other.cy}, {other.lx - other.nx * e, other.ly - other.ny * e});
    };
    const auto collision = [&]() -> std::optional<std::pair<std::size_t, std::size_t>> {
        for (std::size_t a = 0; a < runs.size(); ++a) {
            for (std::size_t b = a + 1; b < runs.size(); ++b) {
                for (std::size_t i = runs[a].first; i <= runs[a].second; ++i) {
                    for (std::size_t j = runs[b].first; j <= runs[b].second; ++j) {
                        if (hits(labels[i], labels[j]) || hits(labels[j], labels[i])) return std::make_pair(a, b);
                    }
                }
            }
        }
        return std::nullopt;
    };
    while (const auto hit = collision()) {
        const auto [a, b] = *hit;
        runs[a].second = runs[b].second;
        runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(a) + 1, runs.begin() + static_cast<std::ptrdiff_t>(b) + 1);
        place(runs[a].first, runs[a].second);
    }

    for (StepLabel& l : labels) {
        const double lx = std::clamp(l.lx, allowed.x0 + l.w / 2, allowed.x1 - l.w / 2);
        const double ly = std::clamp(l.ly, allowed.y0 + l.h / 2, allowed.y1 - l.h / 2);
        if (std::hypot(lx - l.lx, ly - l.ly) > 3) l.leader = true;
        l.lx = lx;
        l.ly = ly;
    }
    for (StepLabel& l : labels) {
        // Clear of the legend and the composition marks: further out.
        for (int tries = 0; tries < 12; ++tries) {
            const Box b = l.box();
            if (std::none_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(b); })) break;
            l.lx += l.nx * 6;
            l.ly += l.ny * 6;
            l.leader = true;
        }
    }
    return labels;
}

bool label_hits(const StepLabel& l, const StepLabel& other) {
    return l.box().overlaps(other.box()) ||
           (other.leader && crosses(l.box(), {other.cx, other.cy}, other.leader_end()));
}

void write_step_numbers(std::string& out, const std::vector<StepLabel>& labels, int feed,
                        std::string_view group_attributes) {
    constexpr double kFont = kStepFont;
    out += "<g class=\"step-numbers\"" + (group_attributes.empty() ? "" : " " + std::string(group_attributes)) +
           " font-size=\"" + px(kFont) + "\" text-anchor=\"middle\">\n";
    for (const StepLabel& l : labels) {
        const bool is_feed = l.stage == feed;
        if (l.leader) {
            const Point end = l.leader_end();
            out += "<line class=\"leader\" x1=\"" + px(l.cx + l.nx * 2) + "\" y1=\"" + px(l.cy + l.ny * 2) +
                   "\" x2=\"" + px(end.x) + "\" y2=\"" + px(end.y) + "\" stroke=\"" +
                   (is_feed ? kFeedColour : "#9a9a9a") + "\" stroke-width=\"0.7\"/>\n";
        }
        out += "<text class=\"step-number" + std::string(is_feed ? " feed" : "") + "\" data-plate=\"" +
               std::to_string(l.stage) + "\" x=\"" + px(l.lx) + "\" y=\"" + px(l.ly + kFont * 0.36) + "\"" +
               (is_feed ? " fill=\"" + std::string(kFeedColour) + "\" font-weight=\"bold\"" : "") + ">" + l.text +
               "</text>\n";
    }
    out += "</g>\n";
}

void unit_square_axes(std::string& out, const Frame& frame) {
    // Grid and frame in the plot's own units.
    out += "<path class=\"grid\" stroke=\"" + std::string(kGridColour) + "\" stroke-width=\"" + frame.length(1) +
           "\" d=\"";
    for (int i = 1; i < 10; ++i) {
        const std::string v = fixed(i / 10.0, 1);
        out += "M" + v + " 0V1M0 " + v + "H1";
    }
    out += "\"/>\n<rect class=\"frame\" width=\"1\" height=\"1\" stroke=\"#444444\" stroke-width=\"" +
           frame.length(1.2) + "\"/>\n";
}

void unit_square_ticks(std::string& out, const Frame& frame) {
    out += "<g class=\"ticks\" font-size=\"12\" stroke=\"#444444\" stroke-width=\"1\">\n";
    for (int i = 0; i <= 10; ++i) {
        const std::string label = fixed(i / 10.0, 1);
        const double at_x = frame.page_x(i / 10.0), at_y = frame.page_y(i / 10.0);
        out += "<line x1=\"" + px(at_x) + "\" y1=\"" + px(frame.bottom()) + "\" x2=\"" + px(at_x) + "\" y2=\"" +
               px(frame.bottom() + 5) + "\"/><line x1=\"" + px(frame.left - 5) + "\" y1=\"" + px(at_y) + "\" x2=\"" +
               px(frame.left) + "\" y2=\"" + px(at_y) + "\"/>\n";
        out += "<text stroke=\"none\" x=\"" + px(at_x) + "\" y=\"" + px(frame.bottom() + 19) +
               "\" text-anchor=\"middle\">" + label + "</text><text stroke=\"none\" x=\"" + px(frame.left - 8) +
               "\" y=\"" + px(at_y + 4) + "\" text-anchor=\"end\">" + label + "</text>\n";
    }
    out += "</g>\n";
    text_line(out, frame.left + frame.size / 2, frame.bottom() + 44, 14, {{"液相组成 x（轻组分摩尔分数）"}},
              "text-anchor=\"middle\"");
    out += "<g transform=\"translate(" + px(frame.left - 50) + " " + px(frame.top + frame.size / 2) + ") rotate(-90)\">";
    text_line(out, 0, 0, 14, {{"汽相组成 y（轻组分摩尔分数）"}}, "text-anchor=\"middle\"");
    out += "</g>\n";
}

}  // namespace draw

namespace {

using namespace draw;
using calc::ColumnInputs;
using calc::ColumnResult;

// The staircase: from (xD, xD) across to plate 1 on the curve, down to the
// operating line, across to plate 2 ... to plate N, and down to the diagonal.
// Each vertex is a number of the profile: (x[n], y[n]) on the curve, (x[n],
// y[n+1]) on the operating line.
std::vector<Point> staircase(const ColumnResult& column) {
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    const int n = column.plate_count.value();
    std::vector<Point> points = {{y[1], y[1]}};  // y[1] is xD: total condenser
    for (int p = 1; p <= n; ++p) {
        points.push_back({x[p], y[p]});
        points.push_back({x[p], p < n ? y[p + 1] : x[p]});
    }
    return points;
}

// The plot: the unit square of mole fractions, 580 pixels a side.
constexpr double kPageWidth = 720, kPageHeight = 770;
const Frame kPlot = Frame::unit_square(90, 112, 580);

// The corners on the curve that are on the page, each with the curve's slope.
std::vector<Corner> plate_corners(const ColumnInputs& in, const ColumnResult& column) {
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    std::vector<Corner> corners;
    for (int p = 1; p <= column.plate_count.value(); ++p) {
        if (!in_unit_square({x[p], y[p]})) continue;  // its corner is not on the page
        double slope = calc::equilibrium_slope(in.alpha, x[p]);
        if (!std::isfinite(slope)) slope = 1;
        corners.push_back({p, x[p], y[p], slope});
    }
    return corners;
}

}  // namespace

std::vector<std::vector<Point>> clip_to_unit_square(const std::vector<Point>& line) {
    std::vector<std::vector<Point>> pieces;
    bool joined = false;  // the last segment kept ended at its own end, inside
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const Point a = line[i], b = line[i + 1];
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) {
            joined = false;
            continue;
        }
        // Liang–Barsky: the part a + t (b - a), t0 <= t <= t1, inside every
        // edge. Worked in halves, exactly, so that b - a cannot overflow.
        const double dx = b.x / 2 - a.x / 2, dy = b.y / 2 - a.y / 2;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {a.x / 2, 0.5 - a.x / 2, a.y / 2, 0.5 - a.y / 2};
        double t0 = 0, t1 = 1;
        bool visible = true;
        for (int k = 0; k < 4 && visible; ++k) {
            if (p[k] == 0) {
                visible = q[k] >= 0;  // parallel to this edge: inside it or not at all
                continue;
            }
            const double t = q[k] / p[k];
            if (p[k] < 0) {
                if (t > t1) visible = false;
                else if (t > t0) t0 = t;
            } else {
                if (t < t0) visible = false;
                else if (t < t1) t1 = t;
            }
        }
        // Where the segment crosses into or out of the square, coming from or
        // going to `end`. Across or down a step (as the staircase goes) that is
        // the end moved onto the edge, whatever the size of the numbers.
        const auto crossing = [&](double t, Point end) {
            const auto clamp01 = [](double v) { return std::min(1.0, std::max(0.0, v)); };
            if (a.x == b.x) return Point{a.x, clamp01(end.y)};
            if (a.y == b.y) return Point{clamp01(end.x), a.y};
            return Point{clamp01((a.x / 2 + t * dx) * 2), clamp01((a.y / 2 + t * dy) * 2)};
        };
        // An end inside stays as it is, to the bit.
        const Point from = t0 == 0 && in_unit_square(a) ? a : crossing(t0, a);
        const Point to = t1 == 1 && in_unit_square(b) ? b : crossing(t1, b);
        if (!visible || !(t0 <= t1) || !std::isfinite(from.x + from.y + to.x + to.y)) {
            joined = false;
            continue;
        }
        if (joined && from.x == pieces.back().back().x && from.y == pieces.back().back().y) {
            pieces.back().push_back(to);
        } else {
            pieces.push_back({from, to});
        }
        joined = t1 == 1 && to.x == b.x && to.y == b.y;
    }
    return pieces;
}

std::vector<double> axis_ticks(double low, double high) {
    if (!std::isfinite(low) || !std::isfinite(high)) return {0, 1};
    if (low > high) std::swap(low, high);
    // Halves keep the span within the double range.
    double half_span = high / 2 - low / 2;
    if (!(half_span > std::max(std::abs(low), std::abs(high)) * 1e-12)) {
        const double pad = low != 0 ? std::abs(low) * 0.05 : 0.5;
        low -= pad;
        high += pad;
        half_span = high / 2 - low / 2;
    }
    const double raw = half_span / 2.5;  // a fifth of the span
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * power;
    for (const double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    }
    std::vector<double> ticks;
    const double first = std::floor(low / step) * step;
    for (int i = 0; i <= 12; ++i) {
        const double t = (first / 2 + i * (step / 2)) * 2;  // halves: i * step may overflow
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);  // no -0 or 1e-17 for zero
        if (t >= high) break;
    }
    // Beyond what doubles can step (subnormal spans, a step lost in the
    // rounding of huge values): the range from 0 or below to 1 or above.
    bool usable = ticks.size() >= 2 && ticks.back() >= high && std::isfinite(ticks.front() + ticks.back());
    for (std::size_t i = 1; usable && i < ticks.size(); ++i) usable = ticks[i] > ticks[i - 1];
    if (!usable) return {std::min(low, 0.0), std::max(high, 1.0)};
    return ticks;
}

std::string staircase_svg(const ColumnInputs& in, const ColumnResult& column) {
    const int n = column.plate_count.value(), feed = column.feed_plate.value();
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    std::string out;
    out.reserve(40000);
    document_start(out, kPageWidth, kPageHeight, "McCabe–Thiele 图");

    title_line(out, kPageWidth, 36, 19,
               {{"McCabe–Thiele 图　进料板 " + std::to_string(feed) + "　塔板数 " + std::to_string(n)}},
               "font-weight=\"bold\"");
    Runs inputs1, inputs2;
    for (auto input : {&ColumnInputs::F, &ColumnInputs::xF, &ColumnInputs::xD}) append_input(inputs1, in, input);
    for (auto input : {&ColumnInputs::xW, &ColumnInputs::R, &ColumnInputs::alpha}) append_input(inputs2, in, input);
    title_line(out, kPageWidth, 64, 14, inputs1);
    title_line(out, kPageWidth, 86, 14, inputs2);

    // The plot, in mole fractions: x to the right, y upwards.
    out += "<g id=\"plot\" transform=\"" + kPlot.transform() +
           "\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n";
    unit_square_axes(out, kPlot);
    polylines(out, kPlot, {{{0, 0}, {1, 1}}}, "diagonal", kDiagonalColour, 1);
    equilibrium_curve(out, kPlot, in.alpha);

    // Both operating lines end on the q-line, x = xF, each at its own vapour
    // there: they meet where the balances close.
    const double rectifying_end = calc::rectifying_line(in, in.xF);
    const double stripping_end = calc::stripping_line(in, column, in.xF);
    // The q-line rises from the diagonal to the higher of the meeting point and the curve.
    double q_top = in.xF;
    for (double v : {rectifying_end, stripping_end, calc::equilibrium_vapour(in.alpha, in.xF)}) {
        if (std::isfinite(v)) q_top = std::max(q_top, v);
    }
    polylines(out, kPlot, clip_to_unit_square({{in.xF, in.xF}, {in.xF, q_top}}), "q-line", kQLineColour, 1.4,
              kPlot.length(6) + " " + kPlot.length(4));
    polylines(out, kPlot, clip_to_unit_square({{in.xD, in.xD}, {in.xF, rectifying_end}}), "rectifying",
              kRectifyingColour, 1.6);
    polylines(out, kPlot, clip_to_unit_square({{in.xW, in.xW}, {in.xF, stripping_end}}), "stripping",
              kStrippingColour, 1.6);
    polylines(out, kPlot, clip_to_unit_square(staircase(column)), "staircase", kStepColour, 1.3);
    // The feed plate's step: across to it and down to the stripping line.
    polylines(out, kPlot,
              clip_to_unit_square({{x[feed - 1], y[feed]}, {x[feed], y[feed]}, {x[feed], y[feed + 1]}}),
              "feed-step", kFeedColour, 3.2);

    std::string dots;
    for (const Point p : {Point{in.xD, in.xD}, Point{in.xF, in.xF}, Point{in.xW, in.xW}}) {
        if (in_unit_square(p)) {
            dots += "<circle cx=\"" + exact(p.x) + "\" cy=\"" + exact(p.y) + "\" r=\"" + kPlot.length(3.2) + "\"/>";
        }
    }
    if (in_unit_square({in.xF, rectifying_end})) {
        dots += "<circle class=\"meeting\" cx=\"" + exact(in.xF) + "\" cy=\"" + exact(rectifying_end) + "\" r=\"" +
                kPlot.length(3.2) + "\" fill=\"" + kQLineColour + "\"/>";
    }
    out += "<g class=\"points\" fill=\"#222222\" stroke=\"none\">" + dots + "</g>\n</g>\n";

    unit_square_ticks(out, kPlot);
    // xW, xF and xD named under their points on the diagonal.
    std::vector<Box> taken;
    const struct { double v; const char* sub; } marks[] = {{in.xD, "D"}, {in.xF, "F"}, {in.xW, "W"}};
    for (const auto& m : marks) {
        if (!in_unit_square({m.v, m.v})) continue;
        const double lx = kPlot.page_x(m.v) + 7, ly = kPlot.page_y(m.v) + 15;
        text_line(out, lx, ly, 13, {{"x"}, {m.sub, true}}, "class=\"composition\"");
        taken.push_back({lx, ly - 13, lx + 16, ly + 3});
    }
    taken.push_back(legend(out, kPlot.right(), kPlot.bottom(), true,
                           {{sample_line(kCurveColour, 2), {{"平衡线 y = αx/(1 + (α − 1)x)"}}},
                            {sample_line(kDiagonalColour, 1), {{"对角线 y = x"}}},
                            {sample_line(kQLineColour, 1.4, "6 4"), {{"q 线（泡点进料，x = x"}, {"F", true}, {"）"}}},
                            {sample_line(kRectifyingColour, 1.6), {{"精馏段操作线"}}},
                            {sample_line(kStrippingColour, 1.6), {{"提馏段操作线"}}},
                            {sample_line(kStepColour, 1.3), {{"逐板梯级（数字为板号）"}}},
                            {sample_line(kFeedColour, 3.2), {{"进料板的梯级"}}}}));
    // Inside the frame on the left and at the bottom, where the tick labels
    // are; a little room above and to the right.
    const Box allowed{kPlot.left + 1, kPlot.top - 14, kPlot.right() + 14, kPlot.bottom() - 1};
    write_step_numbers(out, place_step_numbers(kPlot, plate_corners(in, column), feed, allowed, taken), feed);
    out += "</svg>\n";
    return out;
}

// --- the sweep -----------------------------------------------------------------

namespace {

constexpr double kSweepWidth = 720, kSweepHeight = 600;
constexpr double kSweepLeft = 80, kSweepPlotWidth = 600, kSweepPlotHeight = 420;
constexpr double kSweepRight = kSweepLeft + kSweepPlotWidth;
// The plate-by-plate calculation stops at 30 plates: its axis ends there, and
// so does design mode's while its columns are no taller.
constexpr double kMostPlates = 30;

std::string data_attribute(const char* name, double v) { return std::string(" data-") + name + "=\"" + exact(v) + "\""; }

// The swept input's name for a title, a caption and the legend.
struct SweptText {
    std::string symbol;   // R, α, q, E
    std::string caption;  // its name in full
};
SweptText swept_text(Swept input) {
    switch (input) {
    case Swept::kReflux: return {"R", "回流比"};
    case Swept::kVolatility: return {"α", "相对挥发度"};
    case Swept::kFeedQuality: return {"q", "进料热状况参数"};
    case Swept::kEfficiency: return {"E", "默弗里板效率"};
    }
    return {};
}

}  // namespace

std::string sweep_svg(const calc::DesignInputs& design_base, std::optional<int> base_plates, const SweepRange& range,
                      const std::vector<SweepRow>& rows) {
    const ColumnInputs& base = design_base.column;
    // Against the swept value itself where R / Rmin says nothing of it: the
    // feed condition moves Rmin with it, the efficiency leaves it alone.
    const bool by_value = range.input == Swept::kFeedQuality || range.input == Swept::kEfficiency;
    const SweptText swept = swept_text(range.input);
    // Design mode names q and E among the fixed inputs: one line more.
    const double top = range.design ? 134 : 112, bottom = top + kSweepPlotHeight;
    std::string out;
    out.reserve(20000 + 400 * rows.size());
    document_start(out, kSweepWidth, kSweepHeight + (top - 112),
                   by_value ? "塔板数与 " + swept.symbol : std::string("塔板数与 R/Rmin"));

    const std::string range_text = "：" + swept.symbol + " 从 " + exact(range.from) + " 到 " + exact(range.to) +
                                   "，步长 " + exact(range.step);
    const Runs title = by_value ? Runs{{"塔板数与" + swept.caption + " " + swept.symbol + range_text}}
                                : Runs{{"塔板数与 R/R"}, {"min", true}, {range_text}};
    title_line(out, kSweepWidth, 36, 19, title, "font-weight=\"bold\"");
    Runs fixed1, fixed2, fixed3;
    for (auto input : {&ColumnInputs::F, &ColumnInputs::xF, &ColumnInputs::xD}) append_input(fixed1, base, input);
    append_input(fixed2, base, &ColumnInputs::xW);
    if (range.input != Swept::kReflux) append_input(fixed2, base, &ColumnInputs::R);
    if (range.input != Swept::kVolatility) append_input(fixed2, base, &ColumnInputs::alpha);
    if (range.design && range.input != Swept::kFeedQuality) {
        append_quantity(fixed3, "进料热状况参数", "q", "", design_base.q);
    }
    if (range.design && range.input != Swept::kEfficiency) {
        if (!fixed3.empty()) fixed3.push_back({"　　"});
        append_quantity(fixed3, "默弗里板效率", "E", "", design_base.efficiency);
    }
    title_line(out, kSweepWidth, 64, 14, fixed1);
    title_line(out, kSweepWidth, 86, 14, fixed2);
    if (range.design) title_line(out, kSweepWidth, 108, 14, fixed3);

    // Where each row and the base case go across: their swept value, or their R / Rmin.
    const double base_value = by_value ? (range.input == Swept::kFeedQuality ? design_base.q : design_base.efficiency)
                              : range.input == Swept::kReflux ? base.R
                                                              : base.alpha;
    const std::optional<double> base_x =
        by_value ? std::optional<double>(base_value)
                 : range.design ? calc::reflux_over_minimum(design_base) : calc::reflux_over_minimum(base);
    const auto across = [&](const SweepRow& row) { return by_value ? std::optional<double>(row.value) : row.ratio; };
    double low = INFINITY, high = -INFINITY;
    int most_plates = 0;
    for (const SweepRow& row : rows) {
        if (const std::optional<double> x = across(row)) {
            low = std::min(low, *x);
            high = std::max(high, *x);
        }
        if (row.error == 0) most_plates = std::max(most_plates, row.plate_count);
    }
    const bool any = low <= high;
    // The plate-by-plate run always has its base; design mode's only when it succeeded.
    if (base_x && any && (base_plates || !range.design)) {
        low = std::min(low, *base_x);
        high = std::max(high, *base_x);
    }
    if (base_plates) most_plates = std::max(most_plates, *base_plates);
    const std::vector<double> ticks = any ? axis_ticks(low, high) : std::vector<double>{0, 1};
    const double x0 = ticks.front(), x1 = ticks.back(), step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
    // The plate axis: to 30 in fives, or to a round number above the tallest column.
    std::vector<double> plate_ticks;
    if (most_plates <= kMostPlates) {
        for (int plates = 0; plates <= kMostPlates; plates += 5) plate_ticks.push_back(plates);
    } else {
        plate_ticks = axis_ticks(0, most_plates);
    }
    const double most = plate_ticks.back();
    // In halves, so that no difference overflows; the ticks span every value.
    const auto page_x = [&](double r) {
        const double along = (r / 2 - x0 / 2) / (x1 / 2 - x0 / 2);
        return kSweepLeft + (std::isfinite(along) ? along : 0.5) * kSweepPlotWidth;
    };
    const auto page_y = [&](double plates) { return bottom - plates / most * kSweepPlotHeight; };

    // Frame, grid and ticks; the plot's ranges are written on it for readers of the file.
    out += "<g id=\"plot\" data-x-range=\"" + exact(x0) + " " + exact(x1) + "\" data-y-range=\"0 " + exact(most) +
           "\" data-frame=\"" + px(kSweepLeft) + " " + px(top) + " " + px(kSweepPlotWidth) + " " +
           px(kSweepPlotHeight) + "\">\n";
    out += "<g class=\"grid\" stroke=\"" + std::string(kGridColour) + "\" stroke-width=\"1\">";
    for (const double t : ticks) {
        const std::string at = px(page_x(t));
        out += "<line x1=\"" + at + "\" y1=\"" + px(top) + "\" x2=\"" + at + "\" y2=\"" + px(bottom) + "\"/>";
    }
    for (const double plates : plate_ticks) {
        if (plates <= 0 || plates >= most) continue;
        const std::string at = px(page_y(plates));
        out += "<line x1=\"" + px(kSweepLeft) + "\" y1=\"" + at + "\" x2=\"" + px(kSweepRight) + "\" y2=\"" + at + "\"/>";
    }
    out += "</g>\n<rect class=\"frame\" x=\"" + px(kSweepLeft) + "\" y=\"" + px(top) + "\" width=\"" +
           px(kSweepPlotWidth) + "\" height=\"" + px(kSweepPlotHeight) +
           "\" fill=\"none\" stroke=\"#444444\" stroke-width=\"1.2\"/>\n";
    out += "<g class=\"ticks\" font-size=\"12\" stroke=\"none\">";
    for (const double t : ticks) {
        out += "<text x=\"" + px(page_x(t)) + "\" y=\"" + px(bottom + 19) + "\" text-anchor=\"middle\">" +
               tick_text(t, step) + "</text>";
    }
    for (const double plates : plate_ticks) {
        out += "<text x=\"" + px(kSweepLeft - 8) + "\" y=\"" + px(page_y(plates) + 4) + "\" text-anchor=\"end\">" +
               std::to_string(static_cast<long long>(plates)) + "</text>";
    }
    out += "</g>\n";
    text_line(out, kSweepLeft + kSweepPlotWidth / 2, bottom + 46, 14,
              by_value ? Runs{{swept.caption + " " + swept.symbol}} : Runs{{"R / R"}, {"min", true}},
              "text-anchor=\"middle\"");
    out += "<g transform=\"translate(" + px(kSweepLeft - 44) + " " + px(top + kSweepPlotHeight / 2) +
           ") rotate(-90)\">";
    text_line(out, 0, 0, 14, {{"塔板数 N，进料板"}}, "text-anchor=\"middle\"");
    out += "</g>\n";

    if (!any) {
        text_line(out, kSweepLeft + kSweepPlotWidth / 2, top + kSweepPlotHeight / 2, 16,
                  {{"R/R"}, {"min", true}, {" 在这些值下都无定义，无点可画"}}, "text-anchor=\"middle\"");
    }
    if (!by_value && any && x0 <= 1 && 1 <= x1) {
        const std::string at = px(page_x(1));
        out += "<line class=\"minimum-reflux\" x1=\"" + at + "\" y1=\"" + px(top) + "\" x2=\"" + at + "\" y2=\"" +
               px(bottom) + "\" stroke=\"" + kRectifyingColour + "\" stroke-width=\"1.4\" stroke-dasharray=\"6 4\"/>\n";
        text_line(out, page_x(1) + 5, top + 16, 12, {{"R = R"}, {"min", true}},
                  "fill=\"" + std::string(kRectifyingColour) + "\"");
    }

    // The two series, joined between neighbouring values that both succeeded.
    std::string plate_line, feed_line, markers;
    const auto join = [](std::string& line, std::string& all, double px_, double py_, bool continues,
                         const char* colour, std::string_view dashes) {
        if (!continues && !line.empty()) {
            all += line + "\"/>\n";
            line.clear();
        }
        if (line.empty()) {
            line = "<polyline fill=\"none\" stroke=\"" + std::string(colour) + "\" stroke-width=\"1.6\"";
            if (!dashes.empty()) line += " stroke-dasharray=\"" + std::string(dashes) + "\"";
            line += " points=\"";
        } else {
            line += ' ';
        }
        line += px(px_) + "," + px(py_);
    };
    std::string lines;
    std::string feed_lines;
    bool previous_ok = false;
    for (const SweepRow& row : rows) {
        const std::optional<double> x = across(row);
        if (!x) {
            previous_ok = false;
            continue;
        }
        const double at = page_x(*x);
        const std::string data = data_attribute("value", row.value) + (row.ratio ? data_attribute("ratio", *row.ratio) : "");
        if (row.error != 0) {
            markers += "<text class=\"failed\" x=\"" + px(at) + "\" y=\"" + px(bottom - 4) +
                       "\" text-anchor=\"middle\" font-size=\"14\" fill=\"" + kRectifyingColour + "\"" + data +
                       " data-error=\"" + std::to_string(row.error) + "\">×</text>\n";
            previous_ok = false;
            continue;
        }
        const double plates_at = page_y(row.plate_count), feed_at = page_y(row.feed_plate);
        join(plate_line, lines, at, plates_at, previous_ok, kCurveColour, {});
        join(feed_line, feed_lines, at, feed_at, previous_ok, kFeedColour, "5 3");
        markers += "<circle class=\"plate-count\" cx=\"" + px(at) + "\" cy=\"" + px(plates_at) + "\" r=\"3.5\" fill=\"" +
                   kCurveColour + "\"" + data + " data-plates=\"" + std::to_string(row.plate_count) + "\"/>\n";
        markers += "<rect class=\"feed-plate\" x=\"" + px(at - 3) + "\" y=\"" + px(feed_at - 3) +
                   "\" width=\"6\" height=\"6\" fill=\"#ffffff\" stroke=\"" + kFeedColour + "\" stroke-width=\"1.4\"" +
                   data + " data-feed=\"" + std::to_string(row.feed_plate) + "\"/>\n";
        previous_ok = true;
    }
    if (!plate_line.empty()) lines += plate_line + "\"/>\n";
    if (!feed_line.empty()) feed_lines += feed_line + "\"/>\n";
    out += "<g class=\"series\">\n" + feed_lines + lines + markers + "</g>\n";
    if (base_x && any && base_plates) {
        out += "<circle class=\"base\" cx=\"" + px(page_x(*base_x)) + "\" cy=\"" + px(page_y(*base_plates)) +
               "\" r=\"8\" fill=\"none\" stroke=\"#222222\" stroke-width=\"1.4\"" +
               data_attribute(by_value ? "value" : "ratio", *base_x) + " data-plates=\"" +
               std::to_string(*base_plates) + "\"/>\n";
    }
    out += "</g>\n";

    std::vector<LegendEntry> entries = {
        {sample_line(kCurveColour, 1.6) + "<circle cx=\"13\" cy=\"0\" r=\"3.5\" fill=\"" + kCurveColour + "\"/>",
         {{"塔板数 N"}}},
        {sample_line(kFeedColour, 1.6, "5 3") + "<rect x=\"10\" y=\"-3\" width=\"6\" height=\"6\" fill=\"#ffffff\" stroke=\"" +
             kFeedColour + "\" stroke-width=\"1.4\"/>",
         {{"进料板"}}},
        {"<text x=\"13\" y=\"5\" text-anchor=\"middle\" font-size=\"14\" fill=\"" + std::string(kRectifyingColour) +
             "\">×</text>",
         {{"计算出错（错误号见输出）"}}}};
    if (base_plates) {
        entries.push_back({"<circle cx=\"13\" cy=\"0\" r=\"7\" fill=\"none\" stroke=\"#222222\" stroke-width=\"1.4\"/>",
                           {{"本次计算（" + swept.symbol + " = " + exact(base_value) + "）"}}});
    }
    legend(out, kSweepRight, top, false, entries);
    out += "</svg>\n";
    return out;
}

}  // namespace veltrano::app
