// Start-up of a Win32 window program as figures (for
// scripts/measure-startup-windows.sh): milliseconds from CreateProcess to a
// visible top-level window of the new process, and to that window answering
// a message (its thread back in its message loop: the window painted and
// ready for input), for the programs started in turn, RUNS times each. The
// window is then closed.
//
//   startup_timing [RUNS [PROGRAM YARDSTICK]]   by default veltrano.exe
//       against minimal_window.exe and minimal_window_themed.exe (the same
//       with veltrano.exe's manifest), all beside this program
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "veltrano/core/utf16.h"

namespace {

struct Search {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK visible_window_of(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->pid || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

struct Start {
    double visible = -1;    // ms to the first visible window, negative if none within 30 s
    double answering = -1;  // ms until that window answered a sent message
};

Start start_to_window(const std::wstring& exe) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    PROCESS_INFORMATION process{};
    const auto start = std::chrono::steady_clock::now();
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return {};
    }
    Search search{process.dwProcessId, nullptr};
    // Polled every millisecond: a start takes tens of them.
    while (search.found == nullptr && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
        EnumWindows(visible_window_of, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto since_start = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    Start times;
    if (search.found != nullptr) {
        times.visible = since_start();
        // Handled once the program's thread waits for messages again: after
        // the painting that follows showing the window.
        DWORD_PTR ignored = 0;
        if (SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored) != 0) {
            times.answering = since_start();
        }
        PostMessageW(search.found, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return times;
}

void report(const char* what, const std::vector<std::wstring>& names, std::vector<std::vector<double>>& times) {
    std::printf("%s:\n", what);
    std::vector<double> median(names.size());
    for (std::size_t p = 0; p < names.size(); ++p) {
        std::sort(times[p].begin(), times[p].end());
        median[p] = times[p][times[p].size() / 2];
        std::printf("  %-26ls median %7.1f ms  (min %.1f, max %.1f)\n", names[p].c_str(), median[p],
                    times[p].front(), times[p].back());
    }
    for (std::size_t p = 1; p < names.size(); ++p) {
        std::printf("  ratio of the medians against %ls: %.2f (target <= 1.3)\n", names[p].c_str(),
                    median[0] / median[p]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    wchar_t self[MAX_PATH];
    std::wstring folder(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    folder.resize(folder.find_last_of(L"\\/") + 1);
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 15;
    // The program, then its yardsticks: the bare minimal window, and the same
    // with the manifest a themed, DPI-aware program carries.
    std::vector<std::wstring> programs = {folder + L"veltrano.exe", folder + L"minimal_window.exe",
                                          folder + L"minimal_window_themed.exe"};
    if (argc >= 4) programs = {veltrano::core::to_utf16(argv[2]), veltrano::core::to_utf16(argv[3])};

    // One start each first: the file cache and Wine's own DLLs warm up.
    for (const std::wstring& program : programs) start_to_window(program);
    std::vector<std::vector<double>> visible(programs.size()), answering(programs.size());
    for (int i = 0; i < runs; ++i) {
        for (std::size_t p = 0; p < programs.size(); ++p) {
            const Start t = start_to_window(programs[p]);
            if (t.visible < 0 || t.answering < 0) {
                std::fprintf(stderr, "%ls showed no window, or it did not answer\n", programs[p].c_str());
                return 1;
            }
            visible[p].push_back(t.visible);
            answering[p].push_back(t.answering);
        }
    }
    std::vector<std::wstring> names(programs.size());
    for (std::size_t p = 0; p < programs.size(); ++p) names[p] = programs[p].substr(programs[p].find_last_of(L"\\/") + 1);
    std::printf("runs: %d each, interleaved\n", runs);
    report("start to a visible window", names, visible);
    report("start to a painted window that answers (visible, then back in its message loop)", names, answering);
    return 0;
}
