// Scenes painted with GDI+ on Windows: the diagram window's picture on the
// screen, its PNG file and its clipboard image. GDI+ is a DLL of its own,
// loaded when the first session starts: a program that never paints a
// scene never loads it.
//
// The painter keeps the SVG reading of a scene: styles inherited from the
// enclosing groups, a group's transform scaling the strokes and dashes
// inside it, clips in the parent's units, text placed by its baseline and
// anchored by its measured width, subscripts 0.72 of the size and 0.28 of
// it lower.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "veltrano/diagram/scene.h"

namespace veltrano::diagram {

// GDI+ started for this process from construction to destruction. Every
// painter and every other GDI+ object must be gone before the session ends.
class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // 0 when GDI+ started, otherwise its status.
    int status() const { return status_; }

private:
    std::uintptr_t token_ = 0;
    int status_ = 0;
};

// Pixels to paint into: `height` rows of `width` 32-bit pixels (blue,
// green, red, alpha in memory order) from the top, no gap between rows: the
// bits of a top-down 32-bit DIB section.
struct PixelRows {
    std::uint32_t* bits = nullptr;
    int width = 0, height = 0;
};

// One GDI+ failure: its status (never 0) and what was being done.
struct GdiplusFailure {
    int status = 0;
    std::string what;
};

class GdiplusPainter {
public:
    // Picks the face texts are set in. Needs a started session that
    // outlives the painter.
    GdiplusPainter();
    ~GdiplusPainter();
    GdiplusPainter(const GdiplusPainter&) = delete;
    GdiplusPainter& operator=(const GdiplusPainter&) = delete;

    // The face every text is set in: the first installed of the faces that
    // carry Chinese glyphs on Windows (and under Wine), else the system's
    // message font, else GDI+'s generic sans-serif. A face that is not
    // installed would draw nothing at all.
    const std::wstring& face() const;

    // Paints `scene`, antialiased, `scale` device pixels to a page pixel,
    // over all of `pixels` (white first) with the page's top left at the
    // first pixel; opaque. A failed GDI+ call leaves its shape out and the
    // rest is painted; the first failure is returned.
    // A `draft` is painted once at the pixels' own size whatever
    // supersampling() says: a quarter of the work under Wine, for a picture
    // that changes at every keystroke and is painted again finely once the
    // typing pauses.
    std::optional<GdiplusFailure> paint(const Scene& scene, const PixelRows& pixels, double scale,
                                        bool draft = false) const;

    // Samples per pixel along each side: 1 where GDI+ smooths the edges of
    // shapes itself, more where it does not (Wine's), and the picture is
    // painted that many times larger and averaged down.
    int supersampling() const;

private:
    struct Setup;
    std::unique_ptr<Setup> setup_;
};

// `pixels` as the bytes of a PNG file (opaque, red-green-blue), or the
// failure.
std::optional<GdiplusFailure> encode_png(const PixelRows& pixels, std::string& png);

}  // namespace veltrano::diagram
