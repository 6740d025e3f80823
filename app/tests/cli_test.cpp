// The command-line contract: arguments, output lines, exit codes.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"

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

}  // namespace
}  // namespace veltrano::app
