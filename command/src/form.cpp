#include "veltrano/command/form.h"

#include <algorithm>
#include <cmath>

namespace veltrano::command {

int twips_to_pixels(int twips, double logical_dpi) {
    return static_cast<int>(std::lround(twips * logical_dpi / 1440.0));
}

std::vector<const Control*> tab_order(const Form& form) {
    std::vector<const Control*> order;
    for (const Control& c : form.controls) {
        if (c.takes_focus()) order.push_back(&c);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
    return order;
}

const Control* label_of(const Form& form, std::string_view name) {
    for (const Control& c : form.controls) {
        if (c.kind == ControlKind::Label && !c.names.empty() && c.names == name) return &c;
    }
    return nullptr;
}

}  // namespace veltrano::command
