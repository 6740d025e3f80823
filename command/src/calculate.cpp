#include "veltrano/command/calculate.h"

#include <memory>

#include "veltrano/command/input_fields.h"

namespace veltrano::command {

calc::ColumnInputs read_inputs(Fields& fields, const core::NumberFormat& format) {
    calc::ColumnInputs in{};
    for (const InputField& field : kInputFields) {
        // Caption and symbol name the field: with six boxes the user must know
        // which to mend, and the symbol is how the tooltip and the manual name it.
        in.*field.input = core::text_to_double(fields.text(field.name), format, field.caption, field.letter);
    }
    return in;
}

Calculation run_calculate(Fields& fields, const core::NumberFormat& format, sheet::Spreadsheet& sheet,
                          const CalculatedHandler& on_calculated) {
    const calc::ColumnInputs inputs = read_inputs(fields, format);
    Calculation done{inputs, calc::calculate(inputs)};
    const calc::ColumnResult& column = done.column;

    fields.set_text(kFeedPlateField, core::short_to_text(column.feed_plate.value()));
    fields.set_text(kPlateCountField, core::short_to_text(column.plate_count.value()));
    if (on_calculated) on_calculated(done);

    sheet::export_profile(sheet, column.plate_count, column.x, column.y);
    return done;
}

void press_calculate(Fields& fields, const sheet::SpreadsheetFactory& new_spreadsheet,
                     const CalculatedHandler& on_calculated) {
    // The same reading of numbers on every desktop and in the command line:
    // the separators of the user's locale, as the operating system reports them.
    const core::NumberFormat format = core::user_number_format();
    const std::unique_ptr<sheet::Spreadsheet> sheet = new_spreadsheet();
    run_calculate(fields, format, *sheet, on_calculated);
}

}  // namespace veltrano::command
