// LibreOffice Calc through UNO: the spreadsheet application of the Linux desktop.
//
// Each export starts soffice itself, on a private pipe, and talks to it over
// a URP bridge of its own. The office keeps the document, unsaved, when we
// let go: the user owns it from then on. We never close the document and
// never terminate the office.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include "call_watchdog.h"
#include "office_process.h"
#include "veltrano/calc/errors.h"
#include "veltrano/export/libreoffice.h"

namespace veltrano::exporting {

namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using calc::ErrorNumber;
using calc::RunError;
using Clock = std::chrono::steady_clock;
using rtl::OString;
using rtl::OUString;

// Failure statuses, the same the Windows automation path reports for the
// same events, so a user sees one number per kind of trouble.
constexpr std::int32_t kStatusDisconnected = static_cast<std::int32_t>(0x80010108u);  // RPC_E_DISCONNECTED
constexpr std::int32_t kStatusTimeout = static_cast<std::int32_t>(0x8001011Fu);       // RPC_E_TIMEOUT
constexpr std::int32_t kStatusFailed = static_cast<std::int32_t>(0x80004005u);        // E_FAIL

// Debian's office, when PATH has no soffice (a desktop session's PATH may be short).
constexpr const char* kInstalledOffice = VELTRANO_OFFICE_PROGRAM_DIR "/soffice";

// A launcher that hands over to an office already running on the profile
// exits at once; that office opens our pipe within moments. Longer than this
// after the exit, nobody will.
constexpr auto kHandOverGrace = std::chrono::seconds(5);
constexpr auto kConnectRetry = std::chrono::milliseconds(50);

OUString to_ou(const std::string& text) {
    return OUString::fromUtf8(OString(text.data(), static_cast<sal_Int32>(text.size())));
}

std::string from_ou(const OUString& text) {
    const OString bytes = OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

std::string seconds_text(std::chrono::milliseconds span) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(span.count()) / 1000.0);
    return text;
}

// "A1" style, as the user finds the cell in Calc.
std::string cell_name(int row, int column) {
    std::string letters;
    for (int c = column; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters + std::to_string(row);
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

// The in-process UNO runtime (types, connector, bridge factory). Made once
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

class LibreOfficeCalc final : public Spreadsheet {
public:
    explicit LibreOfficeCalc(OfficeOptions options) : options_(std::move(options)) {}
    ~LibreOfficeCalc() override { let_go(); }

    void create_application() override;
    void add_workbook() override;
    void make_visible() override;
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override;

private:
    // Runs one step against the office with the watchdog armed. Any failure
    // lets go of the office and leaves as a RunError: 429 while the
    // application is being created, an automation error after that.
    template <class Step>
    void step(const std::string& what, bool creating, Step&& body);
    Reference<css::connection::XConnection> connect(const std::string& pipe);
    void let_go() noexcept;

    OfficeOptions options_;
    std::optional<OfficeProcess> office_;
    std::optional<CallWatchdog> watchdog_;
    int cells_written_ = 0;

    // Release rule: every reference below is dropped in let_go(), at the end
    // of the export or at its first failure. The office-side objects go
    // first, while the bridge can still carry their release to the office;
    // then the bridge is disposed, which ends its threads, closes the pipe and
    // makes the office drop anything else we held. The references that serve
    // only one call (the cell, the frame, the window) are locals of that step.
    Reference<css::connection::XConnection> connection_;
    Reference<css::bridge::XBridge> bridge_;
    Reference<css::frame::XDesktop2> desktop_;
    Reference<css::frame::XModel> document_;
    Reference<css::sheet::XSpreadsheet> sheet_;
};

template <class Step>
void LibreOfficeCalc::step(const std::string& what, bool creating, Step&& body) {
    if (!connection_.is()) {
        // An earlier step failed and let go; nothing more goes to the office.
        throw RunError::automation(kStatusDisconnected, what + "：与 LibreOffice 的连接已经断开");
    }
    std::int32_t status = 0;
    std::string message;
    bool timed_out = false;
    {
        // The watchdog may close the connection from its own thread; the
        // copy keeps the connection object alive for it until disarm().
        Reference<css::connection::XConnection> connection = connection_;
        watchdog_->arm(options_.call_timeout, [connection] { connection->close(); });
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
    if (status == 0 && !timed_out) return;

    let_go();
    std::string detail = what + "：";
    if (timed_out) {
        detail += "LibreOffice 在 " + seconds_text(options_.call_timeout) + " 秒内没有响应";
        status = kStatusTimeout;
    } else if (status == kStatusDisconnected) {
        detail += "LibreOffice 已退出或断开了连接";
    } else {
        detail += "LibreOffice 报告失败";
    }
    if (!message.empty()) detail += "（" + message + "）";
    if (creating) throw RunError(ErrorNumber::CannotCreateObject, detail);
    throw RunError::automation(status, detail);
}

Reference<css::connection::XConnection> LibreOfficeCalc::connect(const std::string& pipe) {
    Reference<css::connection::XConnector> connector;
    try {
        connector = css::connection::Connector::create(local_context());
    } catch (const css::uno::Exception& e) {
        throw RunError(ErrorNumber::CannotCreateObject, "UNO 运行环境无法启动（" + from_ou(e.Message) + "）");
    }
    const auto start = Clock::now();
    std::optional<Clock::time_point> exited;
    for (;;) {
        try {
            return connector->connect(to_ou("pipe,name=" + pipe));
        } catch (const css::connection::NoConnectException&) {
            // Not accepting yet: the office is still starting.
        } catch (const css::uno::Exception& e) {
            throw RunError(ErrorNumber::CannotCreateObject, "无法连接 LibreOffice（" + from_ou(e.Message) + "）");
        }
        const auto now = Clock::now();
        if (now - start >= options_.start_deadline) {
            throw RunError(ErrorNumber::CannotCreateObject,
                           "LibreOffice 在 " + seconds_text(options_.start_deadline) + " 秒内没有启动");
        }
        if (!exited && !office_->running()) exited = now;
        if (exited && now - *exited >= kHandOverGrace) {
            throw RunError(ErrorNumber::CannotCreateObject, "LibreOffice 启动后即退出");
        }
        std::this_thread::sleep_for(kConnectRetry);
    }
}

void LibreOfficeCalc::create_application() {
    // Without a display the office runs windowless without a word: the table
    // would go nowhere the user can see, and the invisible office would then
    // take over every office the user starts on this profile.
    if (!options_.headless && std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        throw RunError(ErrorNumber::CannotCreateObject, "没有图形显示（DISPLAY 未设置），无法显示 LibreOffice Calc");
    }
    const std::optional<std::string> program = find_program(options_.program, kInstalledOffice);
    if (!program) {
        throw RunError(ErrorNumber::CannotCreateObject, "找不到 LibreOffice（" + options_.program + "）");
    }

    std::string pipe;
    try {
        pipe = random_pipe_name();
    } catch (const std::system_error& e) {
        throw RunError(ErrorNumber::CannotCreateObject, std::string("没有随机数可用于管道名（") + e.what() + "）");
    }
    std::vector<std::string> arguments = {"--nologo", "--nodefault", "--norestore", "--nolockcheck"};
    if (options_.headless) {
        arguments.emplace_back("--headless");
        arguments.emplace_back("--invisible");
    }
    if (!options_.profile_dir.empty()) {
        arguments.push_back("-env:UserInstallation=" + file_url(options_.profile_dir));
    }
    // A named pipe only: no TCP port, and the socket file follows the
    // office's umask 077, so no other user can reach it.
    arguments.push_back("--accept=pipe,name=" + pipe + ";urp;");
    try {
        // A URE_BOOTSTRAP of ours names the runtime for UNO clients; the
        // office must find its own.
        office_.emplace(OfficeProcess::start(*program, arguments, {"URE_BOOTSTRAP"}));
    } catch (const std::system_error& e) {
        throw RunError(ErrorNumber::CannotCreateObject, "无法启动 " + *program + "（" + e.what() + "）");
    }
    if (options_.on_started) options_.on_started({office_->pid(), office_->group(), pipe});

    connection_ = connect(pipe);
    watchdog_.emplace();
    step("连接 LibreOffice", true, [&] {
        bridge_ = css::bridge::BridgeFactory::create(local_context())
                      ->createBridge(OUString(), "urp", connection_, nullptr);
        const Reference<css::uno::XComponentContext> remote(
            bridge_->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
        desktop_ = css::frame::Desktop::create(remote);
    });
}

void LibreOfficeCalc::add_workbook() {
    step("新建工作簿", false, [&] {
        css::uno::Sequence<css::beans::PropertyValue> load(1);
        load.getArray()[0].Name = "Hidden";
        load.getArray()[0].Value <<= false;
        const Reference<css::sheet::XSpreadsheetDocument> document(
            desktop_->loadComponentFromURL("private:factory/scalc", "_blank", 0, load), UNO_QUERY_THROW);
        // The active sheet of a new document is its first one.
        const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
        sheet_.set(sheets->getByIndex(0), UNO_QUERY_THROW);
        document_.set(document, UNO_QUERY_THROW);
    });
}

void LibreOfficeCalc::make_visible() {
    step("显示工作簿", false, [&] {
        const Reference<css::frame::XController> controller(document_->getCurrentController(), UNO_QUERY_THROW);
        const Reference<css::frame::XFrame> frame(controller->getFrame(), UNO_QUERY_THROW);
        const Reference<css::awt::XWindow> window(frame->getContainerWindow(), UNO_QUERY_THROW);
        window->setVisible(true);
        Reference<css::awt::XTopWindow>(window, UNO_QUERY_THROW)->toFront();
    });
}

void LibreOfficeCalc::put_cell(std::int16_t row, std::int16_t column, const CellValue& value) {
    step("写入单元格 " + cell_name(row, column), false, [&] {
        // One round trip for the cell and one for its value, as each write is
        // its own call.
        const Reference<css::table::XCell> cell(sheet_->getCellByPosition(column - 1, row - 1), UNO_QUERY_THROW);
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

void LibreOfficeCalc::let_go() noexcept {
    sheet_.clear();
    document_.clear();
    desktop_.clear();
    if (bridge_.is()) {
        try {
            Reference<css::lang::XComponent>(bridge_, css::uno::UNO_QUERY_THROW)->dispose();
        } catch (...) {
            // Already gone with the office: nothing left to release.
        }
        bridge_.clear();
    }
    if (connection_.is()) {
        try {
            connection_->close();
        } catch (...) {
        }
        connection_.clear();
    }
    // Forget the office process; it runs on for the user.
    office_.reset();
}

}  // namespace

std::unique_ptr<Spreadsheet> libreoffice_spreadsheet(OfficeOptions options) {
    return std::make_unique<LibreOfficeCalc>(std::move(options));
}

}  // namespace veltrano::exporting
