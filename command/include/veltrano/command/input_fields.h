// The six input fields of the main window: which text box holds which of the
// column's inputs, under which caption. The Calculate command reads them in
// this order; the window's labels, the command line and the tests take their
// names and captions from here.
#pragma once

#include <array>
#include <string_view>

#include "veltrano/calc/column.h"

namespace veltrano::command {

struct InputField {
    std::string_view name;               // the text box, "Text1"
    std::string_view caption;            // its label's caption
    std::string_view symbol;             // the quantity, as the command line names it
    double calc::ColumnInputs::*input;   // the column input it fills
};

// In the order the Calculate command reads them. The text boxes are numbered
// out of role order: Text7 holds xF and Text3 xW.
inline constexpr std::array<InputField, 6> kInputFields = {{
    {"Text1", "进料流率F", "F", &calc::ColumnInputs::F},
    {"Text2", "馏出组分摩尔比", "xD", &calc::ColumnInputs::xD},
    {"Text3", "回流组分摩尔比", "xW", &calc::ColumnInputs::xW},
    {"Text7", "进料组分摩尔比", "xF", &calc::ColumnInputs::xF},
    {"Text4", "回流比", "R", &calc::ColumnInputs::R},
    {"Text5", "相对挥发度", "alpha", &calc::ColumnInputs::alpha},
}};

// The order in which the command line takes the six texts: the order of the
// column inputs, F xF xD xW R alpha.
inline constexpr std::array<double calc::ColumnInputs::*, 6> kCommandLineOrder = {
    &calc::ColumnInputs::F, &calc::ColumnInputs::xF, &calc::ColumnInputs::xD,
    &calc::ColumnInputs::xW, &calc::ColumnInputs::R, &calc::ColumnInputs::alpha};

// The field that fills `input`.
constexpr const InputField& input_field(double calc::ColumnInputs::*input) {
    for (const InputField& f : kInputFields) {
        if (f.input == input) return f;
    }
    return kInputFields[0];  // unreachable: every input has its field
}

// The field named `name` ("Text1" ...).
constexpr const InputField& input_field(std::string_view name) {
    for (const InputField& f : kInputFields) {
        if (f.name == name) return f;
    }
    return kInputFields[0];  // unreachable for the six names above
}

// The two result fields, written in this order after a calculation.
inline constexpr std::string_view kFeedPlateField = "Text8";
inline constexpr std::string_view kPlateCountField = "Text6";

}  // namespace veltrano::command
