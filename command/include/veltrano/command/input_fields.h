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
    std::string_view letter;             // the quantity as the messages and the tooltips write it
    double calc::ColumnInputs::*input;   // the column input it fills
    // What the field holds, in plain words: the letter, the meaning, the unit
    // and the range that makes physical sense. The caption alone misleads:
    // "摩尔比" reads as a ratio of moles, and the bottoms composition is
    // captioned as the reflux's.
    std::string_view tooltip;
};

// In the order the Calculate command reads them. The text boxes are numbered
// out of role order: Text7 holds xF and Text3 xW.
inline constexpr std::array<InputField, 6> kInputFields = {{
    {"Text1", "进料流率F", "F", "F", &calc::ColumnInputs::F,
     "F：进料流率，每小时进塔的原料量，单位 kmol/h，F > 0"},
    {"Text2", "馏出组分摩尔比", "xD", "xD", &calc::ColumnInputs::xD,
     "xD：塔顶产品（馏出液）中易挥发组分的摩尔分数，xF < xD < 1"},
    {"Text3", "回流组分摩尔比", "xW", "xW", &calc::ColumnInputs::xW,
     "xW：塔底产品（釜液）中易挥发组分的摩尔分数，0 < xW < xF"},
    {"Text7", "进料组分摩尔比", "xF", "xF", &calc::ColumnInputs::xF,
     "xF：进料中易挥发组分的摩尔分数，xW < xF < xD；进料为泡点液体（饱和液体）"},
    {"Text4", "回流比", "R", "R", &calc::ColumnInputs::R,
     "R：回流比，回流液量与馏出液量之比 L/D，无单位，R > 0，且应大于最小回流比"},
    {"Text5", "相对挥发度", "alpha", "α", &calc::ColumnInputs::alpha,
     "α：相对挥发度，易挥发组分与难挥发组分挥发度之比，无单位，α > 1"},
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
