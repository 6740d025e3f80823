#include "cli.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "veltrano/calc/errors.h"
#include "desktop_spreadsheet.h"
#include "veltrano/export/text_table.h"
#include "veltrano/platform/error_report.h"
#include "veltrano/platform/number_text.h"
#include "veltrano/platform/text_fields.h"
#include "veltrano/window/calculate.h"
#include "veltrano/window/input_fields.h"

namespace veltrano::app {

namespace {

constexpr std::string_view kUsage =
    "用法: veltrano-cli [--export] F xF xD xW R alpha\n"
    "  --export  另外把逐板表送到新的电子表格（Linux 上为 LibreOffice Calc，\n"
    "            Windows 上为 Excel），\n"
    "            文档保持打开、不保存，由用户继续使用\n"
    "  F      进料流率 (kmol/h)\n"
    "  xF     进料组分摩尔比\n"
    "  xD     馏出组分摩尔比\n"
    "  xW     塔底（回流）组分摩尔比\n"
    "  R      回流比\n"
    "  alpha  相对挥发度\n"
    "每个参数按窗口中输入框的文字处理（\"\" 为空栏），数字格式随用户区域设置。\n"
    "成功时输出进料板、塔板数和逐板 X/Y 表（制表符分隔），退出码 0；\n"
    "运行时错误写到标准错误 \"error <编号>: <说明>\"，退出码 1；参数个数不对，退出码 2。\n"
    "导出失败时，结果已照常输出，错误同样写到标准错误，退出码 1。\n";

// The window's eight text boxes: the six inputs from the arguments, given in
// the command line's order, and the two result fields, empty.
platform::TextFields argument_fields(const std::string* values) {
    platform::TextFields::Texts texts = {{std::string(window::kFeedPlateField), ""},
                                         {std::string(window::kPlateCountField), ""}};
    for (std::size_t i = 0; i < window::kCommandLineOrder.size(); ++i) {
        texts[std::string(window::input_field(window::kCommandLineOrder[i]).name)] = values[i];
    }
    return platform::TextFields(std::move(texts));
}

// A run-time error as the CLI's contract has it: one line on stderr, status 1.
int report(std::ostream& err, const platform::ErrorReport& report) {
    err << report.line() << '\n';
    return 1;
}

}  // namespace

int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return run_cli(args, out, err, desktop_spreadsheet);
}

int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const SpreadsheetFactory& spreadsheet) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return 0;
    }
    const bool to_spreadsheet = !args.empty() && args[0] == "--export";
    const std::size_t first = to_spreadsheet ? 1 : 0;
    if (args.size() - first != window::kCommandLineOrder.size()) {
        err << kUsage;
        return 2;
    }
    platform::TextFields fields = argument_fields(&args[first]);
    exporting::TextTable table;
    std::optional<calc::ColumnResult> column;
    if (const auto failed = platform::run_press(
            [&] { column = window::run_calculate(fields, platform::user_number_format(), table); })) {
        return report(err, *failed);
    }
    out << "进料板\t" << fields.text(window::kFeedPlateField) << '\n'
        << "塔板数\t" << fields.text(window::kPlateCountField) << '\n'
        << table.tsv();
    if (!to_spreadsheet) return 0;

    // The results are out before the office starts, as the window shows its
    // two fields before the export; an export error leaves them standing.
    out.flush();
    const auto failed = platform::run_press([&] {
        // The application's references are released when `sheet` goes.
        const std::unique_ptr<exporting::Spreadsheet> sheet = spreadsheet();
        exporting::export_profile(*sheet, column->plate_count, column->x, column->y);
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
