// What a user waits for in the design workbench on Windows, as figures (for
// scripts/measure-workbench-windows.sh): milliseconds from a keystroke in
// the reflux field to the workbench repainted with its outcome (the results
// written and the diagram area painted anew), the median and the worst of
// RUNS keystrokes, for the first worked example and for a column of about
// 100 stages on ethanol/water's NRTL curve (xF 0.2, xD 0.85, xW 0.001,
// R 1.1 Rmin, E 0.5). The real window, in this process: each keystroke is a
// WM_CHAR posted to the field, and this program's own message loop notes
// when the diagram area's WM_PAINT has been handled after the results
// changed. What the workbench keeps in the registry is its own as ever: run
// it in a prefix made for measuring.
//
//   workbench_timing [RUNS]   (default 50)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "veltrano/command/workbench.h"
#include "veltrano/core/utf16.h"
#include "veltrano/gui/workbench.h"
#include "veltrano/gui/workbench_win32.h"

namespace {

namespace command = veltrano::command;
using Clock = std::chrono::steady_clock;
using veltrano::core::to_utf16;
using veltrano::core::to_utf8;

HWND g_window = nullptr;

HWND control(std::string_view name) { return GetDlgItem(g_window, veltrano::gui::win32_workbench_control_id(name)); }

std::string text(HWND window) {
    std::wstring t(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    t.resize(static_cast<std::size_t>(GetWindowTextW(window, t.data(), static_cast<int>(t.size()))));
    return to_utf8(t);
}

// Every result as shown, one text.
std::string results() {
    std::string all;
    for (const command::WorkbenchResult& r : command::kWorkbenchResults) {
        all += text(control(command::result_control(r.name))) + "|";
    }
    return all + text(control(command::kStatusLine));
}

// Handles one message; whether it was the diagram area's paint.
bool pump_one(Clock::time_point deadline) {
    MSG msg;
    while (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (Clock::now() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return msg.message == WM_PAINT && msg.hwnd == control(command::kDiagramArea);
}

// Until the results differ from `before` and the diagram area has been
// painted since; false after ten seconds.
bool wait_for_repaint(const std::string& before) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    bool changed = false;
    while (Clock::now() < deadline) {
        const bool painted = pump_one(deadline);
        if (changed && painted) return true;
        changed = changed || results() != before;
    }
    return false;
}

// Quiet: every posted message handled, the recomputed outcome shown and painted.
void settle() {
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(300);
    while (Clock::now() < until) pump_one(until);
}

void type(std::string_view field, const std::string& value) {
    SendMessageW(control(field), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(to_utf16(value).c_str()));
}

// The keystrokes: the reflux field's last character replaced by `a` and by
// `b` in turn, each timed up to the repainted window.
std::vector<double> keystrokes(int runs, wchar_t a, wchar_t b) {
    std::vector<double> times;
    const HWND field = control("R");
    for (int i = 0; i < runs; ++i) {
        settle();
        const std::string before = results();
        const int length = GetWindowTextLengthW(field);
        SendMessageW(field, EM_SETSEL, static_cast<WPARAM>(length - 1), length);
        const Clock::time_point start = Clock::now();
        PostMessageW(field, WM_CHAR, i % 2 == 0 ? b : a, 1);
        if (!wait_for_repaint(before)) {
            std::fprintf(stderr, "workbench_timing: no repaint within 10 s after keystroke %d\n", i + 1);
            return {};
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return times;
}

bool report(const char* what, std::vector<double> times) {
    if (times.empty()) return false;
    std::sort(times.begin(), times.end());
    std::printf("%-52s median %6.1f ms  worst %6.1f ms  (%zu keystrokes, %s stages)\n", what, times[times.size() / 2],
                times.back(), times.size(), text(control(command::result_control("stages"))).c_str());
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int runs = argc >= 2 ? std::max(2, _wtoi(argv[1])) : 50;
    // No export is pressed here.
    veltrano::gui::WorkbenchWindow workbench([] { return std::unique_ptr<veltrano::sheet::Spreadsheet>(); });
    workbench.open();
    g_window = FindWindowW(nullptr, to_utf16(command::kWorkbenchTitle).c_str());
    if (g_window == nullptr) {
        std::fprintf(stderr, "workbench_timing: no workbench window\n");
        return 1;
    }
    // The first worked example, constant alpha, design.
    SendMessageW(control(command::kDesignRadio), BM_CLICK, 0, 0);
    SendMessageW(control(command::kMixtureList), CB_SETCURSEL, 0, 0);
    PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control(command::kMixtureList)), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control(command::kMixtureList)));
    const std::pair<const char*, const char*> example[] = {{"F", "100"}, {"xF", "0.5"}, {"xD", "0.95"}, {"xW", "0.05"},
                                                           {"R", "2"},   {"q", "1"},    {"E", "1"},     {"alpha", "2.5"}};
    for (const auto& [field, value] : example) type(field, value);
    if (!report("the first example (11 stages), R 2 <-> 3", keystrokes(runs, L'2', L'3'))) return 1;

    // About 100 stages on ethanol/water: R at 1.1 times the Rmin the window shows.
    SendMessageW(control(command::kMixtureList), CB_SETCURSEL, 1, 0);
    PostMessageW(g_window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control(command::kMixtureList)), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control(command::kMixtureList)));
    const std::pair<const char*, const char*> column[] = {{"xF", "0.2"}, {"xD", "0.85"}, {"xW", "0.001"},
                                                          {"R", "5"},    {"E", "0.5"},   {"P", "101.325"}};
    for (const auto& [field, value] : column) type(field, value);
    settle();
    const double R_min = std::atof(text(control(command::result_control("R_min"))).c_str());
    if (!(R_min > 0)) {
        std::fprintf(stderr, "workbench_timing: no Rmin for ethanol/water (%s)\n", text(control(command::kStatusLine)).c_str());
        return 1;
    }
    char R[32];
    std::snprintf(R, sizeof R, "%.2f", 1.1 * R_min);
    type("R", R);
    const wchar_t last = static_cast<wchar_t>(R[std::char_traits<char>::length(R) - 1]);
    const wchar_t other = last == L'9' ? L'8' : static_cast<wchar_t>(last + 1);
    return report("ethanol/water NRTL, E 0.5, R 1.1 Rmin", keystrokes(runs, last, other)) ? 0 : 1;
}
