// Real mixtures on the command line: the shape of a request, every bad
// input a clear error, the design's sixth line and its details, the
// component table's round trip, the T–x–y table and the export's T row.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_run.h"
#include "veltrano/calc/thermo.h"

namespace veltrano::app {
namespace {

using cli_run::cells;
using cli_run::lines;
using cli_run::run;

namespace fs = std::filesystem;

// A folder of the test's own, for the files a user would give.
struct Files {
    fs::path dir = fs::temp_directory_path() / ("veltrano-mixture-" + std::to_string(std::random_device{}()));
    Files() { fs::create_directories(dir); }
    ~Files() { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(dir / name, std::ios::binary) << content;
        return (dir / name).u8string();
    }
};

const std::vector<std::string> kTangentCase = {"100", "0.2", "0.8", "0.02", "1.46"};

std::vector<std::string> design(std::vector<std::string> options, const std::vector<std::string>& texts = kTangentCase) {
    options.insert(options.begin(), "design");
    options.insert(options.end(), texts.begin(), texts.end());
    return options;
}

TEST(MixtureCli, EachBadRequestSaysWhy) {
    const Files files;
    const std::string perry = files.write("perry.tsv", "x\ty\tT\n0.019\t0.17\t95.5\n0.0966\t0.4375\t86.7\n");
    const std::string nan_file = files.write("nan.txt", "0.1 0.3\n0.5 nan\n");
    const std::string hex_file = files.write("hex.txt", "0.1 0.3\n0x1p-1 0.7\n");
    const std::string binary = files.write("binary.dat", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10));
    const std::string huge = (files.dir / "huge.txt").u8string();
    std::ofstream(huge).put('0');
    fs::resize_file(huge, 100u << 20);  // sparse: 100 MB that cost nothing
    const std::string negative_tc = files.write(
        "tc.tsv", "name\tchinese\tA\tB\tC\tTmin\tTmax\tTc\tTb\tHvap\tV\tsource\nx\t某\t9\t1200\t-50\t250\t350\t-508\t329\t29\n");
    const std::string wilson = files.write("wilson.tsv", "light\theavy\tmodel\ta12\ta21\nethanol\twater\tWilson\t100\t500\n");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;  // in the last line of stderr
    };
    const Case cases[] = {
        {"alpha as well", design({"--mixture", "ethanol/water"}, {"100", "0.2", "0.8", "0.02", "1.46", "2.5"}), 2,
         "平衡线代替了相对挥发度 α：需要 5 个参数（F xF xD xW R），现有 6 个"},
        {"mixture and data", design({"--mixture", "ethanol/water", "--xy", perry}), 2, "--mixture 与 --xy 只能选一个"},
        {"pressure of data", design({"--xy", perry, "--pressure", "50"}), 2, "--pressure 不能与 --xy 同用"},
        {"ideal alone", design({"--ideal"}, {"100", "0.2", "0.8", "0.02", "1.46", "2.5"}), 2, "--ideal 需要 --mixture"},
        {"one name", design({"--mixture", "ethanol"}), 2, "--mixture 应写作 轻组分/重组分"},
        {"alpha swept", design({"--mixture", "ethanol/water", "--sweep", "alpha=2:3:1"}), 2, "只能扫描 R、q、E 或 P"},
        {"pressure not a number", design({"--mixture", "ethanol/water", "--pressure", "nan"}), 2, "--pressure 的值读不成数"},
        {"mixture, plate by plate", {"--mixture", "ethanol/water", "100", "0.5", "0.95", "0.05", "2", "2.5"}, 2,
         "--mixture 只用于 design、vle、rate 命令"},
        {"vle of nothing", {"vle"}, 2, "vle 需要 --mixture 轻组分/重组分 或 --xy 文件"},
        {"vle of a column", {"vle", "--mixture", "ethanol/water", "100"}, 2, "vle 不带数字参数，现有 1"},
        {"points", {"vle", "--mixture", "ethanol/water", "--points", "2.5"}, 2, "--points 须是 1 到 1000 之间的整数"},
        {"unknown name", design({"--mixture", "ethanol/benzol"}), 1, "物性表中没有组分 “benzol”；已有：water（水）"},
        {"one component twice", design({"--mixture", "乙醇/ethanol"}), 1, "一对组分须是两种不同的组分"},
        {"unknown pair", design({"--mixture", "ethanol/toluene"}), 1, "理想溶液（Raoult 定律）请加 --ideal"},
        {"no pressure", design({"--mixture", "ethanol/water", "--pressure", "0"}), 1, "压力 P = 0 kPa 须是大于 0 的有限数"},
        {"negative pressure", design({"--mixture", "ethanol/water", "--pressure", "-5"}), 1, "压力 P = -5 kPa"},
        {"a billion kPa", design({"--mixture", "ethanol/water", "--pressure", "1e9"}), 1, "找不到 乙醇（ethanol）的沸点"},
        {"missing file", design({"--xy", (files.dir / "none.txt").u8string()}), 1, "无法读取数据文件"},
        {"binary file", design({"--xy", binary}), 1, "不是 UTF-8 文本"},
        {"100 MB", design({"--xy", huge}), 1, "文件太大（104857600 字节"},
        {"NaN", design({"--xy", nan_file}), 1, "第 2 行：y “nan” 不是一个数"},
        {"hexadecimal", design({"--xy", hex_file}), 1, "第 2 行：x “0x1p-1” 不是一个数"},
        {"negative Tc", design({"--mixture", "ethanol/water", "--components", negative_tc}), 1,
         "第 2 行：临界温度 Tc = -508 K 须大于 0"},
        {"Wilson without volumes", design({"--mixture", "ethanol/water", "--components", wilson}), 1,
         "Wilson 模型需要两个组分的液体摩尔体积 V"},
        {"past the azeotrope", design({"--mixture", "ethanol/water"}, {"100", "0.2", "0.95", "0.02", "3"}), 1,
         "有最低恒沸点（共沸点），位于塔底组成 xW 与馏出组成 xD 之间，精馏越不过它：馏出组成 xD 须低于 0.8823"},
        {"heavy first", design({"--mixture", "water/ethanol"}), 1, "请写作 ethanol/water"},
        {"below the tangent pinch", design({"--mixture", "ethanol/water"}, {"100", "0.2", "0.8", "0.02", "0.9"}), 1,
         "须大于最小回流比 Rmin = 0.97353"},
    };
    // No column from inputs that failed: no plate count from a curve that failed its checks.
    for (const Case& c : cases) cli_run::expect_refused(c.args, c.status, c.says, c.what);
}

// The tangent-pinch case at 1.5 Rmin: design mode's lines, the bubble
// points from near the azeotrope down to nearly water, and the details,
// whose condenser duty is V times the distillate's latent heat (Watson from
// the table's figures) in kW.
TEST(MixtureCli, TangentPinchDesignWithItsDuties) {
    const auto r = run(design({"--mixture", "乙醇/水", "--details"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 6u + 12u + 7u);
    EXPECT_EQ(out[0], "进料板\t13");
    EXPECT_EQ(out[1], "塔板数\t15");
    const std::vector<std::string> T = cells(out[5]);
    ASSERT_EQ(T.size(), 16u);
    EXPECT_EQ(T[0], "T");
    EXPECT_NEAR(std::stod(T[1]), 78.2, 0.1);
    EXPECT_NEAR(std::stod(T[15]), 99.1, 0.1);
    EXPECT_EQ(out[18].rfind("夹紧点\t切点\t0.632", 0), 0u) << out[18];
    EXPECT_EQ(out[19].rfind("共沸点\t0.882", 0), 0u) << out[19];
    EXPECT_EQ(out[24].rfind("Antoine 外推\tethanol\t2.72", 0), 0u) << out[24];  // the reboiler beyond ethanol's range

    const double V = std::stod(cells(out[9])[1]), top = std::stod(cells(out[20])[1]) + 273.15;
    const auto watson = [&](double Hb, double Tb, double Tc) { return Hb * std::pow((1 - top / Tc) / (1 - Tb / Tc), 0.38); };
    const double latent = 0.8 * watson(38.56, 351.44, 515) + 0.2 * watson(40.65, 373.12, 647.096);  // kJ/mol
    EXPECT_NEAR(std::stod(cells(out[22])[1]), V * latent * 1000 / 3600, 1e-6);
}

TEST(MixtureCli, TableRoundTripAndTheUsersRows) {
    const Files files;
    const auto printed = run({"mixtures"});
    ASSERT_EQ(printed.status, 0) << printed.err;
    const auto again = run({"mixtures", "--components", files.write("table.tsv", printed.out)});
    EXPECT_EQ(again.out, printed.out);

    // The textbook's van Laar constants for ethanol–water, replacing NRTL:
    // the rectifying line touches the curve near x = 0.73.
    const std::string van_laar = files.write(
        "vl.tsv", "light\theavy\tmodel\ta12\ta21\talpha\tsource\nethanol\twater\tvanLaar\t1.6798\t0.9227\t\ttextbook\n");
    const auto r = run(design({"--mixture", "ethanol/water", "--components", van_laar, "--details"},
                              {"100", "0.30", "0.85", "0.05", "2.5"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> out = lines(r.out);
    const std::vector<std::string> pinch = cells(out[18]);
    ASSERT_EQ(pinch.size(), 4u);
    EXPECT_EQ(pinch[1], "切点");
    EXPECT_NEAR(std::stod(pinch[2]), 0.73, 0.005);
}

TEST(MixtureCli, VleTableAndTheExportsTemperatureRow) {
    const auto vle = run({"vle", "--mixture", "ethanol/water", "--points", "4"});
    ASSERT_EQ(vle.status, 0) << vle.err;
    const std::vector<std::string> out = lines(vle.out);
    ASSERT_EQ(out.size(), 1u + 5u + 1u);
    EXPECT_EQ(out[0], "x\ty\tT/°C");
    EXPECT_EQ(out[1].rfind("0\t0\t100.077", 0), 0u) << out[1];
    EXPECT_EQ(out[3].rfind("0.5\t0.66", 0), 0u) << out[3];
    EXPECT_EQ(out[5].rfind("1\t1\t78.256", 0), 0u) << out[5];
    EXPECT_EQ(out[6].rfind("共沸点\t0.882", 0), 0u) << out[6];

    const auto record = std::make_shared<testkit::SheetRecord>();
    std::ostringstream sout, serr;
    const int status = run_cli(design({"--mixture", "ethanol/water", "--export"}), sout, serr,
                               [&] { return std::make_unique<testkit::RecordingSpreadsheet>(nullptr, record); });
    ASSERT_EQ(status, 0) << serr.str();
    // Four labels, then stage, x, y and T of each of the 15 stages.
    ASSERT_EQ(record->cells.size(), 4u + 4u * 15u);
    EXPECT_EQ(record->cells[3].value, sheet::CellValue(std::string("T")));
    const testkit::Cell& last = record->cells.back();
    EXPECT_EQ(last.row, 4);
    EXPECT_EQ(last.column, 16);
    EXPECT_NEAR(std::get<double>(last.value), 99.11, 0.01);
}

}  // namespace
}  // namespace veltrano::app
