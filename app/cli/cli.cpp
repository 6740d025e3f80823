#include "cli.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <tuple>
#include <string_view>

#include "veltrano/core/replace_file.h"
#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"
#include "sweep.h"
#include "veltrano/calc/balances.h"
#include "veltrano/calc/design.h"
#include "veltrano/sheet/text_table.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/command/text_fields.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/input_fields.h"

namespace veltrano::app {

namespace {

constexpr std::string_view kUsageChinese =
    "用法: veltrano-cli [选项] F xF xD xW R alpha\n"
    "      veltrano-cli design [--q Q] [--efficiency E] [选项] F xF xD xW R alpha\n"
    "  F      进料流率 (kmol/h)，窗口中的“进料流率F”\n"
    "  xF     进料中易挥发组分的摩尔分数，窗口中的“进料组分摩尔比”\n"
    "  xD     塔顶产品（馏出液）中易挥发组分的摩尔分数，窗口中的“馏出组分摩尔比”\n"
    "  xW     塔底产品（釜液）中易挥发组分的摩尔分数，窗口中的“回流组分摩尔比”\n"
    "  R      回流比 L/D\n"
    "  alpha  相对挥发度 α\n"
    "每个参数按窗口中输入框的文字处理（\"\" 为空栏），数字格式随用户区域设置。\n"
    "成功时输出进料板、塔板数和逐板 X/Y 表（五行，制表符分隔），退出码 0；\n"
    "运行时错误写到标准错误 \"error <编号>: <说明>\"，退出码 1；用法不对，退出码 2。\n"
    "塔板的计数（默认的逐板计算，与窗口相同）:\n"
    "  第 1 块是塔顶板，其蒸汽即馏出液（全凝器，y1 = xD）；自塔顶往下数，塔板数含塔底的\n"
    "  再沸器（塔釜）这一级；进料为泡点液体，进料板是第一块液相组成不高于 xF 的板；\n"
    "  第 2 块板总要计算，所以进料板至少是第 2 块，塔板数至少为 3；最多 30 块板：需要\n"
    "  第 31 块，或某一段总到不了它的终点组成时，为错误 9（下标越界）。\n"
    "选项（写在六个参数之前或之后均可；\"--\" 之后的参数都是输入框的文字）:\n"
    "  --details     五行之后再输出 D、W、L、V、L′、V′、最小回流比 Rmin、R/Rmin\n"
    "                和全回流时的最少理论板数 Nmin（Fenske），每行\"名称<TAB>值\"，\n"
    "                没有有限值的写 \"-\"\n"
    "  --sweep R=起:止:步长\n"
    "  --sweep alpha=起:止:步长\n"
    "                把 R（或 alpha）依次换成每个值重算，先一行表头，再每值一行：\n"
    "                值、R/Rmin、进料板、塔板数、错误编号（没有的写 \"-\"），\n"
    "                最多 1000 个值\n"
    "  --svg 文件    把 McCabe–Thiele 图写成 SVG 文件；与 --sweep 同用时改画\n"
    "                塔板数随 R/Rmin 的变化。计算出错时不写文件\n"
    "  --export      另外把逐板表送到新的电子表格（Linux 上为 LibreOffice Calc，\n"
    "                Windows 上为 Excel），文档保持打开、不保存，由用户继续使用\n"
    "  --help, -h    显示本说明（区域设置为中文时用中文，否则用英文）\n"
    "先输出五行结果、--details 的各行和 --sweep 的表，再写 --svg 的文件，最后导出；\n"
    "写文件或导出失败时，已输出的结果保留，错误写到标准错误，退出码 1。\n"
    "输入不合物理范围（见下）而逐板计算仍然成功时，结果照旧，另在标准错误\n"
    "每条规则写一行 \"warning: <说明>\"。\n"
    "design 模式（第一个参数写 design）: 按 McCabe–Thiele 法设计实际的塔，先检查输入:\n"
    "  F > 0；0 < xW < xF < xD < 1；alpha > 1；q 有限；0 < E <= 1；R > 0 且 R > Rmin(q)；\n"
    "  V′ > 0。不满足时写 \"error 5: <说明>\"（说明写出输入、规则和数值），退出码 1。\n"
    "  --q Q           进料热状况参数，默认 1（泡点液体）；0 为露点蒸汽，大于 1 为\n"
    "                  过冷液体，小于 0 为过热蒸汽\n"
    "  --efficiency E  默弗里汽相板效率，默认 1\n"
    "  逐级计算从塔顶开始: 第 1 级是塔顶板，y1 = xD（全凝器）；各级液相在拟平衡线\n"
    "  y = op(x) + E·(平衡(x) − op(x)) 上；进料级是液相第一次不高于两操作线交点的那一级\n"
    "  （可以是第 1 级）；最后一级是再沸器（理想级），塔板数 N 含再沸器；最多 1000 级。\n"
    "  输出与上面同样的五行（可多于 30 列）；--details 另加 分数板数、Gilliland 估算板数、\n"
    "  Kirkbride NR/NS；--sweep 还可扫描 q= 和 E=，给定的值本身不可行也照样扫描，\n"
    "  每行写出自己的错误和说明；--svg 画出 q 线和（E < 1 时）虚线的拟平衡线。\n"
    "示例:\n"
    "  veltrano-cli 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --details 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --svg 塔板图.svg 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --sweep R=1:3:0.1 --svg 回流比.svg 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli design --q 1.5 --efficiency 0.7 --details 100 0.36 0.915 0.05 1.55 2.5\n";

constexpr std::string_view kUsageEnglish =
    "Usage: veltrano-cli [options] F xF xD xW R alpha\n"
    "       veltrano-cli design [--q Q] [--efficiency E] [options] F xF xD xW R alpha\n"
    "  F      feed flow (kmol/h), the window's \"进料流率F\"\n"
    "  xF     mole fraction of the light component in the feed (\"进料组分摩尔比\")\n"
    "  xD     mole fraction of the light component in the distillate (\"馏出组分摩尔比\")\n"
    "  xW     mole fraction of the light component in the bottoms (\"回流组分摩尔比\")\n"
    "  R      reflux ratio L/D\n"
    "  alpha  relative volatility\n"
    "Each argument is taken as the text of the window's field (\"\" is an empty\n"
    "field); numbers are read by the user's locale.\n"
    "On success it prints the feed plate, the number of plates and the x/y profile\n"
    "(five tab-separated lines), status 0; a run-time error is the line\n"
    "\"error <number>: <description>\" on standard error, status 1; wrong usage,\n"
    "status 2.\n"
    "The results, the error lines and the window stay in Chinese.\n"
    "How the column is counted (the default plate-by-plate run, as in the window):\n"
    "  plate 1 is the top plate, whose vapour is the distillate (total condenser,\n"
    "  y1 = xD); plates are counted from the top and the count includes the bottom\n"
    "  stage, the reboiler; the feed is saturated liquid and the feed plate is the\n"
    "  first plate whose liquid is no richer than xF; plate 2 is always computed, so\n"
    "  the feed plate is at least 2 and the count at least 3; at most 30 plates: a\n"
    "  column that needs a 31st, or a section that never reaches its end\n"
    "  composition, is error 9 (下标越界, subscript out of range).\n"
    "Options (before or after the six arguments; after \"--\" every argument is a\n"
    "field's text):\n"
    "  --details     after the five lines, D, W, L, V, L', V', the minimum reflux\n"
    "                Rmin, R/Rmin and the minimum stages at total reflux Nmin\n"
    "                (Fenske), one \"name<TAB>value\" line each, \"-\" for no\n"
    "                finite value\n"
    "  --sweep R=FROM:TO:STEP\n"
    "  --sweep alpha=FROM:TO:STEP\n"
    "                the column again for each value of R (or alpha): a header line,\n"
    "                then per value: value, R/Rmin, feed plate, plates, error number\n"
    "                (\"-\" for none); at most 1000 values\n"
    "  --svg FILE    write the McCabe-Thiele diagram as SVG; with --sweep, the plates\n"
    "                against R/Rmin instead. Nothing is written after an error\n"
    "  --export      also hand the profile to a new spreadsheet (LibreOffice Calc on\n"
    "                Linux, Excel on Windows), left open and unsaved for the user\n"
    "  --help, -h    show this help (in Chinese under a Chinese locale, else English)\n"
    "First the five lines, --details and the --sweep table, then the --svg file, last\n"
    "the export; when the file or the export fails, what was printed stands, the\n"
    "error goes to standard error, status 1.\n"
    "When the inputs break a physical rule (see below) and the run still succeeds,\n"
    "the results stand and each broken rule adds a line \"warning: <description>\"\n"
    "on standard error.\n"
    "Design mode (design as the first argument): a real column by the McCabe-Thiele\n"
    "method, every input checked first:\n"
    "  F > 0; 0 < xW < xF < xD < 1; alpha > 1; q finite; 0 < E <= 1; R > 0 and\n"
    "  R > Rmin(q); V' > 0. Otherwise \"error 5: <description>\" (the input, the rule\n"
    "  and the values), status 1.\n"
    "  --q Q           feed quality, default 1 (saturated liquid); 0 saturated\n"
    "                  vapour, above 1 subcooled liquid, below 0 superheated vapour\n"
    "  --efficiency E  Murphree vapour efficiency, default 1\n"
    "  Stages are stepped from the top: stage 1 is the top plate, y1 = xD (total\n"
    "  condenser); each stage's liquid lies on the pseudo-equilibrium curve\n"
    "  y = op(x) + E(eq(x) - op(x)); the feed stage is the first whose liquid is no\n"
    "  richer than where the operating lines meet (it may be stage 1); the last stage\n"
    "  is the reboiler (ideal), included in the count N; at most 1000 stages.\n"
    "  The same five lines (more than 30 columns possible); --details adds the\n"
    "  fractional stage count, the Gilliland estimate and Kirkbride's NR/NS; --sweep\n"
    "  also takes q= and E= and goes on where the given values fail, each row with\n"
    "  its own error and description; --svg draws the q-line and, for E < 1, the\n"
    "  dashed pseudo-equilibrium curve.\n"
    "Examples:\n"
    "  veltrano-cli 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --details 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --svg diagram.svg 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --sweep R=1:3:0.1 --svg reflux.svg 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli design --q 1.5 --efficiency 0.7 --details 100 0.36 0.915 0.05 1.55 2.5\n";

std::string_view usage(Language language) {
    return language == Language::kChinese ? kUsageChinese : kUsageEnglish;
}

// What the command line asks for.
struct Request {
    bool design = false;  // "design" first: the checked McCabe–Thiele design
    bool help = false;
    bool to_spreadsheet = false;
    bool details = false;
    std::optional<std::string> svg;    // the diagram's file
    std::optional<std::string> sweep;  // "R=FROM:TO:STEP"
    std::optional<std::string> q, efficiency;  // design mode's feed quality and tray efficiency
    std::vector<std::string> texts;    // the six field texts
};

// An argument that can only be meant as an option: "--" and a letter. Field
// texts such as "-1", "--1" or "-inf" stay field texts.
bool looks_like_option(std::string_view arg) {
    if (arg == "-h") return true;
    if (arg.size() < 3 || arg.substr(0, 2) != "--") return false;
    const char c = arg[2];
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Options may stand before, between or after the six texts, each once;
// "--" ends them. Empty, with the reason in `why`, for a usage error.
std::optional<Request> parse_arguments(const std::vector<std::string>& args, Language language, std::string& why) {
    Request r;
    r.design = !args.empty() && args[0] == "design";
    bool options_ended = false;
    for (std::size_t i = r.design ? 1 : 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || !looks_like_option(arg)) {
            if (!options_ended && arg == "--") {
                options_ended = true;
            } else {
                r.texts.push_back(arg);
            }
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto flag = [&](bool& set) {
            if (equals != std::string::npos) why = name + worded(language, " 不带值", " takes no value");
            else if (set) why = name + worded(language, " 只能给一次", " may be given once only");
            set = true;
        };
        const auto valued = [&](std::optional<std::string>& value) {
            if (value) {
                why = name + worded(language, " 只能给一次", " may be given once only");
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size() && !looks_like_option(args[i + 1])) {
                value = args[++i];
            } else {
                why = name + worded(language, " 后面缺少值", " needs a value");
            }
        };
        if (name == "--help" || name == "-h") r.help = true;
        else if (name == "--export") flag(r.to_spreadsheet);
        else if (name == "--details") flag(r.details);
        else if (name == "--svg") valued(r.svg);
        else if (name == "--sweep") valued(r.sweep);
        else if (r.design && name == "--q") valued(r.q);
        else if (r.design && name == "--efficiency") valued(r.efficiency);
        else if (name == "--q" || name == "--efficiency") {
            why = name + worded(language, " 只用于 design 模式（veltrano-cli design ...）",
                            " is for design mode only (veltrano-cli design ...)");
        } else {
            why = worded(language, "未知的选项 ", "unknown option ") + core::quote_excerpt(name);
        }
        if (!why.empty()) return std::nullopt;
    }
    if (r.svg && r.svg->empty()) {
        why = worded(language, "--svg 的文件名是空的", "the file name of --svg is empty");
        return std::nullopt;
    }
    if (!r.help && r.texts.size() != command::kCommandLineOrder.size()) {
        why = worded(language, "需要 6 个参数（F xF xD xW R alpha），现有 ", "6 arguments are needed (F xF xD xW R alpha), not ") +
              std::to_string(r.texts.size()) + worded(language, " 个", "");
        return std::nullopt;
    }
    return r;
}

int usage_error(std::ostream& err, Language language, const std::string& why) {
    err << usage(language) << "veltrano-cli: " << why << '\n';
    return 2;
}

// The window's eight text boxes: the six inputs from the arguments, given in
// the command line's order, and the two result fields, empty.
command::TextFields argument_fields(const std::vector<std::string>& values) {
    command::TextFields::Texts texts = {{std::string(command::kFeedPlateField), ""},
                                        {std::string(command::kPlateCountField), ""}};
    for (std::size_t i = 0; i < command::kCommandLineOrder.size(); ++i) {
        texts[std::string(command::input_field(command::kCommandLineOrder[i]).name)] = values[i];
    }
    return command::TextFields(std::move(texts));
}

// A run-time error as the CLI's contract has it: one line on stderr, status 1.
int report(std::ostream& err, const core::ErrorReport& report) {
    err << report.line() << '\n';
    return 1;
}

std::string number_or_dash(const std::optional<double>& v) {
    return v ? core::double_to_text(*v) : "-";
}

// Lines of "name TAB value", in the order given.
std::string name_value_lines(std::initializer_list<std::pair<const char*, std::optional<double>>> lines) {
    std::string out;
    for (const auto& [name, value] : lines) out += std::string(name) + '\t' + number_or_dash(value) + '\n';
    return out;
}

// The lines of --details, in a fixed order: name TAB value.
std::string details(const calc::Balances& b) {
    return name_value_lines({
        {"馏出流量 D", b.D},
        {"塔底流量 W", b.W},
        {"精馏段液相流量 L", b.L},
        {"精馏段汽相流量 V", b.V},
        {"提馏段液相流量 L′", b.L_strip},
        {"提馏段汽相流量 V′", b.V_strip},
        {"最小回流比 Rmin", b.R_min},
        {"R/Rmin", b.R_over_R_min},
        {"最少理论板数 Nmin", b.N_min},
    });
}

// Design mode's --details: the same quantities for its feed condition, then
// the fractional stage count and the shortcut estimates.
std::string design_details(const calc::Design& d) {
    return details({d.D, d.W, d.L, d.V, d.L_strip, d.V_strip, d.R_min, d.R_over_R_min, d.N_min}) +
           name_value_lines({
               {"分数板数", d.fractional_stages},
               {"Gilliland 估算板数", d.gilliland_stages},
               {"Kirkbride NR/NS", d.kirkbride_ratio},
           });
}

// After a successful plate-by-plate run: each physical rule its inputs break,
// one line each. The run stands as it is; design mode is the checked way.
void warn_unphysical(std::ostream& err, const calc::ColumnInputs& in) {
    for (const std::string& problem : calc::input_problems({in, 1, 1})) {
        err << "warning: " << problem << "（逐板计算照常给出结果；“veltrano-cli design” 会检查输入）\n";
    }
}

// The hand-over to a new spreadsheet application from `new_spreadsheet`;
// the application's references are released when the export ends.
int export_to(std::ostream& err, const sheet::SpreadsheetFactory& new_spreadsheet,
              const std::function<void(sheet::Spreadsheet&)>& write) {
    const auto failed = core::run_press([&] {
        const std::unique_ptr<sheet::Spreadsheet> application = new_spreadsheet();
        write(*application);
    });
    return failed ? report(err, *failed) : 0;
}

int write_svg(std::ostream& err, const std::string& file, const std::string& svg) {
    std::string why;
    if (core::replace_file(file, svg, why)) return 0;
    err << "veltrano-cli: 无法写出图 " << core::escape_controls(file) << "（" << why << "）\n";
    return 1;
}

// veltrano-cli design ...: the checked design. A sweep runs whether or not
// the six arguments themselves pass: each row says its own error, and the
// base case's error follows the table.
int run_design(const Request& request, const core::NumberFormat& format, Language language, std::ostream& out,
               std::ostream& err, const sheet::SpreadsheetFactory& new_spreadsheet) {
    std::string why;
    std::optional<SweepRange> sweep;
    if (request.sweep && !(sweep = parse_sweep(*request.sweep, format, language, why, true))) {
        return usage_error(err, language, why);
    }
    calc::DesignInputs in{};
    const std::tuple<const std::optional<std::string>&, double&, const char*> options[] = {
        {request.q, in.q, "--q"}, {request.efficiency, in.efficiency, "--efficiency"}};
    for (const auto& [text, value, name] : options) {
        if (!text) continue;
        try {
            value = core::text_to_double(*text, format, name);
        } catch (const core::RunError& e) {
            return usage_error(err, language,
                               std::string(name) + worded(language, " 的值读不成数（", " is not a number (") +
                                   e.description() + worded(language, "）", ")"));
        }
    }
    command::TextFields fields = argument_fields(request.texts);
    if (const auto failed = core::run_press([&] { in.column = command::read_inputs(fields, format); })) {
        return report(err, *failed);
    }
    std::optional<calc::Design> design;
    const auto base_failed = core::run_press([&] { design = calc::design_column(in); });
    if (base_failed && !sweep) return report(err, *base_failed);
    if (design) {
        sheet::TextTable table;
        sheet::export_stages(table, design->x, design->y);
        out << "进料板\t" << design->feed_stage << '\n' << "塔板数\t" << design->stage_count << '\n' << table.tsv();
        if (request.details) out << design_details(*design);
    }
    std::vector<SweepRow> rows;
    if (sweep) {
        rows = run_design_sweep(in, *sweep);
        out << sweep_tsv(*sweep, rows);
    }
    out.flush();
    if (request.svg) {
        const std::optional<int> base_stages = design ? std::optional<int>(design->stage_count) : std::nullopt;
        const std::string svg = diagram::to_svg(sweep ? diagram::sweep_plot(in, base_stages, *sweep, rows)
                                                       : diagram::design_diagram(in, *design));
        if (write_svg(err, *request.svg, svg) != 0) return 1;
    }
    if (base_failed) return report(err, *base_failed);
    if (!request.to_spreadsheet) return 0;
    return export_to(err, new_spreadsheet, [&](sheet::Spreadsheet& s) { sheet::export_stages(s, design->x, design->y); });
}

}  // namespace

std::optional<Language> language_of_locale(const char* lc_all, const char* lc_messages, const char* lang) {
    for (const char* value : {lc_all, lc_messages, lang}) {
        if (value == nullptr || *value == '\0') continue;
        const std::string_view v(value);
        return v.substr(0, 2) == "zh" && (v.size() == 2 || v[2] == '_' || v[2] == '.' || v[2] == '@')
                   ? Language::kChinese
                   : Language::kEnglish;
    }
    return std::nullopt;
}

int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const sheet::SpreadsheetFactory& new_spreadsheet, Language language) {
    std::string why;
    const std::optional<Request> request = parse_arguments(args, language, why);
    if (!request) return usage_error(err, language, why);
    if (request->help) {
        out << usage(language);
        return 0;
    }
    const core::NumberFormat format = core::user_number_format();
    if (request->design) return run_design(*request, format, language, out, err, new_spreadsheet);
    std::optional<SweepRange> sweep;
    if (request->sweep && !(sweep = parse_sweep(*request->sweep, format, language, why))) {
        return usage_error(err, language, why);
    }

    command::TextFields fields = argument_fields(request->texts);
    sheet::TextTable table;
    std::optional<command::Calculation> press;
    if (const auto failed = core::run_press([&] { press = command::run_calculate(fields, format, table); })) {
        return report(err, *failed);
    }
    const calc::ColumnInputs& inputs = press->inputs;
    const calc::ColumnResult& column = press->column;
    out << "进料板\t" << core::short_to_text(column.feed_plate.value()) << '\n'
        << "塔板数\t" << core::short_to_text(column.plate_count.value()) << '\n'
        << table.tsv();
    if (request->details) out << details(calc::balances(inputs, column));
    std::vector<SweepRow> rows;
    if (sweep) {
        rows = run_sweep(inputs, *sweep);
        out << sweep_tsv(*sweep, rows);
    }

    // The results are out before a file is written or the office starts, as
    // the window shows its two fields before the export; a later failure
    // leaves them standing.
    out.flush();
    if (request->svg) {
        const std::string svg = diagram::to_svg(sweep ? diagram::sweep_plot({inputs}, column.plate_count.value(), *sweep, rows)
                                                      : diagram::staircase_diagram(inputs, column));
        if (write_svg(err, *request->svg, svg) != 0) return 1;
    }
    if (request->to_spreadsheet) {
        const int status = export_to(err, new_spreadsheet, [&](sheet::Spreadsheet& s) {
            sheet::export_profile(s, column.plate_count, column.x, column.y);
        });
        if (status != 0) return status;
    }
    warn_unphysical(err, inputs);
    return 0;
}

int finish_output(int status, std::ostream& out, std::ostream& err) {
    errno = 0;
    out.flush();
    if (out) return status;
    const int cause = errno;
    err << "veltrano-cli: 无法写出结果";
    if (cause != 0) err << "（" << std::strerror(cause) << "）";
    err << '\n';
    return 1;
}

}  // namespace veltrano::app
