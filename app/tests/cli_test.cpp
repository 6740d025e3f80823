// The command-line contract: arguments, output lines, exit codes.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"
#include "cli_run.h"
#include "sweep.h"
#include "veltrano/core/run_error.h"
#include "veltrano/testkit/fakes.h"

namespace veltrano::app {
namespace {

using cli_run::CliRun;
using cli_run::run;

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
        {{"", "", "", "", "", ""}, 1, "error 13: 类型不匹配：“进料流率F”（F）一栏的内容为空", false},
        {{"100", "0.5", "0.95", "", "2", "2.5"}, 1, "error 13: 类型不匹配：“回流组分摩尔比”（xW）一栏的内容为空，需要一个数", false},
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
        const auto record = std::make_shared<testkit::SheetRecord>();
        std::ostringstream out, err;
        const int status = run_cli(c.args, out, err, [&] {
            ++applications;
            auto sheet = std::make_unique<testkit::RecordingSpreadsheet>(nullptr, record);
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

// --- options beyond the five lines ------------------------------------------

namespace extras {

const std::vector<std::string> kExample = {"100", "0.5", "0.95", "0.05", "2", "2.5"};

std::vector<std::string> with(std::vector<std::string> before, std::vector<std::string> after = {}) {
    before.insert(before.end(), kExample.begin(), kExample.end());
    before.insert(before.end(), after.begin(), after.end());
    return before;
}

using cli_run::cells;
using cli_run::lines;

}  // namespace extras

TEST(Cli, OptionsStandAroundTheSixTextsAndKeepTheFiveLines) {
    using extras::with;
    const std::string usual = run(extras::kExample).out;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::size_t lines;     // on stdout; the first five are the usual ones
        const char* err_tail;  // the last line of stderr, for a usage error
    };
    const Case cases[] = {
        {with({"--details"}), 0, 5 + 9, ""},
        {with({}, {"--details"}), 0, 5 + 9, ""},
        {with({"--sweep", "R=1:3:1"}, {"--details"}), 0, 5 + 9 + 1 + 3, ""},
        {with({"--sweep=alpha=2:3:0.5"}), 0, 5 + 1 + 3, ""},
        {with({"-h"}), 0, 0, ""},
        {with({"--detail"}), 2, 0, "veltrano-cli: 未知的选项 --detail"},
        {with({"--details", "--details"}), 2, 0, "veltrano-cli: --details 只能给一次"},
        {with({"--details=yes"}), 2, 0, "veltrano-cli: --details 不带值"},
        {with({}, {"--svg"}), 2, 0, "veltrano-cli: --svg 后面缺少值"},
        {with({"--svg", "--details"}), 2, 0, "veltrano-cli: --svg 后面缺少值"},
        {with({"--svg="}), 2, 0, "veltrano-cli: --svg 的文件名是空的"},
        {{"--svg", "100", "0.5", "0.95", "0.05", "2", "2.5"}, 2, 0, "veltrano-cli: 需要 6 个参数"},
        {with({"--sweep", "R=1:2"}), 2, 0, "veltrano-cli: --sweep 的范围应写作 起:止:步长"},
        {with({"--sweep", "xF=0.4:0.6:0.1"}), 2, 0, "veltrano-cli: --sweep 只能扫描 R 或 alpha"},
        {with({"--sweep", "R=1:2:0"}), 2, 0, "veltrano-cli: --sweep 的步长须不为零"},
        {with({"--sweep", "R=2:1:0.5"}), 2, 0, "veltrano-cli: --sweep 的步长须不为零"},
        {with({"--sweep", "R=0:1000:1"}), 2, 0, "veltrano-cli: --sweep 最多 1000 个值"},
        {with({"--sweep", "R=1:x:1"}), 2, 0, "veltrano-cli: --sweep 的范围中有不是数字的部分"},
        // A usage error comes before the fields are read.
        {{"--sweep", "R=1:2:0", "", "", "", "", "", ""}, 2, 0, "veltrano-cli: --sweep 的步长"},
        // Field texts that only look a little like options stay field texts.
        {{"--1", "0.5", "0.95", "0.05", "2", "2.5"}, 1, 0, ""},
        {{"--", "--details", "0.5", "0.95", "0.05", "2", "2.5"}, 1, 0, ""},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        const std::string what = c.args[0] + " " + c.args[1];
        EXPECT_EQ(r.status, c.status) << what << ": " << r.err;
        if (c.status == 0 && c.lines > 0) {
            EXPECT_EQ(r.out.substr(0, usual.size()), usual) << what;
            EXPECT_EQ(extras::lines(r.out).size(), c.lines) << what;
        }
        if (c.status == 2) {
            const auto err = extras::lines(r.err);
            EXPECT_EQ(err.front().rfind("用法", 0), 0u) << what;
            EXPECT_EQ(err.back().rfind(c.err_tail, 0), 0u) << what << ": " << err.back();
            EXPECT_EQ(r.out, "") << what;
        }
        if (c.status == 1) {
            EXPECT_EQ(r.err.rfind("error 13: ", 0), 0u) << what << ": " << r.err;
        }
    }
    EXPECT_EQ(run(with({"-h"})).out, run({"--help"}).out);
}

TEST(Cli, HelpAndUsageErrorsInTheUsersLanguage) {
    struct Locale { const char *lc_all, *lc_messages, *lang; std::optional<Language> language; };
    const Locale locales[] = {
        {nullptr, nullptr, "zh_CN.UTF-8", Language::kChinese},
        {nullptr, nullptr, "en_US.UTF-8", Language::kEnglish},
        {nullptr, nullptr, "zh", Language::kChinese},
        {"C", nullptr, "zh_CN.UTF-8", Language::kEnglish},   // LC_ALL outranks LANG
        {"", "zh_TW.UTF-8", "en_US.UTF-8", Language::kChinese},  // an empty LC_ALL counts as unset
        {nullptr, nullptr, "zhx_XX", Language::kEnglish},    // not "zh" itself
        {nullptr, "", nullptr, std::nullopt},                // none set: the program's default
    };
    for (const Locale& l : locales) {
        EXPECT_EQ(language_of_locale(l.lc_all, l.lc_messages, l.lang), l.language)
            << (l.lc_all ? l.lc_all : "-") << " " << (l.lc_messages ? l.lc_messages : "-") << " " << (l.lang ? l.lang : "-");
    }

    // Each help names the options and how the column is counted; a usage
    // error gives the help and the reason in the same language.
    struct Help { Language language; const char* first; std::vector<const char*> says; const char* why; };
    const Help helps[] = {
        {Language::kEnglish, "Usage: veltrano-cli [options] F xF xD xW R alpha",
         {"reboiler", "plate 1 is the top plate", "plate 2 is always computed", "no richer than xF",
          "saturated liquid", "at most 30 plates", "error 9"},
         "veltrano-cli: 6 arguments are needed (F xF xD xW R alpha), not 1"},
        {Language::kChinese, "用法: veltrano-cli [选项] F xF xD xW R alpha",
         {"再沸器", "第 1 块是塔顶板", "第 2 块板总要计算", "不高于 xF", "泡点液体", "最多 30 块板", "错误 9"},
         "veltrano-cli: 需要 6 个参数（F xF xD xW R alpha），现有 1 个"},
    };
    for (const Help& h : helps) {
        const CliRun help = run({"--help"}, h.language);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(extras::lines(help.out).front(), h.first);
        std::vector<const char*> says = h.says;
        for (const char* option : {"--details", "--sweep", "--svg", "--export", "--help", "design", "--q", "--efficiency"}) {
            says.push_back(option);
        }
        for (const char* phrase : says) EXPECT_NE(help.out.find(phrase), std::string::npos) << phrase;
        const CliRun wrong = run({"100"}, h.language);
        EXPECT_EQ(wrong.status, 2);
        EXPECT_EQ(wrong.err, help.out + h.why + "\n");
    }
}

// Worked by hand. First example: D = W = 50, L = R D = 100, V = L + D = 150,
// L' = L + F = 200, V' = L' - W = 150; y*(0.5) = 1.25 / 1.75 = 5/7, Rmin =
// (0.95 - 5/7) / (5/7 - 0.5) = 1.65 / 1.5 = 1.1; Nmin = ln(19 * 19) / ln 2.5.
// Second: y*(0.4) = 0.988 / 1.588 = 247/397, Rmin = 110.3 / 88.2; Nmin =
// ln(9 * 9) / ln 2.47. With xD = y*(xF) the pinch needs no reflux: Rmin = 0
// and R / Rmin has no finite value.
TEST(Cli, DetailsFollowTheFiveLines) {
    struct Case { std::vector<std::string> args; std::vector<std::pair<std::string, double>> want; };
    const Case cases[] = {
        {extras::with({"--details"}),
         {{"馏出流量 D", 50}, {"塔底流量 W", 50}, {"精馏段液相流量 L", 100}, {"精馏段汽相流量 V", 150},
          {"提馏段液相流量 L′", 200}, {"提馏段汽相流量 V′", 150}, {"最小回流比 Rmin", 1.1},
          {"R/Rmin", 2 / 1.1}, {"最少理论板数 Nmin", std::log(361.0) / std::log(2.5)}}},
        {{"--details", "100", "0.4", "0.9", "0.1", "3", "2.47"},
         {{"馏出流量 D", 37.5}, {"塔底流量 W", 62.5}, {"精馏段液相流量 L", 112.5}, {"精馏段汽相流量 V", 150},
          {"提馏段液相流量 L′", 212.5}, {"提馏段汽相流量 V′", 150}, {"最小回流比 Rmin", 110.3 / 88.2},
          {"R/Rmin", 3 / (110.3 / 88.2)}, {"最少理论板数 Nmin", std::log(81.0) / std::log(2.47)}}},
        {{"--details", "100", "0.5", "0.7142857142857143", "0.05", "2", "2.5"},
         {{"最小回流比 Rmin", 0}, {"R/Rmin", NAN}}},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto out = extras::lines(r.out);
        ASSERT_EQ(out.size(), 14u);
        for (const auto& wanted : c.want) {
            const std::string& name = wanted.first;
            const double value = wanted.second;
            const auto line = std::find_if(out.begin() + 5, out.end(), [&](const std::string& l) {
                return extras::cells(l).front() == name;
            });
            ASSERT_NE(line, out.end()) << name;
            const std::string text = extras::cells(*line).at(1);
            if (std::isnan(value)) {
                EXPECT_EQ(text, "-") << name;
            } else {
                EXPECT_NEAR(std::stod(text), value, 1e-12 * std::max(1.0, value)) << name;
            }
        }
    }
}

// Rising reflux: error 9 up to the minimum reflux (R / Rmin <= 1), then a plate
// count that never rises; every row is the column the plain command gives for
// that R. More volatile mixtures need no more plates either.
TEST(Cli, SweepFallsToTheMinimumReflux) {
    struct Case { std::string sweep; std::size_t rows; int first_success_at_most; };
    for (const Case& c : {Case{"R=0.5:3:0.05", 51, 14}, Case{"alpha=1:4:0.25", 13, 4}}) {
        const CliRun r = run(extras::with({"--sweep", c.sweep}));
        ASSERT_EQ(r.status, 0) << r.err;
        const auto out = extras::lines(r.out);
        ASSERT_EQ(out.size(), 5 + 1 + c.rows);
        EXPECT_EQ(out[5], c.sweep.substr(0, c.sweep.find('=')) + "\tR/Rmin\t进料板\t塔板数\t错误");
        int previous = 31, successes = 0;
        for (std::size_t i = 6; i < out.size(); ++i) {
            const auto row = extras::cells(out[i]);
            ASSERT_EQ(row.size(), 5u) << out[i];
            if (row[4] != "-") {
                EXPECT_EQ(row[4], "9") << out[i];
                EXPECT_EQ(successes, 0) << "an error after a success: " << out[i];
                continue;
            }
            ++successes;
            EXPECT_GT(std::stod(row[1]), 1.0) << out[i];
            const int plates = std::stoi(row[3]);
            EXPECT_LE(plates, previous) << out[i];
            previous = plates;
            std::vector<std::string> args = extras::kExample;
            args[c.sweep[0] == 'R' ? 4 : 5] = row[0];
            const auto plain = extras::lines(run(args).out);
            EXPECT_EQ(plain[0], "进料板\t" + row[2]);
            EXPECT_EQ(plain[1], "塔板数\t" + row[3]);
        }
        EXPECT_GE(successes, static_cast<int>(c.rows) - c.first_success_at_most) << c.sweep;
    }
    // The error of each value is its own: R = -1 divides by zero.
    const auto rows = extras::lines(run(extras::with({"--sweep", "R=-1:0:1"})).out);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[6], "-1\t-0.9090909090909094\t-\t-\t11");
    EXPECT_EQ(rows[7], "0\t0\t-\t-\t9");
}

// Design mode: the same five-line shape (past 30 columns too), its own error
// 5 for inputs that break a physical rule, a sweep whatever the base case
// gives, and its export; and the plate-by-plate mode's warnings.
TEST(Cli, DesignModeAndTheWarnings) {
    const std::vector<std::string> published = {"design", "--q", "1.5", "100", "0.36", "0.915", "0.05", "1.55", "2.5"};
    const auto plus = [](std::vector<std::string> args, std::vector<std::string> more) {
        args.insert(args.begin() + 1, more.begin(), more.end());
        return args;
    };
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::vector<const char*> out;  // the first lines, whole, or a prefix ending in '*'
        std::size_t lines;             // on stdout
        const char* err;               // the first line of stderr, a prefix
        std::size_t err_lines;
        int cells;                     // exported
    };
    const Case cases[] = {
        {"published subcooled feed", published, 0, {"进料板\t5", "塔板数\t12", "板\t1\t*"}, 5, "", 0, 0},
        {"details", plus(published, {"--details"}), 0, {"进料板\t5"}, 5 + 12, "", 0, 0},
        {"forty stages of a close-boiling pair", {"design", "100", "0.5", "0.9", "0.1", "12", "1.2"}, 0,
         {"进料板\t20", "塔板数\t40", "板\t1\t2\t3\t*"}, 5, "", 0, 0},
        {"exported", {"design", "--export", "100", "0.5", "0.9", "0.1", "12", "1.2"}, 0, {}, 5, "", 0, 3 + 3 * 40},
        {"swapped compositions", {"design", "100", "0.5", "0.05", "0.95", "2", "2.5"}, 1, {}, 0,
         "error 5: 无效的过程调用或参数：塔底组成 xW = 0.95 须小于进料组成 xF = 0.5", 1, 0},
        {"not a number", {"design", "100", "0.5", "0.95", "0.05", "2", "x"}, 1, {}, 0, "error 13: ", 1, 0},
        {"sweep from an infeasible R",
         {"design", "--q", "1.5", "--sweep", "R=0.5:2:0.25", "100", "0.36", "0.915", "0.05", "1", "2.5"}, 1,
         {"R\tR/Rmin\t进料板\t塔板数\t错误\t说明", "0.5\t*", "0.75\t*", "1\t*", "1.25\t1.2113864334144573\t6\t14\t-\t-"},
         1 + 7, "error 5: 无效的过程调用或参数：回流比 R = 1 须大于最小回流比", 1, 0},
        {"sweep of the efficiency", plus(published, {"--sweep", "E=0.5:1:0.25"}), 0,
         {"进料板\t5"}, 5 + 1 + 3, "", 0, 0},
        {"q in the plate-by-plate mode", {"--q", "1.5", "100", "0.5", "0.95", "0.05", "2", "2.5"}, 2, {}, 0,
         "用法", 0, 0},
        {"sweep of a composition", plus(published, {"--sweep", "xF=0.3:0.4:0.1"}), 2, {}, 0, "用法", 0, 0},
        {"percentages, plate by plate", {"100", "50", "95", "5", "2", "2.5"}, 0, {"进料板\t2"}, 5,
         "warning: 进料组成 xF = 50 须在 0 与 1 之间", 3, 0},
        {"percentages, designed", {"design", "100", "50", "95", "5", "2", "2.5"}, 1, {}, 0,
         "error 5: 无效的过程调用或参数：进料组成 xF = 50 须在 0 与 1 之间（摩尔分数，不含两端）；50 像是百分数", 1, 0},
    };
    for (const Case& c : cases) {
        const auto record = std::make_shared<testkit::SheetRecord>();
        std::ostringstream out, err;
        const int status = run_cli(c.args, out, err, [&] {
            return std::make_unique<testkit::RecordingSpreadsheet>(nullptr, record);
        });
        EXPECT_EQ(status, c.status) << c.what << ": " << err.str();
        const auto out_lines = extras::lines(out.str()), err_lines = extras::lines(err.str());
        EXPECT_EQ(out_lines.size(), c.lines) << c.what << ": " << out.str();
        for (std::size_t i = 0; i < c.out.size() && i < out_lines.size(); ++i) {
            const std::string want = c.out[i];
            if (want.back() == '*') EXPECT_EQ(out_lines[i].rfind(want.substr(0, want.size() - 1), 0), 0u) << c.what;
            else EXPECT_EQ(out_lines[i], want) << c.what;
        }
        if (c.status != 2) {
            EXPECT_EQ(err_lines.size(), c.err_lines) << c.what << ": " << err.str();
        }
        EXPECT_EQ(err.str().rfind(c.err, 0), 0u) << c.what << ": " << err.str();
        EXPECT_EQ(record->cells.size(), static_cast<std::size_t>(c.cells)) << c.what;
    }
}

TEST(Cli, SweepValuesAreTheDecimalsAUserWouldType) {
    struct Case { const char* text; std::vector<double> values; };
    const Case cases[] = {
        {"R=0.1:0.3:0.1", {0.1, 0.2, 0.3}},  // 0.1 + 2 * 0.1 is 0.30000000000000004
        {"R=1:1.25:0.05", {1, 1.05, 1.1, 1.15, 1.2, 1.25}},
        {"alpha=3:1:-0.5", {3, 2.5, 2, 1.5, 1}},
        {"α=2:2.09:0.1", {2}},
        {"R=-0.2:0.2:0.2", {-0.2, 0, 0.2}},
        {"R=-1e308:1e308:1e308", {-1e308, 0, 1e308}},  // spans beyond the double range
    };
    for (const auto& c : cases) {
        std::string why;
        const auto range = parse_sweep(c.text, core::NumberFormat{}, Language::kChinese, why);
        ASSERT_TRUE(range) << c.text << ": " << why;
        EXPECT_EQ(range->values, c.values) << c.text;
    }
    std::string why;
    EXPECT_EQ(parse_sweep("R=0:999:1", core::NumberFormat{}, Language::kChinese, why)->values.size(), kMaxSweepValues);
    EXPECT_EQ(parse_sweep("R=1,5:2:0,5", core::NumberFormat{",", ""}, Language::kChinese, why)->values,
              (std::vector<double>{1.5, 2}));
}

// The diagram's file is whole or absent: a failed calculation leaves what was
// there, a file that cannot be written leaves nothing of ours behind.
TEST(Cli, DiagramFileIsWholeOrNotWritten) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("veltrano-diagram-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const std::string file = (dir / "d.svg").u8string();
    const auto read = [&] {
        std::ifstream in(fs::u8path(file), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* contains;  // what the file then holds
    };
    const Case cases[] = {
        {"written", extras::with({"--svg", file}), 0, "class=\"staircase\""},
        {"a failed calculation keeps the old file",
         {"--svg", file, "100", "0.5", "0.98", "0.02", "1.5", "2"}, 1, "class=\"staircase\""},
        {"a sweep replaces it", extras::with({"--svg", file, "--sweep", "R=1:2:0.5"}), 0, "class=\"plate-count\""},
        {"a folder that is not there", extras::with({"--svg", (dir / "no" / "d.svg").u8string()}), 1,
         "class=\"plate-count\""},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.args);
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
        const std::string svg = read();
        EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u) << c.what;
        EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n") << c.what;
        EXPECT_NE(svg.find(c.contains), std::string::npos) << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << c.what;
    }
    const CliRun unwritable = run(extras::with({"--svg", (dir / "no" / "d.svg").u8string()}));
    EXPECT_EQ(unwritable.err.rfind("veltrano-cli: 无法写出图 ", 0), 0u) << unwritable.err;
    EXPECT_EQ(unwritable.out, run(extras::kExample).out);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace veltrano::app
