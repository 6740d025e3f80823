// veltrano-cli rate: the first example's column rated, its details, a sweep
// of the feed stage naming the best one, and a table of bad inputs, each a
// usage error or error 5 and never a column.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_run.h"

namespace veltrano::app {
namespace {

using cli_run::cells;
using cli_run::lines;
using cli_run::run;

std::vector<std::string> rate(std::vector<std::string> options, const std::vector<std::string>& texts = {"100", "0.5", "2", "2.5"}) {
    options.insert(options.begin(), "rate");
    options.insert(options.end(), texts.begin(), texts.end());
    return options;
}

const std::vector<std::string> kColumn = {"--stages", "11", "--feed-stage", "5", "--distillate", "50"};

std::vector<std::string> column(std::vector<std::string> more) {
    more.insert(more.begin(), kColumn.begin(), kColumn.end());
    return more;
}

TEST(RatingCli, FirstExampleColumnAndItsDetails) {
    const auto r = run(rate(column({"--details"})));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 5u + 2u + 9u);
    EXPECT_EQ(out[0], "进料板\t5");
    EXPECT_EQ(out[1], "塔板数\t11");
    EXPECT_EQ(cells(out[2]).size(), 12u);
    EXPECT_EQ(out[5].rfind("馏出液组成 xD\t0.95577", 0), 0u) << out[5];
    EXPECT_EQ(out[6].rfind("釜液组成 xW\t0.04422", 0), 0u) << out[6];
    EXPECT_EQ(out[7], "馏出流量 D\t50");
    EXPECT_EQ(out[15].rfind("轻组分回收率\t0.95577", 0), 0u) << out[15];
}

// xD by feed stage: 2 0.894, 3 0.928, 4 0.947, 5 0.9558, 6 0.9568, 7 0.951,
// 8 0.936, 9 0.908, 10 0.861: the best is 6.
TEST(RatingCli, FeedStageSweepNamesTheBest) {
    const auto r = run(rate(column({"--details", "--sweep", "feed-stage=1:11:1"})));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 16u + 1u + 11u + 1u);
    EXPECT_EQ(out[16], "feed-stage\txD\txW\t错误\t说明");
    EXPECT_EQ(out[17].rfind("1\t", 0), 0u);
    EXPECT_EQ(out[22].rfind("6\t0.9568", 0), 0u) << out[22];
    EXPECT_EQ(out[27].rfind("11\t-\t-\t5\t", 0), 0u) << out[27];  // the reboiler cannot be fed
    EXPECT_EQ(out.back(), "最佳进料板\t6");
}

TEST(RatingCli, BadInputsAreSaid) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"N = 1", rate({"--stages", "1", "--feed-stage", "1", "--distillate", "50"}), 1, "塔板数 N = 1 须是 2 到 1000"},
        {"f = N", rate({"--stages", "11", "--feed-stage", "11", "--distillate", "50"}), 1, "进料板 11 须在第 1 到第 10"},
        {"D = F", rate({"--stages", "11", "--feed-stage", "5", "--distillate", "100"}), 1, "馏出流量 D = 100 须满足 0 < D < F"},
        {"D = 0", rate({"--stages", "11", "--feed-stage", "5", "--distillate", "0"}), 1, "馏出流量 D = 0 须满足"},
        {"E = 0", rate(column({"--efficiency", "0"})), 1, "默弗里板效率 E = 0 须满足 0 < E ≤ 1"},
        {"xF = 1", rate(kColumn, {"100", "1", "2", "2.5"}), 1, "进料组成 xF = 1 须在 0 与 1 之间"},
        {"a huge N", rate({"--stages", "100000", "--feed-stage", "5", "--distillate", "50"}), 1, "塔板数 N = 100000"},
        {"past int", rate({"--stages", "99999999999", "--feed-stage", "5", "--distillate", "50"}), 2, "--stages 须是整数"},
        {"superheated, no vapour", rate(column({"--q", "-2"}), {"100", "0.5", "1", "2.5"}), 1, "提馏段汽相流量 V′ = -200"},
        {"half a stage", rate({"--stages", "12.5", "--feed-stage", "5", "--distillate", "50"}), 2, "--stages 须是整数，不是 12.5"},
        {"no distillate", rate({"--stages", "11", "--feed-stage", "5"}), 2, "rate 需要 --stages N、--feed-stage 进料板 与 --distillate D"},
        {"xD and xW given", rate(kColumn, {"100", "0.5", "0.95", "0.05", "2", "2.5"}), 2, "rate 需要 4 个参数（F xF R alpha），现有 6 个"},
        {"alpha on a mixture", rate(column({"--mixture", "ethanol/water"})), 2, "需要 3 个参数（F xF R），现有 4 个"},
        {"alpha swept", rate(column({"--sweep", "alpha=2:3:1"})), 2, "rate 的 --sweep 只能扫描 R、D、q、E、stages 或 feed-stage"},
        {"distillate in design", {"design", "--distillate", "50", "100", "0.5", "0.95", "0.05", "2", "2.5"}, 2,
         "--distillate 只用于 rate 命令"},
    };
    // No column from inputs that failed: no plate count from a curve that failed its checks.
    for (const Case& c : cases) cli_run::expect_refused(c.args, c.status, c.says, c.what);
}

TEST(RatingCli, OnAMixtureWithItsTemperatures) {
    const auto r = run(rate({"--mixture", "ethanol/water", "--stages", "15", "--feed-stage", "13", "--distillate", "23"},
                            {"100", "0.2", "1.46"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 8u);
    EXPECT_EQ(out[5].rfind("T\t78.", 0), 0u) << out[5];
    EXPECT_EQ(out[6].rfind("馏出液组成 xD\t0.80", 0), 0u) << out[6];
}

}  // namespace
}  // namespace veltrano::app
