// What the Windows drivers share: starting veltrano.exe and veltrano-cli.exe
// under Wine, finding the window and its controls, typing, pressing, reading
// the fields and answering the error box.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "veltrano/gui/form_win32.h"
#include "veltrano/core/utf16.h"
#include "veltrano/command/main_form.h"

namespace driver {

using namespace std::chrono_literals;
using veltrano::core::to_utf16;
using veltrano::core::to_utf8;

inline std::string g_locale = "en-US";
inline const std::wstring kCaption = L"Veltrano-未考虑压力和温度 v1.0";

// Polls `done` every 5 ms for at most `limit`.
inline bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    for (const auto end = std::chrono::steady_clock::now() + limit; !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

inline std::wstring beside_driver(const wchar_t* file) {
    wchar_t path[MAX_PATH];
    std::wstring p(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return p.substr(0, p.find_last_of(L"\\/") + 1) + file;
}

inline std::set<std::wstring> files_in(const std::wstring& folder) {
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

inline PROCESS_INFORMATION start(const std::wstring& exe, const std::vector<std::string>& args, const wchar_t* folder,
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
    // Wine, on a loaded machine, now and then loses a new process before it
    // has started (ERROR_INTERNAL_ERROR, nothing of the program has run):
    // that start is tried once more. Any other failure is the test's.
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, out != nullptr, flags, nullptr, folder,
                           &startup, &process)) {
            return process;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_INTERNAL_ERROR && attempt < 2) continue;
        ADD_FAILURE() << "cannot start " << to_utf8(exe) << ": error " << error;
        return process;
    }
}

inline std::string text_of(HWND window) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return to_utf8(text);
}

// The title of a top-level window, as the system keeps it (no message sent).
inline std::string caption_of(HWND window) {
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    return to_utf8(caption);
}

inline std::wstring class_of(HWND window) {
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    return name;
}

inline HWND find_top_level(const std::function<bool(HWND)>& wanted) {
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

// What an error box showed.
struct Box {
    std::string title, text, button;
    bool icon = false;
};

inline Box read_box(HWND box) {
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

inline void answer(HWND box) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    wait_until([box] { return !IsWindow(box); });
}

// The tooltip text of `tool`, a child of `owner` in `process`. TTM_GETTEXTW
// writes through pointers, which reach the other process unchanged (only the
// system's own messages are carried across): the tool's description and its
// buffer are placed in the program's memory, and the text is read back from there.
inline std::string tooltip_text(HANDLE process, HWND owner, HWND tooltips, HWND tool) {
    struct Remote {
        TTTOOLINFOW tool;
        wchar_t text[1024];
    } local{};
    auto* remote =
        static_cast<Remote*>(VirtualAllocEx(process, nullptr, sizeof local, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote == nullptr) return "(no memory in the program's process)";
    local.tool.cbSize = sizeof local.tool;
    local.tool.hwnd = owner;
    local.tool.uId = reinterpret_cast<UINT_PTR>(tool);
    local.tool.lpszText = remote->text;
    const bool written = WriteProcessMemory(process, remote, &local, sizeof local, nullptr);
    if (written) SendMessageW(tooltips, TTM_GETTEXTW, std::size(local.text), reinterpret_cast<LPARAM>(&remote->tool));
    const bool read = written && ReadProcessMemory(process, remote, &local, sizeof local, nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    local.text[std::size(local.text) - 1] = L'\0';
    return read ? to_utf8(local.text) : "(the program's memory cannot be reached)";
}

// The name the system's accessibility layer gives `control`, as a screen
// reader asks for it, and the status of asking.
inline std::pair<HRESULT, std::string> accessible_name(HWND control) {
    IAccessible* object = nullptr;
    HRESULT status =
        AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    BSTR name = nullptr;
    if (SUCCEEDED(status)) {
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        status = object->get_accName(self, &name);
        object->Release();
    }
    const std::string text = name != nullptr ? to_utf8(std::wstring(name, SysStringLen(name))) : "";
    SysFreeString(name);
    return {status, text};
}

// The tooltip controls `owner` owns (hidden popups).
inline std::vector<HWND> tooltips_of(HWND owner) {
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr)) != nullptr;) {
        if (GetWindow(w, GW_OWNER) == owner) found.push_back(w);
    }
    return found;
}

// veltrano.exe from the driver's folder, started in an empty working folder,
// or (Running) the one already on the screen.
class Program {
public:
    Program() : Program({}, kCaption) {}
    // Started with `args`, attached to its top-level window titled `caption`
    // (the workbench's for `--design`).
    Program(const std::vector<std::string>& args, const std::wstring& caption)
        : caption_(caption), process_(start(beside_driver(L"veltrano.exe"), args, workdir_.path().c_str())) {
        const DWORD pid = process_.dwProcessId;
        attach([pid](HWND w) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            return owner == pid;
        });
    }
    struct Running {};
    explicit Program(Running) {
        attach([](HWND) { return true; }, 60s);
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
    DWORD pid() const { return process_.dwProcessId; }
    HANDLE process() const { return process_.hProcess; }
    const std::wstring& workdir() const { return workdir_.path(); }
    HWND control(const char* name) const {
        return GetDlgItem(form_, veltrano::gui::win32_control_id(veltrano::command::main_form(), name));
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
    // The form exists before its controls: it is looked for among the
    // visible windows, as it is shown after its last control. Visible comes
    // before activated and focused, so the message loop is waited for too.
    void attach(const std::function<bool(HWND)>& ours, std::chrono::milliseconds limit = 30s) {
        wait_until([&] { return (form_ = find_top_level([&](HWND w) {
                                     return ours(w) && caption_of(w) == to_utf8(caption_);
                                 })) != nullptr; },
                   limit);
        if (form_ != nullptr && caption_ == kCaption) settle();
    }

    std::wstring caption_ = kCaption;
    TempFolder workdir_;
    PROCESS_INFORMATION process_{};
    HWND form_ = nullptr;
};

// What veltrano-cli.exe made of six field texts.
struct CliRun {
    DWORD status = 99;
    std::string out, err;
};

inline CliRun run_cli(const std::vector<std::string>& args) {
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

inline void type(const Program& p, const Inputs& in) {
    p.set("Text1", in.F);
    p.set("Text7", in.xF);
    p.set("Text2", in.xD);
    p.set("Text3", in.xW);
    p.set("Text4", in.R);
    p.set("Text5", in.alpha);
}

inline std::vector<std::string> all_texts(const Program& p) {
    std::vector<std::string> texts;
    for (const char* name : {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Text8"}) {
        texts.push_back(p.get(name));
    }
    return texts;
}

inline const Inputs kFirstExample{"100", "0.5", "0.95", "0.05", "2", "2.5"};
inline const Inputs kFirstExampleDe{"100", "0,5", "0,95", "0,05", "2", "2,5"};

}  // namespace driver

// ---- the recording stand-in for the spreadsheet application

namespace driver {

// Where the application's class leads: nowhere (not installed), the
// in-process recorder (sheet_recorder.dll) or the local one in a process of
// its own (sheet_recorder.exe), both beside the driver.
enum class Server { None, InProcess, Local };

inline const wchar_t* const kApplicationClassKey = L"CLSID\\{00024500-0000-0000-C000-000000000046}";

// The application's dispatch interface in a type library of our own, so that
// COM can carry its calls to a local server. Registered once per prefix.
inline bool register_type_library() {
    const std::wstring path = beside_driver(L"sheet_recorder.tlb");
    ICreateTypeLib2* library = nullptr;
    ITypeLib* stdole = nullptr;
    ITypeInfo* dispatch = nullptr;
    ICreateTypeInfo* info = nullptr;
    HREFTYPE base = 0;
    const GUID library_id = {0x5E1B7C40, 0x3A8D, 0x4F0B, {0x9C, 0x61, 0x2D, 0x7E, 0x84, 0xA1, 0xB9, 0xF3}};
    const IID application = {0x000208D5, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    const bool made =
        SUCCEEDED(CreateTypeLib2(SYS_WIN64, path.c_str(), &library)) && SUCCEEDED(library->SetGuid(library_id)) &&
        SUCCEEDED(library->SetVersion(1, 0)) &&
        SUCCEEDED(library->SetName(const_cast<LPOLESTR>(L"VeltranoSheetRecorder"))) &&
        SUCCEEDED(LoadTypeLib(L"stdole2.tlb", &stdole)) &&
        SUCCEEDED(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch)) &&
        SUCCEEDED(library->CreateTypeInfo(const_cast<LPOLESTR>(L"_Application"), TKIND_DISPATCH, &info)) &&
        SUCCEEDED(info->SetGuid(application)) && SUCCEEDED(info->AddRefTypeInfo(dispatch, &base)) &&
        SUCCEEDED(info->AddImplType(0, base)) && SUCCEEDED(info->LayOut()) && SUCCEEDED(library->SaveAllChanges());
    for (IUnknown* u : {static_cast<IUnknown*>(info), static_cast<IUnknown*>(dispatch),
                        static_cast<IUnknown*>(stdole), static_cast<IUnknown*>(library)}) {
        if (u != nullptr) u->Release();
    }
    ITypeLib* registered = nullptr;
    if (!made || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &registered))) return false;
    registered->Release();
    return true;
}

inline bool register_server(Server server) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kApplicationClassKey);
    if (server == Server::None) return true;
    const bool local = server == Server::Local;
    const std::wstring key = std::wstring(kApplicationClassKey) + (local ? L"\\LocalServer32" : L"\\InprocServer32");
    const std::wstring path = beside_driver(local ? L"sheet_recorder.exe" : L"sheet_recorder.dll");
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    if (!local) {
        const std::wstring model = L"Apartment";
        RegSetValueExW(handle, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model.c_str()),
                       static_cast<DWORD>((model.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(handle);
    return true;
}

// One log line of the recorder, split at its TABs.
using LogLine = std::vector<std::string>;

// The recorder registered for the span of a test, writing to a log of its
// own, with a script of what goes wrong. The programs started meanwhile (and
// this process) inherit the settings. Afterwards the in-process recorder
// stands registered again, quiet, so that the window's presses export.
class Recorder {
public:
    explicit Recorder(Server server, const std::string& script = "") {
        end_servers();
        EXPECT_TRUE(register_server(server)) << "cannot register the recorder";
        SetEnvironmentVariableW(L"VELTRANO_RECORDER_LOG", log_.c_str());
        SetEnvironmentVariableW(L"VELTRANO_RECORDER_SCRIPT", to_utf16(script).c_str());
        DeleteFileW(log_.c_str());
    }
    ~Recorder() { quiet(); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The state between tests: in-process, no log, nothing goes wrong, and
    // no server process left over, which would take the next activation.
    static bool quiet() {
        end_servers();
        if (!register_server(Server::InProcess)) return false;
        SetEnvironmentVariableW(L"VELTRANO_RECORDER_LOG", nullptr);
        SetEnvironmentVariableW(L"VELTRANO_RECORDER_SCRIPT", nullptr);
        return true;
    }

    // The calls so far; the local server's own start and exit lines apart.
    std::vector<LogLine> calls() const {
        std::vector<LogLine> lines;
        for (const LogLine& line : all()) {
            if (line[0] != "started" && line[0] != "exit") lines.push_back(line);
        }
        return lines;
    }
    std::vector<LogLine> all() const {
        std::vector<LogLine> lines;
        HANDLE file = CreateFileW(log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return lines;
        std::string text;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
        CloseHandle(file);
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
            LogLine fields;
            const std::string line = text.substr(at, end - at);
            for (std::size_t f = 0, tab;; f = tab + 1) {
                tab = line.find('\t', f);
                fields.push_back(line.substr(f, tab == std::string::npos ? std::string::npos : tab - f));
                if (tab == std::string::npos) break;
            }
            lines.push_back(fields);
        }
        return lines;
    }

private:
    static void end_servers() {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
            if (_wcsicmp(entry.szExeFile, L"sheet_recorder.exe") != 0) continue;
            if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
                TerminateProcess(p, 9);
                WaitForSingleObject(p, 10000);
                CloseHandle(p);
            }
        }
        CloseHandle(snapshot);
    }

    TempFolder folder_;
    std::wstring log_ = folder_.path() + L"\\calls.log";
};

// window_driver time-export [RUNS]: microseconds per cell write through the
// recorder, printed (see excel_cases.cpp).
int time_export(int runs);

// window_driver show workbench-design|workbench-rating: the running
// workbench typed into for a screenshot (see workbench_cases.cpp).
int show_workbench(const char* what);

// window_driver time-diagram [RUNS]: F2 to a painted diagram and the redraw
// after a press, printed (see diagram_cases.cpp).
int time_diagram(int runs);

}  // namespace driver
