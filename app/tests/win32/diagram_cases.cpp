// The diagram window of veltrano.exe driven from outside, as the window
// tests drive the main window, but under Wine's X11 driver on a private
// Xvfb: its pixels are read back from the screen. Opened by F2 and by the
// menus, painted where the view puts the first example's diagram at two
// sizes, kept through a failed press, saved and copied from its menu, and
// opened and closed without leaving handles behind (the diagram_window
// test runs these through app/tests/win32/on_xvfb.sh).
//
//   window_driver time-diagram [RUNS]   F2 to a painted diagram, and a
//       press with the window open against one with it closed, printed
#include <windows.h>

#include <gdiplus.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "driver.h"
#include "veltrano/calc/column.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/form_win32.h"

namespace driver {

namespace {

namespace diagram = veltrano::diagram;
using Colour = std::uint32_t;

const std::string kTitle = diagram::kWindowTitle;
const veltrano::calc::ColumnInputs kExample{100, 0.5, 0.95, 0.05, 2, 2.5};

// The diagram window of `p`'s process, if shown.
HWND find_diagram(const Program& p) {
    return find_top_level([&](HWND w) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        return owner == p.pid() && caption_of(w) == kTitle;
    });
}

HWND wait_for_diagram(const Program& p) {
    HWND found = nullptr;
    wait_until([&] { return (found = find_diagram(p)) != nullptr; }, 20s);
    return found;
}

// Back in its message loop: whatever was posted to `window` before is handled.
bool answers(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored) != 0;
}

void press_key(HWND window, WPARAM key) {
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

SIZE client_size(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// A popup menu of `pid` (the class every menu window has).
HWND find_menu(DWORD pid) {
    return find_top_level([pid](HWND w) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        return owner == pid && class_of(w) == L"#32768";
    });
}

// Opens the context menu of `window` at its client point (x, y) and picks
// the item `downs` presses of the arrow key down, as a user would with the
// keyboard; false if no menu came.
bool pick_from_context_menu(DWORD pid, HWND window, int x, int y, int downs) {
    POINT at{x, y};
    ClientToScreen(window, &at);
    PostMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(at.x, at.y));
    HWND menu = nullptr;
    if (!wait_until([&] { return (menu = find_menu(pid)) != nullptr; }, 10s)) return false;
    for (int i = 0; i < downs; ++i) press_key(menu, VK_DOWN);
    press_key(menu, VK_RETURN);
    return wait_until([&] { return !IsWindow(menu) || !IsWindowVisible(menu); }, 10s);
}

// ---- the screen's pixels

int distance(Colour a, Colour b) {
    int d = 0;
    for (int shift : {0, 8, 16}) {
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return d;
}

// The client area of a window as the screen shows it, 0xRRGGBB from the top.
struct Shot {
    int width = 0, height = 0;
    std::vector<Colour> pixels;

    Colour at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }

    // The colour closest to `want` within `reach` pixels of the point.
    Colour nearest(double x, double y, Colour want, int reach = 1) const {
        Colour best = at(std::clamp(static_cast<int>(x), 0, width - 1), std::clamp(static_cast<int>(y), 0, height - 1));
        for (int dy = -reach; dy <= reach; ++dy) {
            for (int dx = -reach; dx <= reach; ++dx) {
                const int px = static_cast<int>(x) + dx, py = static_cast<int>(y) + dy;
                if (px < 0 || py < 0 || px >= width || py >= height) continue;
                if (distance(at(px, py), want) < distance(best, want)) best = at(px, py);
            }
        }
        return best;
    }

    int count(int top, int bottom, const std::function<bool(Colour)>& wanted) const {
        int n = 0;
        for (int y = std::max(top, 0); y < std::min(bottom, height); ++y) {
            for (int x = 0; x < width; ++x) n += wanted(at(x, y));
        }
        return n;
    }
};

// The client area of `window` copied off the screen (the X server's own
// pixels under Wine's X11 driver).
Shot shoot(HWND window) {
    Shot shot;
    const SIZE size = client_size(window);
    shot.width = size.cx;
    shot.height = size.cy;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, size.cx, size.cy, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    for (long i = 0; i < static_cast<long>(size.cx) * size.cy; ++i) shot.pixels.push_back(p[i] & 0xFFFFFF);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return shot;
}

// The window painted afresh first: a menu that has just closed may still be
// on the screen where the window has not yet repainted.
Shot shoot_repainted(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    answers(window);
    return shoot(window);
}

int differing(const Shot& a, const Shot& b) {
    if (a.pixels.size() != b.pixels.size()) return -1;
    int n = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) n += a.pixels[i] != b.pixels[i];
    return n;
}

// ---- what the first example's picture shows, and where

struct Mark {
    const char* what;
    double x, y;     // mole fractions
    Colour colour;   // drawn
    int tolerance;   // per channel, for the pixel of the nearest colour within one pixel
};

// The marks of one column's picture: the staircase's first corner, the feed
// step, the diagonal away from every other line, and empty plot area.
std::vector<Mark> marks_of(const veltrano::calc::ColumnInputs& in) {
    const veltrano::calc::ColumnResult column = veltrano::calc::calculate(in);
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    const int feed = column.feed_plate.value();
    return {
        // A 1.3-pixel line bent at the corner: the corner's pixel is
        // covered all but its edge, by the stroke of #222222.
        {"the corner of step 1 at (x1, xD)", x[1], in.xD, 0x222222, 0x30},
        {"the middle of the feed step, 3.2 pixels wide", (x[feed - 1] + x[feed]) / 2, y[feed], 0xE67E22, 0x10},
        // One pixel wide at 45 degrees: at the opening size (0.8 pixels)
        // no pixel is covered whole, and the darkest is a lighter grey.
        {"the diagonal at 0.25", 0.25, 0.25, 0x808080, 0x28},
        {"empty plot area below the diagonal", 0.65, 0.45, 0xFFFFFF, 0},
    };
}

// The view the window shows after `presses`, built here as the program
// builds it.
struct Press {
    bool ok;
    std::int32_t error;
};
diagram::DiagramView view_after(const std::vector<Press>& presses) {
    diagram::DiagramView view;
    for (const Press& p : presses) {
        view.press_started();
        if (p.ok) view.calculated(kExample, veltrano::calc::calculate(kExample));
        if (!p.ok) view.failed(p.error);
    }
    return view;
}

// Each mark where the view puts it in a client area of the shot's size,
// `scale` device pixels to a device-independent one.
testing::AssertionResult shows_marks(const Shot& shot, const diagram::DiagramView& view, double scale = 1) {
    std::ostringstream wrong;
    for (const Mark& m : marks_of(kExample)) {
        const std::optional<diagram::Pt> at = view.window_point(shot.width / scale, shot.height / scale, m.x, m.y);
        if (!at) return testing::AssertionFailure() << "the view has no picture";
        const double x = at->x.v * scale, y = at->y.v * scale;
        const Colour got = shot.nearest(x, y, m.colour);
        if (distance(got, m.colour) > m.tolerance) {
            wrong << m.what << " at (" << x << ", " << y << "): #" << std::hex << got << " instead of #" << m.colour
                  << std::dec << "; ";
        }
    }
    if (wrong.str().empty()) return testing::AssertionSuccess();
    return testing::AssertionFailure() << wrong.str();
}

class DiagramWindow : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(program.form(), nullptr) << "no main window"; }

    // The first example pressed in the main window.
    void press_example() {
        type(program, kFirstExample);
        program.click();
        EXPECT_FALSE(program.settle());
        EXPECT_EQ(program.get("Text6"), "11");
    }
    HWND open() {
        press_key(program.form(), VK_F2);
        HWND d = wait_for_diagram(program);
        EXPECT_NE(d, nullptr) << "F2 opened no diagram window";
        if (d != nullptr) {
            EXPECT_TRUE(answers(d));
        }
        return d;
    }
    void close(HWND d) {
        press_key(d, VK_ESCAPE);
        EXPECT_TRUE(wait_until([d] { return !IsWindow(d); })) << "Esc left the diagram window open";
    }

    Program program;
};

// ---- opening

struct Opener {
    const char* what;
    std::function<bool(const Program&)> open;
};

const Opener kOpeners[] = {
    {"F2 posted to the main window",
     [](const Program& p) {
         press_key(p.form(), VK_F2);
         return true;
     }},
    {"F2 in a text box",
     [](const Program& p) {
         p.key("Text3", VK_F2);
         return true;
     }},
    {"F2 on the button",
     [](const Program& p) {
         p.key("Command1", VK_F2);
         return true;
     }},
    {"the item of the system menu",
     [](const Program& p) {
         return PostMessageW(p.form(), WM_SYSCOMMAND, veltrano::gui::win32_system_command(0), 0) != 0;
     }},
    {"the context menu of the window's background",
     [](const Program& p) { return pick_from_context_menu(p.pid(), p.form(), 300, 150, 1); }},
};

TEST_F(DiagramWindow, OpensFromItsKeyAndBothMenusBesideTheMainWindowWhichStaysAsItWas) {
    RECT main_before;
    GetWindowRect(program.form(), &main_before);
    const SIZE main_client = client_size(program.form());
    const std::vector<std::string> texts = all_texts(program);
    for (const Opener& o : kOpeners) {
        SCOPED_TRACE(o.what);
        ASSERT_EQ(find_diagram(program), nullptr);
        ASSERT_TRUE(o.open(program)) << "no menu came";
        const HWND d = wait_for_diagram(program);
        ASSERT_NE(d, nullptr) << "no diagram window";
        EXPECT_TRUE(answers(d));
        EXPECT_EQ(GetWindow(d, GW_OWNER), nullptr) << "an owned window hides with its owner";
        const LONG style = GetWindowLongW(d, GWL_STYLE);
        EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << "sizable, with a title bar";
        const SIZE size = client_size(d);
        EXPECT_EQ(size.cx, 560);
        EXPECT_EQ(size.cy, 660);
        RECT diagram_rect, overlap;
        GetWindowRect(d, &diagram_rect);
        EXPECT_FALSE(IntersectRect(&overlap, &diagram_rect, &main_before)) << "on top of the main window";
        EXPECT_GE(diagram_rect.left, main_before.right) << "to the right of the main window";
        EXPECT_EQ(diagram_rect.top, main_before.top);

        if (&o == &kOpeners[0]) {
            // Before the first press: the hint, and nothing to save.
            const Shot hint = shoot(d);
            EXPECT_GT(hint.count(0, hint.height, [](Colour c) { return distance(c, 0xFFFFFF) > 0x60; }), 200)
                << "no hint in the window";
            ASSERT_TRUE(pick_from_context_menu(program.pid(), d, 200, 200, 1));
            const auto dialog = [d] { return find_top_level([d](HWND w) { return GetWindow(w, GW_OWNER) == d; }); };
            EXPECT_FALSE(wait_until([&] { return dialog() != nullptr; }, 1s)) << "a save dialog with nothing to save";
        }

        // The same key again raises it: one window.
        press_key(program.form(), VK_F2);
        EXPECT_TRUE(answers(program.form()));
        int shown = 0;
        EnumWindows(
            [](HWND w, LPARAM data) -> BOOL {
                auto* n = reinterpret_cast<int*>(data);
                *n += IsWindowVisible(w) && caption_of(w) == kTitle;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&shown));
        EXPECT_EQ(shown, 1);

        // The least size holds.
        SetWindowPos(d, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_GE(client_size(d).cx, 240);
        EXPECT_GE(client_size(d).cy, 240);

        close(d);
        // The main window as it was: place, size, controls, texts.
        RECT main_after;
        GetWindowRect(program.form(), &main_after);
        EXPECT_TRUE(EqualRect(&main_after, &main_before));
        EXPECT_EQ(client_size(program.form()).cx, main_client.cx);
        EXPECT_EQ(client_size(program.form()).cy, main_client.cy);
        int children = 0;
        for (HWND c = GetWindow(program.form(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) ++children;
        EXPECT_EQ(children, 23);
        EXPECT_EQ(all_texts(program), texts);
        EXPECT_EQ(program.exit_status(0ms), std::nullopt);
    }
}

bool save_as(const Program& p, HWND d, const std::wstring& path);

// Whether the process `pid` has the DLL `name` loaded.
bool loaded(DWORD pid, const wchar_t* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "no module list of process " << pid;
        return false;
    }
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Module32FirstW(snapshot, &entry); more && !found; more = Module32NextW(snapshot, &entry)) {
        found = _wcsicmp(entry.szModule, name) == 0;
    }
    CloseHandle(snapshot);
    return found;
}

// Start-up pays for neither GDI+ nor the save dialog: they load when first used.
TEST_F(DiagramWindow, GdiplusLoadsAtTheFirstOpeningAndTheSaveDialogAtTheFirstSave) {
    press_example();
    EXPECT_TRUE(loaded(program.pid(), L"user32.dll")) << "the module list is not read";
    EXPECT_FALSE(loaded(program.pid(), L"gdiplus.dll"));
    EXPECT_FALSE(loaded(program.pid(), L"comdlg32.dll"));
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(loaded(program.pid(), L"gdiplus.dll"));
    EXPECT_FALSE(loaded(program.pid(), L"comdlg32.dll"));
    const TempFolder folder;
    ASSERT_TRUE(save_as(program, d, folder.path() + L"\\x.svg"));
    EXPECT_TRUE(loaded(program.pid(), L"comdlg32.dll"));
}

TEST_F(DiagramWindow, ClosingTheMainWindowClosesBothAndTheProgramEndsWithStatusZero) {
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    PostMessageW(program.form(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.exit_status(20s), std::optional<DWORD>(0));
    EXPECT_FALSE(IsWindow(d));
}

// ---- the picture

TEST_F(DiagramWindow, PaintsTheFirstExampleWhereTheViewPutsItAtTheOpeningSizeAndAtTwiceIt) {
    press_example();
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    const diagram::DiagramView view = view_after({{true, 0}});
    const Shot opening = shoot(d);
    ASSERT_EQ(opening.width, 560);
    EXPECT_TRUE(shows_marks(opening, view));

    // Twice the client area: the frame grows by as much.
    RECT frame;
    GetWindowRect(d, &frame);
    SetWindowPos(d, nullptr, 0, 0, frame.right - frame.left + 560, frame.bottom - frame.top + 660,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(answers(d));
    // Painted at the new size before the copy: the resize's own paint may
    // not have reached the screen yet.
    const Shot twice = shoot_repainted(d);
    ASSERT_EQ(twice.width, 1120);
    ASSERT_EQ(twice.height, 1320);
    EXPECT_TRUE(shows_marks(twice, view));
    // Vector-drawn at its size: the step line is as sharp as before, its
    // corner now covered whole.
    const Mark corner = marks_of(kExample)[0];
    const std::optional<diagram::Pt> at = view.window_point(1120, 1320, corner.x, corner.y);
    EXPECT_LE(distance(twice.nearest(at->x.v, at->y.v, 0x222222), 0x222222), 8);
}

// At 144 DPI (the prefix's LogPixels while the program starts) the window
// opens at one and a half times the size and draws at that scale.
TEST(DiagramWindowAt144Dpi, OpensAtOneAndAHalfTimesTheSizeAndDrawsAtThatScale) {
    const LogPixels dpi(144);
    const Program program;
    ASSERT_NE(program.form(), nullptr);
    type(program, kFirstExample);
    program.click();
    EXPECT_FALSE(program.settle());
    press_key(program.form(), VK_F2);
    const HWND d = wait_for_diagram(program);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(answers(d));
    const Shot shot = shoot(d);
    EXPECT_EQ(shot.width, 840);
    EXPECT_EQ(shot.height, 990);
    EXPECT_TRUE(shows_marks(shot, view_after({{true, 0}}), 1.5));
}

TEST_F(DiagramWindow, AFailedPressShowsItsNoteOverThePictureOfTheLastGoodOne) {
    press_example();
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    const auto note_pixels = [](const Shot& s) {
        return s.count(0, 30, [](Colour c) { return distance(c, 0xB03A00) <= 0x30; });
    };
    EXPECT_EQ(note_pixels(shoot(d)), 0) << "a note before any failure";

    program.set("Text5", "");
    program.click();
    const std::optional<Box> box = program.settle();
    ASSERT_TRUE(box) << "no error box";
    EXPECT_EQ(box->text.substr(0, box->text.find('\n')), "运行时错误 13");
    ASSERT_TRUE(answers(d));
    const Shot after = shoot(d);
    EXPECT_GT(note_pixels(after), 40) << "no note in the note's colour at the top";
    const diagram::DiagramView view = view_after({{true, 0}, {false, 13}});
    ASSERT_EQ(view.notes().size(), 1u);
    EXPECT_TRUE(shows_marks(after, view)) << "the picture of the last good press, moved under the note";

    // A good press again: the note goes.
    program.set("Text5", "2.5");
    program.click();
    EXPECT_FALSE(program.settle());
    ASSERT_TRUE(answers(d));
    const Shot again = shoot(d);
    EXPECT_EQ(note_pixels(again), 0);
    EXPECT_TRUE(shows_marks(again, view_after({{true, 0}})));
}

// ---- Save As and Copy from the window's own menu

// The file name box of a save dialog: the combo box of the explorer-style
// dialog, or the plain edit box.
HWND file_name_box(HWND dialog) {
    for (int id : {0x47C /* cmb13 */, 0x480 /* edt1 */}) {
        if (HWND box = GetDlgItem(dialog, id)) return box;
    }
    return nullptr;
}

HWND save_dialog_of(HWND d) {
    return find_top_level([d](HWND w) { return GetWindow(w, GW_OWNER) == d && class_of(w) == L"#32770"; });
}

// Picks 另存为… from the diagram window's menu, types `path` into the
// dialog and presses its OK button; false if the dialog did not come or go.
bool save_as(const Program& p, HWND d, const std::wstring& path) {
    if (!pick_from_context_menu(p.pid(), d, 200, 200, 1)) return false;
    HWND dialog = nullptr;
    wait_until([&] { return (dialog = save_dialog_of(d)) != nullptr; });
    HWND box = dialog != nullptr ? file_name_box(dialog) : nullptr;
    if (box == nullptr) return false;
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    return wait_until([dialog] { return !IsWindow(dialog); }, 20s);
}

std::string contents(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A PNG decoded by GDI+, 0xRRGGBB from the top.
Shot decode_png(const std::wstring& path) {
    Shot shot;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return shot;
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(path.c_str(), &bitmap) == Gdiplus::Ok) {
        UINT width = 0, height = 0;
        Gdiplus::DllExports::GdipGetImageWidth(bitmap, &width);
        Gdiplus::DllExports::GdipGetImageHeight(bitmap, &height);
        shot.width = static_cast<int>(width);
        shot.height = static_cast<int>(height);
        for (UINT y = 0; y < height; ++y) {
            for (UINT x = 0; x < width; ++x) {
                Gdiplus::ARGB argb = 0;
                Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, static_cast<INT>(x), static_cast<INT>(y), &argb);
                shot.pixels.push_back(argb & 0xFFFFFF);
            }
        }
        Gdiplus::DllExports::GdipDisposeImage(bitmap);
    }
    Gdiplus::GdiplusShutdown(token);
    return shot;
}

TEST_F(DiagramWindow, SavesTheCommandLinesSvgAndTheWindowsPixelsAsPng) {
    press_example();
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    const TempFolder folder;
    const std::wstring svg = folder.path() + L"\\塔板图.svg", png = folder.path() + L"\\塔板图.png";
    const std::wstring cli_svg = folder.path() + L"\\cli.svg";

    ASSERT_TRUE(save_as(program, d, svg)) << "no save dialog, or it stayed";
    ASSERT_TRUE(wait_until([&] { return GetFileAttributesW(svg.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    std::vector<std::string> args = {"--svg", to_utf8(cli_svg)};
    for (const std::string& a : kFirstExample.args()) args.push_back(a);
    const CliRun cli = run_cli(args);
    ASSERT_EQ(cli.status, 0u) << cli.err;
    const std::string saved = contents(svg);
    EXPECT_GT(saved.size(), 1000u);
    EXPECT_TRUE(saved == contents(cli_svg)) << "the saved SVG differs from veltrano-cli --svg's";

    ASSERT_TRUE(save_as(program, d, png));
    ASSERT_TRUE(wait_until([&] { return GetFileAttributesW(png.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    const std::string bytes = contents(png);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const Shot decoded = decode_png(png), screen = shoot_repainted(d);
    ASSERT_EQ(decoded.width, 560);
    ASSERT_EQ(decoded.height, 660);
    EXPECT_EQ(differing(decoded, screen), 0) << "pixels of the PNG unlike the window's";
    // Nothing else left in the folder: the files were written whole and renamed.
    EXPECT_EQ(files_in(folder.path()), (std::set<std::wstring>{L"塔板图.svg", L"塔板图.png", L"cli.svg"}));
}

TEST_F(DiagramWindow, ASaveThatCannotBeWrittenSaysSoAndLeavesTheOldFile) {
    press_example();
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    const TempFolder folder;
    const std::wstring path = folder.path() + L"\\old.svg";
    std::ofstream(path.c_str(), std::ios::binary) << "old";
    // Held open without sharing: nothing can be renamed over it.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    ASSERT_TRUE(pick_from_context_menu(program.pid(), d, 200, 200, 1));
    HWND dialog = nullptr;
    ASSERT_TRUE(wait_until([&] { return (dialog = save_dialog_of(d)) != nullptr; }));
    SendMessageW(file_name_box(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    // The dialog asks before replacing a file: yes. Then the error box.
    Box error;
    bool reported = false;
    wait_until(
        [&] {
            HWND box = find_top_level([dialog](HWND w) { return w != dialog && class_of(w) == L"#32770"; });
            if (box == nullptr) return false;
            if (GetWindow(box, GW_OWNER) != d) {
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);  // replace?
                std::this_thread::sleep_for(200ms);
                return false;
            }
            error = read_box(box);
            reported = true;
            answer(box);
            return true;
        },
        30s);
    CloseHandle(held);
    ASSERT_TRUE(reported) << "no error box";
    EXPECT_EQ(error.title, "Veltrano");
    EXPECT_TRUE(error.icon);
    EXPECT_NE(error.text.find("无法保存"), std::string::npos) << error.text;
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(files_in(folder.path()), std::set<std::wstring>{L"old.svg"}) << "a half-written file left behind";
    EXPECT_TRUE(IsWindow(d));
}

TEST_F(DiagramWindow, CopyPutsTheWindowsPixelsOnTheClipboard) {
    press_example();
    const HWND d = open();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(pick_from_context_menu(program.pid(), d, 200, 200, 2));
    const Shot screen = shoot_repainted(d);
    Shot copied;
    ASSERT_TRUE(wait_until([] { return IsClipboardFormatAvailable(CF_DIB) != 0; }));
    ASSERT_TRUE(OpenClipboard(nullptr));
    if (HANDLE data = GetClipboardData(CF_DIB)) {
        const auto* header = static_cast<const BITMAPINFOHEADER*>(GlobalLock(data));
        EXPECT_EQ(header->biBitCount, 32);
        EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
        copied.width = header->biWidth;
        copied.height = std::abs(header->biHeight);
        const auto* rows = reinterpret_cast<const std::uint32_t*>(header + 1);
        for (int y = 0; y < copied.height; ++y) {
            const int source = header->biHeight > 0 ? copied.height - 1 - y : y;
            for (int x = 0; x < copied.width; ++x) {
                copied.pixels.push_back(rows[static_cast<std::size_t>(source) * copied.width + x] & 0xFFFFFF);
            }
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    EXPECT_EQ(copied.width, screen.width);
    EXPECT_EQ(copied.height, screen.height);
    EXPECT_EQ(differing(copied, screen), 0) << "pixels of the clipboard's image unlike the window's";
}

// ---- handles

// The GDI objects of the program's process, counted in its own handle table
// (the PEB's GdiSharedHandleTable: 0x10000 entries of Wine's
// GDI_HANDLE_ENTRY, a used one with its object and type set). 0 if the table
// cannot be read.
struct GdiHandleEntry {
    ULONGLONG object;
    ULONG owner;
    USHORT unique;
    UCHAR type, flags;
    ULONGLONG user;
};
static_assert(sizeof(GdiHandleEntry) == 24);

int census_of_gdi_objects(HANDLE process) {
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    struct {
        LONG exit;
        void* peb;
        ULONG_PTR affinity, priority, pid, parent;
    } basic{};
    if (query == nullptr || query(process, 0, &basic, sizeof basic, nullptr) != 0) return 0;
    // GdiSharedHandleTable lies at 0xF8 in a 64-bit PEB.
    void* table = nullptr;
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, static_cast<char*>(basic.peb) + 0xF8, &table, sizeof table, &read) ||
        table == nullptr) {
        return 0;
    }
    constexpr std::size_t kEntries = 0x10000;
    std::vector<GdiHandleEntry> entries(kEntries);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry), &read)) return 0;
    return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                          [](const GdiHandleEntry& e) { return e.type != 0 && e.object != 0; }));
}

// Windows of the process, top-level and child: its USER objects that can be
// counted from outside.
int census_of_windows(DWORD pid) {
    struct Count {
        DWORD pid;
        int n;
    } count{pid, 0};
    EnumWindows(
        [](HWND w, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Count*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != c->pid) return TRUE;
            ++c->n;
            EnumChildWindows(
                w,
                [](HWND, LPARAM d) -> BOOL {
                    ++reinterpret_cast<Count*>(d)->n;
                    return TRUE;
                },
                data);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.n;
}

struct Counts {
    DWORD gdi, user;
    int census_gdi, census_windows;
};

Counts counts(const Program& p) {
    return {GetGuiResources(p.process(), GR_GDIOBJECTS), GetGuiResources(p.process(), GR_USEROBJECTS),
            census_of_gdi_objects(p.process()), census_of_windows(p.pid())};
}

TEST_F(DiagramWindow, FiftyOpeningsAndClosingsLeaveNoHandleBehind) {
    press_example();
    // The first opening loads GDI+, its fonts and the window class for good.
    close(open());
    ASSERT_TRUE(answers(program.form()));
    const Counts before = counts(program);
    Counts shown{};
    for (int i = 0; i < 50; ++i) {
        const HWND d = open();
        ASSERT_NE(d, nullptr) << "opening " << i + 1;
        if (i == 0) shown = counts(program);
        if (i % 10 == 0) {
            SetWindowPos(d, nullptr, 0, 0, 700 + i, 800, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);  // a new canvas
            ASSERT_TRUE(answers(d));
        }
        close(d);
    }
    ASSERT_TRUE(answers(program.form()));
    const Counts after = counts(program);
    std::printf("GetGuiResources GDI %lu -> %lu, USER %lu -> %lu; GDI handle table %d (open %d) -> %d; "
                "windows %d (open %d) -> %d\n",
                before.gdi, after.gdi, before.user, after.user, before.census_gdi, shown.census_gdi,
                after.census_gdi, before.census_windows, shown.census_windows, after.census_windows);
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.user, before.user);
    EXPECT_EQ(after.census_windows, before.census_windows);
    // Wine answers 0 for both: its own handle table is counted too, and the
    // counts see the open window's objects (its canvas, its icons).
    EXPECT_GT(shown.census_gdi, before.census_gdi) << "the census sees nothing";
    EXPECT_GT(shown.census_windows, before.census_windows);
    EXPECT_LE(after.census_gdi, before.census_gdi);
}

std::vector<double> sorted(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

int time_diagram(int runs) {
    using clock = std::chrono::steady_clock;
    const auto ms = [](clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::vector<double> opening, first_opening, press_open, press_closed;
    for (int run = 0; run < runs; ++run) {
        const Program program;
        if (program.form() == nullptr) return 1;
        type(program, kFirstExample);
        program.click();
        program.settle();
        for (int i = 0; i < 3; ++i) {
            const auto start = clock::now();
            press_key(program.form(), VK_F2);
            HWND d = wait_for_diagram(program);
            if (d == nullptr || !answers(d)) return 1;
            (i == 0 ? first_opening : opening).push_back(ms(clock::now() - start));
            // Presses with the window open repaint it; with it closed they do not.
            for (int p = 0; p < 2; ++p) {
                const auto pressed = clock::now();
                program.click();
                program.settle();
                press_open.push_back(ms(clock::now() - pressed));
            }
            press_key(d, VK_ESCAPE);
            wait_until([d] { return !IsWindow(d); });
            for (int p = 0; p < 2; ++p) {
                const auto pressed = clock::now();
                program.click();
                program.settle();
                press_closed.push_back(ms(clock::now() - pressed));
            }
        }
    }
    const auto report = [](const char* what, const std::vector<double>& times) {
        const std::vector<double> s = sorted(times);
        std::printf("%-58s median %7.1f ms  (min %.1f, max %.1f, %zu runs)\n", what, s[s.size() / 2], s.front(),
                    s.back(), s.size());
        return s[s.size() / 2];
    };
    report("F2 to a painted diagram, first opening (loads GDI+)", first_opening);
    report("F2 to a painted diagram, later openings", opening);
    const double open = report("a press with the diagram window open (redraws it)", press_open);
    const double closed = report("a press with the diagram window closed", press_closed);
    std::printf("the redraw after a press, difference of the medians: %.1f ms\n", open - closed);
    return 0;
}

}  // namespace driver
