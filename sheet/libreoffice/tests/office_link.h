// A test's own connection to a running office, to read back what an export
// left there as a user would find it, and to end that office afterwards.
// A launcher started with an --accept on a pipe of the test's own hands it
// over to the office already running on the profile, as a user's second
// start would; the export withdraws its own pipe when it is done.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <rtl/ustring.hxx>

#include "veltrano/testkit/fakes.h"

namespace veltrano::sheet {

std::string from_ou(const rtl::OUString& text);

class OfficeLink {
public:
    // The office on `profile` (a folder; none: the user's own, under HOME),
    // waited for up to `deadline`. Throws a UNO exception when it never
    // answers, leaving no pipe of ours behind.
    explicit OfficeLink(const std::optional<std::string>& profile,
                        std::chrono::seconds deadline = std::chrono::seconds(120));
    ~OfficeLink();
    OfficeLink(const OfficeLink&) = delete;
    OfficeLink& operator=(const OfficeLink&) = delete;

    // Every document the office holds, each of them a spreadsheet (a
    // document of another kind throws).
    std::vector<com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheetDocument>> spreadsheets();

    // The office's own shutdown, its tables marked unchanged first: an
    // office with a display would ask whether to save them. It may drop the
    // connection while answering.
    void terminate_office();

    com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2> desktop;

private:
    // Removes the socket of our pipe, which the office leaves behind, also
    // when the constructor gives up.
    struct Pipe {
        std::string name;
        ~Pipe();
    } pipe_;
    com::sun::star::uno::Reference<com::sun::star::connection::XConnection> connection_;
    com::sun::star::uno::Reference<com::sun::star::bridge::XBridge> bridge_;
};

// The cells of the first sheet's used area as a user finds them: text as
// text, numbers as the doubles Calc keeps, a formula as "(a formula)";
// empty cells are left out.
std::vector<testkit::Cell> cells_of(
    const com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheetDocument>& document);

}  // namespace veltrano::sheet
