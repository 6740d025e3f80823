// The design workbench of veltrano.exe driven from outside, as the window
// tests drive the main window: opened by F3, by the main window's system
// menu and by `veltrano --design`; typed into with WM_SETTEXT, its mode and
// mixture chosen as a click would; its results read back against
// veltrano-cli.exe for the same inputs; its export against the CLI's
// through the recording stand-in; and what it shows remembered in the
// prefix's registry from one run to the next.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "driver.h"
#include "veltrano/command/workbench.h"
#include "veltrano/gui/form_win32.h"
#include "veltrano/gui/workbench_win32.h"

namespace driver {

namespace {

namespace command = veltrano::command;
using veltrano::gui::win32_workbench_control_id;

const std::wstring kTitle = to_utf16(command::kWorkbenchTitle);
constexpr wchar_t kSettings[] = L"Software\\Veltrano\\Workbench";

// The workbench window of process `pid`, if shown.
HWND find_workbench(DWORD pid) {
    return find_top_level([pid](HWND w) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        return owner == pid && caption_of(w) == to_utf8(kTitle);
    });
}

// The workbench as the driver works it: its controls by their layout names.
class Workbench {
public:
    explicit Workbench(HWND window) : window_(window) {}
    HWND window() const { return window_; }
    HWND control(std::string_view name) const { return GetDlgItem(window_, win32_workbench_control_id(name)); }
    std::string get(std::string_view name) const { return text_of(control(name)); }

    // A field typed, the mode clicked or the mixture picked from the list,
    // each as the user does it: the window hears of it as of an edit.
    void enter(const std::string& name, const std::string& text) const {
        if (name == "mode") {
            PostMessageW(control(text == "rating" ? command::kRatingRadio : command::kDesignRadio), BM_CLICK, 0, 0);
        } else if (name == "file") {
            pick_file(text);
            return;
        } else if (name == "mixture") {
            const HWND list = control(command::kMixtureList);
            const LRESULT item = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(to_utf16(text).c_str()));
            EXPECT_GE(item, 0) << "no item " << text << " in the list";
            SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
            PostMessageW(window_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(list));
        } else {
            SendMessageW(control(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(to_utf16(text).c_str()));
        }
        // Handled before the next: a posted click comes after the texts sent.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored);
    }

    // 物系's last item, and in the dialog it opens the points file beside the
    // driver (`text` "points"), or Cancel (`text` empty).
    void pick_file(const std::string& text) const {
        enter("mixture", command::kDataFileItem);
        answer_file_dialog(text.empty() ? std::wstring() : points_path());
    }

    // The file dialog the workbench has opened: `path` typed and OK, or
    // Cancel when it is empty.
    void answer_file_dialog(const std::wstring& path) const {
        HWND dialog = nullptr;
        const bool opened = wait_until(
            [&] {
                return (dialog = find_top_level([this](HWND w) {
                            return GetWindow(w, GW_OWNER) == window_ && class_of(w) == L"#32770";
                        })) != nullptr;
            },
            20s);
        ASSERT_TRUE(opened) << "no file dialog";
        if (path.empty()) {
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        } else {
            HWND box = GetDlgItem(dialog, 0x47C /* cmb13 */);
            if (box == nullptr) box = GetDlgItem(dialog, 0x480 /* edt1 */);
            ASSERT_NE(box, nullptr) << "no file name box";
            SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
        }
        EXPECT_TRUE(wait_until([dialog] { return !IsWindow(dialog); }, 20s)) << "the file dialog stayed";
    }

    static std::wstring points_path() { return beside_driver(L"workbench-points.txt"); }
    static std::wstring svg_path(const wchar_t* whose) {
        return beside_driver((std::wstring(L"workbench-") + whose + L".svg").c_str());
    }

    // Waits for the control `name` to show `want` (the recomputed outcome
    // comes from another thread); what it shows at the deadline.
    std::string wait_for(std::string_view name, const std::string& want) const {
        std::string shown;
        wait_until([&] { return (shown = get(name)) == want; }, 20s);
        return shown;
    }

private:
    HWND window_;
};

struct Typed {
    // A field; "mode": design or rating; "mixture": an item of the list;
    // "file": in the file dialog the points file ("points"), or Cancel ("").
    const char* name;
    const char* text;
};

enum class Opening { kF3, kSystemMenu, kDesignArgument };
// What the window must show: the design's feed stage and stage count, the
// rating's products, the CLI's failure in the status line, the CLI's
// export, the CLI's SVG saved, or the inputs again after a restart.
enum class Shows { kDesign, kRating, kFailure, kExport, kSaved, kRemembered };

struct WorkbenchCase {
    const char* what;
    Opening opening;
    std::vector<Typed> typed;
    std::vector<std::string> cli;  // the same inputs on the command line
    Shows shows;
    const char* blamed = "";  // kFailure: the field framed in red
};

const std::vector<Typed> kExample = {{"F", "100"}, {"xF", "0.5"}, {"xD", "0.95"},
                                     {"xW", "0.05"}, {"R", "2"},    {"alpha", "2.5"}};

std::vector<Typed> example_and(std::vector<Typed> more) {
    std::vector<Typed> typed = kExample;
    typed.insert(typed.end(), more.begin(), more.end());
    return typed;
}

const WorkbenchCase kWorkbenchCases[] = {
    {"F3 in the main window: the first example", Opening::kF3, kExample,
     {"design", "100", "0.5", "0.95", "0.05", "2", "2.5"}, Shows::kDesign},
    {"the system menu's item: q 1.5 takes a stage off", Opening::kSystemMenu, example_and({{"q", "1.5"}}),
     {"design", "--q", "1.5", "100", "0.5", "0.95", "0.05", "2", "2.5"}, Shows::kDesign},
    {"--design: ethanol/water cannot pass its azeotrope to xD 0.95", Opening::kDesignArgument,
     example_and({{"mixture", "乙醇/水"}}),
     {"design", "--mixture", "ethanol/water", "100", "0.5", "0.95", "0.05", "2"}, Shows::kFailure, "xD"},
    {"x–y 数据文件…: cancelled, then a file of points chosen", Opening::kF3,
     example_and({{"mixture", "乙醇/水"}, {"file", ""}, {"file", "points"}}),
     {"design", "--xy", "{points}", "100", "0.5", "0.95", "0.05", "2"}, Shows::kDesign},
    {"核算: the first example's column of 11 stages rated", Opening::kDesignArgument,
     example_and({{"mode", "rating"}, {"N", "11"}, {"feed_stage", "5"}, {"D", "50"}}),
     {"rate", "--stages", "11", "--feed-stage", "5", "--distillate", "50", "100", "0.5", "2", "2.5"},
     Shows::kRating},
    {"导出: ethanol/water's stages and their temperatures", Opening::kF3,
     {{"mixture", "乙醇/水"}, {"F", "100"}, {"xF", "0.2"}, {"xD", "0.8"}, {"xW", "0.02"}, {"R", "2"}},
     {"design", "--mixture", "ethanol/water", "--export", "100", "0.2", "0.8", "0.02", "2"}, Shows::kExport},
    {"另存图…: the SVG the command line writes", Opening::kF3, example_and({{"R", "3"}}),
     {"design", "--svg", "{cli.svg}", "100", "0.5", "0.95", "0.05", "3", "2.5"}, Shows::kSaved},
    {"closed and opened again: every input as it was", Opening::kDesignArgument,
     {{"mode", "rating"}, {"mixture", "乙醇/水"}, {"F", "120"}, {"xF", "0.3"}, {"N", "14"}, {"feed_stage", "9"},
      {"D", "35"}, {"R", "3.5"}, {"q", "0.8"}, {"E", "0.7"}, {"P", "90"}},
     {}, Shows::kRemembered},
};

// The value the CLI printed on its line `name`.
std::string cli_value(const CliRun& run, const std::string& name) {
    const std::size_t at = run.out.find(name + "\t");
    if (at == std::string::npos) return "(not printed)";
    const std::size_t from = at + name.size() + 1;
    return run.out.substr(from, run.out.find_first_of("\r\n", from) - from);
}

// A full value as the window shows it: four significant digits.
std::string shown(const std::string& full) {
    char text[32];
    std::snprintf(text, sizeof text, "%#.4g", std::stod(full));
    return text;
}

std::string contents(const std::wstring& path) {
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char chunk[4096];
    DWORD got = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return bytes;
}

// What an earlier run left in the registry: a column other than the first
// example, so that typing the example changes what the window shows.
void seed_settings() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettings);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, text] : {std::pair{L"F", L"80"}, {L"R", L"3"}, {L"alpha", L"3"}}) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

// Tab visits the enabled controls in the order of their tab indices, the
// two modes one stop; a screen reader names every field and every result by
// its caption (Wine's oleacc, as Windows, takes the nearest STATIC before a
// control in z-order). The list is left out: Wine 8 has no combo box proxy
// and names it by its selection, where Windows' proxy takes the caption.
void check_keyboard_and_names(const Workbench& bench) {
    std::vector<command::WorkbenchControl> layout =
        command::workbench_layout(command::kWorkbenchOpeningWidth, command::kWorkbenchOpeningHeight);
    std::vector<HWND> stops;
    std::stable_sort(layout.begin(), layout.end(), [](const auto& a, const auto& b) { return a.tab_index < b.tab_index; });
    for (const command::WorkbenchControl& c : layout) {
        if (c.tab_index >= 0 && c.name != command::kRatingRadio && IsWindowEnabled(bench.control(c.name))) {
            stops.push_back(bench.control(c.name));
        }
    }
    ASSERT_GE(stops.size(), 10u);
    for (std::size_t i = 0; i < stops.size(); ++i) {
        EXPECT_EQ(GetNextDlgTabItem(bench.window(), stops[i], FALSE), stops[(i + 1) % stops.size()])
            << "Tab from the stop " << i;
    }
    for (const command::WorkbenchControl& label : layout) {
        if (label.kind != command::WorkbenchControlKind::kLabel || label.names == command::kDesignRadio ||
            label.names == command::kMixtureList) {
            continue;
        }
        EXPECT_EQ(accessible_name(bench.control(label.names)), std::make_pair(S_OK, label.caption)) << label.names;
    }
}

// The open workbench of `p`, after the opening of the case.
HWND open(const Program& p, Opening opening) {
    if (opening == Opening::kF3) {
        PostMessageW(p.form(), WM_KEYDOWN, VK_F3, 1);
        PostMessageW(p.form(), WM_KEYUP, VK_F3, 0xC0000001);
    } else if (opening == Opening::kSystemMenu) {
        PostMessageW(p.form(), WM_SYSCOMMAND, veltrano::gui::win32_system_command(1), 0);
    } else {
        return p.form();
    }
    HWND found = nullptr;
    wait_until([&] { return (found = find_workbench(p.pid())) != nullptr; }, 20s);
    return found;
}

TEST(Workbench, OpensComputesAsTheCommandLineDoesExportsAndRemembers) {
    // Points of constant alpha 2.5, for the data-file case.
    {
        std::string points = "x y\n";
        for (int i = 1; i < 20; ++i) {
            const double x = i / 20.0;
            points += std::to_string(x) + " " + std::to_string(2.5 * x / (1 + 1.5 * x)) + "\n";
        }
        HANDLE file = CreateFileW(Workbench::points_path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, points.data(), static_cast<DWORD>(points.size()), &written, nullptr));
        CloseHandle(file);
    }
    for (const WorkbenchCase& c : kWorkbenchCases) {
        SCOPED_TRACE(c.what);
        seed_settings();
        const bool alone = c.opening == Opening::kDesignArgument;
        // Before the program starts, which inherits where the recorder logs.
        std::optional<Recorder> recorder;
        if (c.shows == Shows::kExport) recorder.emplace(Server::InProcess);
        std::optional<Program> program(std::in_place, alone ? std::vector<std::string>{"--design"}
                                                            : std::vector<std::string>{},
                                       alone ? kTitle : kCaption);
        ASSERT_NE(program->form(), nullptr) << "no window";
        const HWND window = open(*program, c.opening);
        ASSERT_NE(window, nullptr) << "no workbench";
        const Workbench bench(window);
        // What the last run kept, computed.
        EXPECT_EQ(bench.get("F"), "80");
        EXPECT_EQ(bench.get("xF"), "0.5") << "the first start's, where nothing was kept";
        EXPECT_TRUE(wait_until([&] { return !bench.get(command::result_control("stages")).empty(); }, 20s)) << "nothing computed";
        EXPECT_NE(bench.get(command::result_control("stages")), "11");

        for (const Typed& t : c.typed) bench.enter(t.name, t.text);
        std::vector<std::string> args = c.cli;
        for (std::string& a : args) {
            if (a == "{points}") a = to_utf8(Workbench::points_path());
            if (a == "{cli.svg}") a = to_utf8(Workbench::svg_path(L"cli"));
        }
        const CliRun cli = args.empty() ? CliRun{} : run_cli(args);
        switch (c.shows) {
        case Shows::kDesign:
            ASSERT_EQ(cli.status, 0u) << cli.err;
            EXPECT_EQ(bench.wait_for(command::result_control("stages"), cli_value(cli, "塔板数")), cli_value(cli, "塔板数"));
            EXPECT_EQ(bench.get(command::result_control("feed_stage")), cli_value(cli, "进料板"));
            EXPECT_EQ(bench.get(command::kStatusLine), "");
            EXPECT_EQ(SendMessageW(bench.control(command::kStageTable), LVM_GETITEMCOUNT, 0, 0),
                      std::stoi(cli_value(cli, "塔板数")));
            check_keyboard_and_names(bench);
            break;
        case Shows::kRating: {
            ASSERT_EQ(cli.status, 0u) << cli.err;
            const std::string xD = shown(cli_value(cli, "馏出液组成 xD"));
            EXPECT_EQ(bench.wait_for(command::result_control("xD"), xD), xD);
            EXPECT_EQ(bench.get(command::result_control("xW")), shown(cli_value(cli, "釜液组成 xW")));
            EXPECT_EQ(bench.get(command::result_control("stages")), cli_value(cli, "塔板数"));
            EXPECT_FALSE(IsWindowEnabled(bench.control("xD"))) << "xD is the rating's result, not its input";
            break;
        }
        case Shows::kFailure: {
            const std::string prefix = "error 5: ";
            ASSERT_EQ(cli.err.substr(0, prefix.size()), prefix) << cli.err;
            const std::string why = cli.err.substr(prefix.size(), cli.err.find_first_of("\r\n") - prefix.size());
            EXPECT_EQ(bench.wait_for(command::kStatusLine, why), why);
            EXPECT_EQ(bench.get(command::result_control("stages")), "") << "results of the inputs before";
            EXPECT_EQ(SendMessageW(bench.control(command::kStageTable), LVM_GETITEMCOUNT, 0, 0), 0);
            const std::vector<HWND> tips = tooltips_of(window);
            ASSERT_EQ(tips.size(), 1u);
            const std::string tip = tooltip_text(program->process(), window, tips[0], bench.control(c.blamed));
            EXPECT_EQ(tip.rfind("输入有误：" + why, 0), 0u) << tip;
            // Mended, the results are back and the field lets go.
            bench.enter("xD", "0.8");
            EXPECT_EQ(bench.wait_for(command::kStatusLine, ""), "");
            EXPECT_NE(bench.get(command::result_control("stages")), "");
            EXPECT_EQ(tooltip_text(program->process(), window, tips[0], bench.control(c.blamed)).rfind("输入有误", 0),
                      std::string::npos);
            break;
        }
        case Shows::kExport: {
            ASSERT_EQ(cli.status, 0u) << cli.err;
            const std::vector<LogLine> by_cli = recorder->calls();
            EXPECT_EQ(bench.wait_for(command::result_control("stages"), cli_value(cli, "塔板数")), cli_value(cli, "塔板数"));
            ASSERT_TRUE(IsWindowEnabled(bench.control(command::kExportButton)));
            PostMessageW(bench.control(command::kExportButton), BM_CLICK, 0, 0);
            std::vector<LogLine> by_window;
            wait_until([&] { return (by_window = recorder->calls()).size() >= 2 * by_cli.size(); }, 30s);
            by_window.erase(by_window.begin(), by_window.begin() + static_cast<std::ptrdiff_t>(by_cli.size()));
            EXPECT_EQ(by_window, by_cli) << "the window's export differs from the command line's";
            bool temperatures = false;
            for (const LogLine& line : by_cli) {
                for (const std::string& field : line) temperatures |= field.find("I2:4 I2:1 BSTR:T") != std::string::npos;
            }
            EXPECT_TRUE(temperatures) << "no T row";
            break;
        }
        case Shows::kSaved: {
            ASSERT_EQ(cli.status, 0u) << cli.err;
            EXPECT_EQ(bench.wait_for(command::result_control("stages"), cli_value(cli, "塔板数")), cli_value(cli, "塔板数"));
            PostMessageW(bench.control(command::kSaveButton), BM_CLICK, 0, 0);
            bench.answer_file_dialog(Workbench::svg_path(L"window"));
            // The file is written once the dialog has closed: wait for it.
            std::string saved;
            wait_until([&] { return (saved = contents(Workbench::svg_path(L"window"))).size() > 1000u; }, 30s);
            EXPECT_GT(saved.size(), 1000u);
            EXPECT_TRUE(saved == contents(Workbench::svg_path(L"cli"))) << "the saved SVG differs from the CLI's";
            DeleteFileW(Workbench::svg_path(L"window").c_str());
            DeleteFileW(Workbench::svg_path(L"cli").c_str());
            break;
        }
        case Shows::kRemembered: {
            EXPECT_EQ(bench.wait_for(command::kStatusLine, ""), "");
            PostMessageW(window, WM_CLOSE, 0, 0);
            EXPECT_EQ(program->exit_status(20s), std::optional<DWORD>(0)) << "closing it ends the program";
            program.reset();
            program.emplace(std::vector<std::string>{"--design"}, kTitle);
            ASSERT_NE(program->form(), nullptr);
            const Workbench again(program->form());
            for (const Typed& t : c.typed) {
                if (std::string(t.name) == "mode") {
                    EXPECT_EQ(SendMessageW(again.control(command::kRatingRadio), BM_GETCHECK, 0, 0), BST_CHECKED);
                } else {
                    EXPECT_EQ(again.get(std::string(t.name) == "mixture" ? command::kMixtureList : t.name), t.text)
                        << t.name;
                }
            }
            EXPECT_TRUE(IsWindowEnabled(again.control("P"))) << "a pair's pressure";
            EXPECT_FALSE(IsWindowEnabled(again.control("alpha")));
            break;
        }
        }
        if (alone) continue;
        // Esc closes the workbench alone; the main window stays.
        PostMessageW(bench.control("F"), WM_KEYDOWN, VK_ESCAPE, 1);
        EXPECT_TRUE(wait_until([&] { return !IsWindow(window); })) << "Esc left the workbench open";
        EXPECT_TRUE(IsWindowVisible(program->form()));
        EXPECT_EQ(program->exit_status(0ms), std::nullopt);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettings);
    DeleteFileW(Workbench::points_path().c_str());
}

}  // namespace

}  // namespace driver

namespace driver {

// window_driver show workbench-design|workbench-rating: the running
// workbench (veltrano.exe --design) typed into for a screenshot: ethanol/water
// designed near its tangent pinch, or a column of 15 stages on it rated.
int show_workbench(const char* what) {
    HWND window = nullptr;
    wait_until([&] { return (window = find_top_level([](HWND w) { return caption_of(w) == to_utf8(kTitle); })) != nullptr; },
               60s);
    if (window == nullptr) {
        std::fprintf(stderr, "window_driver: no workbench of veltrano.exe appeared\n");
        return 1;
    }
    const Workbench bench(window);
    const bool rating = std::strcmp(what, "workbench-rating") == 0;
    std::vector<Typed> typed = {{"mode", rating ? "rating" : "design"}, {"mixture", "乙醇/水"}, {"F", "100"},
                                {"xF", "0.2"}, {"R", rating ? "2" : "1.2"}, {"q", "1"}, {"E", "1"}, {"P", "101.325"}};
    if (rating) {
        typed.insert(typed.end(), {{"N", "15"}, {"feed_stage", "10"}, {"D", "22"}});
    } else {
        typed.insert(typed.end(), {{"xD", "0.8"}, {"xW", "0.02"}});
    }
    for (const Typed& t : typed) bench.enter(t.name, t.text);
    const std::string stages = rating ? "15" : "21";
    if (bench.wait_for(command::result_control("stages"), stages) != stages) {
        std::fprintf(stderr, "window_driver: the workbench shows %s stages, not %s (%s)\n",
                     bench.get(command::result_control("stages")).c_str(), stages.c_str(), bench.get(command::kStatusLine).c_str());
        return 1;
    }
    // The focus where a user would have left it, not on the mode.
    SetForegroundWindow(window);
    return 0;
}

}  // namespace driver
