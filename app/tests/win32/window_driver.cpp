// Drives veltrano.exe from outside, as a user would: starts it, finds the
// window by its caption and the controls by their identifiers, types
// (WM_SETTEXT), clicks (a posted BM_CLICK), reads the fields back
// (WM_GETTEXT) and answers the error box. Every press case goes to
// veltrano-cli.exe too, which must read the same texts alike.
//
//   window_driver [gtest options] [--locale=NAME]   NAME: the user locale
//       the press cases are written for (en-US by default); the run fails
//       if Wine fell back to another one
//   window_driver show example|error   types the first example into the
//       running window and presses; "error" then presses with alpha empty
//       and leaves the box open (for scripts/screenshot.sh --windows)
#include <windows.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/platform/form_win32.h"
#include "veltrano/platform/utf16.h"
#include "veltrano/platform/form_runtime.h"
#include "veltrano/testing/contracts.h"
#include "veltrano/testing/form_pixels.h"
#include "veltrano/window/form.h"

using namespace std::chrono_literals;
using veltrano::platform::to_utf16;
using veltrano::platform::to_utf8;

namespace {

std::string g_locale = "en-US";
const std::wstring kCaption = L"Veltrano-未考虑压力和温度 v1.0";

// Polls `done` every 5 ms for at most `limit`.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

std::wstring beside_driver(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    std::wstring p(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return p.substr(0, p.find_last_of(L"\\/") + 1) + file;
}

std::set<std::wstring> files_in(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data)) {
        if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0) {
            names.insert(data.cFileName);
        }
    }
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return names;
}

// A new empty folder under %TEMP%, removed again with what is in it.
class TempFolder {
public:
    TempFolder() {
        static int count = 0;
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = base + (L"veltrano-driver-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count));
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const std::wstring& name : files_in(path_)) DeleteFileW((path_ + L"\\" + name).c_str());
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

PROCESS_INFORMATION start(const std::wstring& exe, const std::vector<std::string>& args, const wchar_t* folder,
                          DWORD flags = 0, HANDLE out = nullptr, HANDLE err = nullptr) {
    std::wstring command = L"\"" + exe + L"\"";
    for (const std::string& a : args) command += L" \"" + to_utf16(a) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (out != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = err;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, out != nullptr, flags, nullptr, folder,
                        &startup, &process)) {
        ADD_FAILURE() << "cannot start " << to_utf8(exe) << ": error " << GetLastError();
    }
    return process;
}

std::string text_of(HWND window) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return to_utf8(text);
}

// The title of a top-level window, as the system keeps it (no message sent).
std::string caption_of(HWND window) {
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    return to_utf8(caption);
}

std::wstring class_of(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

HWND find_top_level(const std::function<bool(HWND)>& wanted) {
    struct Search {
        const std::function<bool(HWND)>* wanted;
        HWND found;
    } search{&wanted, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!IsWindowVisible(window) || !(*s->wanted)(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What an error box showed.
struct Box {
    std::string title, text, button;
    bool icon = false;
};

Box read_box(HWND box) {
    Box b{caption_of(box), {}, {}, false};
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const bool is_static = class_of(child) == L"Static";
        if (is_static && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            b.icon = SendMessageW(child, STM_GETICON, 0, 0) != 0;
        } else if (is_static && b.text.empty()) {
            b.text = text_of(child);
        } else if (GetDlgCtrlID(child) == IDOK) {
            b.button = text_of(child);
        }
    }
    return b;
}

void answer(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    wait_until([box] { return !IsWindow(box); });
}

// veltrano.exe from the driver's folder, started in an empty working folder,
// or (Running) the one already on the screen.
class Program {
public:
    Program() : process_(start(beside_driver(L"veltrano.exe"), {}, workdir_.path().c_str())) {
        const DWORD pid = process_.dwProcessId;
        wait_until([&] { return (form_ = find_top_level([pid](HWND w) {
                                     DWORD owner = 0;
                                     GetWindowThreadProcessId(w, &owner);
                                     return owner == pid && caption_of(w) == to_utf8(kCaption);
                                 })) != nullptr; },
                   30s);
        // Visible comes before activated and focused: wait for the message loop.
        if (form_ != nullptr) settle();
    }
    struct Running {};
    explicit Program(Running) {
        wait_until([this] { return (form_ = FindWindowW(nullptr, kCaption.c_str())) != nullptr; }, 60s);
    }
    ~Program() {
        if (process_.hProcess == nullptr) return;
        if (!exit_status(0ms)) {
            PostMessageW(form_, WM_CLOSE, 0, 0);
            if (!exit_status(10s)) TerminateProcess(process_.hProcess, 99);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    HWND form() const { return form_; }
    const std::wstring& workdir() const { return workdir_.path(); }
    HWND control(const char* name) const {
        return GetDlgItem(form_, veltrano::platform::win32_control_id(veltrano::window::main_form(), name));
    }
    void set(const char* name, const std::string& text) const {
        SendMessageW(control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(to_utf16(text).c_str()));
    }
    std::string get(const char* name) const { return text_of(control(name)); }
    void click() const { PostMessageW(control("Command1"), BM_CLICK, 0, 0); }
    void post(const char* name, UINT message, WPARAM w, LPARAM l) const { PostMessageW(control(name), message, w, l); }
    void key(const char* name, WPARAM key) const {
        post(name, WM_KEYDOWN, key, 1);
        post(name, WM_KEYUP, key, 0xC0000001);
    }

    // Holds the program's thread while the driver queues messages, so that
    // they all wait in the queue when the first of them is handled.
    void suspend() const { SuspendThread(process_.hThread); }
    void resume() const { ResumeThread(process_.hThread); }

    HWND find_box() const {
        return find_top_level([this](HWND w) { return GetWindow(w, GW_OWNER) == form_ && class_of(w) == L"#32770"; });
    }
    HWND wait_for_box() const {
        HWND box = nullptr;
        wait_until([&] { return (box = find_box()) != nullptr; });
        return box;
    }

    // Waits until everything posted so far has been handled, answering the
    // error box a press opened (OK), and returns what it showed. A marker
    // posted behind (the modified flag of Text1, which nothing reads) tells
    // when the queue has been worked off; a box opens before its own message
    // loop handles the marker, so it is looked for once more after.
    std::optional<Box> settle() const {
        HWND marker = control("Text1");
        PostMessageW(marker, EM_SETMODIFY, TRUE, 0);
        std::optional<Box> shown;
        const bool done = wait_until(
            [&] {
                const bool handled = SendMessageW(marker, EM_GETMODIFY, 0, 0) != 0;
                if (HWND box = find_box()) {
                    if (shown) ADD_FAILURE() << "a second error box: " << read_box(box).text;
                    shown = read_box(box);
                    answer(box);
                    return false;
                }
                return handled;
            },
            30s);
        EXPECT_TRUE(done) << "the window did not work off its queue";
        SendMessageW(marker, EM_SETMODIFY, FALSE, 0);
        return shown;
    }

    std::optional<DWORD> exit_status(std::chrono::milliseconds limit) const {
        if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return {};
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return status;
    }

private:
    TempFolder workdir_;
    PROCESS_INFORMATION process_{};
    HWND form_ = nullptr;
};

// What veltrano-cli.exe made of six field texts.
struct CliRun {
    DWORD status = 99;
    std::string out, err;
};

CliRun run_cli(const std::vector<std::string>& args) {
    // Files, not pipes, and no console: a console comes with a helper
    // process that inherits the handles and holds them open.
    const TempFolder folder;
    const std::wstring paths[] = {folder.path() + L"\\out", folder.path() + L"\\err"};
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE files[2];
    for (int i = 0; i < 2; ++i) {
        files[i] = CreateFileW(paths[i].c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, CREATE_ALWAYS, 0, nullptr);
    }
    const PROCESS_INFORMATION p =
        start(beside_driver(L"veltrano-cli.exe"), args, nullptr, DETACHED_PROCESS, files[0], files[1]);
    CliRun run;
    if (p.hProcess != nullptr && WaitForSingleObject(p.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(p.hProcess, &run.status);
    }
    std::string* texts[] = {&run.out, &run.err};
    for (int i = 0; i < 2; ++i) {
        char chunk[4096];
        DWORD got = 0;
        SetFilePointer(files[i], 0, nullptr, FILE_BEGIN);
        while (ReadFile(files[i], chunk, sizeof chunk, &got, nullptr) && got > 0) texts[i]->append(chunk, got);
        CloseHandle(files[i]);
    }
    CloseHandle(p.hThread);
    CloseHandle(p.hProcess);
    return run;
}

// The six input fields in the command line's order.
struct Inputs {
    const char *F, *xF, *xD, *xW, *R, *alpha;
    std::vector<std::string> args() const { return {F, xF, xD, xW, R, alpha}; }
};

void type(const Program& p, const Inputs& in) {
    p.set("Text1", in.F);
    p.set("Text7", in.xF);
    p.set("Text2", in.xD);
    p.set("Text3", in.xW);
    p.set("Text4", in.R);
    p.set("Text5", in.alpha);
}

std::vector<std::string> all_texts(const Program& p) {
    std::vector<std::string> texts;
    for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Text8"}) {
        texts.push_back(p.get(name));
    }
    return texts;
}

const Inputs kFirstExample{"100", "0.5", "0.95", "0.05", "2", "2.5"};
const Inputs kFirstExampleDe{"100", "0,5", "0,95", "0,05", "2", "2,5"};

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
std::wstring window_class(veltrano::platform::ControlKind kind) {
    using veltrano::platform::ControlKind;
    switch (kind) {
    case ControlKind::Label: return L"Static";
    case ControlKind::TextBox: return L"Edit";
    case ControlKind::Button: return L"Button";
    case ControlKind::Line: return L"VeltranoLine";
    }
    return {};
}

// Where a control must lie at `dpi`, in client pixels: the table worked out by
// hand at 96 DPI, the rule from the twips at any other.
RECT expected_rect(const veltrano::platform::Control& c, UINT dpi) {
    const veltrano::testing::PixelRect r = dpi == 96 ? veltrano::testing::main_form_pixels_at_96_dpi().at(c.name)
                                                     : veltrano::testing::expected_pixels(c, dpi);
    return {r.left, r.top, r.left + r.width, r.top + r.height};
}

const std::vector<veltrano::platform::Control>& controls() { return veltrano::window::main_form().controls; }

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
    for (const veltrano::platform::Control& c : controls()) {
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
        for (const veltrano::platform::Control& c : controls()) {
            const std::string name(c.name);
            EXPECT_TRUE(same(rect_in(form, p.control(name.c_str())), expected_rect(c, dpi)))
                << name << " moved when the window was resized to " << size.cx << " x " << size.cy;
        }
    }
}

TEST_F(WindowTest, ShowsItsControlsAt96Dpi) { check_layout(program, 96); }

// The prefix's LogPixels at 144 while the program starts, then as it was.
class LogPixels {
public:
    explicit LogPixels(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key_, nullptr);
        DWORD size = sizeof old_;
        had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == 0;
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~LogPixels() {
        if (had_) RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        if (!had_) RegDeleteValueW(key_, L"LogPixels");
        RegCloseKey(key_);
    }
    LogPixels(const LogPixels&) = delete;
    LogPixels& operator=(const LogPixels&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD old_ = 96;
    bool had_ = false;
};

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
    if (program.form() == nullptr) return 1;
    type(program, kFirstExample);
    program.click();
    program.settle();
    if (std::strcmp(what, "error") != 0) return program.get("Text8") == "5" ? 0 : 1;
    program.set("Text5", "");
    program.click();
    return program.wait_for_box() != nullptr ? 0 : 1;
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
        const int button = veltrano::platform::win32_control_id(veltrano::window::main_form(), "Command1");
        PostMessageW(GetDlgItem(form, button), BM_CLICK, 0, 0);
    });
    const int status = veltrano::platform::run_form(
        0, nullptr, veltrano::window::main_form(),
        [&](veltrano::platform::Fields& fields, const veltrano::platform::NumberFormat&) {
            violations = veltrano::testing::fields_contract_violations(fields);
            PostMessageW(form, WM_CLOSE, 0, 0);
        });
    presser.join();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(violations, std::vector<std::string>{});
}

int main(int argc, char** argv) {
    // Rectangles in the window's own pixels, whatever the DPI.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (argc >= 3 && std::strcmp(argv[1], "show") == 0) return show(argv[2]);
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--locale=", 9) == 0) g_locale = argv[i] + 9;
    }
    return RUN_ALL_TESTS();
}
