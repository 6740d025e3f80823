#include "tooltips_win32.h"

#include <commctrl.h>

#include "veltrano/command/form.h"
#include "veltrano/core/utf16.h"

namespace veltrano::gui::win32 {

namespace {

// The widest a tooltip grows before its lines wrap: about 30 Chinese
// characters in the message font, at any DPI.
constexpr int kTipWidthTwips = 5760;
// How long a tooltip stays while the pointer rests (the longest the control
// takes): its two or three lines need longer than the default five seconds.
constexpr WORD kTipShownMs = 30000;

TTTOOLINFOW tool_of(HWND owner, HWND control) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = owner;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    return tool;
}

}  // namespace

HWND create_tooltips(HWND owner) {
    HWND tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    if (tooltips != nullptr) SendMessageW(tooltips, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kTipShownMs, 0));
    return tooltips;
}

void add_tooltip(HWND tooltips, HWND owner, HWND control, std::string_view text) {
    if (tooltips == nullptr || control == nullptr) return;
    // The control copies the text. TTF_SUBCLASS: it watches the pointer
    // over the tool itself, so the window relays no mouse messages.
    std::wstring wide = core::to_utf16(text);
    TTTOOLINFOW tool = tool_of(owner, control);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.lpszText = wide.data();
    SendMessageW(tooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void set_tooltip(HWND tooltips, HWND owner, HWND control, std::string_view text) {
    if (tooltips == nullptr || control == nullptr) return;
    std::wstring wide = core::to_utf16(text);
    TTTOOLINFOW tool = tool_of(owner, control);
    tool.lpszText = wide.data();
    SendMessageW(tooltips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void size_tooltips(HWND tooltips, HFONT font, UINT dpi) {
    if (tooltips == nullptr) return;
    SendMessageW(tooltips, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(tooltips, TTM_SETMAXTIPWIDTH, 0, command::twips_to_pixels(kTipWidthTwips, dpi));
}

}  // namespace veltrano::gui::win32
