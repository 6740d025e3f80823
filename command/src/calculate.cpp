#include "veltrano/command/calculate.h"

#include "veltrano/command/input_fields.h"

namespace veltrano::command {

calc::ColumnInputs read_inputs(Fields& fields, const core::NumberFormat& format) {
    calc::ColumnInputs in{};
    for (const InputField& field : kInputFields) {
        // The caption names the field: with six boxes the user must know which to mend.
        in.*field.input = core::text_to_double(fields.text(field.name), format, field.caption);
    }
    return in;
}

calc::ColumnResult run_calculate(Fields& fields, const core::NumberFormat& format,
                                 sheet::Spreadsheet& sheet) {
    calc::ColumnResult result = calc::calculate(read_inputs(fields, format));

    fields.set_text(kFeedPlateField, core::short_to_text(result.feed_plate.value()));
    fields.set_text(kPlateCountField, core::short_to_text(result.plate_count.value()));

    sheet::export_profile(sheet, result.plate_count, result.x, result.y);
    return result;
}

}  // namespace veltrano::command
