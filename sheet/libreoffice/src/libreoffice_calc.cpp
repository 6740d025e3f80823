// LibreOffice Calc through UNO: the spreadsheet application of the Linux
// desktop. The office's lifetime is Office's (office.h); here are the four
// calls of the hand-over and what their failures mean to the user.
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include <com/sun/star/awt/XTopWindow.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <rtl/ustring.hxx>

#include "office.h"
#include "veltrano/core/run_error.h"
#include "veltrano/sheet/libreoffice.h"

namespace veltrano::sheet {

namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;


rtl::OUString to_ou(const std::string& text) {
    return rtl::OUString::fromUtf8(rtl::OString(text.data(), static_cast<sal_Int32>(text.size())));
}

// The failure statuses the Windows automation path reports for the same
// events, so a user sees one number per kind of trouble.
FailureStatus status_of(const CallOutcome& outcome) {
    switch (outcome.kind) {
    case CallOutcome::Kind::Disconnected: return FailureStatus::Disconnected;
    case CallOutcome::Kind::TimedOut: return FailureStatus::TimedOut;
    case CallOutcome::Kind::Failed:
    case CallOutcome::Kind::Answered: break;
    }
    return FailureStatus::Failed;
}

class LibreOfficeCalc final : public Spreadsheet {
public:
    explicit LibreOfficeCalc(OfficeOptions options) : options_(std::move(options)), office_(options_) {}

    void create_application() override { office_.start(); }
    void add_workbook() override;
    void make_visible() override;
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override;

private:
    // One call of the hand-over. A failure lets go of the office and raises
    // the automation error carrying its status.
    void step(const std::string& what, const std::function<void(OfficeSession&)>& body);

    OfficeOptions options_;
    Office office_;  // after the options it reads
    int cells_written_ = 0;
};

void LibreOfficeCalc::step(const std::string& what, const std::function<void(OfficeSession&)>& body) {
    if (!office_.connected()) {
        // An earlier step failed and let go; nothing more goes to the office.
        throw automation_error(FailureStatus::Disconnected, what + "：与 LibreOffice 的连接已经断开");
    }
    const CallOutcome outcome = office_.call(options_.call_timeout, body);
    if (!outcome.answered()) throw automation_error(status_of(outcome), outcome.describe(what, options_.call_timeout));
}

void LibreOfficeCalc::add_workbook() {
    step("新建工作簿", [](OfficeSession& s) {
        css::uno::Sequence<css::beans::PropertyValue> load(1);
        load.getArray()[0].Name = "Hidden";
        load.getArray()[0].Value <<= false;
        const Reference<css::sheet::XSpreadsheetDocument> document(
            s.desktop->loadComponentFromURL("private:factory/scalc", "_blank", 0, load), UNO_QUERY_THROW);
        // The active sheet of a new document is its first one.
        const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
        s.sheet.set(sheets->getByIndex(0), UNO_QUERY_THROW);
        s.document.set(document, UNO_QUERY_THROW);
    });
}

void LibreOfficeCalc::make_visible() {
    step("显示工作簿", [](OfficeSession& s) {
        const Reference<css::frame::XController> controller(s.document->getCurrentController(), UNO_QUERY_THROW);
        const Reference<css::frame::XFrame> frame(controller->getFrame(), UNO_QUERY_THROW);
        const Reference<css::awt::XWindow> window(frame->getContainerWindow(), UNO_QUERY_THROW);
        window->setVisible(true);
        Reference<css::awt::XTopWindow>(window, UNO_QUERY_THROW)->toFront();
    });
}

void LibreOfficeCalc::put_cell(std::int16_t row, std::int16_t column, const CellValue& value) {
    step("写入单元格 " + cell_name(row, column), [&](OfficeSession& s) {
        // One round trip for the cell and one for its value, as each write is
        // its own call.
        const Reference<css::table::XCell> cell(s.sheet->getCellByPosition(column - 1, row - 1), UNO_QUERY_THROW);
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

}  // namespace

std::unique_ptr<Spreadsheet> libreoffice_spreadsheet(OfficeOptions options) {
    return std::make_unique<LibreOfficeCalc>(std::move(options));
}

}  // namespace veltrano::sheet
