// LibreOffice Calc through UNO: the spreadsheet application of the Linux desktop.
//
// Each export starts soffice itself, on a private pipe, and talks to it over
// a URP bridge of its own, on a socket we connected and checked ourselves.
// One export at a time per user; when it is done, the office stops listening
// on our pipe. The office keeps the document, unsaved, when we let go: the
// user owns it from then on. We never close the document and never end the
// user's office; we end only what we started that never served us (a start
// that hangs, an office that came up without a display).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/WindowDescriptor.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/process.h>
#include <rtl/ustring.hxx>

#include "backoff.h"
#include "call_watchdog.h"
#include "display_probe.h"
#include "export_lock.h"
#include "office_pipe.h"
#include "office_process.h"
#include "socket_connection.h"
#include "unique_fd.h"
#include "veltrano/core/run_error.h"
#include "veltrano/sheet/libreoffice.h"

namespace veltrano::sheet {

namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using core::RunError;
using Clock = std::chrono::steady_clock;
using rtl::OString;
using rtl::OUString;

// Failure statuses, the same the Windows automation path reports for the
// same events, so a user sees one number per kind of trouble.
constexpr auto kStatusDisconnected = static_cast<std::int32_t>(sheet::FailureStatus::Disconnected);
constexpr auto kStatusTimeout = static_cast<std::int32_t>(sheet::FailureStatus::TimedOut);
constexpr auto kStatusFailed = static_cast<std::int32_t>(sheet::FailureStatus::Failed);

// Debian's office, when PATH has no soffice (a desktop session's PATH may be short).
constexpr const char* kInstalledOffice = VELTRANO_OFFICE_PROGRAM_DIR "/soffice";
// The office process itself, as its launcher (soffice, oosplash) runs it.
constexpr const char* kOfficeProcess = "soffice.bin";

// After the export: how long the office may take to close our pipe (a
// hand-over of --unaccept takes a tenth of a second).
constexpr auto kCleanUpDeadline = std::chrono::seconds(5);
// Between SIGTERM and SIGKILL for processes we started and end.
constexpr auto kEndGrace = std::chrono::seconds(2);
// An office that took our connection just before the start deadline still
// gets this long to answer it.
constexpr auto kLastAnswer = std::chrono::seconds(1);
// An office that dropped our connection part-way: how long a dying one may
// take to stop listening (a killed office's exit takes a moment on a busy
// machine) before its socket is judged. One still listening then is alive
// and keeps its socket.
constexpr auto kLostOfficeGrace = std::chrono::seconds(2);

OUString to_ou(const std::string& text) {
    return OUString::fromUtf8(OString(text.data(), static_cast<sal_Int32>(text.size())));
}

std::string from_ou(const OUString& text) {
    const OString bytes = OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

std::string file_url(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

// The in-process UNO runtime (types, bridge factory). Made once
// per process and deliberately never released: it belongs to no office, and
// the URE does not support tearing it down while its libraries stay loaded.
Reference<css::uno::XComponentContext> local_context() {
    static const auto* context = [] {
        // Without URE_BOOTSTRAP the bridge crashes on its first remote call.
        // Set as a bootstrap variable, not in the environment, so the office
        // we start finds its own.
        rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VELTRANO_OFFICE_PROGRAM_DIR "/fundamentalrc");
        return new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    }();
    return *context;
}

// Why a launcher is gone, from its wait status.
std::string exit_text(int status) {
    if (WIFSIGNALED(status)) return "被信号 " + std::to_string(WTERMSIG(status)) + " 结束";
    return "退出状态 " + std::to_string(WEXITSTATUS(status));
}

bool handed_over(const std::optional<int>& status) { return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0; }

// Whether the office can show a window: a top window it makes has a system
// window on a display. An office without a display (started headless, or
// unable to open the one it was given, which it does not report) answers
// with neither a display nor a window. Tried both ways on this office
// release: non-zero under a running X server, zero with DISPLAY naming none
// and with --headless.
bool office_shows_windows(const Reference<css::uno::XComponentContext>& office) {
    css::awt::WindowDescriptor invisible;
    invisible.Type = css::awt::WindowClass_TOP;
    invisible.WindowServiceName = "window";
    invisible.ParentIndex = -1;
    invisible.Bounds = css::awt::Rectangle(0, 0, 1, 1);
    invisible.WindowAttributes = 0;  // never shown
    // Release rule: the probe window is disposed before we return, even when
    // a call on it fails (the office would keep it otherwise).
    struct ProbeWindow {
        Reference<css::awt::XWindowPeer> peer;
        ~ProbeWindow() {
            try {
                if (peer.is()) Reference<css::lang::XComponent>(peer, UNO_QUERY_THROW)->dispose();
            } catch (const css::uno::Exception&) {
                // The office has gone; so has the window.
            }
        }
    } window{css::awt::Toolkit::create(office)->createWindow(invisible)};

    const Reference<css::awt::XSystemDependentWindowPeer> system(window.peer, css::uno::UNO_QUERY);
    if (!system.is()) return false;
    css::uno::Sequence<sal_Int8> process(16);
    rtl_getGlobalProcessId(reinterpret_cast<sal_uInt8*>(process.getArray()));
    css::awt::SystemDependentXWindow handle;
    if (!(system->getWindowHandle(process, css::lang::SystemDependent::SYSTEM_XWINDOW) >>= handle)) return false;
    return handle.DisplayPointer != 0 || handle.WindowHandle != 0;
}

// Our end of the pipe. Release rule: closed on destruction (closing twice
// is harmless: the bridge's dispose closes it too).
class ConnectionHolder {
public:
    explicit ConnectionHolder(Reference<css::connection::XConnection> connection)
        : connection_(std::move(connection)) {}
    ~ConnectionHolder() {
        try {
            connection_->close();
        } catch (const css::uno::Exception&) {
        }
    }
    ConnectionHolder(const ConnectionHolder&) = delete;
    ConnectionHolder& operator=(const ConnectionHolder&) = delete;
    const Reference<css::connection::XConnection>& get() const { return connection_; }

private:
    Reference<css::connection::XConnection> connection_;
};

// The URP bridge over that connection. Release rule: disposed on
// destruction, which ends its threads and closes the connection; the office
// then drops whatever we still held through it.
class BridgeHolder {
public:
    BridgeHolder() = default;
    ~BridgeHolder() {
        if (!bridge_.is()) return;
        try {
            Reference<css::lang::XComponent>(bridge_, UNO_QUERY_THROW)->dispose();
        } catch (const css::uno::Exception&) {
            // Already gone with the office: nothing left to release.
        }
    }
    BridgeHolder(const BridgeHolder&) = delete;
    BridgeHolder& operator=(const BridgeHolder&) = delete;
    void set(Reference<css::bridge::XBridge> bridge) { bridge_ = std::move(bridge); }
    const Reference<css::bridge::XBridge>& get() const { return bridge_; }

private:
    Reference<css::bridge::XBridge> bridge_;
};

// One connection to the office and everything we obtained through it.
// Release rule: members are destroyed in reverse order, so the office-side
// references go first, while the bridge can still carry their release to the
// office; then the bridge is disposed; then our connection is closed. The
// references that serve only one call (the cell, the frame, the window) are
// locals of that step.
struct OfficeSession {
    explicit OfficeSession(Reference<css::connection::XConnection> c) : connection(std::move(c)) {}
    ConnectionHolder connection;
    BridgeHolder bridge;
    Reference<css::frame::XDesktop2> desktop;
    Reference<css::frame::XModel> document;
    Reference<css::sheet::XSpreadsheet> sheet;
};

class LibreOfficeCalc final : public Spreadsheet {
public:
    explicit LibreOfficeCalc(OfficeOptions options) : options_(std::move(options)) {}
    ~LibreOfficeCalc() override { let_go(); }

    void create_application() override;
    void add_workbook() override;
    void make_visible() override;
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override;

private:
    // Runs one step against the office with the watchdog armed for
    // `timeout`. Any failure lets go of the office and leaves as a RunError:
    // 429 while the application is being created (ending what we started
    // that never served us), an automation error after that.
    template <class Step>
    void step(const std::string& what, bool creating, std::chrono::milliseconds timeout, Step&& body);
    void take_lock(Clock::time_point deadline);
    std::vector<std::string> office_arguments() const;
    UniqueFd connect_pipe(Clock::time_point deadline);
    // Gives up on starting: ends our launcher's group (what is left there
    // never accepted us; an office it handed over to is not in it), lets go
    // and throws error 429 with `detail`.
    [[noreturn]] void give_up(const std::string& detail);
    // Asks the office to stop accepting on our pipe, started the same
    // detached way, and removes our socket once nobody listens on it.
    void withdraw_pipe() noexcept;
    void let_go() noexcept;

    OfficeOptions options_;
    std::string program_;
    std::string pipe_;       // the pipe's name, on the office's command line
    std::string pipe_path_;  // its socket
    // Release rule: let_go() drops the session first (see OfficeSession),
    // then the watchdog and the launcher, withdraws our pipe, and releases
    // the lock last, after every clean-up of this export.
    std::optional<ExportLock> lock_;
    std::optional<OfficeProcess> launcher_;
    std::optional<CallWatchdog> watchdog_;
    std::optional<OfficeSession> session_;
    // The office answered our last call, so it can take an --unaccept.
    bool office_answers_ = false;
    // The office dropped our connection part-way: it may be on its way out.
    bool office_lost_ = false;
    int cells_written_ = 0;
};

template <class Step>
void LibreOfficeCalc::step(const std::string& what, bool creating, std::chrono::milliseconds timeout, Step&& body) {
    if (!session_) {
        // An earlier step failed and let go; nothing more goes to the office.
        throw RunError::automation(kStatusDisconnected, what + "：与 LibreOffice 的连接已经断开");
    }
    std::int32_t status = 0;
    std::string message;
    bool timed_out = false;
    {
        // The watchdog may close the connection from its own thread; the
        // copy keeps the connection object alive for it until disarm().
        Reference<css::connection::XConnection> connection = session_->connection.get();
        watchdog_->arm(timeout, [connection] { connection->close(); });
        struct Disarm {
            CallWatchdog& watchdog;
            bool& fired;
            ~Disarm() { fired = watchdog.disarm(); }
        } disarm{*watchdog_, timed_out};
        try {
            body();
        } catch (const css::lang::DisposedException& e) {
            status = kStatusDisconnected;
            message = from_ou(e.Message);
        } catch (const css::uno::Exception& e) {
            status = kStatusFailed;
            message = from_ou(e.Message);
        }
    }
    if (status == 0 && !timed_out) {
        office_answers_ = true;
        return;
    }

    office_answers_ = !timed_out && status != kStatusDisconnected;
    office_lost_ = !timed_out && status == kStatusDisconnected;
    if (creating && launcher_) {
        // A start of ours that hangs before it has served us (the office
        // takes connections only once it has started) is ended; an office
        // our launcher handed over to is not in its group.
        launcher_->end_group(kEndGrace);
        office_answers_ = false;
    }
    let_go();
    std::string detail = what + "：";
    if (timed_out) {
        detail += "LibreOffice 在 " + seconds_text(creating ? options_.start_deadline : timeout) + " 秒内没有响应";
        status = kStatusTimeout;
    } else if (status == kStatusDisconnected) {
        detail += "LibreOffice 已退出或断开了连接";
    } else {
        detail += "LibreOffice 报告失败";
    }
    if (!message.empty()) detail += "（" + message + "）";
    if (creating) throw RunError(kCannotCreateObject, detail);
    throw RunError::automation(status, detail);
}

void LibreOfficeCalc::take_lock(Clock::time_point deadline) {
    try {
        lock_ = ExportLock::acquire(export_lock_directory(), deadline);
    } catch (const std::system_error& e) {
        throw RunError(kCannotCreateObject, std::string("无法建立导出锁（") + e.what() + "）");
    }
    if (!lock_) {
        throw RunError(kCannotCreateObject,
                       "另一个导出仍在进行，" + seconds_text(options_.start_deadline) + " 秒内没有结束");
    }
}

std::vector<std::string> LibreOfficeCalc::office_arguments() const {
    std::vector<std::string> arguments = {"--nologo", "--nodefault", "--norestore", "--nolockcheck"};
    if (options_.headless) {
        arguments.emplace_back("--headless");
        arguments.emplace_back("--invisible");
    }
    if (!options_.profile_dir.empty()) {
        arguments.push_back("-env:UserInstallation=" + file_url(options_.profile_dir));
    }
    return arguments;
}

void LibreOfficeCalc::give_up(const std::string& detail) {
    if (launcher_) launcher_->end_group(kEndGrace);
    // Nothing of ours is left there to withdraw.
    office_answers_ = false;
    let_go();
    throw RunError(kCannotCreateObject, detail);
}

UniqueFd LibreOfficeCalc::connect_pipe(Clock::time_point deadline) {
    const std::string within = seconds_text(options_.start_deadline) + " 秒内";
    Backoff backoff;
    for (;;) {
        PipeAttempt attempt = connect_office_pipe(pipe_path_, {getuid(), getuid()});
        switch (attempt.result) {
        case PipeAttempt::Result::Connected: return std::move(attempt.fd);
        case PipeAttempt::Result::Absent:
        case PipeAttempt::Result::NotListening:
        case PipeAttempt::Result::QueueFull: break;  // not yet
        case PipeAttempt::Result::ForeignOwner:
            give_up("LibreOffice 的管道 " + pipe_path_ + " 已被另一个用户（uid " +
                    std::to_string(attempt.other_uid) + "）占用，没有连接");
        case PipeAttempt::Result::ForeignListener:
            give_up("LibreOffice 的管道 " + pipe_path_ + " 由另一个用户（uid " + std::to_string(attempt.other_uid) +
                    "）的进程监听，已断开，没有发送任何数据");
        case PipeAttempt::Result::NotASocket:
            give_up("LibreOffice 的管道路径 " + pipe_path_ + " 被其他文件占用");
        case PipeAttempt::Result::Failed:
            give_up("无法连接 LibreOffice 的管道（" + std::string(std::strerror(attempt.error)) + "）");
        }
        const std::optional<int> status = launcher_->exit_status();
        if (status && !handed_over(status)) give_up("LibreOffice 启动程序已退出（" + exit_text(*status) + "）");
        // Exit status 0 is a hand-over, or a start that gave up quietly (no
        // X display it can open, only a Wayland one): with no office of ours
        // running, nobody took the hand-over.
        if (handed_over(status) && !process_running(kOfficeProcess, getuid())) {
            give_up("LibreOffice 启动程序已退出（退出状态 0），但没有正在运行的 LibreOffice 接手");
        }
        if (!backoff.wait(deadline)) {
            std::string detail = handed_over(status)
                                     ? "LibreOffice 已把请求交给正在运行的 LibreOffice，但它在 " + within + "没有打开管道"
                                     : "LibreOffice 在 " + within + "没有响应";
            if (attempt.result == PipeAttempt::Result::QueueFull) detail += "（管道的连接队列已满）";
            give_up(detail);
        }
    }
}

void LibreOfficeCalc::create_application() {
    // Everything before the first call into the office shares one deadline:
    // waiting for another export, the display, the office's start.
    const auto deadline = Clock::now() + options_.start_deadline;
    take_lock(deadline);

    // An office started without a display runs windowless without a word:
    // the table would go nowhere the user can see, and the invisible office
    // would then take over every office the user starts on this profile.
    if (!options_.headless) {
        if (const auto problem = display_problem(DisplaySettings::from_environment(), deadline)) {
            let_go();
            throw RunError(kCannotCreateObject, *problem + "，无法显示 LibreOffice Calc");
        }
    }
    const std::optional<std::string> program = find_program(options_.program, kInstalledOffice);
    if (!program) {
        let_go();
        throw RunError(kCannotCreateObject, "找不到 LibreOffice（" + options_.program + "）");
    }
    program_ = *program;
    try {
        pipe_ = random_pipe_name();
    } catch (const std::system_error& e) {
        let_go();
        throw RunError(kCannotCreateObject, std::string("没有随机数可用于管道名（") + e.what() + "）");
    }
    pipe_path_ = office_pipe_path(pipe_);

    std::vector<std::string> arguments = office_arguments();
    // A named pipe only: no TCP port. We connect only to a socket of ours.
    arguments.push_back("--accept=pipe,name=" + pipe_ + ";urp;");
    try {
        // A URE_BOOTSTRAP of ours names the runtime for UNO clients; the
        // office must find its own.
        launcher_.emplace(OfficeProcess::start(program_, arguments, {"URE_BOOTSTRAP"}));
    } catch (const std::system_error& e) {
        let_go();
        throw RunError(kCannotCreateObject, "无法启动 " + program_ + "（" + e.what() + "）");
    }
    if (options_.on_started) options_.on_started({launcher_->pid(), launcher_->group(), pipe_});

    UniqueFd socket = connect_pipe(deadline);
    session_.emplace(new SocketConnection(std::move(socket), "pipe,name=" + pipe_));
    watchdog_.emplace();
    bool shows_windows = true;
    // The office takes our connection once it has started: that wait is
    // still part of the start and shares its deadline.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    step("连接 LibreOffice", true, std::max<std::chrono::milliseconds>(left, kLastAnswer), [&] {
        session_->bridge.set(css::bridge::BridgeFactory::create(local_context())
                                 ->createBridge(OUString(), "urp", session_->connection.get(), nullptr));
        const Reference<css::uno::XComponentContext> remote(
            session_->bridge.get()->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
        session_->desktop = css::frame::Desktop::create(remote);
        if (!options_.headless) shows_windows = office_shows_windows(remote);
    });
    if (!shows_windows) {
        // Our own launcher still running means the office is the one it just
        // started, for us: end it, or it would take over every later start.
        // A launcher that handed over has exited; that office is the user's.
        if (launcher_->running()) {
            give_up("LibreOffice 启动后没有图形显示，窗口无法显示（已结束这个 LibreOffice）");
        }
        let_go();
        throw RunError(kCannotCreateObject,
                       "正在运行的 LibreOffice 没有图形显示，窗口无法显示；请先结束它（soffice.bin 进程）再导出");
    }
    // From here on the office is the user's: we no longer end anything.
    launcher_->stop_watching();
}

void LibreOfficeCalc::add_workbook() {
    step("新建工作簿", false, options_.call_timeout, [&] {
        css::uno::Sequence<css::beans::PropertyValue> load(1);
        load.getArray()[0].Name = "Hidden";
        load.getArray()[0].Value <<= false;
        const Reference<css::sheet::XSpreadsheetDocument> document(
            session_->desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0, load), UNO_QUERY_THROW);
        // The active sheet of a new document is its first one.
        const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
        session_->sheet.set(sheets->getByIndex(0), UNO_QUERY_THROW);
        session_->document.set(document, UNO_QUERY_THROW);
    });
}

void LibreOfficeCalc::make_visible() {
    step("显示工作簿", false, options_.call_timeout, [&] {
        const Reference<css::frame::XController> controller(session_->document->getCurrentController(),
                                                           UNO_QUERY_THROW);
        const Reference<css::frame::XFrame> frame(controller->getFrame(), UNO_QUERY_THROW);
        const Reference<css::awt::XWindow> window(frame->getContainerWindow(), UNO_QUERY_THROW);
        window->setVisible(true);
        Reference<css::awt::XTopWindow>(window, UNO_QUERY_THROW)->toFront();
    });
}

void LibreOfficeCalc::put_cell(std::int16_t row, std::int16_t column, const CellValue& value) {
    step("写入单元格 " + cell_name(row, column), false, options_.call_timeout, [&] {
        // One round trip for the cell and one for its value, as each write is
        // its own call.
        const Reference<css::table::XCell> cell(session_->sheet->getCellByPosition(column - 1, row - 1),
                                                UNO_QUERY_THROW);
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::string>) {
                    // setString stores text as text; setFormula would turn "1" into a number.
                    Reference<css::text::XText>(cell, UNO_QUERY_THROW)->setString(to_ou(v));
                } else {
                    // Calc keeps every number as a double; a plate number
                    // arrives as exactly that integer.
                    cell->setValue(static_cast<double>(v));
                }
            },
            value);
    });
    ++cells_written_;
    if (options_.after_cell) options_.after_cell(cells_written_);
}

void LibreOfficeCalc::withdraw_pipe() noexcept {
    // Nobody listening: the office has gone meanwhile, and a launcher now
    // would start a new one just to take the request.
    if (!pipe_listening(pipe_path_)) return;
    const auto deadline = Clock::now() + kCleanUpDeadline;
    try {
        std::vector<std::string> arguments = office_arguments();
        arguments.push_back("--unaccept=pipe,name=" + pipe_ + ";urp;");
        OfficeProcess unaccept = OfficeProcess::start(program_, arguments, {"URE_BOOTSTRAP"});
        // It hands over and exits at once. Still there at the deadline, it
        // hangs in the hand-over or started an office of its own because
        // ours had gone meanwhile: nothing of that is wanted.
        if (!unaccept.wait_exit(deadline)) unaccept.end_group(kEndGrace);
    } catch (const std::system_error&) {
        // Not startable now: the office keeps listening until it exits.
    }
    Backoff backoff;
    while (pipe_listening(pipe_path_) && backoff.wait(deadline)) {
    }
}

void LibreOfficeCalc::let_go() noexcept {
    const bool connected = session_.has_value();
    session_.reset();
    watchdog_.reset();
    if (launcher_) {
        launcher_->stop_watching();
        launcher_.reset();
    }
    if (connected && office_answers_) withdraw_pipe();
    office_answers_ = false;
    // An office that closed the pipe removed its socket; one that was killed
    // left it. Ours, and nobody listening: remove it.
    if (!pipe_path_.empty()) {
        if (office_lost_) {
            Backoff backoff;
            const auto deadline = Clock::now() + kLostOfficeGrace;
            while (pipe_listening(pipe_path_) && backoff.wait(deadline)) {
            }
        }
        remove_stale_pipe(pipe_path_, getuid());
    }
    office_lost_ = false;
    lock_.reset();
}

}  // namespace

std::unique_ptr<Spreadsheet> libreoffice_spreadsheet(OfficeOptions options) {
    return std::make_unique<LibreOfficeCalc>(std::move(options));
}

}  // namespace veltrano::sheet
