#include "veltrano/window/calculate.h"

#include <memory>

#include "veltrano/export/desktop.h"


namespace veltrano::window {

namespace {

double read_number(Fields& fields, const char* name, const char* caption,
                   const platform::NumberFormat& format) {
    // The caption names the field: with six boxes the user must know which to mend.
    return platform::text_to_double(fields.text(name), format, caption);
}

}  // namespace

calc::ColumnResult run_calculate(Fields& fields, const platform::NumberFormat& format,
                                 exporting::Spreadsheet& sheet) {
    calc::ColumnInputs in{};
    in.F = read_number(fields, "Text1", "进料流率F", format);
    in.xD = read_number(fields, "Text2", "馏出组分摩尔比", format);
    in.xW = read_number(fields, "Text3", "回流组分摩尔比", format);
    in.xF = read_number(fields, "Text7", "进料组分摩尔比", format);
    in.R = read_number(fields, "Text4", "回流比", format);
    in.alpha = read_number(fields, "Text5", "相对挥发度", format);

    calc::ColumnResult result = calc::calculate(in);

    fields.set_text("Text8", platform::short_to_text(result.feed_plate.value()));
    fields.set_text("Text6", platform::short_to_text(result.plate_count.value()));

    exporting::export_profile(sheet, result.plate_count, result.x, result.y);
    return result;
}

void press_calculate(Fields& fields, const platform::NumberFormat& format) {
    const std::unique_ptr<exporting::Spreadsheet> sheet = exporting::desktop_spreadsheet();
    run_calculate(fields, format, *sheet);
}

}  // namespace veltrano::window
