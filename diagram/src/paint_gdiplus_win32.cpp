#include "veltrano/diagram/paint_gdiplus.h"

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <type_traits>
#include <utility>
#include <vector>

#include "veltrano/core/utf16.h"
#include "presentation.h"

namespace veltrano::diagram {

namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

// GDI+'s entries, bound by name when GDI+ is first started, so that a
// program loads gdiplus.dll only when it first paints a scene. Not through
// a delay-load import library: the thunk binutils' dlltool makes for one
// (2.40) keeps the integer argument registers across the binding but not
// XMM0 to XMM3, so the first call of each entry taking a REAL (a pen's
// width, a font's size, a matrix) got garbage: the first text or line
// painted came out wrong.
struct Api {
    decltype(&gp::GdiplusStartup) GdiplusStartup;
    decltype(&gp::GdiplusShutdown) GdiplusShutdown;
    decltype(&flat::GdipAddPathString) GdipAddPathString;
    decltype(&flat::GdipCloneStringFormat) GdipCloneStringFormat;
    decltype(&flat::GdipCreateBitmapFromScan0) GdipCreateBitmapFromScan0;
    decltype(&flat::GdipCreateFont) GdipCreateFont;
    decltype(&flat::GdipCreateFontFamilyFromName) GdipCreateFontFamilyFromName;
    decltype(&flat::GdipCreateMatrix2) GdipCreateMatrix2;
    decltype(&flat::GdipCreatePath) GdipCreatePath;
    decltype(&flat::GdipCreatePen1) GdipCreatePen1;
    decltype(&flat::GdipCreateSolidFill) GdipCreateSolidFill;
    decltype(&flat::GdipDeleteBrush) GdipDeleteBrush;
    decltype(&flat::GdipDeleteFont) GdipDeleteFont;
    decltype(&flat::GdipDeleteFontFamily) GdipDeleteFontFamily;
    decltype(&flat::GdipDeleteGraphics) GdipDeleteGraphics;
    decltype(&flat::GdipDeleteMatrix) GdipDeleteMatrix;
    decltype(&flat::GdipDeletePath) GdipDeletePath;
    decltype(&flat::GdipDeletePen) GdipDeletePen;
    decltype(&flat::GdipDeleteStringFormat) GdipDeleteStringFormat;
    decltype(&flat::GdipDisposeImage) GdipDisposeImage;
    decltype(&flat::GdipDrawEllipse) GdipDrawEllipse;
    decltype(&flat::GdipDrawLine) GdipDrawLine;
    decltype(&flat::GdipDrawLines) GdipDrawLines;
    decltype(&flat::GdipDrawPath) GdipDrawPath;
    decltype(&flat::GdipDrawPolygon) GdipDrawPolygon;
    decltype(&flat::GdipDrawString) GdipDrawString;
    decltype(&flat::GdipFillEllipse) GdipFillEllipse;
    decltype(&flat::GdipFillPolygon2) GdipFillPolygon2;
    decltype(&flat::GdipFlush) GdipFlush;
    decltype(&flat::GdipGetCellAscent) GdipGetCellAscent;
    decltype(&flat::GdipGetEmHeight) GdipGetEmHeight;
    decltype(&flat::GdipGetFamilyName) GdipGetFamilyName;
    decltype(&flat::GdipGetImageEncoders) GdipGetImageEncoders;
    decltype(&flat::GdipGetImageEncodersSize) GdipGetImageEncodersSize;
    decltype(&flat::GdipGetImageGraphicsContext) GdipGetImageGraphicsContext;
    decltype(&flat::GdipGraphicsClear) GdipGraphicsClear;
    decltype(&flat::GdipIsStyleAvailable) GdipIsStyleAvailable;
    decltype(&flat::GdipMeasureString) GdipMeasureString;
    decltype(&flat::GdipResetWorldTransform) GdipResetWorldTransform;
    decltype(&flat::GdipRestoreGraphics) GdipRestoreGraphics;
    decltype(&flat::GdipSaveGraphics) GdipSaveGraphics;
    decltype(&flat::GdipSaveImageToStream) GdipSaveImageToStream;
    decltype(&flat::GdipSetClipRect) GdipSetClipRect;
    decltype(&flat::GdipSetPenDashArray) GdipSetPenDashArray;
    decltype(&flat::GdipSetPenLineCap197819) GdipSetPenLineCap197819;
    decltype(&flat::GdipSetPenLineJoin) GdipSetPenLineJoin;
    decltype(&flat::GdipSetPenMiterLimit) GdipSetPenMiterLimit;
    decltype(&flat::GdipSetPixelOffsetMode) GdipSetPixelOffsetMode;
    decltype(&flat::GdipSetSmoothingMode) GdipSetSmoothingMode;
    decltype(&flat::GdipSetStringFormatFlags) GdipSetStringFormatFlags;
    decltype(&flat::GdipSetTextRenderingHint) GdipSetTextRenderingHint;
    decltype(&flat::GdipSetWorldTransform) GdipSetWorldTransform;
    decltype(&flat::GdipStringFormatGetGenericTypographic) GdipStringFormatGetGenericTypographic;
};

Api bound_api;

// Binds every entry of `module`; false if one is missing.
bool bind_api(HMODULE module) {
    Api a{};
    bool all = true;
    const auto bind = [&](const char* name, auto& entry) {
        // Through void(*)() so the compiler takes the cast between function types as meant.
        entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
        all = all && entry != nullptr;
    };
        bind("GdiplusStartup", a.GdiplusStartup);
        bind("GdiplusShutdown", a.GdiplusShutdown);
        bind("GdipAddPathString", a.GdipAddPathString);
        bind("GdipCloneStringFormat", a.GdipCloneStringFormat);
        bind("GdipCreateBitmapFromScan0", a.GdipCreateBitmapFromScan0);
        bind("GdipCreateFont", a.GdipCreateFont);
        bind("GdipCreateFontFamilyFromName", a.GdipCreateFontFamilyFromName);
        bind("GdipCreateMatrix2", a.GdipCreateMatrix2);
        bind("GdipCreatePath", a.GdipCreatePath);
        bind("GdipCreatePen1", a.GdipCreatePen1);
        bind("GdipCreateSolidFill", a.GdipCreateSolidFill);
        bind("GdipDeleteBrush", a.GdipDeleteBrush);
        bind("GdipDeleteFont", a.GdipDeleteFont);
        bind("GdipDeleteFontFamily", a.GdipDeleteFontFamily);
        bind("GdipDeleteGraphics", a.GdipDeleteGraphics);
        bind("GdipDeleteMatrix", a.GdipDeleteMatrix);
        bind("GdipDeletePath", a.GdipDeletePath);
        bind("GdipDeletePen", a.GdipDeletePen);
        bind("GdipDeleteStringFormat", a.GdipDeleteStringFormat);
        bind("GdipDisposeImage", a.GdipDisposeImage);
        bind("GdipDrawEllipse", a.GdipDrawEllipse);
        bind("GdipDrawLine", a.GdipDrawLine);
        bind("GdipDrawLines", a.GdipDrawLines);
        bind("GdipDrawPath", a.GdipDrawPath);
        bind("GdipDrawPolygon", a.GdipDrawPolygon);
        bind("GdipDrawString", a.GdipDrawString);
        bind("GdipFillEllipse", a.GdipFillEllipse);
        bind("GdipFillPolygon2", a.GdipFillPolygon2);
        bind("GdipFlush", a.GdipFlush);
        bind("GdipGetCellAscent", a.GdipGetCellAscent);
        bind("GdipGetEmHeight", a.GdipGetEmHeight);
        bind("GdipGetFamilyName", a.GdipGetFamilyName);
        bind("GdipGetImageEncoders", a.GdipGetImageEncoders);
        bind("GdipGetImageEncodersSize", a.GdipGetImageEncodersSize);
        bind("GdipGetImageGraphicsContext", a.GdipGetImageGraphicsContext);
        bind("GdipGraphicsClear", a.GdipGraphicsClear);
        bind("GdipIsStyleAvailable", a.GdipIsStyleAvailable);
        bind("GdipMeasureString", a.GdipMeasureString);
        bind("GdipResetWorldTransform", a.GdipResetWorldTransform);
        bind("GdipRestoreGraphics", a.GdipRestoreGraphics);
        bind("GdipSaveGraphics", a.GdipSaveGraphics);
        bind("GdipSaveImageToStream", a.GdipSaveImageToStream);
        bind("GdipSetClipRect", a.GdipSetClipRect);
        bind("GdipSetPenDashArray", a.GdipSetPenDashArray);
        bind("GdipSetPenLineCap197819", a.GdipSetPenLineCap197819);
        bind("GdipSetPenLineJoin", a.GdipSetPenLineJoin);
        bind("GdipSetPenMiterLimit", a.GdipSetPenMiterLimit);
        bind("GdipSetPixelOffsetMode", a.GdipSetPixelOffsetMode);
        bind("GdipSetSmoothingMode", a.GdipSetSmoothingMode);
        bind("GdipSetStringFormatFlags", a.GdipSetStringFormatFlags);
        bind("GdipSetTextRenderingHint", a.GdipSetTextRenderingHint);
        bind("GdipSetWorldTransform", a.GdipSetWorldTransform);
        bind("GdipStringFormatGetGenericTypographic", a.GdipStringFormatGetGenericTypographic);
    if (all) bound_api = a;
    return all;
}

const Api& api() { return bound_api; }

// Each GDI+ object freed by its own call, exactly once.
template <class T, auto Api::*Free>
struct FreeGp {
    void operator()(T* object) const noexcept { (api().*Free)(object); }
};
template <class T, auto Api::*Free>
using Held = std::unique_ptr<T, FreeGp<T, Free>>;
using Graphics = Held<gp::GpGraphics, &Api::GdipDeleteGraphics>;
using Image = Held<gp::GpImage, &Api::GdipDisposeImage>;
using Pen = Held<gp::GpPen, &Api::GdipDeletePen>;
using Brush = Held<gp::GpBrush, &Api::GdipDeleteBrush>;
using Font = Held<gp::GpFont, &Api::GdipDeleteFont>;
using FontFamily = Held<gp::GpFontFamily, &Api::GdipDeleteFontFamily>;
using StringFormat = Held<gp::GpStringFormat, &Api::GdipDeleteStringFormat>;
using Matrix = Held<gp::GpMatrix, &Api::GdipDeleteMatrix>;
using Path = Held<gp::GpPath, &Api::GdipDeletePath>;

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

// The faces tried for the texts, in order: Chinese glyphs on Windows from
// Vista on (YaHei, SimHei) and under Wine (WenQuanYi from the system, SimSun
// as Wine's prefixes replace it), then whatever the system sets its
// messages in.
std::vector<std::wstring> candidate_faces() {
    std::vector<std::wstring> faces = {L"Microsoft YaHei", L"SimHei", L"WenQuanYi Micro Hei", L"SimSun"};
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        faces.emplace_back(metrics.lfMessageFont.lfFaceName);
    }
    faces.insert(faces.end(), {L"Segoe UI", L"Tahoma", L"Arial"});
    return faces;
}

bool smooths_shapes();

}  // namespace

// ---- the session

GdiplusSession::GdiplusSession() {
    // Loaded once and kept: the entries stay bound for later sessions.
    static const bool bound = [] {
        HMODULE module = LoadLibraryW(L"gdiplus.dll");
        return module != nullptr && bind_api(module);
    }();
    if (!bound) {
        status_ = gp::GdiplusNotInitialized;
        return;
    }
    gp::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    status_ = static_cast<int>(api().GdiplusStartup(&token, &input, nullptr));
    token_ = token;
}

GdiplusSession::~GdiplusSession() {
    if (status_ == gp::Ok) api().GdiplusShutdown(static_cast<ULONG_PTR>(token_));
}

// ---- the face

struct GdiplusPainter::Setup {
    FontFamily family;
    std::wstring face;
    // The baseline below the top of a line, in ems, by style (regular, bold).
    double ascent[2] = {0.8, 0.8};
    // Samples per pixel along each side: 1 where GDI+ antialiases.
    int supersampling = 1;
};

GdiplusPainter::GdiplusPainter() : setup_(std::make_unique<Setup>()) {
    for (const std::wstring& face : candidate_faces()) {
        gp::GpFontFamily* family = nullptr;
        if (face.empty() || api().GdipCreateFontFamilyFromName(face.c_str(), nullptr, &family) != gp::Ok) continue;
        FontFamily held(family);
        BOOL regular = FALSE;
        if (api().GdipIsStyleAvailable(family, gp::FontStyleRegular, &regular) != gp::Ok || !regular) continue;
        WCHAR name[LF_FACESIZE] = {};
        setup_->face = api().GdipGetFamilyName(family, name, LANG_NEUTRAL) == gp::Ok ? name : face;
        for (int bold = 0; bold < 2; ++bold) {
            const INT style = bold ? gp::FontStyleBold : gp::FontStyleRegular;
            UINT16 em = 0, ascent = 0;
            if (api().GdipGetEmHeight(family, style, &em) == gp::Ok &&
                api().GdipGetCellAscent(family, style, &ascent) == gp::Ok && em > 0 && ascent > 0) {
                setup_->ascent[bold] = static_cast<double>(ascent) / em;
            }
        }
        setup_->family = std::move(held);
        break;
    }
    // Two by two: five levels of cover, enough for smooth edges on a
    // screen. Three by three costs twice the time (0.1 s a window at 96
    // DPI under Wine) and draws Wine's thin lines lighter, not better.
    setup_->supersampling = smooths_shapes() ? 1 : 2;
}

GdiplusPainter::~GdiplusPainter() = default;

const std::wstring& GdiplusPainter::face() const { return setup_->face; }

int GdiplusPainter::supersampling() const { return setup_->supersampling; }

// ---- painting

namespace {

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

namespace {

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

// Whether GDI+ smooths the edges of shapes: a slanting line shows greys
// between its black and the white page. Wine's GDI+ (8.0) fills every
// shape without antialiasing, whatever the smoothing mode; only its text
// is smoothed.
bool smooths_shapes() {
    constexpr int kSide = 16;
    std::vector<std::uint32_t> bits(kSide * kSide);
    Scene probe;
    probe.width = probe.height = kSide;
    probe.root = group();
    probe.root.children.push_back(line({page(1), page(2)}, {page(15), page(11)}, 0x000000, page(1.5)));
    const double ascent[2] = {0.8, 0.8};
    if (paint_directly(probe, {bits.data(), kSide, kSide}, 1, nullptr, ascent)) return true;
    return std::any_of(bits.begin(), bits.end(), [](std::uint32_t p) {
        const std::uint32_t blue = p & 0xFF;
        return blue != 0 && blue != 0xFF;
    });
}

// `big`, `samples` times as wide and as high as `pixels`, averaged down
// onto it: each pixel the mean of its samples, channel by channel.
void average_down(const std::vector<std::uint32_t>& big, const PixelRows& pixels, int samples) {
    const std::size_t big_width = static_cast<std::size_t>(pixels.width) * samples;
    const std::uint32_t count = static_cast<std::uint32_t>(samples * samples);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(pixels.width) * 4);
    for (int y = 0; y < pixels.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int sy = 0; sy < samples; ++sy) {
            const std::uint32_t* row = big.data() + (static_cast<std::size_t>(y) * samples + sy) * big_width;
            for (std::size_t bx = 0; bx < big_width; ++bx) {
                std::uint32_t* sum = &sums[bx / samples * 4];
                const std::uint32_t p = row[bx];
                sum[0] += p & 0xFF;
                sum[1] += (p >> 8) & 0xFF;
                sum[2] += (p >> 16) & 0xFF;
                sum[3] += p >> 24;
            }
        }
        std::uint32_t* out = pixels.bits + static_cast<std::size_t>(y) * pixels.width;
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t* sum = &sums[static_cast<std::size_t>(x) * 4];
            const auto mean = [&](int channel) { return (sum[channel] + count / 2) / count; };
            out[x] = mean(0) | mean(1) << 8 | mean(2) << 16 | mean(3) << 24;
        }
    }
}

}  // namespace

std::optional<GdiplusFailure> GdiplusPainter::paint(const Scene& scene, const PixelRows& pixels, double scale) const {
    if (pixels.bits == nullptr || pixels.width <= 0 || pixels.height <= 0) return std::nullopt;
    const int samples = setup_->supersampling;
    if (samples == 1) return paint_directly(scene, pixels, scale, setup_->family.get(), setup_->ascent);
    // Without smooth edges from GDI+: painted at `samples` times the size and
    // averaged down, the edges smooth all the same.
    std::vector<std::uint32_t> big(static_cast<std::size_t>(pixels.width) * samples * pixels.height * samples);
    const std::optional<GdiplusFailure> failure = paint_directly(
        scene, {big.data(), pixels.width * samples, pixels.height * samples}, scale * samples, setup_->family.get(),
        setup_->ascent);
    average_down(big, pixels, samples);
    return failure;
}

// ---- PNG

namespace {

// A stream into a string, for the PNG encoder: what it writes where it
// seeks. Lives on the caller's stack; references are counted, not owned.
class StringStream final : public IStream {
public:
    explicit StringStream(std::string& bytes) : bytes_(bytes) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ISequentialStream)) ||
            IsEqualIID(iid, __uuidof(IStream))) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* read) override {
        const std::size_t n = position_ < bytes_.size() ? std::min<std::size_t>(count, bytes_.size() - position_) : 0;
        if (n > 0) std::memcpy(into, bytes_.data() + position_, n);
        position_ += n;
        if (read != nullptr) *read = static_cast<ULONG>(n);
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG count, ULONG* written) override {
        if (from == nullptr && count > 0) return STG_E_INVALIDPOINTER;
        if (bytes_.size() < position_ + count) bytes_.resize(position_ + count);
        if (count > 0) std::memcpy(bytes_.data() + position_, from, count);
        position_ += count;
        if (written != nullptr) *written = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
        const LONGLONG base = origin == STREAM_SEEK_SET   ? 0
                              : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(position_)
                              : origin == STREAM_SEEK_END ? static_cast<LONGLONG>(bytes_.size())
                                                          : -1;
        if (base < 0) return STG_E_INVALIDFUNCTION;
        const LONGLONG to = base + move.QuadPart;
        if (to < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<std::size_t>(to);
        if (now != nullptr) now->QuadPart = static_cast<ULONGLONG>(to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        bytes_.resize(static_cast<std::size_t>(size.QuadPart));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
        if (copy != nullptr) *copy = nullptr;
        return E_NOTIMPL;
    }

private:
    std::string& bytes_;
    std::size_t position_ = 0;
    ULONG references_ = 1;
};

}  // namespace

std::optional<GdiplusFailure> encode_png(const PixelRows& pixels, std::string& png) {
    png.clear();
    UINT count = 0, size = 0;
    gp::Status status = api().GdipGetImageEncodersSize(&count, &size);
    if (status != gp::Ok) return GdiplusFailure{static_cast<int>(status), "encoders"};
    std::vector<unsigned char> buffer(size);
    auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(buffer.data());
    status = api().GdipGetImageEncoders(count, size, codecs);
    if (status != gp::Ok) return GdiplusFailure{static_cast<int>(status), "encoders"};
    const gp::ImageCodecInfo* encoder = nullptr;
    for (UINT i = 0; i < count && encoder == nullptr; ++i) {
        if (codecs[i].MimeType != nullptr && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) encoder = &codecs[i];
    }
    if (encoder == nullptr) return GdiplusFailure{static_cast<int>(gp::UnknownImageFormat), "PNG encoder"};

    gp::GpBitmap* bitmap = nullptr;
    // Without alpha: the page is opaque, and the file then holds three
    // channels, not four.
    status = api().GdipCreateBitmapFromScan0(pixels.width, pixels.height, pixels.width * 4, PixelFormat32bppRGB,
                                             reinterpret_cast<BYTE*>(pixels.bits), &bitmap);
    if (status != gp::Ok) return GdiplusFailure{static_cast<int>(status), "bitmap"};
    const Image image(bitmap);
    StringStream stream(png);
    status = api().GdipSaveImageToStream(bitmap, &stream, &encoder->Clsid, nullptr);
    if (status != gp::Ok) {
        png.clear();
        return GdiplusFailure{static_cast<int>(status), "PNG"};
    }
    return std::nullopt;
}

}  // namespace veltrano::diagram
