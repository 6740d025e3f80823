#include "cli.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "diagram.h"
#include "replace_file.h"
#include "sweep.h"
#include "veltrano/calc/balances.h"
#include "veltrano/sheet/text_table.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/command/text_fields.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/input_fields.h"

namespace veltrano::app {

namespace {

constexpr std::string_view kUsage =
    "用法: veltrano-cli [选项] F xF xD xW R alpha\n"
    "  F      进料流率 (kmol/h)\n"
    "  xF     进料组分摩尔比\n"
    "  xD     馏出组分摩尔比\n"
    "  xW     塔底（回流）组分摩尔比\n"
    "  R      回流比\n"
    "  alpha  相对挥发度\n"
    "每个参数按窗口中输入框的文字处理（\"\" 为空栏），数字格式随用户区域设置。\n"
    "成功时输出进料板、塔板数和逐板 X/Y 表（五行，制表符分隔），退出码 0；\n"
    "运行时错误写到标准错误 \"error <编号>: <说明>\"，退出码 1；用法不对，退出码 2。\n"
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
    "  --help, -h    显示本说明\n"
    "先输出五行结果、--details 的各行和 --sweep 的表，再写 --svg 的文件，最后导出；\n"
    "写文件或导出失败时，已输出的结果保留，错误写到标准错误，退出码 1。\n"
    "示例:\n"
    "  veltrano-cli 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --details 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --svg 塔板图.svg 100 0.5 0.95 0.05 2 2.5\n"
    "  veltrano-cli --sweep R=1:3:0.1 --svg 回流比.svg 100 0.5 0.95 0.05 2 2.5\n";

// What the command line asks for.
struct Request {
    bool help = false;
    bool to_spreadsheet = false;
    bool details = false;
    std::optional<std::string> svg;    // the diagram's file
    std::optional<std::string> sweep;  // "R=FROM:TO:STEP"
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
std::optional<Request> parse_arguments(const std::vector<std::string>& args, std::string& why) {
    Request r;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
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
            if (equals != std::string::npos) why = name + " 不带值";
            else if (set) why = name + " 只能给一次";
            set = true;
        };
        const auto valued = [&](std::optional<std::string>& value) {
            if (value) {
                why = name + " 只能给一次";
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size() && !looks_like_option(args[i + 1])) {
                value = args[++i];
            } else {
                why = name + " 后面缺少值";
            }
        };
        if (name == "--help" || name == "-h") r.help = true;
        else if (name == "--export") flag(r.to_spreadsheet);
        else if (name == "--details") flag(r.details);
        else if (name == "--svg") valued(r.svg);
        else if (name == "--sweep") valued(r.sweep);
        else why = "未知的选项 " + core::quote_excerpt(name);
        if (!why.empty()) return std::nullopt;
    }
    if (r.svg && r.svg->empty()) {
        why = "--svg 的文件名是空的";
        return std::nullopt;
    }
    if (!r.help && r.texts.size() != command::kCommandLineOrder.size()) {
        why = "需要 6 个参数（F xF xD xW R alpha），现有 " + std::to_string(r.texts.size()) + " 个";
        return std::nullopt;
    }
    return r;
}

int usage_error(std::ostream& err, const std::string& why) {
    err << kUsage << "veltrano-cli: " << why << '\n';
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

// The lines of --details, in a fixed order: name TAB value.
std::string details(const calc::ColumnInputs& in, const calc::ColumnResult& column) {
    const calc::Balances b = calc::balances(in, column);
    const std::pair<const char*, const std::optional<double>&> lines[] = {
        {"馏出流量 D", b.D},
        {"塔底流量 W", b.W},
        {"精馏段液相流量 L", b.L},
        {"精馏段汽相流量 V", b.V},
        {"提馏段液相流量 L′", b.L_strip},
        {"提馏段汽相流量 V′", b.V_strip},
        {"最小回流比 Rmin", b.R_min},
        {"R/Rmin", b.R_over_R_min},
        {"最少理论板数 Nmin", b.N_min},
    };
    std::string out;
    for (const auto& [name, value] : lines) out += std::string(name) + '\t' + number_or_dash(value) + '\n';
    return out;
}

}  // namespace

int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const sheet::SpreadsheetFactory& new_spreadsheet) {
    std::string why;
    const std::optional<Request> request = parse_arguments(args, why);
    if (!request) return usage_error(err, why);
    if (request->help) {
        out << kUsage;
        return 0;
    }
    const core::NumberFormat format = core::user_number_format();
    std::optional<SweepRange> sweep;
    if (request->sweep && !(sweep = parse_sweep(*request->sweep, format, why))) return usage_error(err, why);

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
    if (request->details) out << details(inputs, column);
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
        const std::string svg = sweep ? sweep_svg(inputs, column, *sweep, rows) : staircase_svg(inputs, column);
        if (!replace_file(*request->svg, svg, why)) {
            err << "veltrano-cli: 无法写出图 " << core::escape_controls(*request->svg) << "（" << why << "）\n";
            return 1;
        }
    }
    if (!request->to_spreadsheet) return 0;
    const auto failed = core::run_press([&] {
        // The application's references are released when `application` goes.
        const std::unique_ptr<sheet::Spreadsheet> application = new_spreadsheet();
        sheet::export_profile(*application, column.plate_count, column.x, column.y);
    });
    return failed ? report(err, *failed) : 0;
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
