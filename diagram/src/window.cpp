#include "veltrano/diagram/window.h"

#include <algorithm>
#include <cmath>

#include "draw.h"
#include "veltrano/calc/design.h"
#include "veltrano/diagram/diagrams.h"
#include "veltrano/diagram/svg.h"

namespace veltrano::diagram {

namespace {

using namespace draw;

// The notes: one line each at the top, 13 pixels unless the window is too
// narrow; the help line along the bottom.
constexpr double kNoteSize = 13, kNoteLine = 20, kNoteMargin = 10;
constexpr double kHelpSize = 11, kHelpLine = 18;
constexpr Colour kFailedColour = 0xb03a00;
constexpr Colour kWarningColour = 0xc0392b;
constexpr Colour kHintColour = 0x444444;
constexpr Colour kHelpColour = 0x808080;

constexpr const char* kHint = "请在主窗口输入六个数值并按“计算”，这里随即画出该塔的 McCabe–Thiele 图。";
constexpr const char* kHelp = "右键菜单：另存为…（Ctrl+S，SVG 或 PNG）、复制（Ctrl+C）、关闭（Esc）";

// A profile outside 0 to 1 comes only from unphysical inputs, which the
// checks above name; the picture cuts it off at the square's edge.
std::optional<std::string> profile_outside(const calc::ColumnResult& column) {
    const auto& x = column.x.slots();
    const auto& y = column.y.slots();
    for (int p = 1; p <= column.plate_count.value(); ++p) {
        for (const auto& [symbol, v] : {std::pair<const char*, double>{"x", x[p]}, {"y", y[p]}}) {
            if (!(v >= 0 && v <= 1)) {
                return "第 " + std::to_string(p) + " 板的 " + symbol + " = " + exact_text(v) +
                       " 不在 0 到 1 之间，图中超出的部分已截去";
            }
        }
    }
    return std::nullopt;
}

// A line of text across the window, smaller where the window is narrow.
Node note_line(double width, double y, double size, const std::string& text, Colour colour) {
    const Runs runs = {{text}};
    const double room = std::max(1.0, width - 2 * kNoteMargin);
    const double w = runs_width(runs, size);
    Node t = text_line(kNoteMargin, y, w > room ? size * room / w : size, runs);
    t.style.fill = colour;
    return t;
}

struct Placement {
    double scale, left, top;
};

// The picture's page scaled to fit between the notes and the help line, centred across.
Placement place(const Scene& page, double width, double height, std::size_t notes) {
    const double top = notes ? kNoteMargin / 2 + kNoteLine * static_cast<double>(notes) + kNoteMargin / 2 : 0;
    const double room_w = std::max(1.0, width), room_h = std::max(1.0, height - top - kHelpLine);
    const double scale = std::min(room_w / page.width, room_h / page.height);
    return {scale, (width - page.width * scale) / 2, top};
}

}  // namespace

void DiagramView::press_started() {
    calculated_in_press_ = false;
    failed_error_.reset();
    failed_after_calculation_ = false;
}

void DiagramView::calculated(const calc::ColumnInputs& in, const calc::ColumnResult& column) {
    Picture p{in, column, staircase_diagram(in, column), {}};
    for (const std::string& problem : calc::input_problems({in, 1, 1})) p.warnings.push_back("注意：" + problem);
    if (std::optional<std::string> outside = profile_outside(column)) p.warnings.push_back("注意：" + *outside);
    picture_ = std::move(p);
    calculated_in_press_ = true;
}

void DiagramView::failed(std::int32_t error_number) {
    failed_error_ = error_number;
    failed_after_calculation_ = calculated_in_press_;
}

std::vector<std::string> DiagramView::notes() const {
    std::vector<std::string> lines;
    if (failed_error_) {
        const std::string number = "（错误 " + std::to_string(*failed_error_) + "）";
        if (failed_after_calculation_) {
            lines.push_back("最近一次计算已完成，但交给电子表格时出错" + number + "；下图为这次的结果。");
        } else if (picture_) {
            lines.push_back("最近一次计算出错" + number + "；下图仍是上一次成功的计算。");
        } else {
            lines.push_back("最近一次计算出错" + number + "。");
        }
    }
    if (picture_) lines.insert(lines.end(), picture_->warnings.begin(), picture_->warnings.end());
    return lines;
}

Scene DiagramView::scene(double width, double height) const {
    Scene s = page_of(width, height, kWindowTitle);
    const std::vector<std::string> lines = notes();
    double y = kNoteMargin / 2;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool failure = i == 0 && failed_error_.has_value();
        y += kNoteLine;
        s.root.children.push_back(
            note_line(width, y - 5, kNoteSize, lines[i], failure ? kFailedColour : kWarningColour));
    }
    if (!picture_) {
        s.root.children.push_back(note_line(width, std::max(y + kNoteLine, height / 2), kNoteSize, kHint, kHintColour));
        return s;
    }
    const Placement at = place(picture_->page, width, height, lines.size());
    Node picture = group();
    picture.transform.kind = Transform::Kind::kMatrix;
    picture.transform.a = page(at.scale);
    picture.transform.d = page(at.scale);
    picture.transform.e = page(at.left);
    picture.transform.f = page(at.top);
    picture.children = picture_->page.root.children;
    s.root.children.push_back(std::move(picture));
    s.root.children.push_back(note_line(width, height - 5, kHelpSize, kHelp, kHelpColour));
    return s;
}

Scene fitted_picture(const Scene* page, double width, double height, const std::string& stale_note) {
    Scene s = page_of(width, height, page ? page->title : std::string());
    const std::size_t notes = stale_note.empty() ? 0 : 1;
    if (page != nullptr) {
        const Placement at = place(*page, width, height + kHelpLine, notes);
        Node picture = group();
        picture.transform.kind = Transform::Kind::kMatrix;
        picture.transform.a = picture.transform.d = diagram::page(at.scale);
        picture.transform.e = diagram::page(at.left);
        picture.transform.f = diagram::page(at.top);
        picture.children = page->root.children;
        s.root.children.push_back(std::move(picture));
        if (notes) {
            // A veil of the page's white over the old picture.
            Node veil = rect(diagram::page(0), diagram::page(0), diagram::page(width), diagram::page(height));
            veil.style.fill = 0xffffff;
            veil.style.fill_opacity = fixed(0.6, 1);
            s.root.children.push_back(std::move(veil));
        }
    }
    if (notes) s.root.children.push_back(note_line(width, kNoteMargin / 2 + kNoteLine - 5, kNoteSize, stale_note, kFailedColour));
    return s;
}

std::string DiagramView::svg() const { return picture_ ? to_svg(picture_->page) : std::string(); }

std::optional<Pt> DiagramView::window_point(double width, double height, double x, double y) const {
    if (!picture_) return std::nullopt;
    const Placement at = place(picture_->page, width, height, notes().size());
    const PlotPlace plot = staircase_plot_place();
    const double page_x = plot.left + x * plot.size, page_y = plot.top + plot.size - y * plot.size;
    return Pt{page(at.left + at.scale * page_x), page(at.top + at.scale * page_y)};
}

}  // namespace veltrano::diagram
