// The McCabe–Thiele picture and its kin as a tree of shapes on a page, in
// page pixels (CSS pixels: 1/96 inch) with y downwards. One drawing builds
// the tree; painters render it: the SVG writer for files, QPainter on
// Linux, GDI+ on Windows. Everything a painter needs is typed here; what
// only a file's reader needs (classes, ids, data attributes) rides along
// as text and is ignored by the screen painters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltrano::diagram {

// A number and the digits the file writes it with: the shortest text that
// reads back as the same double (the profile's own mole fractions), or a
// fixed count of decimals (page pixels to a hundredth). Painters use `v`.
struct Num {
    double v = 0;
    int digits = 2;  // decimals; kExact for the shortest exact form
    static constexpr int kExact = -1;
};
inline Num page(double v) { return {v, 2}; }
inline Num exact(double v) { return {v, Num::kExact}; }
inline Num fixed(double v, int decimals) { return {v, decimals}; }

struct Pt {
    Num x, y;
};

// 0xRRGGBB.
using Colour = std::uint32_t;
// A paint that is none: no stroke, or no fill.
inline constexpr Colour kNoPaint = 0xFF000000u;

enum class Anchor : std::uint8_t { kInherit, kStart, kMiddle, kEnd };

// Presentation, inherited from the enclosing groups where unset, as in SVG.
// The page's defaults: fill #222222, no stroke, stroke width 1, font size 16,
// anchor start, normal weight, butt caps and miter joins.
struct Style {
    std::optional<Colour> stroke;
    std::optional<Num> stroke_width;
    std::vector<Num> dashes;  // on, off, ... in the node's own units; empty: inherited (solid)
    std::optional<Colour> fill;
    std::optional<Num> fill_opacity;
    std::optional<Num> font_size;
    Anchor anchor = Anchor::kInherit;
    bool bold = false;   // set: bold; unset: inherited
    bool round = false;  // set: round caps and joins; unset: inherited
};

// A piece of a line of text; a subscript is set at 0.72 of the size and
// 0.28 of the size lower (xF, xD). A blank that starts the run after a
// subscript is a gap of 0.28 of the size.
struct Run {
    std::string text;  // UTF-8
    bool sub = false;
};
using Runs = std::vector<Run>;

// A group's transform: none; matrix(a 0 0 d e f), which maps the node's own
// units onto the page (x' = a x + e, y' = d y + f); or translate(e f)
// followed by a rotation of `degrees` (the y-axis caption, -90).
struct Transform {
    enum class Kind : std::uint8_t { kNone, kMatrix, kTranslate };
    Kind kind = Kind::kNone;
    Num a, d, e, f;
    int degrees = 0;
};

struct Node {
    enum class Kind : std::uint8_t {
        kGroup,     // children, drawn in order; transform, clip
        kPolyline,  // points: the vertices, unfilled whatever the fill
        kLine,      // points: both ends
        kRect,      // points: top left corner, then (width, height)
        kCircle,    // points: the centre; r
        kGrid,      // points: pairs of ends of axis-parallel segments
        kText,      // points: where the first line's baseline starts (or is
                    // centred, or ends, by the anchor); runs
    };
    Kind kind = Kind::kGroup;

    // For a file's readers only.
    std::string cls;
    std::string id;
    std::vector<std::pair<std::string, std::string>> data;  // data-NAME="VALUE"

    Style style;
    std::vector<Pt> points;
    Num r;
    Runs runs;
    Transform transform;
    // A group drawn only inside this rectangle (in the group's parent's
    // units): x, y, width, height; the file names it `clip_id`.
    std::optional<std::vector<Num>> clip;
    std::string clip_id;
    std::vector<Node> children;
};

struct Scene {
    double width = 0, height = 0;  // the page, white
    std::string title;             // the file's <title>
    Node root;                     // a group without transform
};

// Builders for the common shapes; each returns the node for further setting.
Node group(std::string cls = {});
Node polyline(std::vector<Pt> points, Colour stroke, Num width);
Node line(Pt a, Pt b, Colour stroke, Num width);
Node rect(Num x, Num y, Num w, Num h);
Node circle(Num cx, Num cy, Num r);
Node text(Num x, Num y, Runs runs, std::optional<Num> size = std::nullopt, Anchor anchor = Anchor::kInherit);

}  // namespace veltrano::diagram
