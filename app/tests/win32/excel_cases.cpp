// The Excel export against the recording stand-in (sheet_recorder), in this
// process, through veltrano-cli.exe --export and through the window: exactly
// the calls, types and order of the hand-over, or the error where it stopped.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"
#include "veltrano/core/run_error.h"
#include "veltrano/sheet/excel.h"
#include "veltrano/testkit/contracts.h"
#include "veltrano/testkit/fakes.h"
#include "veltrano/testkit/raised.h"
#include "veltrano/command/calculate.h"

namespace {

using namespace driver;
using veltrano::testkit::Cell;

constexpr std::int32_t status(std::uint32_t hresult) { return static_cast<std::int32_t>(hresult); }
// The error of a server that went away part-way: which RPC status says so
// depends on where in the call it went.
constexpr std::int32_t kServerGone = 1;
bool is_gone(std::int32_t number) {
    for (std::uint32_t s : {0x800706BAu, 0x800706BEu, 0x80010108u, 0x80010007u, 0x80010012u}) {
        if (number == status(s)) return true;
    }
    return false;
}

std::string hex(std::uint64_t value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string value_text(const veltrano::sheet::CellValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return "BSTR:" + *text;
    if (const auto* number = std::get_if<std::int16_t>(&value)) return "I2:" + std::to_string(*number);
    std::uint64_t bits;
    const double x = std::get<double>(value);
    std::memcpy(&bits, &x, sizeof bits);
    return "R8:" + hex(bits, 16);
}

std::string joined(const LogLine& line) {
    std::string text;
    for (const std::string& field : line) text += (text.empty() ? "" : "\t") + field;
    return text;
}

std::vector<std::string> joined(const std::vector<LogLine>& lines) {
    std::vector<std::string> texts;
    for (const LogLine& line : lines) texts.push_back(joined(line));
    return texts;
}

// Every call of a complete export of `cells`, in order, as the recorder logs
// them: locale 1033 throughout, the template argument missing, Visible before
// the first cell, and for each cell a Cells range of its own, written through
// its default member with VT_I2 row and column, then released.
std::vector<std::string> expected_calls(const std::vector<Cell>& cells) {
    const std::string ok = "\t-> 0x00000000";
    std::vector<std::string> calls = {
        "create\t{000208D5-0000-0000-C000-000000000046}\tlive=1",
        "names\tapplication\tWorkbooks\t1\tlcid=1033",
        "invoke\tapplication\t1\tflags=2\tlcid=1033\tnamed=\targs=" + ok,
        "names\tworkbooks\tAdd\t1\tlcid=1033",
        "invoke\tworkbooks\t1\tflags=1\tlcid=1033\tnamed=\targs=ERROR:0x80020004" + ok,
        "gone\tworkbook\tlive=2",
        "gone\tworkbooks\tlive=1",
        "names\tapplication\tVisible\t2\tlcid=1033",
        "invoke\tapplication\t2\tflags=4\tlcid=1033\tnamed=-3\targs=BOOL:-1" + ok,
        "names\tapplication\tCells\t3\tlcid=1033",
    };
    for (const Cell& c : cells) {
        calls.push_back("invoke\tapplication\t3\tflags=2\tlcid=1033\tnamed=\targs=" + ok);
        calls.push_back("invoke\trange\t0\tflags=4\tlcid=1033\tnamed=-3\targs=I2:" + std::to_string(c.row) + " I2:" +
                        std::to_string(c.column) + " " + value_text(c.value) + ok);
        calls.push_back("gone\trange\tlive=1");
    }
    calls.push_back("gone\tapplication\tlive=0");
    return calls;
}

// The cells that arrived: the writes the recorder accepted.
std::vector<Cell> cells_written(const std::vector<LogLine>& lines) {
    std::vector<Cell> cells;
    for (const LogLine& line : lines) {
        if (line.size() < 8 || line[0] != "invoke" || line[1] != "range" || line[7] != "-> 0x00000000") continue;
        Cell cell;
        char kind[8] = {};
        char rest[256] = {};
        std::sscanf(line[6].c_str(), "args=I2:%d I2:%d %7[^:]:%255[^\n]", &cell.row, &cell.column, kind, rest);
        if (std::strcmp(kind, "BSTR") == 0) {
            cell.value = std::string(rest);
        } else if (std::strcmp(kind, "I2") == 0) {
            cell.value = static_cast<std::int16_t>(std::atoi(rest));
        } else {
            const std::uint64_t bits = std::strtoull(rest, nullptr, 16);
            double x;
            std::memcpy(&x, &bits, sizeof x);
            cell.value = x;
        }
        cells.push_back(cell);
    }
    return cells;
}

int count(const std::vector<LogLine>& lines, const char* kind) {
    int n = 0;
    for (const LogLine& line : lines) n += line[0] == kind;
    return n;
}

// The number of objects of ours still alive once the server has done: the
// last count it logged (a local server logs it as it exits).
std::optional<int> live_after(const Recorder& recorder, Server server) {
    std::vector<LogLine> lines;
    wait_until([&] {
        lines = recorder.all();
        return server != Server::Local || count(lines, "exit") > 0;
    });
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if ((*line)[0] == "gone" || (*line)[0] == "exit") return std::stoi(line->back().substr(5));
    }
    return {};
}

veltrano::command::TextFields::Texts first_example(const char* alpha = "2.5") {
    auto texts = veltrano::testkit::first_example_texts();
    texts["Text5"] = alpha;
    return texts;
}

// The cells a complete export of the column must write.
std::vector<Cell> reference_cells(const char* alpha) {
    veltrano::testkit::RecordingFields fields(first_example(alpha));
    veltrano::testkit::RecordingSpreadsheet sheet;
    veltrano::command::run_calculate(fields, veltrano::core::NumberFormat{}, sheet);
    return sheet.record->cells;
}

struct ExportCase {
    const char* what;
    Server server;
    const char* script;
    const char* alpha;
    std::int32_t error;  // 0: the export completes; kServerGone: an RPC status
    std::size_t writes;  // cell writes that arrive
};

const ExportCase kExportCases[] = {
    {"the first example, in process", Server::InProcess, "", "2.5", 0, 36},
    {"the first example, in a server process", Server::Local, "", "2.5", 0, 36},
    {"a 30-plate column: 93 writes, the last in AE3", Server::InProcess, "", "1.89", 0, 93},
    {"not installed", Server::None, "", "2.5", 429, 0},
    {"Add fails", Server::InProcess, "fail=Add:0x800A03EC", "2.5", status(0x800A03EC), 0},
    {"Visible fails", Server::InProcess, "fail=Visible:0x80004005", "2.5", status(0x80004005), 0},
    {"Cells fails", Server::InProcess, "fail=Cells:0x8007000E", "2.5", status(0x8007000E), 0},
    {"the 10th write fails", Server::InProcess, "fail=put10:0x800A03EC", "2.5", status(0x800A03EC), 9},
    {"the 10th write raises an exception", Server::InProcess, "raise=put10:0x800A03EC", "2.5", status(0x800A03EC),
     9},
    {"the 10th write raises an exception, in a server process", Server::Local, "raise=put10:0x800A03EC", "2.5",
     status(0x800A03EC), 9},
    {"the 10th write fails, in a server process", Server::Local, "fail=put10:0x800A03EC", "2.5",
     status(0x800A03EC), 9},
    {"busy three times, then it accepts", Server::InProcess, "busy=3", "2.5", 0, 36},
    {"busy for good: given up with that status", Server::InProcess, "busy=1000000", "2.5", status(0x8001010A), 0},
    {"busy three times, in a server process", Server::Local, "busy=3", "2.5", 0, 36},
    {"refused three times by its message filter", Server::Local, "reject=3", "2.5", 0, 36},
    {"the server exits in the 10th write", Server::Local, "exit=put10", "2.5", kServerGone, 9},
};

TEST(ExcelExport, HandsOverExactlyTheCellsOrStopsWithTheStatusWhereItFailed) {
    veltrano::sheet::ExcelOptions options;
    options.busy_limit = 3s;
    options.call_timeout = 3s;
    for (const ExportCase& c : kExportCases) {
        SCOPED_TRACE(c.what);
        const Recorder recorder(c.server, c.script);
        const std::vector<Cell> cells = reference_cells(c.alpha);
        veltrano::testkit::RecordingFields fields(first_example(c.alpha));
        const veltrano::testkit::Raised error = veltrano::testkit::raised_by([&] {
            veltrano::command::run_calculate(fields, veltrano::core::NumberFormat{},
                                             *veltrano::sheet::excel_spreadsheet(options));
        });

        // The results stand before the export begins.
        EXPECT_EQ(fields.text("Text6"), std::to_string(cells.size() / 3 - 1));
        const std::vector<LogLine> calls = recorder.calls();
        const std::vector<Cell> written = cells_written(calls);
        ASSERT_EQ(written.size(), c.writes) << (error.number != 0 ? error.description : "no error") << ", "
                                            << recorder.all().size() << " lines";
        EXPECT_TRUE(std::equal(written.begin(), written.end(), cells.begin()));
        if (c.writes == cells.size()) {
            EXPECT_EQ(veltrano::sheet::cell_name(written.back().row, written.back().column),
                      c.writes == 93 ? "AE3" : "L3");
        }
        if (c.error == kServerGone) {
            EXPECT_TRUE(is_gone(error.number)) << error.number << " " << error.description;
        } else {
            EXPECT_EQ(error.number, c.error) << error.description;
        }
        if (c.error == 0 && *c.script == '\0') {
            EXPECT_EQ(joined(calls), expected_calls(cells));
        }
        // The application's own words about the failure reach the user.
        if (std::strncmp(c.script, "raise", 5) == 0) {
            EXPECT_NE(error.description.find("记录器拒绝了这次写入"), std::string::npos) << error.description;
        }
        if (c.server != Server::None && std::strncmp(c.script, "exit", 4) != 0) {
            EXPECT_EQ(live_after(recorder, c.server), 0) << "objects of ours still alive";
        }
    }
}

TEST(ExcelExport, KeepsTheSpreadsheetContract) {
    const Recorder recorder(Server::InProcess);
    const auto sheet = veltrano::sheet::excel_spreadsheet();
    const auto violations = veltrano::testkit::spreadsheet_contract_violations(*sheet, [&] {
        // What the sheet holds: a plate number is stored as a number like any other.
        std::vector<Cell> cells = cells_written(recorder.calls());
        for (Cell& c : cells) {
            if (const auto* n = std::get_if<std::int16_t>(&c.value)) c.value = static_cast<double>(*n);
        }
        return cells;
    });
    EXPECT_TRUE(violations.empty()) << testing::PrintToString(violations);
}

TEST(ExcelExport, TheCommandLineExportsThroughTheSameBackend) {
    for (const Server server : {Server::InProcess, Server::Local}) {
        SCOPED_TRACE(server == Server::Local ? "server process" : "in process");
        const Recorder recorder(server);
        const CliRun cli = run_cli({"--export", "100", "0.5", "0.95", "0.05", "2", "2.5"});
        EXPECT_EQ(cli.status, 0u) << cli.err;
        EXPECT_EQ(cli.out.substr(0, cli.out.find("\n板")), "进料板\t5\n塔板数\t11");
        EXPECT_EQ(joined(recorder.calls()), expected_calls(reference_cells("2.5")));
        EXPECT_EQ(live_after(recorder, server), 0);
    }
    const Recorder missing(Server::None);
    const CliRun cli = run_cli({"--export", "100", "0.5", "0.95", "0.05", "2", "2.5"});
    EXPECT_EQ(cli.status, 1u);
    EXPECT_EQ(cli.err.substr(0, 11), "error 429: ") << cli.err;
}

struct WindowExportCase {
    const char* what;
    Server server;
    const char* script;
    int presses;
    std::int32_t error;  // the box's number after the results, 0 for none
};

const WindowExportCase kWindowExportCases[] = {
    {"two presses, two applications", Server::InProcess, "", 2, 0},
    {"not installed: 429 after the results", Server::None, "", 1, 429},
    {"the server exits part-way", Server::Local, "exit=put10", 1, kServerGone},
};

TEST(ExcelExport, EachPressOfTheWindowExportsOrReportsAndTheWindowGoesOn) {
    for (const WindowExportCase& c : kWindowExportCases) {
        SCOPED_TRACE(c.what);
        std::optional<Recorder> recorder(std::in_place, c.server, c.script);
        const Program program;
        ASSERT_NE(program.form(), nullptr);
        type(program, kFirstExample);
        for (int press = 0; press < c.presses; ++press) {
            program.set("Text6", "");
            program.set("Text8", "");
            program.click();
            const std::optional<Box> box = program.settle();
            EXPECT_EQ(program.get("Text8"), "5");
            EXPECT_EQ(program.get("Text6"), "11");
            if (c.error == 0) {
                EXPECT_FALSE(box) << box->text;
                continue;
            }
            ASSERT_TRUE(box);
            std::int32_t number = 0;
            EXPECT_EQ(std::sscanf(box->text.c_str(), "运行时错误 %d", &number), 1) << box->text;
            EXPECT_TRUE(c.error == kServerGone ? is_gone(number) : number == c.error) << box->text;
        }
        const std::vector<LogLine> calls = recorder->calls();
        EXPECT_EQ(count(calls, "create"), c.error == 429 ? 0 : c.presses);
        if (c.error == 0) {
            const std::vector<std::string> one = expected_calls(reference_cells("2.5"));
            std::vector<std::string> expected;
            for (int press = 0; press < c.presses; ++press) expected.insert(expected.end(), one.begin(), one.end());
            EXPECT_EQ(joined(calls), expected);
        }

        // The window goes on, and with the application back the next press exports.
        const std::vector<std::string> before = all_texts(program);
        recorder.reset();
        const Recorder again(Server::InProcess);
        EXPECT_EQ(all_texts(program), before);
        program.click();
        EXPECT_FALSE(program.settle());
        EXPECT_EQ(program.get("Text6"), "11");
    }
}

}  // namespace

// window_driver time-export [RUNS]: the export of a 30-plate column (93 cell
// writes) through the recorder in process and in a server process of its
// own, as microseconds per write (median of RUNS, default 20). Excel's own
// start is not in it: no Excel here.
int driver::time_export(int runs) {
    using Clock = std::chrono::steady_clock;
    const std::vector<Cell> cells = reference_cells("1.89");
    for (const Server server : {Server::InProcess, Server::Local}) {
        const Recorder recorder(server);
        // No log: its file writes would be most of what is measured.
        SetEnvironmentVariableW(L"VELTRANO_RECORDER_LOG", nullptr);
        std::vector<double> per_write, starts;
        for (int run = 0; run < runs; ++run) {
            const auto sheet = veltrano::sheet::excel_spreadsheet();
            const auto t0 = Clock::now();
            sheet->create_application();
            sheet->add_workbook();
            sheet->make_visible();
            const auto t1 = Clock::now();
            for (const Cell& c : cells) {
                sheet->put_cell(static_cast<std::int16_t>(c.row), static_cast<std::int16_t>(c.column), c.value);
            }
            const auto t2 = Clock::now();
            starts.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            per_write.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count() / cells.size());
        }
        std::sort(per_write.begin(), per_write.end());
        std::sort(starts.begin(), starts.end());
        std::printf("%-14s %zu writes: median %.1f us per write (min %.1f, max %.1f); "
                    "create, add, visible: median %.1f ms\n",
                    server == Server::Local ? "server process" : "in process", cells.size(),
                    per_write[per_write.size() / 2], per_write.front(), per_write.back(), starts[starts.size() / 2]);
    }
    return 0;
}
