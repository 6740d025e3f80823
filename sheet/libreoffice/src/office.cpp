#include "office.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

#include <com/sun/star/awt/Rectangle.hpp>
#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/WindowDescriptor.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/process.h>
#include <rtl/ustring.hxx>

#include "backoff.h"
#include "office_pipe.h"
#include "socket_connection.h"
#include "veltrano/core/run_error.h"

namespace veltrano::sheet {

namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;
using rtl::OString;
using rtl::OUString;

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

// The display the office was given, as the environment names it.
std::string display_settings() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    std::string named;
    if (x != nullptr && *x != '\0') named = std::string("DISPLAY=") + x;
    if (wayland != nullptr && *wayland != '\0') {
        named += (named.empty() ? "" : "，") + std::string("WAYLAND_DISPLAY=") + wayland;
    }
    return named.empty() ? "DISPLAY 和 WAYLAND_DISPLAY 均未设置" : named;
}

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
    // Disposed before we return, even when a call on it fails (the office
    // would keep it otherwise).
    const Ended<css::awt::XWindowPeer> window(css::awt::Toolkit::create(office)->createWindow(invisible));

    const Reference<css::awt::XSystemDependentWindowPeer> system(window.get(), css::uno::UNO_QUERY);
    if (!system.is()) return false;
    css::uno::Sequence<sal_Int8> process(16);
    rtl_getGlobalProcessId(reinterpret_cast<sal_uInt8*>(process.getArray()));
    css::awt::SystemDependentXWindow handle;
    if (!(system->getWindowHandle(process, css::lang::SystemDependent::SYSTEM_XWINDOW) >>= handle)) return false;
    return handle.DisplayPointer != 0 || handle.WindowHandle != 0;
}

}  // namespace

std::string CallOutcome::describe(const std::string& what, std::chrono::milliseconds waited) const {
    std::string detail = what + "：";
    switch (kind) {
    case Kind::TimedOut: detail += "LibreOffice 在 " + seconds_text(waited) + " 秒内没有响应"; break;
    case Kind::Disconnected: detail += "LibreOffice 已退出或断开了连接"; break;
    case Kind::Failed:
    case Kind::Answered: detail += "LibreOffice 报告失败"; break;
    }
    if (!message.empty()) detail += "（" + message + "）";
    return detail;
}

CallOutcome Office::run(std::chrono::milliseconds timeout, const std::function<void(OfficeSession&)>& body) {
    CallOutcome outcome;
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
            body(*session_);
        } catch (const css::lang::DisposedException& e) {
            outcome = {CallOutcome::Kind::Disconnected, from_ou(e.Message)};
        } catch (const css::uno::Exception& e) {
            outcome = {CallOutcome::Kind::Failed, from_ou(e.Message)};
        }
    }
    // A call cut off by the watchdog ends in whatever the closed connection
    // threw: that is the timeout, not the office's answer.
    if (timed_out) outcome.kind = CallOutcome::Kind::TimedOut;
    office_answers_ = outcome.kind == CallOutcome::Kind::Answered || outcome.kind == CallOutcome::Kind::Failed;
    office_lost_ = outcome.kind == CallOutcome::Kind::Disconnected;
    return outcome;
}

CallOutcome Office::call(std::chrono::milliseconds timeout, const std::function<void(OfficeSession&)>& body) {
    const CallOutcome outcome = run(timeout, body);
    if (!outcome.answered()) let_go();
    return outcome;
}

void Office::take_lock(Clock::time_point deadline) {
    try {
        lock_ = ExportLock::acquire(export_lock_directory(), deadline);
    } catch (const std::system_error& e) {
        fail_start(std::string("无法建立导出锁（") + e.what() + "）");
    }
    if (!lock_) fail_start("另一个导出仍在进行，" + seconds_text(options_.start_deadline) + " 秒内没有结束");
}

std::vector<std::string> Office::office_arguments() const {
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

void Office::fail_start(const std::string& detail, OurStart our_start) {
    if (our_start == OurStart::Ended && launcher_) {
        launcher_->end_group(kEndGrace);
        // Nothing of ours is left there to withdraw.
        office_answers_ = false;
    }
    let_go();
    throw core::RunError(kCannotCreateObject, detail);
}

UniqueFd Office::connect_pipe(Clock::time_point deadline) {
    const std::string within = seconds_text(options_.start_deadline) + " 秒内";
    const auto give_up = [this](const std::string& detail) { fail_start(detail, OurStart::Ended); };
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
            break;
        case PipeAttempt::Result::ForeignListener:
            give_up("LibreOffice 的管道 " + pipe_path_ + " 由另一个用户（uid " + std::to_string(attempt.other_uid) +
                    "）的进程监听，已断开，没有发送任何数据");
            break;
        case PipeAttempt::Result::NotASocket:
            give_up("LibreOffice 的管道路径 " + pipe_path_ + " 被其他文件占用");
            break;
        case PipeAttempt::Result::Failed:
            give_up("无法连接 LibreOffice 的管道（" + std::string(std::strerror(attempt.error)) + "）");
            break;
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

void Office::start() {
    // Everything before the first call into the office shares one deadline:
    // waiting for another export, the office's start.
    const auto deadline = Clock::now() + options_.start_deadline;
    take_lock(deadline);

    const std::optional<std::string> program = find_program(options_.program, kInstalledOffice);
    if (!program) fail_start("找不到 LibreOffice（" + options_.program + "）");
    program_ = *program;
    try {
        pipe_ = random_pipe_name();
    } catch (const std::system_error& e) {
        fail_start(std::string("没有随机数可用于管道名（") + e.what() + "）");
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
        fail_start("无法启动 " + program_ + "（" + e.what() + "）");
    }
    if (options_.on_started) options_.on_started({launcher_->pid(), launcher_->group(), pipe_});

    UniqueFd socket = connect_pipe(deadline);
    session_.emplace(new SocketConnection(std::move(socket), "pipe,name=" + pipe_));
    watchdog_.emplace();
    connect(deadline);
    // From here on the office is the user's: we no longer end anything.
    launcher_->stop_watching();
}

void Office::connect(Clock::time_point deadline) {
    bool shows_windows = true;
    // The office takes our connection once it has started: that wait is
    // still part of the start and shares its deadline.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const CallOutcome outcome = run(std::max<std::chrono::milliseconds>(left, kLastAnswer), [&](OfficeSession& s) {
        s.bridge.set(css::bridge::BridgeFactory::create(local_context())
                         ->createBridge(OUString(), "urp", s.connection.get(), nullptr));
        const Reference<css::uno::XComponentContext> remote(s.bridge.get()->getInstance("StarOffice.ComponentContext"),
                                                            UNO_QUERY_THROW);
        s.desktop = css::frame::Desktop::create(remote);
        if (!options_.headless) shows_windows = office_shows_windows(remote);
    });
    // A start of ours that hangs before it has served us (the office takes
    // connections only once it has started) is ended.
    if (!outcome.answered()) fail_start(outcome.describe("连接 LibreOffice", options_.start_deadline), OurStart::Ended);
    if (shows_windows) return;
    // An office without a display (none set, one that cannot be reached or
    // refuses us) runs windowless without a word: the table would go nowhere
    // the user can see. Our own launcher still running means the office is
    // the one it just started, for us: end it, or that invisible office would
    // take over every later start on this profile. A launcher that handed
    // over has exited; that office is the user's.
    if (launcher_->running()) {
        fail_start("LibreOffice 启动后没有图形显示（" + display_settings() + "），窗口无法显示（已结束这个 LibreOffice）",
                   OurStart::Ended);
    }
    fail_start("正在运行的 LibreOffice 没有图形显示，窗口无法显示；请先结束它（soffice.bin 进程）再导出");
}

void Office::withdraw_pipe() noexcept {
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

void Office::let_go() noexcept {
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

}  // namespace veltrano::sheet
