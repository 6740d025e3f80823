// GDI+ loaded at run time: gdiplus.dll loaded and its entries bound when the
// first session starts, and each session's start and shutdown.
#include <type_traits>

#include "gdiplus_win32.h"

namespace veltrano::diagram {

namespace gdiplus {

namespace {

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

}  // namespace

const Api& api() { return bound_api; }

}  // namespace gdiplus

using namespace gdiplus;

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

}  // namespace veltrano::diagram
