// The export into a real LibreOffice, started headless with a profile of its
// own; the cells are read back through UNO on a pipe of the test's own. Each
// test ends its own office. Stand-in offices (shell scripts) play the starts
// that fail.
#include <cerrno>
#include <chrono>
#include <initializer_list>
#include <mutex>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <rtl/bootstrap.hxx>

#include "veltrano/calc/column.h"
#include "veltrano/core/run_error.h"
#include "veltrano/sheet/libreoffice.h"
#include "veltrano/testkit/contracts.h"
#include "veltrano/testkit/expect_run_error.h"
#include "veltrano/testkit/fakes.h"
#include "fake_listener.h"
#include "office_link.h"
#include "office_pipe.h"
#include "office_process.h"
#include "temp_dir.h"
#include "test_display.h"

namespace veltrano::sheet {
namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kDisconnected = static_cast<std::int32_t>(FailureStatus::Disconnected);
constexpr auto kTimedOut = static_cast<std::int32_t>(FailureStatus::TimedOut);

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
    remove_stale_pipe(office_pipe_path(office.pipe_name), getuid());
}

// Threads of the group's office (soffice.bin) that accept on a pipe: one
// for each pipe it listens on.
int acceptor_threads(int group) {
    int count = 0;
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::ifstream command(process.path() / "comm");
        std::string office;
        const auto stat = read_process_stat(process.path() / "stat");
        if (!std::getline(command, office) || office != "soffice.bin" || !stat || stat->group != group) continue;
        std::error_code gone;
        for (const auto& task : std::filesystem::directory_iterator(process.path() / "task", gone)) {
            std::ifstream comm(task.path() / "comm");
            std::string name;
            if (std::getline(comm, name) && name == "URP Acceptor") ++count;
        }
    }
    return count;
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
                const auto stat = read_process_stat(task.path() / "stat");
                if (stat && stat->group == group && stat->state != 'T' && stat->state != 't' && stat->state != 'Z') {
                    all_stopped = false;
                }
            }
        }
        if (all_stopped) return;
        std::this_thread::sleep_for(1ms);
    }
}

// Environment variables for a scope (null: unset), restored after it.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> values) {
        for (const auto& [name, value] : values) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            set(name, value);
        }
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) set(name, value ? value->c_str() : nullptr);
    }

private:
    static void set(const char* name, const char* value) { value ? setenv(name, value, 1) : unsetenv(name); }
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// A free display whose socket in /tmp/.X11-unix a test can take; empty when
// it cannot.
std::optional<std::string> free_x_display() {
    if (mkdir("/tmp/.X11-unix", 01777) != 0 && errno != EEXIST) return std::nullopt;
    if (access("/tmp/.X11-unix", W_OK) != 0) return std::nullopt;
    const std::optional<int> number = free_display_number(470, 600);
    if (!number) return std::nullopt;
    return ":" + std::to_string(*number);
}

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
        // Nothing may outlive its test: an office on the test's profile that
        // no start of the test made was started by a clean-up.
        for (const auto& process : std::filesystem::directory_iterator("/proc")) {
            std::ifstream in(process.path() / "cmdline");
            const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (cmdline.find("UserInstallation=file://" + profile() + '\0') == std::string::npos) continue;
            ADD_FAILURE() << "an office outlived its test: " << process.path();
            kill(std::stoi(process.path().filename()), SIGKILL);
        }
    }

    // Generous deadlines: a cold office on a loaded two-core machine.
    OfficeOptions options() {
        OfficeOptions o;
        o.headless = true;
        o.profile_dir = profile_->path() + "/profile";
        o.start_deadline = 120s;
        o.call_timeout = 60s;
        o.on_started = [this](const OfficeStarted& s) {
            const std::lock_guard<std::mutex> lock(started_mutex_);
            started_ = s;
            offices_.push_back(s);
        };
        return o;
    }
    static std::string profile() { return profile_->path() + "/profile"; }

    static TempDir* profile_;
    std::mutex started_mutex_;
    std::optional<OfficeStarted> started_;  // the latest
    std::vector<OfficeStarted> offices_;     // all, ended by TearDown
};

TempDir* LibreOfficeExport::profile_ = nullptr;

calc::ColumnResult first_example() {
    return calc::calculate({100, 0.5, 0.95, 0.05, 2, 2.5});
}

// The document holds the worked example's table, types and bits exact, and
// nothing else.
void expect_table(const Reference<css::sheet::XSpreadsheetDocument>& document) {
    EXPECT_EQ(testkit::cell_differences(testkit::first_example_cells(), cells_of(document)), std::vector<std::string>{});
}

// The office running on `profile` holds `expected` documents, each of them
// the worked example's table; then it is asked to end.
void expect_tables_then_end_office(const std::string& profile, std::size_t expected) {
    OfficeLink link(profile);
    const auto documents = link.spreadsheets();
    EXPECT_EQ(documents.size(), expected);
    for (const auto& document : documents) expect_table(document);
    link.terminate_office();
}

// The export keeps the contract of every spreadsheet: the table read back
// from the office the user is left with.
TEST_F(LibreOfficeExport, KeepsTheSpreadsheetContract) {
    const calc::ColumnResult column = first_example();
    ASSERT_EQ(column.feed_plate.value(), 5);
    ASSERT_EQ(column.plate_count.value(), 11);
    OfficeOptions o = options();
    bool socket_where_expected = false;
    o.after_cell = [&](int) {
        struct stat st {};
        socket_where_expected = lstat(office_pipe_path(started_->pipe_name).c_str(), &st) == 0 &&
                                S_ISSOCK(st.st_mode) && st.st_uid == getuid();
    };
    std::unique_ptr<Spreadsheet> sheet = libreoffice_spreadsheet(o);
    std::unique_ptr<OfficeLink> link;
    const auto violations = testkit::spreadsheet_contract_violations(*sheet, [&] {
        sheet.reset();  // the backend lets go of the office, as at the end of a press
        if (!started_) return std::vector<testkit::Cell>{};
        EXPECT_TRUE(group_alive(started_->group)) << "the export must leave the office running";
        // Nothing left behind: the office no longer listens on our pipe
        // (before the test's own link asks it to listen on another).
        EXPECT_EQ(access(office_pipe_path(started_->pipe_name).c_str(), F_OK), -1);
        EXPECT_EQ(acceptor_threads(started_->group), 0);
        link = std::make_unique<OfficeLink>(profile());
        const auto documents = link->spreadsheets();
        EXPECT_EQ(documents.size(), 1u);
        return documents.empty() ? std::vector<testkit::Cell>{} : cells_of(documents[0]);
    });
    EXPECT_EQ(violations, std::vector<std::string>{});
    EXPECT_TRUE(socket_where_expected) << "the office's socket is not where we connect";
    link->terminate_office();
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
    EXPECT_EQ(acceptor_threads(offices_[0].group), 0);
    expect_tables_then_end_office(profile(), 2);
}

// Two presses at the same moment with no office running: one export waits
// for the other, and both tables arrive. PATH names no office at all: the
// installed one is found, and its launcher script still finds its tools.
TEST_F(LibreOfficeExport, TwoExportsAtOnceBothArrive) {
    const calc::ColumnResult column = first_example();
    std::string errors[2];
    {
        const ScopedEnv no_office_on_path{{"PATH", "/nonexistent"}};
        std::vector<std::thread> presses;
        for (auto& error : errors) {
            presses.emplace_back([&] {
                error = testkit::raised_by([&] {
                            auto sheet = libreoffice_spreadsheet(options());
                            export_profile(*sheet, column.plate_count, column.x, column.y);
                        }).description;
            });
        }
        for (auto& press : presses) press.join();
    }
    EXPECT_EQ(errors[0] + errors[1], "");
    expect_tables_then_end_office(profile(), 2);
}

// A launcher that hands over exits 0 at once, and the office it handed over
// to may take its time to open our pipe: here that office is busy for 6 s (a
// stand-in process of its name until the real one starts), longer than any
// fixed grace would be. The export waits for it up to the start deadline.
TEST_F(LibreOfficeExport, AHandOverIsAwaitedUpToTheStartDeadline) {
    TempDir dir;
    std::filesystem::copy_file("/bin/sleep", dir.path() + "/soffice.bin");
    OfficeOptions o = options();
    o.program = dir.file("handing-over",
                         "#!/bin/sh\n"
                         "case \"$*\" in *--unaccept=*) exec " VELTRANO_OFFICE_PROGRAM_DIR "/soffice \"$@\";; esac\n"
                         "\"" + dir.path() + "/soffice.bin\" 8 &\n"
                         "(sleep 6; exec " VELTRANO_OFFICE_PROGRAM_DIR "/soffice \"$@\") </dev/null >/dev/null 2>&1 &\n"
                         "exit 0\n",
                         true);
    const calc::ColumnResult column = first_example();
    auto sheet = libreoffice_spreadsheet(o);
    export_profile(*sheet, column.plate_count, column.x, column.y);
    sheet.reset();
    OfficeLink link(profile());
    EXPECT_EQ(link.spreadsheets().size(), 1u);
    link.terminate_office();
}

TEST_F(LibreOfficeExport, AnOfficeThatCannotStartIs429) {
    TempDir dir;
    const std::string silent = dir.file("silent-office", "#!/bin/sh\nsleep 600 &\nexec sleep 600\n", true);
    const std::string killed = dir.file("killed-office", "#!/bin/sh\nkill -9 $$\n", true);
    const std::string not_executable = dir.file("not-executable", "#!/bin/sh\n", false);

    // An X server that takes the connection and never says a word: a frozen
    // one, on a display number of its own.
    const std::optional<std::string> frozen = free_x_display();
    std::optional<FakeListener> frozen_server;
    if (frozen) frozen_server.emplace("/tmp/.X11-unix/X" + frozen->substr(1), ListenerSpec{});

    struct Case { const char* what; std::string program; std::chrono::milliseconds deadline; const char* display; const char* says; };
    const Case cases[] = {
        {"no such program", dir.path() + "/no-office", 120s, nullptr, "找不到 LibreOffice"},
        {"not executable", not_executable, 120s, nullptr, "找不到 LibreOffice"},
        {"exits at once", "/bin/false", 120s, nullptr, "启动程序已退出（退出状态 1）"},
        {"killed at once", killed, 120s, nullptr, "启动程序已退出（被信号 9 结束）"},
        {"never accepts", silent, 2s, nullptr, "LibreOffice 在 2 秒内没有响应"},
        // The office finds out itself that it has no window, and since we
        // started it, we end it.
        {"no display to show it on", "soffice", 120s, "", "启动后没有图形显示（DISPLAY 和 WAYLAND_DISPLAY 均未设置）"},
        {"a display that does not answer", "soffice", 120s, ":65000", "启动后没有图形显示（DISPLAY=:65000）"},
        // The office waits for the display as long as we let it.
        {"a display that never answers", "soffice", 5s, frozen ? frozen->c_str() : nullptr, "LibreOffice 在 5 秒内没有响应"},
    };
    for (const auto& c : cases) {
        if (std::string(c.what) == "a display that never answers" && !frozen) continue;
        started_.reset();
        OfficeOptions o = options();
        o.program = c.program;
        o.start_deadline = c.deadline;
        // With a display given: the product's settings, on a machine whose display does not answer.
        o.headless = c.display == nullptr;
        const ScopedEnv display{{"DISPLAY", c.display ? (*c.display ? c.display : nullptr) : std::getenv("DISPLAY")},
                                {"WAYLAND_DISPLAY", c.display ? nullptr : std::getenv("WAYLAND_DISPLAY")}};
        calc::Profile x, y;
        auto sheet = libreoffice_spreadsheet(o);
        const testkit::Raised error = testkit::raised_by([&] { export_profile(*sheet, calc::ShortInt(1), x, y); });
        EXPECT_EQ(error.number, 429) << c.what << ": " << error.description;
        EXPECT_EQ(error.description.rfind("无法创建电子表格应用程序对象：", 0), 0u) << error.description;
        EXPECT_NE(error.description.find(c.says), std::string::npos) << c.what << ": " << error.description;
        // A start that never served us is ended, all of it: no office of
        // ours may be left running unseen.
        if (started_) {
            EXPECT_FALSE(group_alive(started_->group)) << c.what;
        }
    }
    started_.reset();
}

// Another user reads the pipe's name from the office's command line and
// gets to its socket path first, or fills its queue: the export connects to
// none of it, sends nothing, and gives 429 within its deadline.
TEST_F(LibreOfficeExport, APipeThatIsNotOursGets429AndNotAByte) {
    TempDir dir;
    const std::string silent = dir.file("silent-office", "#!/bin/sh\nexec sleep 600\n", true);
    struct Case { const char* what; ListenerSpec squatter; const char* says; bool needs_root; };
    const Case cases[] = {
        {"another user's socket", {true, false, false}, "已被另一个用户", true},
        {"another user listening on our socket", {false, true, false}, "由另一个用户", true},
        {"another user's socket, queue full", {true, false, true}, "已被另一个用户", true},
        {"a full queue", {false, false, true}, "没有响应（管道的连接队列已满）", false},
    };
    for (const auto& c : cases) {
        if (c.needs_root && !running_as_root()) continue;
        std::optional<FakeListener> squatter;
        OfficeOptions o = options();
        o.program = silent;
        o.start_deadline = 3s;
        o.on_started = [&](const OfficeStarted& s) {
            offices_.push_back(s);
            squatter.emplace(office_pipe_path(s.pipe_name), c.squatter);
        };
        auto sheet = libreoffice_spreadsheet(o);
        const auto pressed = Clock::now();
        EXPECT_RUN_ERROR(sheet->create_application(), 429, c.says) << c.what;
        // The deadline, and the grace for ending the start that never served us.
        EXPECT_LT(Clock::now() - pressed, o.start_deadline + 3s) << c.what;
        ASSERT_TRUE(squatter);
        EXPECT_EQ(squatter->stop(), 0) << c.what << ": bytes reached the squatter";
        EXPECT_FALSE(group_alive(offices_.back().group)) << c.what;
    }
}

// An office that cannot show a window gives 429, never a success nobody
// sees; tried both ways with a real X server.
TEST_F(LibreOfficeExport, OnlyAnOfficeThatCanShowItsWindowTakesTheTable) {
    if (access(kXvfb, X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
    TempDir dir;
    const std::string cookies = dir.path() + "/cookies";
    write_cookie_file(cookies, "0123456789abcdef");
    TestXServer server(cookies);
    const ScopedEnv display{{"DISPLAY", server.display().c_str()}, {"XAUTHORITY", cookies.c_str()},
                            {"WAYLAND_DISPLAY", nullptr}};
    const calc::ColumnResult column = first_example();
    OfficeOptions shown = options();
    shown.headless = false;
    auto press = [&](const char* error) {
        auto sheet = libreoffice_spreadsheet(shown);
        EXPECT_RUN_ERROR(export_profile(*sheet, column.plate_count, column.x, column.y), error ? 429 : 0,
                         error ? error : "");
    };
    auto documents_then_end = [&](std::size_t expected, int group) {
        expect_tables_then_end_office(profile(), expected);
        wait_group_gone(group, 60s);
    };

    // The user's office runs without a display (as one started with a
    // DISPLAY that did not answer does); a press with a display that answers
    // hands over to it: 429, and that office runs on with its one document.
    {
        auto sheet = libreoffice_spreadsheet(options());
        export_profile(*sheet, column.plate_count, column.x, column.y);
    }
    press("正在运行的 LibreOffice 没有图形显示");
    EXPECT_TRUE(group_alive(offices_[0].group)) << "the user's office is never ended";
    EXPECT_EQ(acceptor_threads(offices_[0].group), 0);
    documents_then_end(1, offices_[0].group);

    // With that office gone, the press starts one on the X server, which
    // shows the table. A second press without any display (a terminal of
    // the user's without DISPLAY) hands over to that office, which shows it
    // too: the user sees both.
    press(nullptr);
    const int shown_office = offices_.back().group;
    {
        const ScopedEnv no_display{{"DISPLAY", nullptr}};
        press(nullptr);
    }
    documents_then_end(2, shown_office);

    // The server refuses our cookie, or answers but has no screen 5: the
    // office comes up without a display, and since we started it, we end it.
    const std::string wrong = dir.path() + "/wrong";
    write_cookie_file(wrong, "fedcba9876543210");
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"XAUTHORITY", wrong},
                                      std::pair<const char*, std::string>{"DISPLAY", server.display() + ".5"}}) {
        const ScopedEnv unusable{{name, value.c_str()}};
        press("启动后没有图形显示");
        EXPECT_FALSE(group_alive(offices_.back().group)) << name << "=" << value;
    }

    // Only a Wayland compositor answers, which this office cannot use: it
    // gives up at once with exit status 0, and nobody takes a hand-over.
    // (Unless an office of someone else's test runs here meanwhile.)
    FakeListener compositor(dir.path() + "/wayland-0", {});
    const ScopedEnv wayland{{"DISPLAY", nullptr}, {"WAYLAND_DISPLAY", (dir.path() + "/wayland-0").c_str()}};
    if (!process_running("soffice.bin", getuid())) press("没有正在运行的 LibreOffice 接手");
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
        // The error names the 11th cell.
        EXPECT_RUN_ERROR(export_profile(*sheet, column.plate_count, column.x, column.y), c.status, "D2") << c.what;
        EXPECT_EQ(written, 10) << c.what;
        // A killed office's socket is removed; a frozen one still listens on it.
        EXPECT_EQ(access(office_pipe_path(started_->pipe_name).c_str(), F_OK) == 0, c.signal == SIGSTOP) << c.what;
        sheet.reset();
        end_office(*started_, 0s);
    }
    started_.reset();
}

}  // namespace
}  // namespace veltrano::sheet
