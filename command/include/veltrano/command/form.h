// A window as data: the form runtime of each desktop builds it from this
// description alone, so the Linux and the Windows window cannot drift apart.
#pragma once

#include <string_view>
#include <vector>

namespace veltrano::command {

enum class ControlKind { Label, TextBox, Button, Line };

// A point in twips (1/1440 inch) from the top-left corner of the client area.
struct TwipPoint {
    int x = 0;
    int y = 0;
};

struct Control {
    std::string_view name;
    ControlKind kind = ControlKind::Label;
    std::string_view caption;  // labels and buttons; empty otherwise
    // Text boxes and buttons: what the control holds or does, shown when the
    // pointer rests on it and read by a screen reader as its description.
    std::string_view tooltip;
    // Labels: the text box whose name this caption is, for a screen reader
    // (empty for a label of the window's areas).
    std::string_view names;
    // Labels, text boxes and buttons: the rectangle in twips.
    int left = 0, top = 0, width = 0, height = 0;
    // Lines: the two ends in twips.
    TwipPoint from, to;
    // Order in which keyboard focus visits the control; labels carry one too
    // but never take focus. Lines have none (-1).
    int tab_index = -1;

    bool takes_focus() const { return kind == ControlKind::TextBox || kind == ControlKind::Button; }
};

// Builders that keep the control table readable row by row.
constexpr Control label(std::string_view name, std::string_view caption, int left, int top,
                        int width, int height, int tab_index, std::string_view names = {}) {
    return {name, ControlKind::Label, caption, {}, names, left, top, width, height, {}, {}, tab_index};
}
constexpr Control text_box(std::string_view name, int left, int top, int width, int height,
                           int tab_index, std::string_view tooltip) {
    return {name, ControlKind::TextBox, {}, tooltip, {}, left, top, width, height, {}, {}, tab_index};
}
constexpr Control button(std::string_view name, std::string_view caption, int left, int top,
                         int width, int height, int tab_index, std::string_view tooltip) {
    return {name, ControlKind::Button, caption, tooltip, {}, left, top, width, height, {}, {}, tab_index};
}
constexpr Control line(std::string_view name, TwipPoint from, TwipPoint to) {
    return {name, ControlKind::Line, {}, {}, {}, 0, 0, 0, 0, from, to, -1};
}

struct Form {
    std::string_view name;
    std::string_view caption;
    // Size of the client area (inside the frame and title bar), in twips.
    int client_width = 0;
    int client_height = 0;
    // The program's icon by name; each desktop looks it up among its own
    // resources (PNGs in the Qt resources, the icon group in the .exe).
    std::string_view icon;
    std::vector<Control> controls;
};

// Twips to device-independent pixels: 1440 twips make an inch, so at 96 DPI
// 15 twips are one pixel. Rounds half away from zero.
int twips_to_pixels(int twips, double logical_dpi);

// The focusable controls in the order Tab visits them (ascending tab index).
std::vector<const Control*> tab_order(const Form& form);

// The label that names the text box `name`, or null when none does.
const Control* label_of(const Form& form, std::string_view name);

}  // namespace veltrano::command
