// The export into a real LibreOffice, started headless with a profile of its
// own; the cells are read back through UNO. Each test ends its own office.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
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
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "veltrano/calc/column.h"
#include "veltrano/calc/errors.h"
#include "veltrano/export/libreoffice.h"
#include "temp_dir.h"

namespace veltrano::exporting {
namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using namespace std::chrono_literals;
using rtl::OString;
using rtl::OUString;

constexpr std::int32_t kDisconnected = static_cast<std::int32_t>(0x80010108u);
constexpr std::int32_t kTimedOut = static_cast<std::int32_t>(0x8001011Fu);

std::string from_ou(const OUString& s) {
    const OString b = OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(b.getStr(), static_cast<std::size_t>(b.getLength()));
}

std::uint64_t bits(double d) {
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

// Whether any process of the office's group still runs. This test program
// is the subreaper of the offices it starts (they are not the backend's
// children), so it reaps them here.
bool group_alive(int group) {
    while (waitpid(-group, nullptr, WNOHANG) > 0) {
    }
    return kill(-group, 0) == 0;
}

void wait_group_gone(int group, std::chrono::seconds patience) {
    const auto until = std::chrono::steady_clock::now() + patience;
    while (group_alive(group) && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(100ms);
    if (group_alive(group)) {
        kill(-group, SIGKILL);
        kill(-group, SIGCONT);
        while (group_alive(group)) std::this_thread::sleep_for(50ms);
    }
}

// Ends the office a test started (after `patience` by force) and removes the
// socket of its pipe, which a killed office leaves behind.
void end_office(const OfficeStarted& office, std::chrono::seconds patience) {
    wait_group_gone(office.group, patience);
    unlink(("/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + office.pipe_name).c_str());
}

// Waits until every process of the group has taken a stop signal: the kernel
// delivers it asynchronously, and the office would otherwise answer a few
// more calls first.
void wait_group_stopped(int group) {
    for (;;) {
        bool all_stopped = true;
        for (const auto& process : std::filesystem::directory_iterator("/proc")) {
            std::error_code no_such_task;
            for (const auto& task : std::filesystem::directory_iterator(process.path() / "task", no_such_task)) {
                std::ifstream stat(task.path() / "stat");
                std::string line;
                if (!std::getline(stat, line)) continue;
                // pid (comm) state ppid pgrp ...: comm may hold blanks, so read after ')'.
                const auto close = line.rfind(')');
                if (close == std::string::npos) continue;
                std::istringstream rest(line.substr(close + 1));
                char state = 0;
                int ppid = 0, pgrp = 0;
                rest >> state >> ppid >> pgrp;
                if (pgrp == group && state != 'T' && state != 't' && state != 'Z') all_stopped = false;
            }
        }
        if (all_stopped) return;
        std::this_thread::sleep_for(1ms);
    }
}

// The test's own connection to the office the export used.
class OfficeLink {
public:
    explicit OfficeLink(const std::string& pipe) {
        const auto local = cppu::defaultBootstrap_InitialComponentContext();
        connection_ = css::connection::Connector::create(local)->connect(
            OUString::fromUtf8(OString(("pipe,name=" + pipe).c_str())));
        bridge_ = css::bridge::BridgeFactory::create(local)->createBridge(OUString(), "urp", connection_, nullptr);
        const Reference<css::uno::XComponentContext> remote(bridge_->getInstance("StarOffice.ComponentContext"),
                                                            UNO_QUERY_THROW);
        desktop = css::frame::Desktop::create(remote);
    }
    ~OfficeLink() {
        desktop.clear();
        try {
            Reference<css::lang::XComponent>(bridge_, UNO_QUERY_THROW)->dispose();
        } catch (...) {
        }
    }
    // The office's own shutdown; it may drop the connection while answering.
    void terminate_office() {
        try {
            desktop->terminate();
        } catch (const css::uno::RuntimeException&) {
        }
    }

    Reference<css::frame::XDesktop2> desktop;

private:
    Reference<css::connection::XConnection> connection_;
    Reference<css::bridge::XBridge> bridge_;
};

class LibreOfficeExport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" VELTRANO_OFFICE_PROGRAM_DIR "/fundamentalrc");
        profile_ = new TempDir();
    }
    static void TearDownTestSuite() {
        delete profile_;
        profile_ = nullptr;
    }
    void TearDown() override {
        for (const auto& office : offices_) end_office(office, 30s);
    }

    // Generous deadlines: a cold office on a loaded two-core machine.
    OfficeOptions options() {
        OfficeOptions o;
        o.headless = true;
        o.profile_dir = profile_->path() + "/profile";
        o.start_deadline = 120s;
        o.call_timeout = 60s;
        o.on_started = [this](const OfficeStarted& s) {
            started_ = s;
            offices_.push_back(s);
        };
        return o;
    }

    static TempDir* profile_;
    std::optional<OfficeStarted> started_;  // the latest
    std::vector<OfficeStarted> offices_;     // all, ended by TearDown
};

TempDir* LibreOfficeExport::profile_ = nullptr;

calc::ColumnResult first_example() {
    return calc::calculate({100, 0.5, 0.95, 0.05, 2, 2.5});
}

std::vector<Reference<css::sheet::XSpreadsheetDocument>> spreadsheet_documents(OfficeLink& link) {
    std::vector<Reference<css::sheet::XSpreadsheetDocument>> found;
    const auto documents = link.desktop->getComponents()->createEnumeration();
    while (documents->hasMoreElements()) found.emplace_back(documents->nextElement(), UNO_QUERY_THROW);
    return found;
}

// A1:L3 of the first sheet hold the table of `column`, cell types and
// bits exact, and nothing lies outside it.
void expect_table(const Reference<css::sheet::XSpreadsheetDocument>& document, const calc::ColumnResult& column) {
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);

    const char* labels[] = {"板", "X", "Y"};
    for (int row = 0; row < 3; ++row) {
        const Reference<css::table::XCell> label = sheet->getCellByPosition(0, row);
        EXPECT_EQ(label->getType(), css::table::CellContentType_TEXT) << "row " << row + 1;
        EXPECT_EQ(from_ou(Reference<css::text::XText>(label, UNO_QUERY_THROW)->getString()), labels[row]);
    }
    for (int plate = 1; plate <= 11; ++plate) {
        const double expected[] = {static_cast<double>(plate), column.x.slots()[plate], column.y.slots()[plate]};
        for (int row = 0; row < 3; ++row) {
            const Reference<css::table::XCell> cell = sheet->getCellByPosition(plate, row);
            EXPECT_EQ(cell->getType(), css::table::CellContentType_VALUE) << "plate " << plate << " row " << row + 1;
            EXPECT_EQ(bits(cell->getValue()), bits(expected[row])) << "plate " << plate << " row " << row + 1;
        }
    }
    EXPECT_NEAR(sheet->getCellByPosition(1, 1)->getValue(), 0.883721, 5e-7);
    EXPECT_EQ(sheet->getCellByPosition(1, 2)->getValue(), 0.95);

    // Nothing beyond A1:L3, column M on.
    const Reference<css::sheet::XUsedAreaCursor> cursor(sheet->createCursor(), UNO_QUERY_THROW);
    cursor->gotoStartOfUsedArea(false);
    cursor->gotoEndOfUsedArea(true);
    const auto used = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
    EXPECT_EQ(used.StartColumn, 0);
    EXPECT_EQ(used.StartRow, 0);
    EXPECT_EQ(used.EndColumn, 11);
    EXPECT_EQ(used.EndRow, 2);
}

TEST_F(LibreOfficeExport, FirstExampleArrivesWithItsTypesAndExactValues) {
    const calc::ColumnResult column = first_example();
    ASSERT_EQ(column.feed_plate.value(), 5);
    ASSERT_EQ(column.plate_count.value(), 11);
    {
        auto sheet = libreoffice_spreadsheet(options());
        export_profile(*sheet, column.plate_count, column.x, column.y);
    }  // the backend has let go of the office here
    ASSERT_TRUE(started_);
    ASSERT_TRUE(group_alive(started_->group)) << "the export must leave the office running";

    OfficeLink link(started_->pipe_name);
    const auto documents = spreadsheet_documents(link);
    ASSERT_EQ(documents.size(), 1u);
    expect_table(documents[0], column);
    link.terminate_office();
}

// A second press while the user still has the first document open: the new
// launcher hands over to the running office, which opens a second document.
TEST_F(LibreOfficeExport, TwoPressesGiveTwoDocuments) {
    const calc::ColumnResult column = first_example();
    for (int press = 0; press < 2; ++press) {
        auto sheet = libreoffice_spreadsheet(options());
        export_profile(*sheet, column.plate_count, column.x, column.y);
    }
    ASSERT_EQ(offices_.size(), 2u);
    OfficeLink link(offices_[0].pipe_name);
    const auto documents = spreadsheet_documents(link);
    ASSERT_EQ(documents.size(), 2u);
    for (const auto& document : documents) expect_table(document, column);
    link.terminate_office();
}

TEST_F(LibreOfficeExport, AnOfficeThatCannotStartIs429) {
    TempDir dir;
    const std::string silent = dir.file("silent-office", "#!/bin/sh\nexec sleep 600\n", true);
    const std::string not_executable = dir.file("not-executable", "#!/bin/sh\n", false);

    struct Case { const char* what; std::string program; std::chrono::milliseconds deadline; bool display; };
    const Case cases[] = {
        {"no such program", dir.path() + "/no-office", 120s, true},
        {"not executable", not_executable, 120s, true},
        {"exits at once", "/bin/false", 120s, true},
        {"never accepts", silent, 2s, true},
        {"no display to show it on", "soffice", 120s, false},
    };
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string saved_display = display ? display : "", saved_wayland = wayland ? wayland : "";
    for (const auto& c : cases) {
        started_.reset();
        OfficeOptions o = options();
        o.program = c.program;
        o.start_deadline = c.deadline;
        if (!c.display) {
            // The product's settings, on a machine without a display.
            o.headless = false;
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        }
        calc::Profile x, y;
        auto sheet = libreoffice_spreadsheet(o);
        try {
            export_profile(*sheet, calc::ShortInt(1), x, y);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const calc::RunError& e) {
            EXPECT_EQ(e.number(), 429) << c.what << ": " << e.description();
            EXPECT_NE(e.description().find("无法创建电子表格应用程序对象"), std::string::npos) << e.description();
        }
        if (!c.display) {
            EXPECT_FALSE(started_) << "no office may be left running unseen";
            if (display) setenv("DISPLAY", saved_display.c_str(), 1);
            if (wayland) setenv("WAYLAND_DISPLAY", saved_wayland.c_str(), 1);
        }
        if (started_) end_office(*started_, 0s);
    }
    started_.reset();
}

TEST_F(LibreOfficeExport, AnOfficeLostPartWayEndsTheExportWithAnError) {
    struct Case { const char* what; int signal; std::int32_t status; };
    const Case cases[] = {
        {"killed", SIGKILL, kDisconnected},
        {"frozen", SIGSTOP, kTimedOut},
    };
    const calc::ColumnResult column = first_example();
    for (const auto& c : cases) {
        started_.reset();
        OfficeOptions o = options();
        // Long enough for a slow load of Calc on a busy machine, short for a test.
        o.call_timeout = 10s;
        int written = 0;
        o.after_cell = [&](int cells) {
            written = cells;
            if (cells != 10) return;
            kill(-started_->group, c.signal);
            if (c.signal == SIGSTOP) wait_group_stopped(started_->group);
        };
        auto sheet = libreoffice_spreadsheet(o);
        try {
            export_profile(*sheet, column.plate_count, column.x, column.y);
            ADD_FAILURE() << c.what << ": no error";
        } catch (const calc::RunError& e) {
            EXPECT_EQ(e.number(), c.status) << c.what << ": " << e.description();
            EXPECT_NE(e.description().find("D2"), std::string::npos) << "names the 11th cell: " << e.description();
        }
        EXPECT_EQ(written, 10) << c.what;
        sheet.reset();
        end_office(*started_, 0s);
    }
    started_.reset();
}

}  // namespace
}  // namespace veltrano::exporting
