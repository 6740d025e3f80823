// The workbench's fields, results and layout, its list of curves, and what
// it keeps between runs.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "veltrano/calc/components.h"
#include "veltrano/command/workbench.h"
#include "veltrano/core/run_error.h"
#include "workbench_choice.h"

namespace veltrano::command {

const std::array<WorkbenchField, 12> kWorkbenchFields = {{
    {"F", "进料量 F", "F：进料流率，每小时进塔的原料量，单位 kmol/h，F > 0", "100"},
    {"xF", "进料组成 xF", "xF：进料中易挥发组分的摩尔分数，0 < xF < 1", "0.5"},
    {"xD", "塔顶组成 xD", "xD：塔顶产品（馏出液）中易挥发组分的摩尔分数，xF < xD < 1；设计时给定", "0.95",
     Needs::kDesign},
    {"xW", "塔底组成 xW", "xW：塔底产品（釜液）中易挥发组分的摩尔分数，0 < xW < xF；设计时给定", "0.05",
     Needs::kDesign},
    {"N", "塔板数 N", "N：理论级数，自塔顶数起，含塔底的再沸器这一级；整数，2 ≤ N ≤ 1000；核算时给定", "11",
     Needs::kRating, true},
    {"feed_stage", "进料板 f", "进料板 f：自塔顶数起的进料级；整数，1 ≤ f ≤ N − 1；核算时给定", "5", Needs::kRating,
     true},
    {"D", "馏出量 D", "D：馏出液流率，单位 kmol/h，0 < D < F；核算时给定", "50", Needs::kRating},
    {"R", "回流比 R", "R：回流比，回流液量与馏出液量之比 L/D，无单位，R > 0；设计时须大于最小回流比", "2"},
    {"q", "进料热状况 q",
     "q：进料热状况参数，进料中进入提馏段液相的分率，无单位；\n1 为泡点液体，0 为露点蒸汽，大于 1 为过冷液体，小于 0 "
     "为过热蒸汽",
     "1"},
    {"E", "默弗里效率 E", "E：默弗里汽相板效率，无单位，0 < E ≤ 1；1 为理论板", "1"},
    {"alpha", "相对挥发度 α", "α：相对挥发度，易挥发组分与难挥发组分挥发度之比，无单位，α > 1；用于恒定相对挥发度",
     "2.5", Needs::kAlpha},
    {"P", "压力 P/kPa", "P：塔压（绝对压力），单位 kPa，P > 0；用于组分表中的物系，101.325 kPa 为常压", "101.325",
     Needs::kPair},
}};

const std::array<WorkbenchResult, 15> kWorkbenchResults = {{
    {"feed_stage", "进料板", "进料板：自塔顶数起的进料级"},
    {"stages", "塔板数", "塔板数 N：理论级数，含塔底的再沸器"},
    {"fractional", "分数板数", "分数板数：最后一级只计其所需的分数，(N − 1) + (x[N−1] − xW) / (x[N−1] − x[N])"},
    {"R_min", "最小回流比 Rmin", "Rmin：操作线经过夹紧点时的回流比"},
    {"pinch", "夹紧类型", "夹紧类型：进料处（q 线与平衡线相交处）或切点（操作线与平衡线相切处）"},
    {"ratio", "R/Rmin", "R/Rmin：回流比与最小回流比之比"},
    {"N_min", "最少理论板数 Nmin", "Nmin：全回流时所需的理论级数，含再沸器"},
    {"gilliland", "Gilliland 估算板数", "Gilliland 关联式（Eduljee 形式）估算的理论级数"},
    {"kirkbride", "Kirkbride NR/NS", "Kirkbride 式估算的精馏段与提馏段级数之比"},
    {"T_top", "塔顶温度 /°C", "塔顶温度：馏出液的泡点，°C"},
    {"T_bottom", "塔底温度 /°C", "塔底温度：再沸器中釜液的泡点，°C"},
    {"Qc", "冷凝器热负荷 Qc/kW", "Qc：全凝器移走的热量，kW"},
    {"Qr", "再沸器热负荷 Qr/kW", "Qr：再沸器供给的热量，kW"},
    {"xD", "馏出液组成 xD", "xD：核算所得馏出液中易挥发组分的摩尔分数"},
    {"xW", "釜液组成 xW", "xW：核算所得釜液中易挥发组分的摩尔分数"},
}};

namespace {

// The left column: captions 118 pixels wide, each control 107 beside its
// caption, two to a row; the diagram takes the rest of the window.
constexpr double kMargin = 10, kColumn = 470, kHalf = 235, kCaption = 118, kControl = 107;
constexpr double kRowPitch = 30, kRowHeight = 24, kResultPitch = 28;
constexpr double kStatusHeight = 40, kButtonHeight = 28, kButtonWidth = 96;

const std::vector<std::string>& pair_labels() {
    static const std::vector<std::string> labels = [] {
        std::vector<std::string> out;
        const calc::ComponentTable& table = calc::builtin_components();
        for (const calc::Pair& p : table.pairs) out.push_back(table.find(p.light)->chinese + "/" + table.find(p.heavy)->chinese);
        return out;
    }();
    return labels;
}

int pair_count() { return static_cast<int>(pair_labels().size()); }
int data_item() { return 1 + pair_count(); }

// A caption and its control in the half row `half` (0 left, 1 right) of the row at `top`.
void place_pair(std::vector<WorkbenchControl>& out, const std::string& name, WorkbenchControlKind kind,
                const std::string& caption, const std::string& tooltip, double top, int half, int tab,
                double width = kControl) {
    const double left = kMargin + half * kHalf;
    out.push_back({"label_" + name, WorkbenchControlKind::kLabel, caption, {}, name, {left, top + 3, kCaption, kRowHeight - 3}, -1});
    out.push_back({name, kind, {}, tooltip, {}, {left + kCaption + 4, top, width, kRowHeight}, tab});
}

}  // namespace

std::vector<WorkbenchControl> workbench_layout(double width, double height) {
    std::vector<WorkbenchControl> out;
    using K = WorkbenchControlKind;
    double top = kMargin;
    out.push_back({"label_mode", K::kLabel, "模式", {}, std::string(kDesignRadio), {kMargin, top + 3, kCaption, kRowHeight - 3}, -1});
    out.push_back({std::string(kDesignRadio), K::kRadio, kDesignMode, "设计：给定产品组成 xD、xW，逐板求塔板数和进料板", {},
                   {kMargin + kCaption + 4, top, 80, kRowHeight}, 0});
    out.push_back({std::string(kRatingRadio), K::kRadio, kRatingMode, "核算：给定塔板数、进料板和馏出量 D，求产品组成 xD、xW", {},
                   {kMargin + kCaption + 88, top, 80, kRowHeight}, 1});
    int tab = 2;
    for (std::size_t i = 0; i < kWorkbenchFields.size(); ++i) {
        const WorkbenchField& f = kWorkbenchFields[i];
        if (f.name == "alpha") {  // the curve's list before its own numbers, on a row of its own
            top += kRowPitch;
            place_pair(out, std::string(kMixtureList), K::kList, "物系",
                       "物系：恒定相对挥发度，组分表中的一对组分（用其活度模型与压力 P），或自己的 x–y 数据文件", top, 0,
                       tab++, kColumn - kCaption - 4 - kMargin);
        }
        const int half = static_cast<int>(i % 2);
        if (half == 0) top += kRowPitch;
        place_pair(out, std::string(f.name), K::kTextBox, std::string(f.caption), std::string(f.tooltip), top, half, tab++);
    }
    top += kRowPitch + 12;
    for (std::size_t i = 0; i < kWorkbenchResults.size(); ++i) {
        const WorkbenchResult& r = kWorkbenchResults[i];
        place_pair(out, result_control(r.name), K::kResult, std::string(r.caption), std::string(r.tooltip), top,
                   static_cast<int>(i % 2), -1);
        if (i % 2 == 1) top += kResultPitch;
    }
    top += kResultPitch + 4;
    const double bottom = std::max(height, kWorkbenchLeastHeight) - kMargin;
    const double buttons_top = bottom - kButtonHeight, status_top = buttons_top - 6 - kStatusHeight;
    out.push_back({std::string(kStageTable), K::kTable, "逐级组成", "逐级的液相组成 x、汽相组成 y 与泡点温度 T", {},
                   {kMargin, top, kColumn - kMargin, std::max(40.0, status_top - 6 - top)}, -1});
    out.push_back({std::string(kStatusLine), K::kStatus, {}, {}, {}, {kMargin, status_top, kColumn - kMargin, kStatusHeight}, -1});
    const std::pair<std::string_view, const char*> buttons[] = {
        {kExportButton, "导出"}, {kSaveButton, "另存图…"}, {kCopyButton, "复制"}};
    const char* const tips[] = {"把逐级的 x、y、T 表交给新打开的电子表格", "把右边的图另存为 SVG 或 PNG 文件",
                                "把右边的图复制到剪贴板"};
    for (int b = 0; b < 3; ++b) {
        out.push_back({std::string(buttons[b].first), K::kButton, buttons[b].second, tips[b], {},
                       {kMargin + b * (kButtonWidth + 8), buttons_top, kButtonWidth, kButtonHeight}, tab++});
    }
    const double right = std::max(width, kWorkbenchLeastWidth);
    out.push_back({std::string(kDiagramArea), K::kDiagram, {}, "McCabe–Thiele 图：随输入即时重画", {},
                   {kColumn + kMargin, kMargin, right - kColumn - 2 * kMargin, bottom - kMargin}, -1});
    return out;
}

std::string result_control(std::string_view result) { return "result_" + std::string(result); }

WorkbenchState WorkbenchState::first_start() {
    WorkbenchState s;
    for (const WorkbenchField& f : kWorkbenchFields) s.texts[std::string(f.name)] = std::string(f.first_text);
    return s;
}

std::vector<std::string> mixture_items(const WorkbenchState& state) {
    std::vector<std::string> items{kAlphaItem};
    items.insert(items.end(), pair_labels().begin(), pair_labels().end());
    if (!state.data_file.empty()) {
        items.push_back("x–y 数据：" + std::filesystem::u8path(state.data_file).filename().u8string());
    }
    items.push_back(kDataFileItem);
    return items;
}

bool asks_for_file(const WorkbenchState& state, int item) {
    return item == data_item() + (state.data_file.empty() ? 0 : 1);
}

void choose_data_file(WorkbenchState& state, std::string path) {
    state.data_file = std::move(path);
    state.mixture = data_item();
}

bool field_enabled(const WorkbenchState& state, const WorkbenchField& field) {
    switch (field.needs) {
        case Needs::kBoth: return true;
        case Needs::kDesign: return state.mode == WorkbenchMode::kDesign;
        case Needs::kRating: return state.mode == WorkbenchMode::kRating;
        case Needs::kAlpha: return state.mixture == 0;
        case Needs::kPair: return state.mixture >= 1 && state.mixture <= pair_count();
    }
    return true;
}

// The pair of list item `item` (1-based among the pairs), by the table's names.
std::optional<std::pair<std::string, std::string>> chosen_pair(int item) {
    if (item < 1 || item > pair_count()) return std::nullopt;
    const calc::Pair& p = calc::builtin_components().pairs[static_cast<std::size_t>(item - 1)];
    return std::make_pair(p.light, p.heavy);
}

bool chose_data_file(const WorkbenchState& state) { return !state.data_file.empty() && state.mixture == data_item(); }

std::map<std::string, std::string> remembered(const WorkbenchState& state) {
    std::map<std::string, std::string> kept(state.texts.begin(), state.texts.end());
    kept["mode"] = state.mode == WorkbenchMode::kRating ? "rating" : "design";
    kept["mixture"] = chose_data_file(state) ? "data" : mixture_items(state)[static_cast<std::size_t>(state.mixture)];
    kept["data_file"] = state.data_file;
    return kept;
}

WorkbenchState restored(const std::function<std::optional<std::string>(const std::string&)>& find,
                        const core::NumberFormat& format) {
    WorkbenchState s = WorkbenchState::first_start();
    if (find("mode") == std::optional<std::string>("rating")) s.mode = WorkbenchMode::kRating;
    for (const WorkbenchField& f : kWorkbenchFields) {
        const std::optional<std::string> text = find(std::string(f.name));
        if (!text) continue;
        try {
            core::text_to_double(*text, format);
            s.texts[std::string(f.name)] = *text;
        } catch (const core::RunError&) {
            // kept under another locale, or damaged: the first start's text stands
        }
    }
    if (const std::optional<std::string> file = find("data_file")) s.data_file = *file;
    const std::optional<std::string> mixture = find("mixture");
    if (mixture == std::optional<std::string>("data") && !s.data_file.empty()) {
        s.mixture = data_item();
    } else if (mixture) {
        for (int i = 1; i <= pair_count(); ++i) {
            if (pair_labels()[static_cast<std::size_t>(i - 1)] == *mixture) s.mixture = i;
        }
    }
    return s;
}

std::optional<std::pair<int, int>> remembered_size(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    int w = 0, h = 0;
    char rest = 0;
    if (std::sscanf(text->c_str(), "%dx%d%c", &w, &h, &rest) != 2) return std::nullopt;
    if (w < kWorkbenchLeastWidth || h < kWorkbenchLeastHeight || w > 20000 || h > 20000) return std::nullopt;
    return std::make_pair(w, h);
}

std::string size_text(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace veltrano::command
