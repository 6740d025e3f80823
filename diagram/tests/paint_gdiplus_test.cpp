// The GDI+ painter against what SVG draws for the same shapes: hand-built
// scenes painted into memory, read back pixel by pixel.
#include "veltrano/diagram/paint_gdiplus.h"

#include <windows.h>

#include <objidl.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace veltrano::diagram {
namespace {

constexpr Colour kWhite = 0xFFFFFF;

// One painted picture and what can be read from it.
class Picture {
public:
    Picture(const Scene& scene, int width, int height, double scale, const GdiplusPainter& painter)
        : width_(width), height_(height), bits_(static_cast<std::size_t>(width) * height, 0xDEADBEEF) {
        failure_ = painter.paint(scene, rows(), scale);
    }
    PixelRows rows() { return {bits_.data(), width_, height_}; }
    const std::optional<GdiplusFailure>& failure() const { return failure_; }

    Colour at(int x, int y) const { return bits_[static_cast<std::size_t>(y) * width_ + x] & 0xFFFFFFu; }
    std::uint32_t raw(int x, int y) const { return bits_[static_cast<std::size_t>(y) * width_ + x]; }

    // The box around every pixel that is not (nearly) white, and their count.
    struct Ink {
        int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, pixels = 0;
    };
    Ink ink(int from_x = 0) const {
        Ink ink;
        for (int y = 0; y < height_; ++y) {
            for (int x = from_x; x < width_; ++x) {
                if (distance(at(x, y), kWhite) < 60) continue;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.top = std::min(ink.top, y);
                ink.bottom = std::max(ink.bottom, y);
                ++ink.pixels;
            }
        }
        return ink;
    }
    // The pixels of the picture as they are, for comparing two pictures.
    const std::vector<std::uint32_t>& bits() const { return bits_; }

    static int distance(Colour a, Colour b) {
        int d = 0;
        for (int shift : {0, 8, 16}) {
            const int channel_a = static_cast<int>((a >> shift) & 0xFF), channel_b = static_cast<int>((b >> shift) & 0xFF);
            d = std::max(d, std::abs(channel_a - channel_b));
        }
        return d;
    }

private:
    int width_, height_;
    std::vector<std::uint32_t> bits_;
    std::optional<GdiplusFailure> failure_;
};

class GdiplusPaint : public testing::Test {
protected:
    static void SetUpTestSuite() {
        session_ = new GdiplusSession();
        ASSERT_EQ(session_->status(), 0) << "GDI+ did not start";
        painter_ = new GdiplusPainter();
    }
    static void TearDownTestSuite() {
        delete painter_;
        delete session_;
    }
    static GdiplusSession* session_;
    static GdiplusPainter* painter_;
};
GdiplusSession* GdiplusPaint::session_ = nullptr;
GdiplusPainter* GdiplusPaint::painter_ = nullptr;

// ---- scenes by hand

Scene page_of(std::vector<Node> nodes, double width = 200, double height = 120) {
    Scene s;
    s.width = width;
    s.height = height;
    s.root = group();
    s.root.children = std::move(nodes);
    return s;
}

Node with_children(Node n, std::vector<Node> children) {
    n.children = std::move(children);
    return n;
}

Node matrix(double a, double d, double e, double f) {
    Node g = group();
    g.transform.kind = Transform::Kind::kMatrix;
    g.transform.a = page(a);
    g.transform.d = page(d);
    g.transform.e = page(e);
    g.transform.f = page(f);
    return g;
}

Node filled(Node n, Colour fill) {
    n.style.fill = fill;
    return n;
}

Node stroked(Node n, Colour stroke, double width) {
    n.style.stroke = stroke;
    n.style.stroke_width = page(width);
    return n;
}

Node clipped(Node n, double x, double y, double w, double h) {
    n.clip = std::vector<Num>{page(x), page(y), page(w), page(h)};
    return n;
}

// ---- the first paint of the process

// GDI+'s entries are bound when the session starts. Bound lazily by a
// delay-load thunk that lost the floating-point arguments of each entry's
// first call, the first text, pen and transform of a process came out
// wrong while every later paint was right. This is the process's first
// paint (GoogleTest runs a file's tests in order).
TEST_F(GdiplusPaint, TheFirstPaintOfTheProcessIsLikeEveryLaterOne) {
    Node plot = matrix(100, -100, 20, 130);
    plot.children = {line({page(0), page(0)}, {page(1), page(1)}, 0x808080, page(0.01)),
                     stroked(filled(circle(page(0.5), page(0.5), page(0.03)), 0x222222), 0xE67E22, 0.01)};
    Node clip = clipped(group(), 10, 10, 150, 120);
    clip.children = {plot, filled(text(page(30), page(40), {{"塔板图 x"}, {"D", true}}, page(19)), 0x222222)};
    const Scene scene = page_of({clip}, 200, 140);
    const Picture first(scene, 200, 140, 1.25, *painter_);
    const Picture second(scene, 200, 140, 1.25, *painter_);
    EXPECT_FALSE(first.failure());
    EXPECT_GT(first.ink().pixels, 200);
    EXPECT_EQ(first.bits(), second.bits());
}

// ---- shapes: where a colour must be, and where it must not

struct Probe {
    int x, y;
    Colour colour;
    int tolerance;  // per channel
};

struct ShapeCase {
    const char* what;
    std::function<Scene()> scene;
    double scale;
    std::vector<Probe> probes;
};

const ShapeCase kShapeCases[] = {
    {"a rectangle takes the fill of its group",
     [] { return page_of({with_children(filled(group(), 0x3366CC), {rect(page(10), page(10), page(30), page(20))})}); },
     1,
     {{25, 20, 0x3366CC, 0}, {5, 5, kWhite, 0}, {45, 20, kWhite, 0}, {25, 35, kWhite, 0}}},
    {"the page's default fill is #222222",
     [] { return page_of({rect(page(10), page(10), page(30), page(20))}); },
     1,
     {{25, 20, 0x222222, 0}}},
    {"fill opacity blends over the white page",
     [] {
         Node r = filled(rect(page(10), page(10), page(30), page(20)), 0x000000);
         r.style.fill_opacity = page(0.5);
         return page_of({r});
     },
     1,
     {{25, 20, 0x808080, 2}}},
    {"no stroke and no fill draw nothing",
     [] {
         Node r = stroked(rect(page(10), page(10), page(30), page(20)), kNoPaint, 3);
         r.style.fill = kNoPaint;
         Node zero = stroked(line({page(10), page(50)}, {page(100), page(50)}, 0xFF0000, page(0)), 0xFF0000, 0);
         return page_of({r, zero});
     },
     1,
     {{10, 10, kWhite, 0}, {25, 20, kWhite, 0}, {50, 50, kWhite, 0}}},
    {"a unit-square matrix scales the stroke width with it",
     [] {
         return page_of({with_children(matrix(100, -100, 20, 120),
                                       {line({page(0), page(0.5)}, {page(1), page(0.5)}, 0x00AA00, page(0.06))})},
                        200, 140);
     },
     1,
     // y = 120 - 100 * 0.5 = 70, six pixels wide: rows 67 to 72.
     {{70, 68, 0x00AA00, 0}, {70, 71, 0x00AA00, 0}, {70, 65, kWhite, 0}, {70, 75, kWhite, 0}, {10, 70, kWhite, 0}}},
    {"an identity matrix changes nothing",
     [] {
         return page_of({with_children(matrix(1, 1, 0, 0),
                                       {line({page(20), page(70)}, {page(120), page(70)}, 0x00AA00, page(6))})},
                        200, 140);
     },
     1,
     {{70, 68, 0x00AA00, 0}, {70, 71, 0x00AA00, 0}, {70, 65, kWhite, 0}, {70, 75, kWhite, 0}}},
    {"a stroke of a tenth of a unit is a tenth of the unit's pixels wide",
     [] {
         return page_of({with_children(matrix(30, 30, 10, 10),
                                       {line({page(0), page(2)}, {page(5), page(2)}, 0x00AA00, page(0.1))})},
                        200, 140);
     },
     1,
     // y = 70, three pixels wide: rows 68 to 71 at most.
     {{70, 69, 0x00AA00, 0}, {70, 70, 0x00AA00, 0}, {70, 66, kWhite, 0}, {70, 73, kWhite, 0}}},
    {"the page scale doubles everything",
     [] {
         return page_of({with_children(matrix(100, -100, 20, 120),
                                       {line({page(0), page(0.5)}, {page(1), page(0.5)}, 0x00AA00, page(0.06))})},
                        200, 140);
     },
     2,
     {{140, 136, 0x00AA00, 0}, {140, 143, 0x00AA00, 0}, {140, 130, kWhite, 0}, {140, 150, kWhite, 0}}},
    {"dashes are in the node's units, scaled by the transform",
     [] {
         Node l = line({page(5), page(10)}, {page(95), page(10)}, 0x0000FF, page(2));
         l.style.dashes = {page(10), page(10)};
         return page_of({with_children(matrix(2, 2, 0, 0), {l})}, 200, 40);
     },
     1,
     // On from x 10 to 30, off to 50, on to 70 (device pixels).
     {{20, 20, 0x0000FF, 0}, {40, 20, kWhite, 0}, {60, 20, 0x0000FF, 0}, {80, 20, kWhite, 0}}},
    {"an odd dash list repeats to an even one",
     [] {
         Node l = line({page(0), page(10)}, {page(200), page(10)}, 0x0000FF, page(4));
         l.style.dashes = {page(20)};
         return page_of({l}, 200, 20);
     },
     1,
     {{10, 10, 0x0000FF, 0}, {30, 10, kWhite, 0}, {50, 10, 0x0000FF, 0}}},
    {"round caps reach half the width beyond the end",
     [] {
         Node l = line({page(20), page(10)}, {page(60), page(10)}, 0xAA0000, page(10));
         l.style.round = true;
         return page_of({l}, 100, 20);
     },
     1,
     {{17, 10, 0xAA0000, 0}, {63, 10, 0xAA0000, 0}, {12, 10, kWhite, 0}}},
    {"butt caps end at the end",
     [] { return page_of({line({page(20), page(10)}, {page(60), page(10)}, 0xAA0000, page(10))}, 100, 20); },
     1,
     {{17, 10, kWhite, 0}, {63, 10, kWhite, 0}, {40, 10, 0xAA0000, 0}}},
    {"round is inherited from the group",
     [] {
         Node g = group();
         g.style.round = true;
         return page_of({with_children(g, {line({page(20), page(10)}, {page(60), page(10)}, 0xAA0000, page(10))})},
                        100, 20);
     },
     1,
     {{17, 10, 0xAA0000, 0}}},
    {"a child line without a stroke takes its group's",
     [] {
         Node l;
         l.kind = Node::Kind::kLine;
         l.points = {{page(10), page(10)}, {page(90), page(10)}};
         return page_of({with_children(stroked(group(), 0xCC00CC, 4), {l})}, 100, 20);
     },
     1,
     {{50, 10, 0xCC00CC, 0}}},
    {"a clip is in the parent's units, before the group's transform",
     [] {
         Node g = clipped(matrix(2, 2, 0, 0), 0, 0, 50, 50);
         return page_of({with_children(g, {filled(rect(page(0), page(0), page(100), page(100)), 0x008800)})}, 200,
                        200);
     },
     1,
     {{40, 40, 0x008800, 0}, {60, 60, kWhite, 0}, {60, 20, kWhite, 0}, {150, 150, kWhite, 0}}},
    {"a clip holds for the group's children only",
     [] {
         Node g = clipped(group(), 0, 0, 50, 100);
         return page_of({with_children(g, {filled(rect(page(0), page(0), page(100), page(100)), 0x008800)}),
                         filled(rect(page(150), page(0), page(40), page(40)), 0x880000)},
                        200, 100);
     },
     1,
     {{25, 50, 0x008800, 0}, {75, 50, kWhite, 0}, {170, 20, 0x880000, 0}}},
    {"grid segments are drawn pair by pair, not joined",
     [] {
         Node g;
         g.kind = Node::Kind::kGrid;
         g.points = {{page(10), page(0)}, {page(10), page(100)}, {page(0), page(50)}, {page(100), page(50)}};
         return page_of({stroked(g, 0x999999, 2)}, 100, 100);
     },
     1,
     // Joined, the path would run from (10, 100) to (0, 50).
     {{10, 20, 0x999999, 0}, {50, 50, 0x999999, 0}, {5, 75, kWhite, 0}, {30, 30, kWhite, 0}}},
    {"a rotation turns a shape about the group's origin",
     [] {
         Node g = group();
         g.transform.kind = Transform::Kind::kTranslate;
         g.transform.e = page(50);
         g.transform.f = page(50);
         g.transform.degrees = -90;
         return page_of({with_children(g, {line({page(0), page(0)}, {page(40), page(0)}, 0x0000AA, page(4))})}, 100,
                        100);
     },
     1,
     // rotate(-90): +x of the group points up the page.
     {{50, 30, 0x0000AA, 0}, {70, 50, kWhite, 0}, {50, 70, kWhite, 0}}},
};

TEST_F(GdiplusPaint, ShapesLandWhereSvgPutsThem) {
    for (const ShapeCase& c : kShapeCases) {
        SCOPED_TRACE(c.what);
        const Scene scene = c.scene();
        const int width = static_cast<int>(scene.width * c.scale), height = static_cast<int>(scene.height * c.scale);
        const Picture picture(scene, width, height, c.scale, *painter_);
        EXPECT_FALSE(picture.failure()) << picture.failure()->what << ": status " << picture.failure()->status;
        for (const Probe& p : c.probes) {
            const Colour got = picture.at(p.x, p.y);
            EXPECT_LE(Picture::distance(got, p.colour), p.tolerance)
                << "at (" << p.x << ", " << p.y << "): #" << std::hex << got << " instead of #" << p.colour;
        }
        EXPECT_EQ(picture.raw(0, 0) >> 24, 0xFFu) << "the page is opaque";
    }
}

// Edges are smooth wherever the system's GDI+ is: a slanting line and a
// circle show shades between their colour and the page's.
TEST_F(GdiplusPaint, EdgesAreSmoothed) {
    const Scene scene = page_of({line({page(5), page(5)}, {page(95), page(40)}, 0x000000, page(3)),
                                 filled(circle(page(40), page(70), page(20)), 0x000000)},
                                100, 100);
    const Picture picture(scene, 100, 100, 1, *painter_);
    std::set<Colour> shades;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (picture.at(x, y) != 0 && picture.at(x, y) != kWhite) shades.insert(picture.at(x, y));
        }
    }
    EXPECT_GE(shades.size(), 3u) << "supersampling " << painter_->supersampling();
    // Smoothing keeps the middle of a line its own colour, and the page white.
    EXPECT_EQ(picture.at(50, 22), 0x000000u);
    EXPECT_EQ(picture.at(40, 70), 0x000000u);
    EXPECT_EQ(picture.at(90, 90), kWhite);
}

// ---- text: the face, the anchor, the baseline, the subscript

Picture text_picture(std::vector<Node> nodes, const GdiplusPainter& painter, double width = 300, double height = 100) {
    return Picture(page_of(std::move(nodes), width, height), static_cast<int>(width), static_cast<int>(height), 1,
                   painter);
}

TEST_F(GdiplusPaint, ChineseTextDrawsItsOwnGlyphsInAnInstalledFace) {
    EXPECT_FALSE(painter_->face().empty());
    // A face without the glyphs draws the same box for each character, and a
    // face that is not installed draws nothing at all.
    std::vector<Picture> pictures;
    for (const char* character : {"塔", "板", "图"}) {
        pictures.push_back(text_picture({text(page(10), page(50), {{character}}, page(32))}, *painter_, 60, 70));
        SCOPED_TRACE(character);
        EXPECT_FALSE(pictures.back().failure());
        EXPECT_GT(pictures.back().ink().pixels, 60);
    }
    EXPECT_NE(pictures[0].bits(), pictures[1].bits());
    EXPECT_NE(pictures[1].bits(), pictures[2].bits());
    EXPECT_NE(pictures[0].bits(), pictures[2].bits());
}

struct AnchorCase {
    Anchor anchor;
    const char* what;
};

TEST_F(GdiplusPaint, AnchorsPlaceTheMeasuredWidth) {
    const Runs runs = {{"塔板 Veltrano"}};
    const Picture start = text_picture({text(page(150), page(50), runs, page(20), Anchor::kStart)}, *painter_);
    const Picture::Ink s = start.ink();
    ASSERT_GT(s.pixels, 0);
    const int width = s.right - s.left;
    EXPECT_NEAR(s.left, 150, 3) << "start: the ink begins at x";
    EXPECT_GT(width, 100) << "two CJK characters and eight letters at 20 px";

    const Picture end = text_picture({text(page(150), page(50), runs, page(20), Anchor::kEnd)}, *painter_);
    EXPECT_NEAR(end.ink().right, 150, 3) << "end: the ink ends at x";
    EXPECT_NEAR(end.ink().right - end.ink().left, width, 1);

    const Picture middle = text_picture({text(page(150), page(50), runs, page(20), Anchor::kMiddle)}, *painter_);
    EXPECT_NEAR((middle.ink().left + middle.ink().right) / 2.0, 150, 3) << "middle: centred on x";

    // Inherited from the group like any other style.
    Node g = group();
    g.style.anchor = Anchor::kEnd;
    const Picture inherited = text_picture({with_children(g, {text(page(150), page(50), runs, page(20))})}, *painter_);
    EXPECT_EQ(inherited.bits(), end.bits());
}

TEST_F(GdiplusPaint, TextSitsOnItsBaselineAndSubscriptsHangBelowIt) {
    // Letters without descenders end on the baseline.
    const Picture plain = text_picture({text(page(20), page(60), {{"xD"}}, page(40))}, *painter_);
    EXPECT_NEAR(plain.ink().bottom, 60, 1.5);
    EXPECT_NEAR(plain.ink().top, 60 - 40 * 0.72, 6) << "a capital stands about 0.7 em tall";

    // xD with D a subscript: 0.28 of the size lower, 0.72 of the size.
    const Picture sub = text_picture({text(page(20), page(60), {{"x"}, {"D", true}}, page(40))}, *painter_);
    EXPECT_NEAR(sub.ink().bottom, 60 + 0.28 * 40, 1.5);
    const Picture x_alone = text_picture({text(page(20), page(60), {{"x"}}, page(40))}, *painter_);
    const Picture d_alone = text_picture({text(page(20), page(60), {{"D"}}, page(40))}, *painter_);
    const Picture::Ink d = d_alone.ink(), sub_d = sub.ink(x_alone.ink().right + 2);
    EXPECT_NEAR(sub_d.bottom - sub_d.top, (d.bottom - d.top) * 0.72, 2);
    EXPECT_NEAR(sub_d.right - sub_d.left, (d.right - d.left) * 0.72, 2);

    // A blank that starts the run after a subscript is a gap of 0.28 of the size.
    const Picture gap = text_picture({text(page(20), page(60), {{"x"}, {"F", true}, {" y"}}, page(40))}, *painter_);
    const Picture tight = text_picture({text(page(20), page(60), {{"x"}, {"F", true}, {"y"}}, page(40))}, *painter_);
    EXPECT_NEAR(gap.ink().right - tight.ink().right, 0.28 * 40, 1.5);
}

TEST_F(GdiplusPaint, TextFollowsRotationColourWeightAndStroke) {
    // The y axis's caption: translate, then rotate(-90); it reads upwards
    // with its glyphs to the left of the baseline.
    Node g = group();
    g.transform.kind = Transform::Kind::kTranslate;
    g.transform.e = page(60);
    g.transform.f = page(150);
    g.transform.degrees = -90;
    const Picture rotated = text_picture(
        {with_children(g, {text(page(0), page(0), {{"汽相组成 y"}}, page(16), Anchor::kMiddle)})}, *painter_, 100, 300);
    const Picture::Ink r = rotated.ink();
    ASSERT_GT(r.pixels, 0);
    EXPECT_GT(r.bottom - r.top, 3 * (r.right - r.left)) << "upright, not across";
    EXPECT_NEAR((r.top + r.bottom) / 2.0, 150, 3);
    // Only the descender of y and the foot of the ideographs cross the baseline.
    EXPECT_LE(r.right, 60 + 0.3 * 16);
    EXPECT_GE(r.left, 60 - 16);

    // The fill colour, the fill opacity and bold.
    const Picture feed = text_picture({filled(text(page(10), page(60), {{"进料板"}}, page(40)), 0xE67E22)}, *painter_);
    const Picture::Ink f = feed.ink();
    int exact = 0;
    for (int y = f.top; y <= f.bottom; ++y) {
        for (int x = f.left; x <= f.right; ++x) exact += feed.at(x, y) == 0xE67E22;
    }
    EXPECT_GT(exact, 20) << "solid strokes of the glyphs in the fill colour";

    Node bold_text = text(page(10), page(60), {{"进料板"}}, page(40));
    bold_text.style.bold = true;
    EXPECT_GT(text_picture({bold_text}, *painter_).ink().pixels, feed.ink().pixels * 11 / 10) << "bold is heavier";

    Node faint = text(page(10), page(60), {{"进料板"}}, page(40));
    faint.style.fill_opacity = page(0.3);
    const Picture faint_picture = text_picture({faint}, *painter_);
    Colour darkest = kWhite;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 300; ++x) darkest = std::min(darkest, faint_picture.at(x, y) & 0xFF);
    }
    EXPECT_GE(darkest, 0xA0u) << "30 % of #222222 over white is no darker than #B2B2B2";

    // A stroke outlines the glyphs; with no fill only the outline shows.
    Node outlined = stroked(text(page(10), page(60), {{"进料板"}}, page(40)), 0xFF0000, 1);
    outlined.style.fill = kNoPaint;
    const Picture outline = text_picture({outlined}, *painter_);
    EXPECT_FALSE(outline.failure());
    EXPECT_GT(outline.ink().pixels, 50);
    EXPECT_NE(outline.at(outline.ink().left + 1, (outline.ink().top + outline.ink().bottom) / 2), 0x222222u);
}

// ---- PNG

// The PNG decoded by GDI+ itself, through a stream over its bytes.
TEST_F(GdiplusPaint, PngHoldsThePixelsPainted) {
    const Scene scene = page_of({filled(rect(page(10), page(10), page(60), page(30)), 0xE67E22),
                                 text(page(100), page(60), {{"塔板图 x"}, {"D", true}}, page(20))},
                                200, 90);
    Picture picture(scene, 200, 90, 1, *painter_);
    std::string png;
    const std::optional<GdiplusFailure> failure = encode_png(picture.rows(), png);
    ASSERT_FALSE(failure) << failure->what << ": status " << failure->status;
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(be32(16), 200u);
    EXPECT_EQ(be32(20), 90u);

    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(png.data()), static_cast<UINT>(png.size()));
    ASSERT_NE(stream, nullptr);
    Gdiplus::GpBitmap* decoded = nullptr;
    ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &decoded), Gdiplus::Ok);
    int different = 0;
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 200; ++x) {
            Gdiplus::ARGB argb = 0;
            Gdiplus::DllExports::GdipBitmapGetPixel(decoded, x, y, &argb);
            different += (argb & 0xFFFFFFu) != picture.at(x, y) || (argb >> 24) != 0xFF;
        }
    }
    Gdiplus::DllExports::GdipDisposeImage(decoded);
    stream->Release();
    EXPECT_EQ(different, 0);
}

}  // namespace
}  // namespace veltrano::diagram
