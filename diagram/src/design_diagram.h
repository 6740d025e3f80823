// What the files of the design diagram share: the designed column as the
// diagram needs it, how its stages are numbered, the magnified corners below
// the plot, and what is drawn in mole fractions on the plot and in each
// corner. The page and where each stage is numbered are design_diagram.cpp's,
// the lines design_lines.cpp's, the magnified corners design_insets.cpp's.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "draw.h"
#include "veltrano/calc/balances.h"

namespace veltrano::diagram::designed {

using namespace draw;

// The magnified corners, squares below the plot: B, the bottoms, on the left
// under small x; A, the distillate, on the right under large x.
inline constexpr double kInsetSize = 260;
// Their top below the plot, room for its axis caption and their own.
inline constexpr double kInsetBelowPlot = 92;
// Corners nearer than this on the page: their leaders would not say which
// is which. A corner that an inset can magnify goes there already when its
// neighbour is nearer than the second distance, or its number sits on the
// equilibrium curve.
inline constexpr double kNearestCorners = 3, kNearestUnmagnified = 6;
// Where numbers cannot all be read, only corners this many pixels apart are
// numbered: the feed stage first, then the roundest numbers.
inline constexpr double kApart[] = {0, 6, 10, 16, 25, 40, 60, 100, 160, 250, 400};
inline constexpr int kRound[] = {1000, 500, 200, 100, 50, 20, 10, 5, 2};
// A first guess at most numbers one plot can hold; the placement decides.
inline constexpr std::size_t kMostNumbers = 60;

inline std::string text(double v) { return exact_text(v); }

// The designed column as the diagram needs it: its stages numbered from 1,
// stage 0 being the distillate where the staircase starts, and its lines.
struct Column {
    const calc::DesignInputs& in;
    const calc::Design& d;
    const calc::EquilibriumCurve& curve;
    bool constant_alpha;  // the curve is alpha's, named by its formula
    // Its crossings of the diagonal, searched once for the legend and the
    // marks (a constant alpha has none).
    std::vector<calc::Azeotrope> azeotropes;
    Frame plot;  // the unit square on the page
    int N, feed;
    double xF, xD, xW, E;
    double rectifying_a, rectifying_b;  // y = a x + b
    double stripping_a, stripping_b;

    Column(const calc::DesignInputs& in_, const calc::Design& d_, const calc::EquilibriumCurve& curve_,
           bool constant_alpha_, const Frame& plot_)
        : in(in_), d(d_), curve(curve_), constant_alpha(constant_alpha_),
          azeotropes(constant_alpha_ ? std::vector<calc::Azeotrope>{} : calc::azeotropes(curve_)), plot(plot_),
          N(d_.stage_count),
          feed(d_.feed_stage), xF(in_.column.xF), xD(in_.column.xD), xW(in_.column.xW), E(in_.efficiency),
          rectifying_a(in_.column.R / (in_.column.R + 1.0)), rectifying_b(in_.column.xD / (in_.column.R + 1.0)),
          stripping_a(d_.L_strip / d_.V_strip), stripping_b(-(d_.W * in_.column.xW) / d_.V_strip) {}

    double x(int n) const { return n == 0 ? xD : d.x[static_cast<std::size_t>(n - 1)]; }
    double y(int n) const { return n == 0 ? xD : d.y[static_cast<std::size_t>(n - 1)]; }
    // Where stage n's step comes down: the vapour from the stage below on
    // the operating line, and under the reboiler the diagonal.
    double foot(int n) const { return n < N ? d.y[static_cast<std::size_t>(n)] : x(n); }

    // The curve a stage's liquid lies on: the pseudo-equilibrium curve of
    // its section's operating line, the equilibrium curve itself for an
    // ideal stage and for the reboiler.
    double curve_slope(int n) const {
        const double equilibrium = curve.slope(x(n));
        if (E == 1 || n == N) return equilibrium;
        const double a = n < feed ? rectifying_a : stripping_a;
        return a + E * (equilibrium - a);
    }
    double pseudo_vapour(double x_) const {
        return x_ > d.x_meet ? curve.pseudo_vapour(x_, rectifying_a, rectifying_b, E)
                             : curve.pseudo_vapour(x_, stripping_a, stripping_b, E);
    }

    // From (x(first - 1), y(first)) across and down through stage `last`.
    std::vector<Point> staircase(int first, int last) const {
        std::vector<Point> points = {{x(first - 1), y(first)}};
        for (int n = first; n <= last; ++n) {
            points.push_back({x(n), y(n)});
            points.push_back({x(n), foot(n)});
        }
        return points;
    }
    std::vector<Point> feed_step() const { return staircase(feed, feed); }

    // Stages first..last to be numbered on `f`: all of them, or with
    // `apart` pixels, only those whose corners lie that far from every
    // corner numbered already, the feed stage first, then the roundest
    // numbers (1000, 500, 200, 100, 50, ...), then the rest in order.
    std::vector<int> numbered(int first, int last, double apart, const Frame& f) const {
        std::vector<int> stages;
        for (int n = first; n <= last; ++n) stages.push_back(n);
        if (apart <= 0) return stages;
        const auto rank = [&](int n) {
            if (n == feed) return static_cast<int>(std::size(kRound)) + 1;
            return static_cast<int>(std::count_if(std::begin(kRound), std::end(kRound), [&](int k) { return n % k == 0; }));
        };
        std::stable_sort(stages.begin(), stages.end(), [&](int a, int b) { return rank(a) > rank(b); });
        // The corners go down and to the left stage by stage: the nearest
        // numbered corners are those of the nearest numbered stages.
        const auto near = [&](int n, int m) {
            return std::hypot(x(n) - x(m), y(n) - y(m)) * f.scale < apart;
        };
        std::set<int> kept;
        for (const int n : stages) {
            const auto after = kept.lower_bound(n);
            if (after != kept.end() && near(n, *after)) continue;
            if (after != kept.begin() && near(n, *std::prev(after))) continue;
            kept.insert(n);
        }
        return {kept.begin(), kept.end()};
    }

    // The corners of `stages` on `f`. A corner on the pseudo-equilibrium
    // curve has its number beyond the equilibrium curve above it.
    std::vector<Corner> corners(const std::vector<int>& stages, const Frame& f) const {
        std::vector<Corner> out;
        for (const int n : stages) {
            const double slope = curve_slope(n);
            double offset = 0;
            if (E < 1 && n < N) {
                // Along the normal, to the equilibrium curve, taken as straight there.
                const double rise = curve.vapour(x(n)) - y(n);
                const double steep = curve.slope(x(n));
                offset = std::max(0.0, rise * std::hypot(1.0, slope) / (1.0 + slope * steep)) * f.scale;
            }
            out.push_back({n, x(n), y(n), slope, offset});
        }
        return out;
    }
};

// The stages whose numbers cannot be read where they went: covering
// another number or its leader, or something already drawn, outside their
// room, or at a corner nearer than `nearest` pixels to the one numbered
// before it, for a leader to tell which is which. With `frame` and `curve`,
// a number the equilibrium curve passes through on that frame is not read either.
std::vector<int> unreadable(const std::vector<StepLabel>& labels, const std::vector<Box>& taken, const Box& room,
                            double nearest, const Frame* frame = nullptr, const calc::EquilibriumCurve* curve = nullptr);

// The first spacing in kApart that numbers no more than kMostNumbers of stages first..last.
std::size_t first_spacing(const Column& c, int first, int last, const Frame& f);

// A magnified corner of the plot.
struct Inset {
    std::string name;  // "A" at the distillate, "B" at the bottoms
    int first, last;   // the stages numbered in it
    Frame frame;
    std::size_t apart = 0;  // index into kApart
    bool thinned = false;   // some of its stages are not numbered
    std::vector<StepLabel> labels;
    Box mark{}, mark_label{};  // its window on the plot, and the name beside it
};

// Whether the steps of first..last are small enough on the plot to be worth magnifying.
bool magnifiable(const Column& c, int first, int last);

// The window that shows the steps of first..last with room for their
// numbers, `left` on the page below the plot.
Frame window_of(const Column& c, int first, int last, double left);

// The window's rectangle on the plot (the part inside the unit square) and
// its name beside it, clear of what is drawn already: below a window at the
// top right, to the right of one at the bottom left, both under the diagonal.
void mark_window(Inset& inset, const Frame& plot, const std::vector<Box>& taken);

// The numbers of a magnified corner: all of them, or fewer where even
// magnified they cannot all be read.
void number_inset(Inset& inset, const Column& c);

// A magnified corner below the plot, under its caption: its window's grid,
// lines and ticks, the composition marks it shows whole, and its numbers.
void draw_inset(Node& out, const Inset& inset, const Column& c);

// The composition marks xD, xF, xW beside their points on the diagonal, and
// the boxes they cover; in a magnified window only those it shows whole.
std::vector<Box> composition_marks(Node& out, const Frame& f, const Column& c, bool magnified);

// Everything drawn in the plot's units, the staircase of stages first..last
// (all of them in the plot). The plot draws in mole fractions under its
// transform, cut at the unit square. A magnified window draws in page
// pixels, cut at its own edges: at a large magnification a renderer may
// drop a dash pattern of a few millionths of a unit.
void plot_lines(Node& out, const Frame& f, const Column& c, int first, int last, bool magnified);

}  // namespace veltrano::diagram::designed
