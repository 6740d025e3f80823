// A recording stand-in for the spreadsheet application, for the tests of the
// Windows export. No real spreadsheet is on the test machines: this server is
// registered in the test prefix under the application's class ID and answers
// the calls the export makes, writing one line per call to a log.
//
// Built twice from this file: an in-process server (a DLL) and, with
// SHEET_RECORDER_LOCAL_SERVER, a local server (an .exe started by COM with
// -Embedding), which lives in its own process as the real application does.
//
// Environment (the in-process server reads the client's, the local server is
// started with it):
//   VELTRANO_RECORDER_LOG     file the lines are appended to
//   VELTRANO_RECORDER_SCRIPT  what goes wrong, ';'-separated:
//     fail=<call>:<hex status>  that call fails with the status
//     raise=<call>:<hex status> that call raises an exception carrying the
//                               status and a description (DISP_E_EXCEPTION)
//     busy=<n>                  the first n Invokes say RPC_E_SERVERCALL_RETRYLATER
//     reject=<n>                (local) the first n incoming calls are refused as busy
//     exit=<call>               (local) the process ends in the middle of that call
//     hang=<call>               (local) that call is never answered
//   where <call> is Workbooks, Add, Visible, Cells or put<k> (the k-th cell write).
//
// Log lines, TAB-separated:
//   create <iid> live=<n>
//   names <object> <name> <dispid> lcid=<lcid>
//   invoke <object> <dispid> flags=<f> lcid=<lcid> named=<ids> args=<vt:value ...> -> <hex status>
//   gone <object> live=<n>
// Arguments are listed in call order (the property-put value last); doubles as
// their 64-bit patterns, texts as UTF-8.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "com_ref.h"

namespace {

constexpr CLSID kApplicationClass = {0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kApplicationInterface = {0x000208D5, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kWorkbooksInterface = {0x000208DB, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

enum class Kind { Application, Workbooks, Workbook, Range };
const char* kind_name(Kind kind) {
    switch (kind) {
        case Kind::Application: return "application";
        case Kind::Workbooks: return "workbooks";
        case Kind::Workbook: return "workbook";
        case Kind::Range: return "range";
    }
    return "?";
}

LONG g_live = 0;   // objects of ours alive in this process
LONG g_locks = 0;  // IClassFactory::LockServer
int g_puts = 0;    // cell writes so far
int g_busy_left = 0;

std::string environment(const char* name) {
    char value[1024];
    const DWORD size = GetEnvironmentVariableA(name, value, sizeof value);
    return size > 0 && size < sizeof value ? std::string(value, size) : std::string();
}

void log_line(const std::string& line) {
    const std::string path = environment("VELTRANO_RECORDER_LOG");
    if (path.empty()) return;
    // Opened for each line and appended in one write, so that a process that
    // ends abruptly leaves every line it wrote.
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string hex(unsigned long long value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llX", digits, value);
    return std::string("0x") + text;
}

std::string utf8(const wchar_t* text, int length) {
    if (length < 0) length = static_cast<int>(std::wcslen(text));
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::string guid_text(REFGUID guid) {
    wchar_t text[64];
    StringFromGUID2(guid, text, 64);
    return utf8(text, -1);
}

std::string variant_text(const VARIANT& v) {
    switch (v.vt) {
        case VT_I2: return "I2:" + std::to_string(v.iVal);
        case VT_I4: return "I4:" + std::to_string(v.lVal);
        case VT_BOOL: return "BOOL:" + std::to_string(v.boolVal);
        case VT_ERROR: return "ERROR:" + hex(static_cast<unsigned long>(v.scode), 8);
        case VT_BSTR: return "BSTR:" + utf8(v.bstrVal, static_cast<int>(SysStringLen(v.bstrVal)));
        case VT_R8: {
            std::uint64_t bits;
            std::memcpy(&bits, &v.dblVal, sizeof bits);
            return "R8:" + hex(bits, 16);
        }
        default: return "VT" + std::to_string(v.vt) + ":?";
    }
}

// The value a script entry gives for `key`, e.g. "fail" -> "Add:0x80004005".
std::string script_entry(const std::string& key) {
    const std::string script = ";" + environment("VELTRANO_RECORDER_SCRIPT") + ";";
    const std::size_t at = script.find(";" + key + "=");
    if (at == std::string::npos) return {};
    const std::size_t from = at + key.size() + 2;
    return script.substr(from, script.find(';', from) - from);
}

int script_count(const std::string& key) {
    const std::string value = script_entry(key);
    return value.empty() ? 0 : std::atoi(value.c_str());
}

#ifdef SHEET_RECORDER_LOCAL_SERVER
bool scripted(const std::string& key, const std::string& call) { return script_entry(key) == call; }
#endif

HRESULT scripted_failure(const std::string& call, const char* key = "fail") {
    const std::string value = script_entry(key);
    const std::size_t colon = value.find(':');
    if (colon == std::string::npos || value.substr(0, colon) != call) return S_OK;
    return static_cast<HRESULT>(std::strtoul(value.c_str() + colon + 1, nullptr, 16));
}

void object_made() {
    InterlockedIncrement(&g_live);
#ifdef SHEET_RECORDER_LOCAL_SERVER
    CoAddRefServerProcess();
#endif
}

void object_gone(Kind kind) {
    const LONG live = InterlockedDecrement(&g_live);
    log_line(std::string("gone\t") + kind_name(kind) + "\tlive=" + std::to_string(live));
#ifdef SHEET_RECORDER_LOCAL_SERVER
    // The last reference of the last client: the server's work is done.
    if (CoReleaseServerProcess() == 0) PostQuitMessage(0);
#endif
}

class Recorded final : public IDispatch {
public:
    explicit Recorded(Kind kind) : kind_(kind) { object_made(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        const bool own = (kind_ == Kind::Application && IsEqualIID(iid, kApplicationInterface)) ||
                         (kind_ == Kind::Workbooks && IsEqualIID(iid, kWorkbooksInterface));
        if (own || IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) {
            const Kind kind = kind_;
            delete this;
            object_gone(kind);
        }
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        HRESULT status = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = id_of(names[i]);
            if (ids[i] == DISPID_UNKNOWN) status = DISP_E_UNKNOWNNAME;
            log_line(std::string("names\t") + kind_name(kind_) + "\t" + utf8(names[i], -1) + "\t" +
                     std::to_string(ids[i]) + "\tlcid=" + std::to_string(lcid));
        }
        return status;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT*) override {
        std::string line = std::string("invoke\t") + kind_name(kind_) + "\t" + std::to_string(id) +
                           "\tflags=" + std::to_string(flags) + "\tlcid=" + std::to_string(lcid) + "\tnamed=";
        for (UINT i = 0; i < params->cNamedArgs; ++i) line += (i ? "," : "") + std::to_string(params->rgdispidNamedArgs[i]);
        line += "\targs=";
        for (UINT i = params->cArgs; i-- > 0;) line += variant_text(params->rgvarg[i]) + (i ? " " : "");
        const HRESULT status = answer(id, flags, params, result, exception);
        log_line(line + "\t-> " + hex(static_cast<unsigned long>(status), 8));
        return status;
    }

private:
    ~Recorded() = default;

    DISPID id_of(const wchar_t* name) const {
        if (kind_ == Kind::Application) {
            if (_wcsicmp(name, L"Workbooks") == 0) return 1;
            if (_wcsicmp(name, L"Visible") == 0) return 2;
            if (_wcsicmp(name, L"Cells") == 0) return 3;
        }
        if (kind_ == Kind::Workbooks && _wcsicmp(name, L"Add") == 0) return 1;
        return DISPID_UNKNOWN;
    }

    // Which call of the script this one is, "" for none.
    std::string call_name(DISPID id) const {
        if (kind_ == Kind::Application) {
            if (id == 1) return "Workbooks";
            if (id == 2) return "Visible";
            if (id == 3) return "Cells";
        }
        if (kind_ == Kind::Workbooks && id == 1) return "Add";
        if (kind_ == Kind::Range && id == DISPID_VALUE) return "put" + std::to_string(g_puts + 1);
        return {};
    }

    HRESULT answer(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception) {
        if (g_busy_left > 0) {
            --g_busy_left;
            return RPC_E_SERVERCALL_RETRYLATER;
        }
        const std::string call = call_name(id);
        if (call.empty()) return DISP_E_MEMBERNOTFOUND;
#ifdef SHEET_RECORDER_LOCAL_SERVER
        // Only a server of its own may vanish or stall; in process it would
        // take its client with it.
        if (scripted("exit", call)) ExitProcess(3);
        if (scripted("hang", call)) Sleep(INFINITE);
#endif
        if (const HRESULT failure = scripted_failure(call); failure != S_OK) return failure;
        if (const HRESULT raised = scripted_failure(call, "raise"); raised != S_OK && exception != nullptr) {
            *exception = EXCEPINFO{};
            exception->scode = raised;
            exception->bstrSource = SysAllocString(L"sheet_recorder");
            exception->bstrDescription = SysAllocString(L"记录器拒绝了这次写入");
            return DISP_E_EXCEPTION;
        }

        const bool get = (flags & DISPATCH_PROPERTYGET) != 0 || (flags & DISPATCH_METHOD) != 0;
        const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
        const Kind made = call == "Workbooks" ? Kind::Workbooks
                        : call == "Add"       ? Kind::Workbook
                                              : Kind::Range;
        if (call == "Workbooks" || call == "Add" || call == "Cells") {
            if (!get || result == nullptr) return DISP_E_MEMBERNOTFOUND;
            VariantInit(result);
            result->vt = VT_DISPATCH;
            result->pdispVal = new Recorded(made);
            return S_OK;
        }
        const UINT wanted = call == "Visible" ? 1 : 3;
        if (!put || params->cArgs != wanted || params->cNamedArgs != 1) return DISP_E_BADPARAMCOUNT;
        if (kind_ == Kind::Range) ++g_puts;
        return S_OK;
    }

    const Kind kind_;
    LONG references_ = 1;
};

// One static factory for the process.
class Factory final : public veltrano::sheet::com::Unowned<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        // Each application counts its own writes and busy answers.
        g_puts = 0;
        g_busy_left = script_count("busy");
        auto* application = new Recorded(Kind::Application);
        const HRESULT status = application->QueryInterface(iid, object);
        log_line("create\t" + guid_text(iid) + "\tlive=" + std::to_string(g_live));
        application->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&g_locks);
        } else {
            InterlockedDecrement(&g_locks);
        }
        return S_OK;
    }
};

Factory g_factory;

}  // namespace

#ifdef SHEET_RECORDER_LOCAL_SERVER

namespace {

int g_reject_left = 0;

// Refuses the first incoming calls as busy, as the real application does
// while a user edits a cell.
class BusyFilter final : public veltrano::sheet::com::Unowned<IMessageFilter> {
public:
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        if (g_reject_left > 0) {
            --g_reject_left;
            log_line("reject");
            return SERVERCALL_RETRYLATER;
        }
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

BusyFilter g_filter;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    log_line("started\tpid=" + std::to_string(GetCurrentProcessId()));
    g_reject_left = script_count("reject");
    if (g_reject_left > 0) CoRegisterMessageFilter(&g_filter, nullptr);
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(kApplicationClass, &g_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie))) {
        return 2;
    }
    // A client that never comes, or never lets go, does not keep us forever.
    SetTimer(nullptr, 0, 120000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) break;
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(cookie);
    log_line("exit\tlive=" + std::to_string(g_live));
    CoUninitialize();
    return 0;
}

#else

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!IsEqualCLSID(clsid, kApplicationClass)) {
        *object = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_live == 0 && g_locks == 0 ? S_OK : S_FALSE; }

#endif
