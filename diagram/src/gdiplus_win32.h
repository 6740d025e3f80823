// GDI+ as the files of its painter share it: the entries of gdiplus.dll,
// bound by name when the first session starts; owners that free each GDI+
// object by its own call; and a scene painted into pixels, one sample each.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <memory>
#include <optional>

#include "veltrano/diagram/paint_gdiplus.h"

namespace veltrano::diagram::gdiplus {

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

// The entries as bound when the first session started.
const Api& api();

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

// `scene` painted onto all of `pixels`, white first, `scale` device pixels
// to a page pixel; its texts in `family`, their baselines `ascent` ems below
// the top of a line (regular, bold). The first failure, if any.
std::optional<GdiplusFailure> paint_directly(const Scene& scene, const PixelRows& pixels, double scale,
                                             gp::GpFontFamily* family, const double (&ascent)[2]);

}  // namespace veltrano::diagram::gdiplus
