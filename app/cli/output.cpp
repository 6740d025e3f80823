#include "output.h"

#include <memory>

#include "usage.h"
#include "veltrano/core/number_text.h"
#include "veltrano/core/replace_file.h"

namespace veltrano::app {

int usage_error(std::ostream& err, Language language, const std::string& why) {
    err << usage(language) << "veltrano-cli: " << why << '\n';
    return 2;
}

int report(std::ostream& err, const core::ErrorReport& report) {
    err << report.line() << '\n';
    return 1;
}

std::string number_or_dash(const std::optional<double>& v) {
    return v ? core::double_to_text(*v) : "-";
}

std::string name_value_lines(std::initializer_list<std::pair<const char*, std::optional<double>>> lines) {
    std::string out;
    for (const auto& [name, value] : lines) out += std::string(name) + '\t' + number_or_dash(value) + '\n';
    return out;
}

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

}  // namespace veltrano::app
