// The drawing the McCabe–Thiele diagrams and the sweep plots share: numbers
// as text, lines of text with subscripts, legends, a square plot of mole
// fractions placed on the page, and the numbering of the staircase's steps.
// Everything is added to a scene's groups; for the diagrams' own files.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/calc/curve.h"
#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/scene.h"
#include "veltrano/diagram/svg.h"

namespace veltrano::diagram::draw {

inline constexpr Colour kCurveColour = 0x1f4e9c;
inline constexpr Colour kDiagonalColour = 0x808080;
inline constexpr Colour kQLineColour = 0x7d3c98;
inline constexpr Colour kRectifyingColour = 0xc0392b;
inline constexpr Colour kStrippingColour = 0x1e8449;
inline constexpr Colour kStepColour = 0x222222;
inline constexpr Colour kFeedColour = 0xe67e22;
inline constexpr Colour kGridColour = 0xe4e4e4;
inline constexpr Colour kFrameColour = 0x444444;
inline constexpr Colour kWhite = 0xffffff;

// A whole number as the file writes it: "12", not "12.00".
inline Num whole(double v) { return fixed(v, 0); }

// A mole fraction as the profile holds it: shortest exact form.
std::string exact_text(double v);
// A tick's value with as many decimals as its step needs.
std::string tick_text(double v, double step);

// --- text -------------------------------------------------------------------

// Rough advance of a text in em: CJK characters one em, others about 0.58.
double text_ems(std::string_view text);
double runs_width(const Runs& runs, double size);
// One line of text at (x, y), baseline y.
Node text_line(double x, double y, double size, Runs runs);
// A title line centred on the page, made smaller when it would be wider than the page.
Node title_line(double width, double y, double size, Runs runs);
// "进料组成 xF = 0.5" and its kin: a caption, a symbol with its subscript.
void append_quantity(Runs& runs, std::string caption, std::string symbol, std::string sub, double value,
                     std::string unit = {});
// One of the six inputs, after a wide gap when the line has something already.
void append_input(Runs& runs, const calc::ColumnInputs& in, double calc::ColumnInputs::*input);

Scene page_of(double width, double height, std::string title);

// --- boxes on the page --------------------------------------------------------

struct Box {
    double x0, y0, x1, y1;
    bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    bool inside(const Box& o) const { return x0 >= o.x0 && x1 <= o.x1 && y0 >= o.y0 && y1 <= o.y1; }
};

// Whether the segment from a to b passes through the box (page coordinates).
bool crosses(const Box& box, Point a, Point b);

// A legend: one sample line (or marker) and its text per entry.
struct LegendEntry {
    std::vector<Node> sample;  // drawn with its left end at (0, 0)
    Runs text;
};
// Drawn against the right edge `right`, above `top_or_bottom` or below it;
// returns the box it covers.
Box legend(Node& parent, double right, double top_or_bottom, bool at_bottom, const std::vector<LegendEntry>& entries);
std::vector<Node> sample_line(Colour colour, double width, std::vector<Num> dashes = {});

// --- a plot of mole fractions -------------------------------------------------

// A square window of mole fractions drawn `size` pixels a side with its top
// left corner at (left, top) on the page: the unit square of a whole
// diagram, or a magnified corner of it. x runs to the right, y upwards.
struct Frame {
    double left, top, size;
    double x0 = 0, y0 = 0;  // the mole fractions at the lower left corner
    double scale = 0;       // pixels per unit of mole fraction

    static Frame unit_square(double left, double top, double size) { return {left, top, size, 0, 0, size}; }
    double right() const { return left + size; }
    double bottom() const { return top + size; }
    double span() const { return size / scale; }  // mole fractions a side
    double page_x(double x) const { return left + (x - x0) * scale; }
    double page_y(double y) const { return bottom() - (y - y0) * scale; }
    Box box() const { return {left, top, right(), bottom()}; }
    // A length on the page in the plot's units, for strokes and dashes inside it.
    Num length(double pixels) const { return fixed(pixels / scale, 5); }
    // The transform that draws the plot's units onto the page.
    Transform transform() const;
};

bool in_unit_square(Point p);

// Lines in the plot's units, one polyline per piece.
void polylines(Node& parent, const Frame& frame, const std::vector<std::vector<Point>>& pieces, std::string cls,
               Colour colour, double width, std::vector<Num> dashes = {});

// The equilibrium curve over the whole unit square: of constant alpha (any
// alpha, as the plate-by-plate calculation takes it), or of any curve.
void equilibrium_curve(Node& parent, const Frame& frame, double alpha);
void equilibrium_curve(Node& parent, const Frame& frame, const calc::EquilibriumCurve& curve, bool monotone = true);

// The plot of a McCabe–Thiele diagram in mole fractions, x to the right and
// y upwards: the group "plot" mapped onto `frame`, unfilled, with round
// joins, holding the unit square's grid and frame; then its ticks and axis
// captions on the page.
Node unit_square_plot(const Frame& frame);
void unit_square_ticks(Node& parent, const Frame& frame);

// A tick from `from` to `to` (page pixels) and its label at `label_at`, into
// a group of ticks whose stroke and font they take.
void tick_mark(Node& ticks, Point from, Point to, Point label_at, std::string label, Anchor anchor);

// A frame around a plot drawn in page units.
Node page_frame(double left, double top, double width, double height);

// A caption along the y axis, centred at (x, y) and turned a quarter left.
Node y_caption(double x, double y, Runs runs);

// --- the sweeps' plots -----------------------------------------------------------

// The swept input's name for a title, a caption and the legend.
struct SweptText {
    std::string symbol;   // R, α, q, E, P, D, N, f
    std::string caption;  // its name in full
    std::string unit;     // after the axis caption, where it has one
};
SweptText swept_text(Swept input);

// A plot in page units against two axes of values: x across from its first
// tick to its last, y up from its first to its last.
struct ValueFrame {
    double left, top, width, height;
    std::vector<double> x_ticks, y_ticks;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
    // In the middle where a value gives no finite place (a span past the doubles).
    double page_x(double v) const;
    double page_y(double v) const;
};
// The group "plot", the frame's ranges written on it for readers of the
// file: the grid at every x tick and every inner y tick, the frame, the
// ticks' values and both captions.
Node value_plot(const ValueFrame& frame, Runs x_caption, Runs y_caption);

// A series' line, unfilled; its points are added by the caller.
Node series_line(Colour colour, std::vector<Num> dashes);
// A value the calculation failed at, as a cross standing on the x axis at page x.
Node failed_mark(double x, double bottom);
// The column the sweep started from, ringed at (x, y).
Node base_ring(double x, double y);
// Their legend entries; the base's names the swept input's value.
LegendEntry failed_entry();
LegendEntry base_entry(const std::string& symbol, double value);

// --- step numbers ---------------------------------------------------------------

// A corner of the staircase to be numbered: the stage's liquid and vapour,
// and the slope dy/dx there of the curve the corner lies on; its number
// starts `offset` pixels further out, beyond a curve drawn outside the corner.
struct Corner {
    int stage;
    double x, y, slope;
    double offset = 0;
};

// A stage's number on the page: its corner, the outward unit normal there,
// the text's box and where its centre went.
struct StepLabel {
    int stage;
    double cx, cy;  // the corner on the page
    double nx, ny;  // unit normal, away from the staircase
    double w, h;
    std::string text;
    double lx = 0, ly = 0;  // the label's centre
    bool leader = false;
    double offset = 0;  // as its corner's
    Box box() const { return {lx - w / 2, ly - h / 2, lx + w / 2, ly + h / 2}; }
    double extent(double ux, double uy) const;
    // Where its leader ends at the label.
    Point leader_end() const;
};

// Numbers the corners along the curve's normal, away from the diagonal.
// Where neighbours would collide (stages crowding a pinch), the crowd moves
// further out onto a line parallel to the curve, in stage order, each number
// on a leader to its corner; in the same order on two parallel lines, the
// leaders cannot cross; with `clear_leaders`, neither does a number there
// cover its neighbour's leader. Every label ends inside `allowed`, then moves
// further out while it covers one of `taken`.
std::vector<StepLabel> place_step_numbers(const Frame& frame, const std::vector<Corner>& corners, int feed,
                                          const Box& allowed, const std::vector<Box>& taken,
                                          bool clear_leaders = false);
// Whether `label` covers `other` or the leader of `other`.
bool label_hits(const StepLabel& label, const StepLabel& other);
// The labels as a group of texts (class step-number, data-plate), with their
// leaders; in a magnified corner, the group names it (data-inset).
void write_step_numbers(Node& parent, const std::vector<StepLabel>& labels, int feed, std::string inset = {});

// Whether every number can be read: none covers another, its leader,
// anything of `taken`, or lies outside `room`, and no two corners are too
// near for their leaders to tell them apart.
bool readable(const std::vector<StepLabel>& labels, const std::vector<Box>& taken, const Box& room);

// The plate-by-plate staircase numbered as the design diagram numbers its
// stages where they crowd an end of the plot: the corners there magnified
// in windows below the plot, fewer numbers only where even that is not
// enough. `q_top` ends the q-line, the operating lines meet at `meet`.
// Appends the composition marks, the legend (`legend_of` gives its entries,
// thinned or not), the numbers and the magnified windows; returns the
// height of the page that holds them. Appends nothing and returns nothing
// when no end can be magnified (the numbers crowd a pinch mid-plot): the
// caller then numbers the plates as it always has.
std::optional<double> number_crowded_plates(Node& out, const calc::ColumnInputs& in, const calc::ColumnResult& column,
                                            const Frame& plot, Point q_top, Point meet,
                                            const std::function<std::vector<LegendEntry>(bool thinned)>& legend_of);

}  // namespace veltrano::diagram::draw
