// The nodes of a scene painted with GDI+ into pixels, in the reading of a
// scene that SVG gives it (paint_gdiplus.h): groups, lines, grids,
// rectangles, circles and texts.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "veltrano/core/utf16.h"
#include "gdiplus_win32.h"
#include "presentation.h"

namespace veltrano::diagram::gdiplus {

namespace {

constexpr Colour kWhite = 0xFFFFFF;

gp::ARGB argb(Colour colour, double opacity) {
    const auto alpha = static_cast<gp::ARGB>(std::lround(std::clamp(opacity, 0.0, 1.0) * 255));
    return (alpha << 24) | (colour & 0xFFFFFFu);
}

// The presentation in force at a node, and whether it draws a stroke or a fill.
struct Paint : Presentation {
    Paint inside(const Style& s) const { return {Presentation::inside(s)}; }
    bool strokes() const { return stroke != kNoPaint && stroke_width > 0 && std::isfinite(stroke_width); }
    bool fills() const { return fill != kNoPaint && fill_opacity > 0; }
};

// A map of a node's units onto device pixels, as GDI+ writes it for row
// vectors: x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
struct Affine {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    gp::PointF operator()(double x, double y) const {
        return {static_cast<gp::REAL>(m11 * x + m21 * y + dx), static_cast<gp::REAL>(m12 * x + m22 * y + dy)};
    }
    gp::PointF operator()(const Pt& p) const { return (*this)(p.x.v, p.y.v); }
    // This map applied after `inner`.
    Affine after(const Affine& inner) const {
        return {inner.m11 * m11 + inner.m12 * m21, inner.m11 * m12 + inner.m12 * m22,
                inner.m21 * m11 + inner.m22 * m21, inner.m21 * m12 + inner.m22 * m22,
                inner.dx * m11 + inner.dy * m21 + dx, inner.dx * m12 + inner.dy * m22 + dy};
    }
    // How much a length grows: exact for the uniform scales and rotations
    // the diagrams use, the geometric mean of the two scales otherwise.
    double scale() const { return std::sqrt(std::abs(m11 * m22 - m12 * m21)); }
    bool axis_parallel() const { return m12 == 0 && m21 == 0; }
};

// A group's transform as the map of its children's units onto its own.
Affine local(const Transform& t) {
    switch (t.kind) {
    case Transform::Kind::kMatrix:
        return {t.a.v, 0, 0, t.d.v, t.e.v, t.f.v};
    case Transform::Kind::kTranslate: {
        // translate(e f) rotate(degrees): clockwise on the page, y being down.
        const double radians = t.degrees * 3.14159265358979323846 / 180;
        const double c = std::cos(radians), s = std::sin(radians);
        return {c, s, -s, c, t.e.v, t.f.v};
    }
    case Transform::Kind::kNone:
        break;
    }
    return {};
}

// Shapes are mapped onto device pixels here and stroked there, not through
// GDI+'s world transform: Wine's GDI+ strokes a pen narrower than one unit
// of the world as one unit wide (a 0.004-unit line of the unit square as a
// band across all of it). Texts and clips, which no pen draws, go through
// the world transform.
class Painting {
public:
    Painting(gp::GpGraphics* graphics, gp::GpFontFamily* family, const double (&ascent)[2])
        : graphics_(graphics), family_(family), ascent_(ascent) {}

    // false, remembering the first failure, unless `status` is Ok.
    bool ok(gp::Status status, const char* what) {
        if (status == gp::Ok) return true;
        if (!failure_) failure_ = GdiplusFailure{static_cast<int>(status), what};
        return false;
    }

    void prepare();
    void node(const Node& n, const Paint& inherited, const Affine& map);
    std::optional<GdiplusFailure> failure() const { return failure_; }

private:
    void group(const Node& n, const Paint& p, const Affine& map);
    void text(const Node& n, const Paint& p, const Affine& map);
    bool world(const Affine& map);
    Pen pen(const Paint& p, double scale);
    Brush brush(Colour colour, double opacity);
    gp::GpFont* font(double size, bool bold);
    double measure(const std::wstring& text, gp::GpFont* font);

    gp::GpGraphics* graphics_;
    gp::GpFontFamily* family_;
    const double (&ascent_)[2];
    StringFormat format_;
    std::map<std::pair<double, bool>, Font> fonts_;
    std::optional<GdiplusFailure> failure_;
};

void Painting::prepare() {
    ok(api().GdipSetSmoothingMode(graphics_, gp::SmoothingModeAntiAlias), "antialiasing");
    // Pixel (i, j) covers [i, i + 1) as in SVG, not centred on (i, j).
    ok(api().GdipSetPixelOffsetMode(graphics_, gp::PixelOffsetModeHalf), "pixel offset");
    // Greys, not coloured fringes: the same pixels in a PNG and on any screen.
    ok(api().GdipSetTextRenderingHint(graphics_, gp::TextRenderingHintAntiAlias), "text antialiasing");
    // Typographic: no padding around a string, so that a measured width is
    // the advance of its glyphs and a string starts where it is put; one
    // line, never cut.
    gp::GpStringFormat* typographic = nullptr;
    gp::GpStringFormat* format = nullptr;
    if (ok(api().GdipStringFormatGetGenericTypographic(&typographic), "string format") &&
        ok(api().GdipCloneStringFormat(typographic, &format), "string format")) {
        format_.reset(format);
        ok(api().GdipSetStringFormatFlags(format, gp::StringFormatFlagsNoWrap | gp::StringFormatFlagsNoClip |
                                                      gp::StringFormatFlagsMeasureTrailingSpaces),
           "string format");
    }
}

// GDI+'s world transform set to `map`.
bool Painting::world(const Affine& map) {
    gp::GpMatrix* matrix = nullptr;
    if (!ok(api().GdipCreateMatrix2(static_cast<gp::REAL>(map.m11), static_cast<gp::REAL>(map.m12),
                                    static_cast<gp::REAL>(map.m21), static_cast<gp::REAL>(map.m22),
                                    static_cast<gp::REAL>(map.dx), static_cast<gp::REAL>(map.dy), &matrix),
            "transform")) {
        return false;
    }
    const Matrix held(matrix);
    return ok(api().GdipSetWorldTransform(graphics_, matrix), "transform");
}

void Painting::node(const Node& n, const Paint& inherited, const Affine& map) {
    const Paint p = inherited.inside(n.style);
    switch (n.kind) {
    case Node::Kind::kGroup:
        group(n, p, map);
        return;
    case Node::Kind::kText:
        text(n, p, map);
        return;
    case Node::Kind::kPolyline:
    case Node::Kind::kLine: {
        if (!p.strokes() || n.points.size() < 2) return;
        std::vector<gp::PointF> points;
        for (const Pt& pt : n.points) points.push_back(map(pt));
        if (const Pen stroke = pen(p, map.scale())) {
            ok(api().GdipDrawLines(graphics_, stroke.get(), points.data(), static_cast<INT>(points.size())), "line");
        }
        return;
    }
    case Node::Kind::kGrid: {
        if (!p.strokes()) return;
        if (const Pen stroke = pen(p, map.scale())) {
            for (std::size_t i = 0; i + 1 < n.points.size(); i += 2) {
                const gp::PointF a = map(n.points[i]), b = map(n.points[i + 1]);
                ok(api().GdipDrawLine(graphics_, stroke.get(), a.X, a.Y, b.X, b.Y), "grid");
            }
        }
        return;
    }
    case Node::Kind::kRect: {
        if (n.points.size() < 2) return;
        const double x = n.points[0].x.v, y = n.points[0].y.v, w = n.points[1].x.v, h = n.points[1].y.v;
        if (!(w > 0 && h > 0)) return;  // SVG draws no empty or negative rectangle
        // The corners on the device, clockwise from the top left: a rotated
        // rectangle is a polygon.
        const gp::PointF corners[4] = {map(x, y), map(x + w, y), map(x + w, y + h), map(x, y + h)};
        if (p.fills()) {
            if (const Brush fill = brush(p.fill, p.fill_opacity)) {
                ok(api().GdipFillPolygon2(graphics_, fill.get(), corners, 4), "rectangle");
            }
        }
        if (p.strokes()) {
            if (const Pen stroke = pen(p, map.scale())) {
                ok(api().GdipDrawPolygon(graphics_, stroke.get(), corners, 4), "rectangle");
            }
        }
        return;
    }
    case Node::Kind::kCircle: {
        if (n.points.empty() || !(n.r.v > 0)) return;
        const gp::PointF c = map(n.points[0]);
        // An ellipse where the map stretches one axis, the same circle
        // scaled where it rotates.
        const double rx = n.r.v * (map.axis_parallel() ? std::abs(map.m11) : map.scale());
        const double ry = n.r.v * (map.axis_parallel() ? std::abs(map.m22) : map.scale());
        const auto left = static_cast<gp::REAL>(c.X - rx), top = static_cast<gp::REAL>(c.Y - ry);
        const auto width = static_cast<gp::REAL>(2 * rx), height = static_cast<gp::REAL>(2 * ry);
        if (p.fills()) {
            if (const Brush fill = brush(p.fill, p.fill_opacity)) {
                ok(api().GdipFillEllipse(graphics_, fill.get(), left, top, width, height), "circle");
            }
        }
        if (p.strokes()) {
            if (const Pen stroke = pen(p, map.scale())) {
                ok(api().GdipDrawEllipse(graphics_, stroke.get(), left, top, width, height), "circle");
            }
        }
        return;
    }
    }
}

void Painting::group(const Node& n, const Paint& p, const Affine& map) {
    gp::GraphicsState state = 0;
    const bool clips = n.clip && n.clip->size() == 4;
    if (clips) {
        // The clip is in the parent's units: mapped by the parent's map.
        const std::vector<Num>& c = *n.clip;
        if (!ok(api().GdipSaveGraphics(graphics_, &state), "clip")) return;
        const bool set = world(map) &&
                         ok(api().GdipSetClipRect(graphics_, static_cast<gp::REAL>(c[0].v), static_cast<gp::REAL>(c[1].v),
                                                  static_cast<gp::REAL>(c[2].v), static_cast<gp::REAL>(c[3].v),
                                                  gp::CombineModeIntersect),
                            "clip");
        ok(api().GdipResetWorldTransform(graphics_), "transform");
        if (!set) {
            // Unclipped, it could cover what it must not: left out.
            ok(api().GdipRestoreGraphics(graphics_, state), "clip");
            return;
        }
    }
    const Affine inner = map.after(local(n.transform));
    for (const Node& child : n.children) node(child, p, inner);
    if (clips) ok(api().GdipRestoreGraphics(graphics_, state), "clip");
}

// A pen of the style's stroke, its width and dashes grown by `scale` from
// the node's units to device pixels, as SVG scales them with the transform.
Pen Painting::pen(const Paint& p, double scale) {
    const double width = p.stroke_width * scale;
    gp::GpPen* made = nullptr;
    if (!(width > 0) || !ok(api().GdipCreatePen1(argb(p.stroke, 1), static_cast<gp::REAL>(width), gp::UnitWorld, &made),
                            "pen")) {
        return {};
    }
    Pen held(made);
    if (p.round) {
        ok(api().GdipSetPenLineCap197819(made, gp::LineCapRound, gp::LineCapRound, gp::DashCapRound), "pen");
        ok(api().GdipSetPenLineJoin(made, gp::LineJoinRound), "pen");
    } else {
        ok(api().GdipSetPenMiterLimit(made, 4), "pen");  // SVG's default limit
    }
    if (p.dashes != nullptr) {
        // GDI+ counts dashes in pen widths, SVG in the node's units; an odd
        // list repeats once to make an even one, as in SVG.
        std::vector<gp::REAL> pattern;
        double total = 0;
        for (int pass = 0; pass < (p.dashes->size() % 2 == 1 ? 2 : 1); ++pass) {
            for (const Num& dash : *p.dashes) {
                const double d = dash.v;
                const double length = std::isfinite(d) ? std::max(d, 0.0) : 0.0;
                total += length;
                // A zero dash (a dot with round caps) is refused by GDI+: a sliver.
                pattern.push_back(static_cast<gp::REAL>(std::max(length / p.stroke_width, 1e-3)));
            }
        }
        // SVG draws all-zero dashes solid.
        if (total > 0) ok(api().GdipSetPenDashArray(made, pattern.data(), static_cast<INT>(pattern.size())), "dashes");
    }
    return held;
}

Brush Painting::brush(Colour colour, double opacity) {
    gp::GpSolidFill* made = nullptr;
    if (!ok(api().GdipCreateSolidFill(argb(colour, opacity), &made), "brush")) return {};
    return Brush(made);
}

gp::GpFont* Painting::font(double size, bool bold) {
    const auto key = std::make_pair(size, bold);
    if (const auto found = fonts_.find(key); found != fonts_.end()) return found->second.get();
    gp::GpFont* made = nullptr;
    if (family_ == nullptr) {
        ok(gp::FontFamilyNotFound, "font: no face installed");
        return nullptr;
    }
    // Pixels of the node's units, so that the world transform scales it.
    if (!ok(api().GdipCreateFont(family_, static_cast<gp::REAL>(size), bold ? gp::FontStyleBold : gp::FontStyleRegular,
                                 gp::UnitPixel, &made),
            "font")) {
        return nullptr;
    }
    return fonts_.emplace(key, Font(made)).first->second.get();
}

double Painting::measure(const std::wstring& text, gp::GpFont* font) {
    if (text.empty()) return 0;
    const gp::RectF layout(0, 0, 1e6f, 1e6f);
    gp::RectF bounds;
    if (!ok(api().GdipMeasureString(graphics_, text.c_str(), static_cast<INT>(text.size()), font, &layout,
                                    format_.get(), &bounds, nullptr, nullptr),
            "text width")) {
        return 0;
    }
    return bounds.Width;
}

void Painting::text(const Node& n, const Paint& p, const Affine& map) {
    const bool fills = p.fills(), strokes = p.strokes();
    if (n.points.empty() || n.runs.empty() || (!fills && !strokes) || !(p.font_size > 0)) return;
    if (!world(map)) return;
    const double size = p.font_size;
    // Each run as set: its text, size, start after the runs before it, and
    // its baseline below the line's.
    struct Piece {
        std::wstring text;
        double size, x, drop;
        gp::GpFont* font;
    };
    std::vector<Piece> pieces;
    double width = 0;
    bool lowered = false;
    for (const Run& r : n.runs) {
        std::wstring t = core::to_utf16(r.text);
        // A blank after a subscript is a gap of 0.28 of the size instead.
        if (lowered && !r.sub && !t.empty() && t.front() == L' ') {
            t.erase(0, 1);
            width += size * 0.28;
        }
        lowered = r.sub;
        const double piece_size = r.sub ? size * 0.72 : size;
        gp::GpFont* f = font(piece_size, p.bold);
        if (f == nullptr) break;
        pieces.push_back({t, piece_size, width, r.sub ? size * 0.28 : 0, f});
        width += measure(t, f);
    }
    const double start = n.points[0].x.v - (p.anchor == Anchor::kMiddle ? width / 2
                                            : p.anchor == Anchor::kEnd  ? width
                                                                        : 0);
    const double baseline = n.points[0].y.v;
    const Brush fill = fills ? brush(p.fill, p.fill_opacity) : Brush();
    // The outline's pen is in the node's units: the world transform scales it.
    const Pen outline = strokes ? pen(p, 1) : Pen();
    for (const Piece& piece : pieces) {
        if (piece.text.empty()) continue;
        // A string is set from the top of its line: the baseline lies the
        // face's ascent below.
        const gp::RectF origin(static_cast<gp::REAL>(start + piece.x),
                               static_cast<gp::REAL>(baseline + piece.drop - piece.size * ascent_[p.bold ? 1 : 0]), 0,
                               0);
        const auto length = static_cast<INT>(piece.text.size());
        if (fill) {
            ok(api().GdipDrawString(graphics_, piece.text.c_str(), length, piece.font, &origin, format_.get(),
                                    fill.get()),
               "text");
        }
        if (outline) {
            // Outlined glyphs, as SVG strokes a text with a stroke.
            gp::GpPath* made = nullptr;
            if (!ok(api().GdipCreatePath(gp::FillModeWinding, &made), "text outline")) continue;
            const Path path(made);
            if (ok(api().GdipAddPathString(made, piece.text.c_str(), length, family_,
                                           p.bold ? gp::FontStyleBold : gp::FontStyleRegular,
                                           static_cast<gp::REAL>(piece.size), &origin, format_.get()),
                   "text outline")) {
                ok(api().GdipDrawPath(graphics_, outline.get(), made), "text outline");
            }
        }
    }
    ok(api().GdipResetWorldTransform(graphics_), "transform");
}

}  // namespace

std::optional<GdiplusFailure> paint_directly(const Scene& scene, const PixelRows& pixels, double scale,
                                             gp::GpFontFamily* family, const double (&ascent)[2]) {
    gp::GpBitmap* bitmap = nullptr;
    // Premultiplied: what GDI+ blends fastest, and the same bytes as plain
    // colour on an opaque page.
    const gp::Status made = api().GdipCreateBitmapFromScan0(pixels.width, pixels.height, pixels.width * 4,
                                                            PixelFormat32bppPARGB,
                                                            reinterpret_cast<BYTE*>(pixels.bits), &bitmap);
    if (made != gp::Ok) return GdiplusFailure{static_cast<int>(made), "bitmap"};
    const Image image(bitmap);
    gp::GpGraphics* graphics = nullptr;
    const gp::Status opened = api().GdipGetImageGraphicsContext(bitmap, &graphics);
    if (opened != gp::Ok) return GdiplusFailure{static_cast<int>(opened), "graphics"};
    const Graphics held(graphics);

    Painting painting(graphics, family, ascent);
    painting.ok(api().GdipGraphicsClear(graphics, argb(kWhite, 1)), "page");
    painting.prepare();
    painting.node(scene.root, Paint{}, Affine{scale, 0, 0, scale, 0, 0});
    painting.ok(api().GdipFlush(graphics, gp::FlushIntentionSync), "flush");
    return painting.failure();
}

}  // namespace veltrano::diagram::gdiplus
