// Drives veltrano.exe from outside, as a user would: starts it, finds the
// window by its caption and the controls by their identifiers, types
// (WM_SETTEXT), clicks (a posted BM_CLICK), reads the fields back
// (WM_GETTEXT) and answers the error box. Every press case goes to
// veltrano-cli.exe too, which must read the same texts alike.
//
//   window_driver [gtest options] [--locale=NAME]   NAME: the user locale
//       the press cases are written for (en-US by default); the run fails
//       if Wine fell back to another one
//   window_driver time-export [RUNS]   microseconds per cell write of the
//       Excel export through the recording stand-in, printed
//   window_driver time-diagram [RUNS]   F2 to a painted diagram window and
//       the redraw after a press, printed (diagram_cases.cpp)
//   window_driver show example|diagram|error   types the first example into
//       the running window and presses; "diagram" then opens the diagram
//       window with F2, "error" presses with alpha empty and leaves the box
//       open (for scripts/screenshot.sh --windows)
//   window_driver show workbench-design|workbench-rating   types an
//       ethanol/water design (or rating) into the running workbench
//       (workbench_cases.cpp; for scripts/screenshot-workbench-windows.sh)
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/form_runtime.h"
#include "veltrano/testkit/contracts.h"
#include "veltrano/testkit/form_help.h"
#include "veltrano/testkit/form_pixels.h"

namespace {

using namespace driver;

class WindowTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_NE(program.form(), nullptr) << "no window with the caption"; }
    Program program;
};

// ---- presses: results or errors, the user's number format, both programs

struct PressCase {
    const char* what;
    const char* locale;  // the user locale the texts are written for
    Inputs inputs;
    int error;  // 0: feed plate 5 and 11 plates
};

const PressCase kPressCases[] = {
    {"first example", "en-US", kFirstExample, 0},
    {"blanks around numbers", "en-US", {" 100 ", "0.5", "0.95", "0.05", "2", " 2.5 "}, 0},
    {"grouped thousands", "en-US", {"1,000", "0.5", "0.95", "0.05", "2", "2.5"}, 0},
    {"empty alpha", "en-US", {"100", "0.5", "0.95", "0.05", "2", ""}, 13},
    {"letters for F", "en-US", {"abc", "0.5", "0.95", "0.05", "2", "2.5"}, 13},
    {"a comma groups: 1,5 is no number", "en-US", {"100", "0.5", "0.95", "0.05", "1,5", "2.5"}, 13},
    {"F beyond the double range", "en-US", {"1e400", "0.5", "0.95", "0.05", "2", "2.5"}, 6},
    {"reflux below the minimum", "en-US", {"100", "0.5", "0.95", "0.05", "0.5", "2.5"}, 9},
    {"R = -1", "en-US", {"100", "0.5", "0.95", "0.05", "-1", "2.5"}, 11},
    {"xD = xW", "en-US", {"100", "0.5", "0.05", "0.05", "2", "2.5"}, 11},
    {"decimal commas", "de-DE", kFirstExampleDe, 0},
    {"grouped thousands", "de-DE", {"1.000", "0,5", "0,95", "0,05", "2", "2,5"}, 0},
    {"a point groups: 2.5 is no number", "de-DE", {"100", "0,5", "0,95", "0,05", "2", "2.5"}, 13},
    {"empty alpha", "de-DE", {"100", "0,5", "0,95", "0,05", "2", ""}, 13},
};

TEST_F(WindowTest, PressesShowResultsOrReportTheErrorAndGoOnAsTheCommandLineReadsThem) {
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
    ASSERT_EQ(to_utf8(locale), g_locale) << "the system lacks the locale (Wine falls back silently)";
    int rows = 0;
    for (const PressCase& c : kPressCases) {
        if (g_locale != c.locale) continue;
        ++rows;
        SCOPED_TRACE(c.what);
        type(program, c.inputs);
        program.set("Text6", "earlier 6");
        program.set("Text8", "earlier 8");
        const std::vector<std::string> before = all_texts(program);
        program.click();
        const std::optional<Box> box = program.settle();
        const CliRun cli = run_cli(c.inputs.args());
        if (c.error == 0) {
            EXPECT_FALSE(box) << box->text;
            EXPECT_EQ(program.get("Text8"), "5");
            EXPECT_EQ(program.get("Text6"), "11");
            EXPECT_EQ(cli.status, 0u) << cli.err;
            EXPECT_EQ(cli.out.substr(0, cli.out.find("\n板")), "进料板\t5\n塔板数\t11");
            continue;
        }
        ASSERT_TRUE(box) << "no error box";
        EXPECT_EQ(box->title, "Veltrano");
        EXPECT_TRUE(box->icon);
        EXPECT_EQ(box->button, "确定");
        // The command line reports the same error with the same description.
        const std::string prefix = "error " + std::to_string(c.error) + ": ";
        EXPECT_EQ(cli.status, 1u);
        ASSERT_EQ(cli.err.substr(0, prefix.size()), prefix) << cli.err;
        const std::string description = cli.err.substr(prefix.size(), cli.err.find('\n') - prefix.size());
        EXPECT_EQ(box->text, "运行时错误 " + std::to_string(c.error) + "\n\n" + description);
        // The window goes on with every field as it was, and the next press works.
        EXPECT_EQ(all_texts(program), before);
        type(program, g_locale == "de-DE" ? kFirstExampleDe : kFirstExample);
        program.click();
        EXPECT_FALSE(program.settle());
        EXPECT_EQ(program.get("Text8"), "5");
        EXPECT_EQ(program.get("Text6"), "11");
    }
    EXPECT_GE(rows, 4) << "cases for the locale " << g_locale;
}

// ---- what the window shows: caption, client size, controls, fonts

// The window class each kind of control is made of.
std::wstring window_class(veltrano::command::ControlKind kind) {
    using veltrano::command::ControlKind;
    switch (kind) {
    case ControlKind::Label: return L"Static";
    case ControlKind::TextBox: return L"Edit";
    case ControlKind::Button: return L"Button";
    case ControlKind::Line: return L"VeltranoLine";
    }
    return {};
}

// Where a control must lie at `dpi`, in client pixels: the tables worked out by hand.
RECT expected_rect(const veltrano::command::Control& c, UINT dpi) {
    const veltrano::testkit::PixelRect r = veltrano::testkit::main_form_pixels(static_cast<int>(dpi)).at(c.name);
    return {r.left, r.top, r.left + r.width, r.top + r.height};
}

const std::vector<veltrano::command::Control>& controls() { return veltrano::command::main_form().controls; }

RECT rect_in(HWND form, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

testing::AssertionResult same(const RECT& got, const RECT& want) {
    if (EqualRect(&got, &want)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "(" << got.left << ", " << got.top << ")-(" << got.right << ", "
                                       << got.bottom << ") instead of (" << want.left << ", " << want.top << ")-("
                                       << want.right << ", " << want.bottom << ")";
}

// The window as a user first sees it at `dpi`; then resizes that move nothing.
// (Its title-bar icons are left to the screenshot: Wine 8 answers WM_GETICON
// from another process with none.)
void check_layout(const Program& p, UINT dpi) {
    const HWND form = p.form();
    EXPECT_EQ(GetWindowLongW(form, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW) << "sizable, title bar";
    EXPECT_EQ(GetMenu(form), nullptr);
    RECT client;
    GetClientRect(form, &client);
    EXPECT_TRUE(same(client, dpi == 144 ? RECT{0, 0, 752, 461} : RECT{0, 0, 501, 307}));

    // Captions whole on one line in the system's message font at this DPI.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, font);
    TEXTMETRICW font_metrics;
    GetTextMetricsW(dc, &font_metrics);

    int children = 0;
    for (HWND c = GetWindow(form, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) ++children;
    EXPECT_EQ(children, static_cast<int>(controls().size()));
    for (const veltrano::command::Control& c : controls()) {
        const std::string name(c.name);
        SCOPED_TRACE(name);
        const HWND control = p.control(name.c_str());
        const RECT want = expected_rect(c, dpi);
        EXPECT_TRUE(same(rect_in(form, control), want));
        EXPECT_TRUE(IsWindowVisible(control));
        const std::wstring kind = class_of(control);  // "Edit" or a version-prefixed "…!Edit"
        const std::wstring k = window_class(c.kind);
        EXPECT_EQ(kind.substr(kind.find_last_of(L'!') + 1), k);
        EXPECT_EQ(p.get(name.c_str()), c.caption) << "captions as given, text boxes empty";
        // Text boxes editable on one scrolling line, a plain (not default)
        // push button, labels left-aligned.
        const LONG mask = k == L"Edit" ? ES_AUTOHSCROLL | ES_READONLY | ES_MULTILINE
                          : k == L"Button" ? BS_TYPEMASK
                          : k == L"Static" ? SS_TYPEMASK : 0;
        const LONG style = k == L"Edit" ? ES_AUTOHSCROLL : k == L"Button" ? BS_PUSHBUTTON : SS_LEFT;
        EXPECT_EQ(GetWindowLongW(control, GWL_STYLE) & mask, style);
        if (!c.caption.empty()) {
            const std::wstring text = to_utf16(c.caption);
            SIZE extent;
            GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            EXPECT_LE(extent.cx, want.right - want.left - (k == L"Button" ? 8 : 0)) << "the caption is clipped";
            EXPECT_LE(font_metrics.tmHeight, want.bottom - want.top);
        }
    }
    DeleteDC(dc);
    DeleteObject(font);

    RECT frame;
    GetWindowRect(form, &frame);
    for (SIZE size : {SIZE{900, 700}, SIZE{200, 120}, SIZE{frame.right - frame.left, frame.bottom - frame.top}}) {
        SetWindowPos(form, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        for (const veltrano::command::Control& c : controls()) {
            const std::string name(c.name);
            EXPECT_TRUE(same(rect_in(form, p.control(name.c_str())), expected_rect(c, dpi)))
                << name << " moved when the window was resized to " << size.cx << " x " << size.cy;
        }
    }
}

TEST_F(WindowTest, ShowsItsControlsAt96Dpi) { check_layout(program, 96); }

TEST(HighDpi, ControlsScaleAt144Dpi) {
    const LogPixels dpi(144);
    const Program program;
    ASSERT_NE(program.form(), nullptr);
    check_layout(program, 144);
}

// ---- the keyboard

TEST_F(WindowTest, TabVisitsTheFieldsInTabIndexOrderAndOnlyTheButtonPresses) {
    const char* const order[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Command1", "Text7", "Text8"};
    const HWND form = program.form();
    for (std::size_t i = 0; i < std::size(order); ++i) {
        const char* next = order[(i + 1) % std::size(order)];
        EXPECT_EQ(GetNextDlgTabItem(form, program.control(order[i]), FALSE), program.control(next))
            << "Tab from " << order[i];
        EXPECT_EQ(GetNextDlgTabItem(form, program.control(next), TRUE), program.control(order[i]))
            << "Shift+Tab from " << next;
    }
    // The Tab key itself, as the window's message loop handles it.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    const DWORD thread = GetWindowThreadProcessId(form, nullptr);
    ASSERT_TRUE(GetGUIThreadInfo(thread, &gui));
    EXPECT_EQ(gui.hwndFocus, program.control("Text1")) << "the focus starts in Text1";
    for (std::size_t i = 0; i < 3; ++i) {
        program.key(order[i], VK_TAB);
        program.settle();
        GetGUIThreadInfo(thread, &gui);
        EXPECT_EQ(gui.hwndFocus, program.control(order[i + 1])) << "Tab from " << order[i];
    }

    type(program, kFirstExample);
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        program.key("Text5", key);
        EXPECT_FALSE(program.settle());
        EXPECT_EQ(program.get("Text8"), "") << "key " << key << " in a text box pressed the button";
    }
    for (WPARAM key : {VK_RETURN, VK_SPACE}) {
        program.set("Text8", "");
        program.key("Command1", key);
        EXPECT_FALSE(program.settle());
        EXPECT_EQ(program.get("Text8"), "5") << "key " << key << " on the button";
    }
}

// ---- what each field tells the pointer and a screen reader

// A window's class without the version prefix of the common controls 6.
std::wstring base_class(HWND window) {
    const std::wstring kind = class_of(window);
    return kind.substr(kind.find_last_of(L'!') + 1);
}

TEST_F(WindowTest, EachFieldAndTheButtonSayWhatTheyHoldToThePointerAndToAScreenReader) {
    // The window's one tooltip control: a hidden popup it owns.
    const std::vector<HWND> tooltips = tooltips_of(program.form());
    ASSERT_EQ(tooltips.size(), 1u);
    // Without a maximum width the control breaks no line at "\n".
    const LRESULT width = SendMessageW(tooltips[0], TTM_GETMAXTIPWIDTH, 0, 0);
    RECT client;
    GetClientRect(program.form(), &client);
    EXPECT_GT(width, 0);
    EXPECT_LE(width, client.right) << "tooltips wider than the window";

    for (const veltrano::testkit::ControlHelp& expected : veltrano::testkit::main_form_help()) {
        const std::string name(expected.control);
        SCOPED_TRACE(name);
        const HWND control = program.control(name.c_str());
        const std::string tip = tooltip_text(program.process(), program.form(), tooltips[0], control);
        for (std::string_view phrase : expected.says) {
            EXPECT_NE(tip.find(phrase), std::string::npos) << "the tooltip lacks \"" << phrase << "\": " << tip;
        }
        if (base_class(control) == L"Edit") {
            const HWND label = GetWindow(control, GW_HWNDPREV);
            EXPECT_EQ(base_class(label), L"Static");
            EXPECT_EQ(text_of(label), expected.name);
        }
        // Wine 8's oleacc, as Windows, names an edit after the nearest STATIC
        // before it in z-order and a button after its own text (S_OK); with
        // no STATIC before the edit it answers S_FALSE and no name.
        EXPECT_EQ(accessible_name(control), std::make_pair(S_OK, std::string(expected.name)));
    }
}

// ---- a press takes no input meanwhile

TEST_F(WindowTest, InputQueuedDuringAPressIsDropped) {
    // Three impatient clicks on a press that fails: one error box.
    type(program, {"100", "0.5", "0.95", "0.05", "2", ""});
    program.suspend();
    program.click();
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}) {
        program.post("Command1", message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(5, 5));
    }
    program.resume();
    EXPECT_TRUE(program.settle());
    EXPECT_FALSE(wait_until([&] { return program.find_box() != nullptr; }, 300ms)) << "a second press";

    // A click that reaches the button while the error box is open (its own
    // message loop delivers it) starts no second press.
    program.click();
    const HWND box = program.wait_for_box();
    ASSERT_NE(box, nullptr);
    program.click();
    std::this_thread::sleep_for(300ms);
    answer(box);
    EXPECT_FALSE(wait_until([&] { return program.find_box() != nullptr; }, 300ms)) << "a second press";

    // Typing and a double click into fields while a press runs: the texts
    // and the selection stay as they were.
    type(program, kFirstExample);
    DWORD before[2] = {}, after[2] = {};
    SendMessageW(program.control("Text4"), EM_GETSEL, reinterpret_cast<WPARAM>(&before[0]),
                 reinterpret_cast<LPARAM>(&before[1]));
    program.suspend();
    program.click();
    program.post("Text1", WM_KEYDOWN, 'X', 1);
    program.post("Text1", WM_CHAR, 'x', 1);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
        program.post("Text4", message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(3, 5));
    }
    program.resume();
    EXPECT_FALSE(program.settle());
    EXPECT_EQ(program.get("Text8"), "5");
    EXPECT_EQ(program.get("Text1"), "100");
    SendMessageW(program.control("Text4"), EM_GETSEL, reinterpret_cast<WPARAM>(&after[0]),
                 reinterpret_cast<LPARAM>(&after[1]));
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
}

// ---- the end

TEST_F(WindowTest, ClosingEndsTheProcessWithStatusZeroAndLeavesNoFile) {
    const std::wstring folder = beside_driver(L"");
    const std::set<std::wstring> beside = files_in(folder);
    type(program, kFirstExample);
    program.click();
    program.settle();
    PostMessageW(program.form(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.exit_status(20s), std::optional<DWORD>(0));
    EXPECT_TRUE(files_in(program.workdir()).empty());
    EXPECT_EQ(files_in(folder), beside);
}

TEST_F(WindowTest, ACloseRequestDuringAPressIsHonouredAfterTheErrorBox) {
    program.suspend();
    program.click();  // every field empty: error 13 from Text1
    PostMessageW(program.form(), WM_CLOSE, 0, 0);
    program.resume();
    const HWND box = program.wait_for_box();
    ASSERT_NE(box, nullptr);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(IsWindow(box)) << "the box stays until it is answered";
    EXPECT_EQ(program.exit_status(0ms), std::nullopt);
    const std::string text = read_box(box).text;
    EXPECT_EQ(text.substr(0, text.find('\n')), "运行时错误 13");
    answer(box);
    EXPECT_EQ(program.exit_status(20s), std::optional<DWORD>(0));
}

int show(const char* what) {
    const Program program{Program::Running{}};
    if (program.form() == nullptr) {
        std::fprintf(stderr, "window_driver: no window of veltrano.exe appeared\n");
        return 1;
    }
    type(program, kFirstExample);
    program.click();
    program.settle();
    if (std::strcmp(what, "error") != 0) {
        if (program.get("Text8") != "5") {
            std::fprintf(stderr, "window_driver: the press showed \"%s\" as the plate count, not 5\n",
                         program.get("Text8").c_str());
            return 1;
        }
        if (std::strcmp(what, "diagram") != 0) return 0;
        PostMessageW(program.form(), WM_KEYDOWN, VK_F2, 1);
        const std::string title = veltrano::diagram::kWindowTitle;
        if (wait_until([&] { return find_top_level([&](HWND w) { return caption_of(w) == title; }) != nullptr; })) {
            return 0;
        }
        std::fprintf(stderr, "window_driver: F2 opened no diagram window\n");
        return 1;
    }
    program.set("Text5", "");
    program.click();
    if (program.wait_for_box() != nullptr) return 0;
    std::fprintf(stderr, "window_driver: a press with alpha empty opened no error box\n");
    return 1;
}

}  // namespace

// ---- the window's text boxes, in this process

// The Win32 text boxes keep the contract every Fields keeps: the window is
// opened here, a second thread presses its button, and the press runs the
// contract against the fields it is given.
TEST(Win32Fields, KeepTheFieldsContract) {
    std::vector<std::string> violations = {"the press did not run"};
    HWND form = nullptr;
    std::thread presser([&form] {
        const DWORD self = GetCurrentProcessId();
        wait_until([&] {
            return (form = find_top_level([self](HWND w) {
                        DWORD owner = 0;
                        GetWindowThreadProcessId(w, &owner);
                        return owner == self && caption_of(w) == to_utf8(kCaption);
                    })) != nullptr;
        });
        const int button = veltrano::gui::win32_control_id(veltrano::command::main_form(), "Command1");
        PostMessageW(GetDlgItem(form, button), BM_CLICK, 0, 0);
    });
    const int status = veltrano::gui::run_form(
        0, nullptr, veltrano::command::main_form(),
        [&](veltrano::command::Fields& fields) {
            violations = veltrano::testkit::fields_contract_violations(fields);
            PostMessageW(form, WM_CLOSE, 0, 0);
        });
    presser.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(violations, std::vector<std::string>{});
}

int main(int argc, char** argv) {
    // Rectangles in the window's own pixels, whatever the DPI.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // Presses export: the recording stand-in takes the spreadsheet
    // application's place in this prefix.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || !register_type_library() ||
        !Recorder::quiet()) {
        std::fprintf(stderr, "window_driver: cannot register the recording spreadsheet server\n");
        return 1;
    }
    if (argc >= 3 && std::strcmp(argv[1], "show") == 0) {
        return std::strncmp(argv[2], "workbench", 9) == 0 ? show_workbench(argv[2]) : show(argv[2]);
    }
    if (argc >= 2 && std::strcmp(argv[1], "time-export") == 0) return time_export(argc >= 3 ? std::atoi(argv[2]) : 20);
    if (argc >= 2 && std::strcmp(argv[1], "time-diagram") == 0) return time_diagram(argc >= 3 ? std::atoi(argv[2]) : 5);
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--locale=", 9) == 0) g_locale = argv[i] + 9;
    }
    return RUN_ALL_TESTS();
}
