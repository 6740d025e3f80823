// For app/tests/workbench_xvfb.py: what the office the program handed its
// table to holds, read back through UNO as a user would find it. The office
// runs on the user's profile (this process's HOME); a launcher started with
// an --accept on a pipe of our own hands it over, as a user's second start
// would. Prints, for every spreadsheet document, the line "document" and
// then each row of its first sheet's used area, cells separated by tabs:
// text as text, numbers as %.17g (exact), an empty cell as nothing.
//
//   office_cells [--terminate]   (--terminate: then the office is ended)
// Status 0 when it could read, 1 when the office never answered.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
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
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "office_pipe.h"
#include "office_process.h"

namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OString;
using rtl::OUString;

std::string utf8(const OUString& text) {
    const OString bytes = OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return {bytes.getStr(), static_cast<std::size_t>(bytes.getLength())};
}

void print_first_sheet(const Reference<css::sheet::XSpreadsheetDocument>& document) {
    std::puts("document");
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);
    const Reference<css::sheet::XUsedAreaCursor> cursor(sheet->createCursor(), UNO_QUERY_THROW);
    cursor->gotoStartOfUsedArea(false);
    cursor->gotoEndOfUsedArea(true);
    const auto used = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
    for (sal_Int32 row = used.StartRow; row <= used.EndRow; ++row) {
        std::string line;
        for (sal_Int32 column = used.StartColumn; column <= used.EndColumn; ++column) {
            if (column > used.StartColumn) line += '\t';
            const Reference<css::table::XCell> cell = sheet->getCellByPosition(column, row);
            if (cell->getType() == css::table::CellContentType_VALUE) {
                char number[32];
                std::snprintf(number, sizeof number, "%.17g", cell->getValue());
                line += number;
            } else if (cell->getType() == css::table::CellContentType_TEXT) {
                line += utf8(Reference<css::text::XText>(cell, UNO_QUERY_THROW)->getString());
            }
        }
        std::puts(line.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano::sheet;
    using Clock = std::chrono::steady_clock;
    const bool terminate = argc > 1 && std::strcmp(argv[1], "--terminate") == 0;
    // The link writes to the office's pipe with a plain send(): an office
    // ended by --terminate may close it while the link releases its last
    // references, which is an exception to ignore, not SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VELTRANO_OFFICE_PROGRAM_DIR "/fundamentalrc");
    const std::string pipe = random_pipe_name();
    try {
        OfficeProcess::start(*find_program("soffice", VELTRANO_OFFICE_PROGRAM_DIR "/soffice"),
                             {"--nologo", "--nodefault", "--norestore", "--nolockcheck", "--headless", "--invisible",
                              "--accept=pipe,name=" + pipe + ";urp;"},
                             {"URE_BOOTSTRAP"});
        // As the hand-over holds it: one per process, never released, since
        // the URE cannot tear it down while its libraries stay loaded.
        static const auto* const held =
            new Reference<css::uno::XComponentContext>(cppu::defaultBootstrap_InitialComponentContext());
        const Reference<css::uno::XComponentContext>& local = *held;
        const auto connector = css::connection::Connector::create(local);
        Reference<css::connection::XConnection> connection;
        for (const auto until = Clock::now() + std::chrono::seconds(60); !connection.is();) {
            try {
                connection = connector->connect(OUString::fromUtf8(OString(("pipe,name=" + pipe).c_str())));
            } catch (const css::connection::NoConnectException&) {
                if (Clock::now() > until) throw;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        const auto bridge = css::bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection, nullptr);
        const Reference<css::uno::XComponentContext> remote(bridge->getInstance("StarOffice.ComponentContext"),
                                                            UNO_QUERY_THROW);
        const auto desktop = css::frame::Desktop::create(remote);
        const auto documents = desktop->getComponents()->createEnumeration();
        while (documents->hasMoreElements()) {
            const Reference<css::sheet::XSpreadsheetDocument> document(documents->nextElement(), UNO_QUERY);
            if (document.is()) print_first_sheet(document);
        }
        std::fflush(stdout);
        if (terminate) {
            // Unsaved tables would make an office with a display ask first.
            const auto open = desktop->getComponents()->createEnumeration();
            while (open->hasMoreElements()) {
                const Reference<css::util::XModifiable> modifiable(open->nextElement(), UNO_QUERY);
                if (modifiable.is()) modifiable->setModified(false);
            }
            try {
                desktop->terminate();
            } catch (const css::uno::RuntimeException&) {
                // it may drop the connection while answering
            }
        }
        // The bridge's threads and proxies go with it, whether or not the
        // office is still at the other end.
        try {
            Reference<css::lang::XComponent>(bridge, UNO_QUERY_THROW)->dispose();
        } catch (const css::uno::RuntimeException&) {
        }
    } catch (const css::uno::Exception& e) {
        std::fprintf(stderr, "office_cells: %s\n", utf8(e.Message).c_str());
        remove_stale_pipe(office_pipe_path(pipe), getuid());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "office_cells: %s\n", e.what());
        return 1;
    }
    remove_stale_pipe(office_pipe_path(pipe), getuid());
    return 0;
}
