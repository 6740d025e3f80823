// The command-line contract: arguments, output lines, exit codes.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"
#include "veltrano/calc/errors.h"
#include "veltrano/testing/fakes.h"

namespace veltrano::app {
namespace {

struct CliRun { int status; std::string out, err; };

CliRun run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = run_cli(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Cli, FirstExampleGivesFiveExactLines) {
    const CliRun r = run({"100", "0.5", "0.95", "0.05", "2", "2.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "进料板\t5\n"
              "塔板数\t11\n"
              "板\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\n"
              "X\t0.8837209302325579\t0.7936831380539986\t0.6868977310730251\t0.578878390216891"
              "\t0.4858412935156275\t0.4063057037912716\t0.3066326615621892\t0.20514189904420202"
              "\t0.12146115169500511\t0.06366195849035063\t0.028450859203591507\n"
              "Y\t0.95\t0.9058139534883719\t0.8457887587026657\t0.7745984873820166"
              "\t0.7025855934779273\t0.6311217246875033\t0.5250742717216955\t0.39217688208291895"
              "\t0.2568558653922694\t0.14528153559334014\t0.06821594465380085\n");
}

TEST(Cli, ErrorsAndUsage) {
    struct Case { std::vector<std::string> args; int status; const char* err_prefix; bool out; };
    const Case cases[] = {
        {{"100", "0.5", "0.95", "0.05", "2", ""}, 1, "error 13: ", false},
        {{"", "", "", "", "", ""}, 1, "error 13: 类型不匹配：“进料流率F”", false},
        {{"100", "0.5", "0.98", "0.02", "1.5", "2"}, 1, "error 9: 下标越界", false},
        {{"100", "0.5", "0.95", "0.05", "-1", "2.5"}, 1, "error 11: 除数为零", false},
        {{"100", "0.5", "0.5", "0.5", "2", "2.5"}, 1, "error 6: 溢出", false},
        {{"100", "0.5", "0.95", "0.05", "2"}, 2, "用法", false},
        {{}, 2, "用法", false},
        {{"--help"}, 0, "", true},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.rfind(c.err_prefix, 0), 0u) << r.err;
        EXPECT_EQ(!r.out.empty(), c.out) << r.out;
        if (c.status == 1) {
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
        }
    }
}

TEST(Cli, ExportRunsAfterTheUsualOutput) {
    const std::vector<std::string> example = {"100", "0.5", "0.95", "0.05", "2", "2.5"};
    const std::string usual = run(example).out;
    std::vector<std::string> with_export = example;
    with_export.insert(with_export.begin(), "--export");
    std::vector<std::string> bad_input = with_export;
    bad_input.back() = "";

    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool fail_on_create;
        int status, applications, cells;
        const char* err_prefix;
        bool usual_output;
    };
    const Case cases[] = {
        {"exported", with_export, false, 0, 1, 3 + 3 * 11, "", true},
        {"office missing", with_export, true, 1, 1, 0, "error 429: 无法创建电子表格应用程序对象：找不到", true},
        {"no export asked", example, false, 0, 0, 0, "", true},
        {"input error first", bad_input, false, 1, 0, 0, "error 13: ", false},
        {"too few arguments", {"--export", "100"}, false, 2, 0, 0, "用法", false},
    };
    for (const auto& c : cases) {
        int applications = 0;
        const auto record = std::make_shared<testing::SheetRecord>();
        std::ostringstream out, err;
        const int status = run_cli(c.args, out, err, [&] {
            ++applications;
            auto sheet = std::make_unique<testing::RecordingSpreadsheet>(nullptr, record);
            sheet->fail_on_create = c.fail_on_create;
            return sheet;
        });
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(applications, c.applications) << c.what;
        EXPECT_EQ(record->cells.size(), static_cast<std::size_t>(c.cells)) << c.what;
        EXPECT_EQ(err.str().rfind(c.err_prefix, 0), 0u) << c.what << ": " << err.str();
        EXPECT_EQ(out.str(), c.usual_output ? usual : "") << c.what;
    }
}

TEST(Cli, OutputThatCannotBeWrittenIsSaid) {
    struct Case { bool broken; int status, expected; bool said; };
    for (const Case& c : {Case{false, 0, 0, false}, Case{false, 1, 1, false}, Case{true, 0, 1, true},
                          Case{true, 2, 1, true}}) {
        std::ostringstream out, err;
        if (c.broken) out.setstate(std::ios::badbit);
        EXPECT_EQ(finish_output(c.status, out, err), c.expected);
        EXPECT_EQ(err.str().rfind("veltrano-cli: 无法写出结果", 0) == 0, c.said) << err.str();
    }
}

}  // namespace
}  // namespace veltrano::app
