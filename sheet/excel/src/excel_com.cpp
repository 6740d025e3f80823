// Excel through COM Automation: the spreadsheet application of the Windows
// desktop.
//
// Each export creates a new Excel application, adds a workbook, shows Excel
// and writes the table one cell at a time through late binding, all on the
// thread of the press. We never close, quit or save: once we let go, the
// workbook is the user's and Excel keeps running.
//
// A plain automation client would hang for good on an Excel that is stuck,
// and fail at once on one that is merely busy (a user editing a cell). So the
// export's apartment has a message filter of its own: calls refused as busy
// are tried again for a while, and a call left unanswered too long is
// cancelled, the same timeout error the Linux desktop reports.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "com_ref.h"
#include "veltrano/core/run_error.h"
#include "veltrano/sheet/excel.h"
#include "veltrano/core/utf16.h"

namespace veltrano::sheet {

namespace {

using core::RunError;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Excel.Application, asked for its _Application interface. That interface is
// dual, so the pointer we get is an IDispatch.
constexpr CLSID kExcelClass = {0x00024500, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID kApplicationInterface = {0x000208D5, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// English (United States): names and values mean the same on every Windows.
constexpr LCID kLocale = 1033;
// Once a call is overdue, how often the filter is asked to cancel it.
constexpr UINT kPatienceTick = 200;

std::string hex_status(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

// Excel refused the call for now: it is in a modal state or a cell is being
// edited. Said directly, or by COM when the filter stopped retrying.
bool is_busy(HRESULT status) { return status == RPC_E_SERVERCALL_RETRYLATER || status == RPC_E_CALL_REJECTED; }

// Excel's process went away or dropped our connection.
bool is_gone(HRESULT status) {
    return status == RPC_E_DISCONNECTED || status == RPC_E_SERVER_DIED || status == RPC_E_SERVER_DIED_DNE ||
           status == CO_E_OBJNOTCONNECTED || status == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           status == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}

std::string creation_problem(HRESULT status) {
    switch (status) {
        case REGDB_E_CLASSNOTREG: return "Excel 没有安装或没有注册";
        case CO_E_SERVER_EXEC_FAILURE: return "Excel 无法启动";
        case E_NOINTERFACE: return "这个 Excel 不提供自动化接口";
        default: return "无法创建 Excel 应用程序";
    }
}

// Paints the window while we wait before trying a busy Excel again. Nothing
// else is dispatched: a click now must not start a second press.
void wait_painting(std::chrono::milliseconds span) {
    const auto until = Clock::now() + span;
    for (auto left = span; left > 0ms;
         left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now())) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()) + 1, QS_PAINT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT)) DispatchMessageW(&message);
    }
}

// The export's message filter. COM asks it, on our thread, what to do while
// a call into Excel is out:
//  - RetryRejectedCall when Excel refused the call as busy: try again in a
//    tenth of a second, until the busy limit of this call has passed;
//  - MessagePending when a message arrives meanwhile (AnswerWatch makes
//    sure one does once the call is overdue): go on waiting, or cancel.
// Incoming calls, which an automation client does not expect, are handled.
// It lives in the backend, which revokes it before it goes, so its reference
// count is not what keeps it alive.
class CallFilter final : public com::Unowned<IMessageFilter> {
public:
    void start_call(Clock::time_point busy_until, Clock::time_point answer_until) noexcept {
        busy_until_ = busy_until;
        answer_until_ = answer_until;
        cancelled_ = false;
    }
    // Between calls nothing is retried and nothing cancelled.
    void end_call() noexcept {
        busy_until_ = Clock::time_point::min();
        answer_until_ = Clock::time_point::max();
    }
    bool cancelled() const noexcept { return cancelled_; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD reject_type) override {
        if (reject_type == SERVERCALL_RETRYLATER && Clock::now() < busy_until_) return 100;
        return static_cast<DWORD>(-1);  // give up: the call fails with RPC_E_CALL_REJECTED
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        // Our own wake-ups have done their work once we are here; left in
        // the queue they would keep the wait from ever sleeping.
        MSG wake;
        while (PeekMessageW(&wake, reinterpret_cast<HWND>(-1), WM_NULL, WM_NULL, PM_REMOVE | PM_NOYIELD)) {
        }
        if (Clock::now() < answer_until_) return PENDINGMSG_WAITDEFPROCESS;
        cancelled_ = true;
        return PENDINGMSG_CANCELCALL;
    }

private:
    Clock::time_point busy_until_ = Clock::time_point::min();
    Clock::time_point answer_until_ = Clock::time_point::max();
    bool cancelled_ = false;
};

// Wakes the export's thread while a call of it is overdue, every tick until
// the call returns: COM's wait in a single-threaded apartment goes back to
// the filter only when a message is posted to the thread (a timer's message
// does not count). What is posted is WM_NULL, which means nothing to anyone.
// One pool timer for the whole export; a call only sets and clears its
// deadline, which costs next to nothing.
class AnswerWatch {
public:
    AnswerWatch() noexcept : thread_(GetCurrentThreadId()) {
        CreateTimerQueueTimer(&timer_, nullptr, &AnswerWatch::tick, this, kPatienceTick, kPatienceTick,
                              WT_EXECUTEDEFAULT);
    }
    AnswerWatch(const AnswerWatch&) = delete;
    AnswerWatch& operator=(const AnswerWatch&) = delete;
    ~AnswerWatch() {
        // Waits for a tick under way: none comes after.
        if (timer_ != nullptr) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
    }
    void start(std::chrono::milliseconds patience) noexcept {
        overdue_at_ = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
    }
    void stop() noexcept { overdue_at_ = 0; }

private:
    static void CALLBACK tick(void* watch, BOOLEAN) {
        auto* self = static_cast<AnswerWatch*>(watch);
        const ULONGLONG at = self->overdue_at_;
        if (at != 0 && GetTickCount64() >= at) PostThreadMessageW(self->thread_, WM_NULL, 0, 0);
    }

    const DWORD thread_;
    std::atomic<ULONGLONG> overdue_at_{0};
    HANDLE timer_ = nullptr;
};

// One call into Excel, from before it goes out until it has returned: the
// filter knows how long to retry and when to cancel, the watch when to wake
// the wait.
class OutgoingCall {
public:
    OutgoingCall(CallFilter& filter, AnswerWatch& watch, Clock::time_point busy_until,
                 std::chrono::milliseconds patience) noexcept
        : filter_(filter), watch_(watch) {
        filter_.start_call(busy_until, Clock::now() + patience);
        watch_.start(patience);
    }
    OutgoingCall(const OutgoingCall&) = delete;
    OutgoingCall& operator=(const OutgoingCall&) = delete;
    ~OutgoingCall() {
        watch_.stop();
        filter_.end_call();
    }

private:
    CallFilter& filter_;
    AnswerWatch& watch_;
};

class ExcelApplication final : public Spreadsheet {
public:
    explicit ExcelApplication(ExcelOptions options) : options_(options) {}
    ~ExcelApplication() override {
        // Our references go first, while the filter and the apartment stand.
        application_.reset();
        if (filter_registered_) {
            IMessageFilter* ours = nullptr;
            CoRegisterMessageFilter(previous_filter_, &ours);
            if (previous_filter_ != nullptr) previous_filter_->Release();
        }
    }

    void create_application() override;
    void add_workbook() override;
    void make_visible() override;
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override;

private:
    // The dispatch id of `name` on `object`, resolved in our locale.
    DISPID member(IDispatch* object, const wchar_t* name, const std::string& what);
    // One call; `args` in the order of the call, a property put's value last.
    // A failure, after retries while Excel is busy, throws the run-time error
    // carrying its status.
    void invoke(IDispatch* object, DISPID id, WORD kind, com::Variant* args, UINT count, com::Variant* result,
                const std::string& what);
    // The object a property get returned.
    com::Ref<IDispatch> get_object(IDispatch* object, DISPID id, const std::string& what);
    [[noreturn]] void fail(HRESULT status, const std::string& what, const std::wstring& description);
    IDispatch* application(const std::string& what);

    ExcelOptions options_;
    // Destroyed in reverse: the application is released before the filter is
    // revoked and before COM is left.
    com::Apartment apartment_;
    CallFilter filter_;
    IMessageFilter* previous_filter_ = nullptr;
    bool filter_registered_ = false;
    std::optional<AnswerWatch> watch_;
    com::Ref<IDispatch> application_;
    DISPID workbooks_ = DISPID_UNKNOWN;
    DISPID visible_ = DISPID_UNKNOWN;
    DISPID cells_ = DISPID_UNKNOWN;
};

void ExcelApplication::create_application() {
    const HRESULT entered = apartment_.status();
    if (FAILED(entered) && entered != RPC_E_CHANGED_MODE) {
        throw RunError(kCannotCreateObject, "无法使用 COM（" + hex_status(entered) + "）");
    }
    // Only a single-threaded apartment has a message filter; elsewhere calls
    // simply go unfiltered.
    filter_registered_ = SUCCEEDED(CoRegisterMessageFilter(&filter_, &previous_filter_));
    watch_.emplace();
    // Starting Excel counts as one call: it may take its time, not for ever.
    HRESULT status;
    {
        const OutgoingCall call(filter_, *watch_, Clock::now(), options_.call_timeout);
        status = CoCreateInstance(kExcelClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  kApplicationInterface, application_.put_void());
    }
    if (status == RPC_E_CALL_CANCELED && filter_.cancelled()) {
        throw RunError(kCannotCreateObject,
                       "启动 Excel：Excel 在 " + seconds_text(options_.call_timeout) + " 秒内没有启动");
    }
    if (FAILED(status) || !application_) {
        application_.reset();
        throw RunError(kCannotCreateObject,
                       "启动 Excel：" + creation_problem(status) + "（" + hex_status(status) + "）");
    }
}

IDispatch* ExcelApplication::application(const std::string& what) {
    // An earlier step failed and let go; nothing more goes to Excel.
    if (!application_) fail(RPC_E_DISCONNECTED, what, {});
    return application_.get();
}

DISPID ExcelApplication::member(IDispatch* object, const wchar_t* name, const std::string& what) {
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    const HRESULT status = object->GetIDsOfNames(IID_NULL, &names, 1, kLocale, &id);
    if (FAILED(status)) fail(status, what, {});
    return id;
}

void ExcelApplication::invoke(IDispatch* object, DISPID id, WORD kind, com::Variant* args, UINT count,
                              com::Variant* result, const std::string& what) {
    // The callee reads the arguments last first; these are shallow copies,
    // the variants in `args` keep owning what they hold.
    VARIANTARG reversed[3];
    for (UINT i = 0; i < count; ++i) reversed[i] = *args[count - 1 - i].get();
    DISPID put_name = DISPID_PROPERTYPUT;
    const bool put = kind == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{count > 0 ? reversed : nullptr, put ? &put_name : nullptr, count, put ? 1u : 0u};

    const auto started = Clock::now();
    auto pause = 20ms;
    for (;;) {
        if (result != nullptr) result->clear();
        com::ExceptionInfo exception;
        UINT bad_argument = 0;
        HRESULT status;
        {
            const OutgoingCall call(filter_, *watch_, started + options_.busy_limit, options_.call_timeout);
            status = object->Invoke(id, IID_NULL, kLocale, kind, &params, result != nullptr ? result->get() : nullptr,
                                    exception.get(), &bad_argument);
        }
        if (SUCCEEDED(status)) return;
        if (filter_.cancelled()) {
            application_.reset();
            throw automation_error(FailureStatus::TimedOut, what + "：Excel 在 " + seconds_text(options_.call_timeout) +
                                                                " 秒内没有响应，已取消这次调用");
        }
        std::wstring description;
        if (status == DISP_E_EXCEPTION) {
            description = exception.description();
            if (const HRESULT reported = exception.status(); reported != 0) status = reported;
        }
        if (is_busy(status) && Clock::now() - started < options_.busy_limit) {
            wait_painting(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(500));
            continue;
        }
        fail(status, what, description);
    }
}

com::Ref<IDispatch> ExcelApplication::get_object(IDispatch* object, DISPID id, const std::string& what) {
    com::Variant value;
    invoke(object, id, DISPATCH_PROPERTYGET, nullptr, 0, &value, what);
    com::Ref<IDispatch> got = value.dispatch();
    if (!got) fail(DISP_E_TYPEMISMATCH, what, L"Excel 没有返回对象");
    return got;
}

void ExcelApplication::fail(HRESULT status, const std::string& what, const std::wstring& description) {
    // Whatever Excel received stays there; we only let go.
    application_.reset();
    std::string detail = what + "：";
    if (is_gone(status)) {
        detail += "Excel 已退出或断开了连接";
    } else if (is_busy(status)) {
        detail += "Excel 一直忙碌，" + seconds_text(options_.busy_limit) + " 秒后放弃";
    } else {
        detail += "Excel 报告失败";
    }
    if (!description.empty()) detail += "（" + core::to_utf8(description) + "）";
    throw RunError::automation(static_cast<std::int32_t>(status), detail);
}

void ExcelApplication::add_workbook() {
    const std::string what = "新建工作簿";
    IDispatch* app = application(what);
    if (workbooks_ == DISPID_UNKNOWN) workbooks_ = member(app, L"Workbooks", what + "（Workbooks）");
    const com::Ref<IDispatch> workbooks = get_object(app, workbooks_, what + "（Workbooks）");
    const DISPID add = member(workbooks.get(), L"Add", what + "（Workbooks.Add）");
    com::Variant no_template;
    no_template.set_missing();
    com::Variant workbook;
    invoke(workbooks.get(), add, DISPATCH_METHOD, &no_template, 1, &workbook, what + "（Workbooks.Add）");
    // The new workbook and the collection are released here, never used.
}

void ExcelApplication::make_visible() {
    const std::string what = "显示 Excel（Visible）";
    IDispatch* app = application(what);
    if (visible_ == DISPID_UNKNOWN) visible_ = member(app, L"Visible", what);
    com::Variant yes;
    yes.set_bool(true);
    invoke(app, visible_, DISPATCH_PROPERTYPUT, &yes, 1, nullptr, what);
}

void ExcelApplication::put_cell(std::int16_t row, std::int16_t column, const CellValue& value) {
    const std::string what = "写入单元格 " + cell_name(row, column);
    IDispatch* app = application(what);
    if (cells_ == DISPID_UNKNOWN) cells_ = member(app, L"Cells", what + "（Cells）");
    // A range over every cell of the active sheet, for this one write.
    const com::Ref<IDispatch> range = get_object(app, cells_, what + "（Cells）");
    com::Variant args[3];
    args[0].set_i2(row);
    args[1].set_i2(column);
    std::visit(
        [&](const auto& v) {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::string>) {
                if (!args[2].set_text(core::to_utf16(v))) fail(E_OUTOFMEMORY, what, {});
            } else if constexpr (std::is_same_v<V, std::int16_t>) {
                args[2].set_i2(v);
            } else {
                args[2].set_r8(v);
            }
        },
        value);
    // The range's default member, Item(row, column), takes the value.
    invoke(range.get(), DISPID_VALUE, DISPATCH_PROPERTYPUT, args, 3, nullptr, what);
}

}  // namespace

std::unique_ptr<Spreadsheet> excel_spreadsheet(ExcelOptions options) {
    return std::make_unique<ExcelApplication>(options);
}

}  // namespace veltrano::sheet
