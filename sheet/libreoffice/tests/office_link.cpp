#include "office_link.h"

#include <cstddef>
#include <thread>

#include <signal.h>
#include <unistd.h>

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/bootstrap.hxx>

#include "office_pipe.h"
#include "office_process.h"

namespace veltrano::sheet {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OString;
using rtl::OUString;

std::string from_ou(const OUString& text) {
    const OString bytes = OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

OfficeLink::Pipe::~Pipe() { remove_stale_pipe(office_pipe_path(name), getuid()); }

OfficeLink::OfficeLink(const std::optional<std::string>& profile, std::chrono::seconds deadline)
    : pipe_{random_pipe_name()} {
    // UNO's pipe connection writes with a plain send(): an office that ends
    // while the link releases its last references would end this process
    // with SIGPIPE instead of the exception the link expects.
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> arguments = {"--nologo", "--nodefault", "--norestore", "--nolockcheck", "--headless",
                                          "--invisible", "--accept=pipe,name=" + pipe_.name + ";urp;"};
    if (profile) arguments.push_back("-env:UserInstallation=file://" + *profile);
    OfficeProcess::start(*find_program("soffice", VELTRANO_OFFICE_PROGRAM_DIR "/soffice"), arguments,
                         {"URE_BOOTSTRAP"});
    // As the export holds it: one per process, never released, since the
    // URE cannot tear it down while its libraries stay loaded.
    static const auto* const held =
        new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
    const Reference<css::uno::XComponentContext>& local = *held;
    const auto connector = css::connection::Connector::create(local);
    for (const auto until = std::chrono::steady_clock::now() + deadline; !connection_.is();) {
        try {
            connection_ = connector->connect(OUString::fromUtf8(OString(("pipe,name=" + pipe_.name).c_str())));
        } catch (const css::connection::NoConnectException&) {
            if (std::chrono::steady_clock::now() > until) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    bridge_ = css::bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection_, nullptr);
    const Reference<css::uno::XComponentContext> remote(bridge_->getInstance("StarOffice.ComponentContext"),
                                                        UNO_QUERY_THROW);
    desktop = css::frame::Desktop::create(remote);
}

OfficeLink::~OfficeLink() {
    desktop.clear();
    // The bridge's threads and proxies go with it, whether or not the office
    // is still at the other end.
    try {
        Reference<css::lang::XComponent>(bridge_, UNO_QUERY_THROW)->dispose();
    } catch (...) {
    }
}

std::vector<Reference<css::sheet::XSpreadsheetDocument>> OfficeLink::spreadsheets() {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> found;
    const auto documents = desktop->getComponents()->createEnumeration();
    while (documents->hasMoreElements()) found.emplace_back(documents->nextElement(), UNO_QUERY_THROW);
    return found;
}

void OfficeLink::terminate_office() {
    try {
        const auto documents = desktop->getComponents()->createEnumeration();
        while (documents->hasMoreElements()) {
            const Reference<css::util::XModifiable> modifiable(documents->nextElement(), UNO_QUERY);
            if (modifiable.is()) modifiable->setModified(false);
        }
        desktop->terminate();
    } catch (const css::uno::RuntimeException&) {
    }
}

std::vector<testkit::Cell> cells_of(const Reference<css::sheet::XSpreadsheetDocument>& document) {
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);
    const Reference<css::sheet::XUsedAreaCursor> cursor(sheet->createCursor(), UNO_QUERY_THROW);
    cursor->gotoStartOfUsedArea(false);
    cursor->gotoEndOfUsedArea(true);
    const auto used = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
    std::vector<testkit::Cell> cells;
    for (sal_Int32 row = used.StartRow; row <= used.EndRow; ++row) {
        for (sal_Int32 column = used.StartColumn; column <= used.EndColumn; ++column) {
            const Reference<css::table::XCell> cell = sheet->getCellByPosition(column, row);
            testkit::Cell found;
            found.row = row + 1;
            found.column = column + 1;
            switch (cell->getType()) {
            case css::table::CellContentType_EMPTY: continue;
            case css::table::CellContentType_VALUE: found.value.emplace<double>(cell->getValue()); break;
            case css::table::CellContentType_TEXT:
                found.value.emplace<std::string>(from_ou(Reference<css::text::XText>(cell, UNO_QUERY_THROW)->getString()));
                break;
            default: found.value.emplace<std::string>("(a formula)"); break;
            }
            cells.push_back(std::move(found));
        }
    }
    return cells;
}

}  // namespace veltrano::sheet
