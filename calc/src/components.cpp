#include "veltrano/calc/components.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "table_text.h"
#include "veltrano/calc/errors.h"
#include "veltrano/core/number_text.h"

namespace veltrano::calc {

// The embedded calc/data/components.tsv (generated at configure time).
extern const char* const kBuiltinComponentsTsv;

namespace {

using core::double_to_text;

constexpr std::string_view kComponentHeader =
    "name\tchinese\tA\tB\tC\tTmin\tTmax\tTc\tTb\tHvap\tV\tsource";
constexpr std::string_view kPairHeader = "light\theavy\tmodel\ta12\ta21\talpha\tsource";

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char c, char d) {
               const auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; };
               return lower(c) == lower(d);
           });
}

bool same_pair(const Pair& p, const Pair& q) {
    return (same_name(p.light, q.light) && same_name(p.heavy, q.heavy)) ||
           (same_name(p.light, q.heavy) && same_name(p.heavy, q.light));
}

Component component_row(const table_text::Row& row) {
    row.expect_fields(10, 12);  // V and the source may be empty
    Component c;
    c.name = row.name(0, "name");
    c.chinese = row.name(1, "chinese");
    c.A = row.number(2, "A");
    c.B = row.number(3, "B");
    c.C = row.number(4, "C");
    c.T_min = row.number(5, "Tmin");
    c.T_max = row.number(6, "Tmax");
    c.T_c = row.number(7, "Tc");
    c.T_b = row.number(8, "Tb");
    c.H_vap = row.number(9, "Hvap");
    if (!row.empty(10)) c.V = row.number(10, "V");
    c.source = row.text(11);
    if (!(c.T_min > 0 && c.T_min < c.T_max)) row.fail("须有 0 < Tmin < Tmax（K）");
    if (!(c.T_c > 0)) row.fail("临界温度 Tc = " + double_to_text(c.T_c) + " K 须大于 0");
    if (!(c.T_b > 0 && c.T_b < c.T_c)) row.fail("须有 0 < Tb < Tc（K）");
    if (!(c.H_vap > 0)) row.fail("汽化热 Hvap = " + double_to_text(c.H_vap) + " kJ/mol 须大于 0");
    if (!(c.B > 0)) row.fail("Antoine 常数 B = " + double_to_text(c.B) + " 须大于 0");
    if (c.V && !(*c.V > 0)) row.fail("摩尔体积 V = " + double_to_text(*c.V) + " cm³/mol 须大于 0");
    return c;
}

Pair pair_row(const table_text::Row& row) {
    row.expect_fields(3, 7);  // an ideal pair needs no parameters
    Pair p;
    p.light = row.name(0, "light");
    p.heavy = row.name(1, "heavy");
    const std::string model = row.text(2);
    const ActivityModel models[] = {ActivityModel::kIdeal, ActivityModel::kNrtl, ActivityModel::kWilson,
                                    ActivityModel::kVanLaar};
    const auto known = std::find_if(std::begin(models), std::end(models),
                                    [&](ActivityModel m) { return same_name(model_name(m), model); });
    if (known == std::end(models)) row.fail("模型 “" + model + "” 不是 ideal、NRTL、Wilson 或 vanLaar");
    p.model = *known;
    if (p.model != ActivityModel::kIdeal) {
        p.a12 = row.number(3, "a12");
        p.a21 = row.number(4, "a21");
    }
    if (p.model == ActivityModel::kNrtl) {
        p.alpha = row.number(5, "alpha");
        if (!(*p.alpha > 0)) row.fail("NRTL 的 alpha = " + double_to_text(*p.alpha) + " 须大于 0");
    }
    p.source = row.text(6);
    if (same_name(p.light, p.heavy)) row.fail("一对组分须是两种不同的组分，“" + p.light + "” 写了两次");
    return p;
}

std::string names_of_pairs(const ComponentTable& table) {
    std::string out;
    for (const Pair& p : table.pairs) out += (out.empty() ? "" : "、") + p.light + "/" + p.heavy;
    return out;
}

[[noreturn]] void invalid(const std::string& why) { throw core::RunError(kInvalidArgument, why); }

}  // namespace

std::string_view model_name(ActivityModel model) {
    switch (model) {
        case ActivityModel::kNrtl: return "NRTL";
        case ActivityModel::kWilson: return "Wilson";
        case ActivityModel::kVanLaar: return "vanLaar";
        case ActivityModel::kIdeal: break;
    }
    return "ideal";
}

const Component* ComponentTable::find(std::string_view name) const {
    const auto it = std::find_if(components.begin(), components.end(),
                                 [&](const Component& c) { return same_name(c.name, name) || c.chinese == name; });
    return it == components.end() ? nullptr : &*it;
}

const ComponentTable& builtin_components() {
    static const ComponentTable table = read_components(kBuiltinComponentsTsv, "内置物性表");
    return table;
}

ComponentTable read_components(std::string_view text, const std::string& origin) {
    ComponentTable table;
    enum class Section { kNone, kComponents, kPairs } section = Section::kNone;
    table_text::for_each_row(text, origin, [&](const table_text::Row& row) {
        const std::string first = row.text(0);
        if (first == "name" || first == "light") {
            section = first == "name" ? Section::kComponents : Section::kPairs;
            return;
        }
        if (section == Section::kNone) {
            row.fail("在表头之前；组分一节以 “name” 开头的表头行开始，组分对一节以 “light” 开头");
        }
        if (section == Section::kComponents) {
            Component c = component_row(row);
            if (table.find(c.name) != nullptr || table.find(c.chinese) != nullptr) {
                row.fail("组分 “" + c.name + "”（" + c.chinese + "）在本文件中出现了两次");
            }
            table.components.push_back(std::move(c));
        } else {
            Pair p = pair_row(row);
            if (std::any_of(table.pairs.begin(), table.pairs.end(), [&](const Pair& q) { return same_pair(p, q); })) {
                row.fail("组分对 “" + p.light + "/" + p.heavy + "” 在本文件中出现了两次");
            }
            table.pairs.push_back(std::move(p));
        }
    });
    return table;
}

ComponentTable merged(ComponentTable base, const ComponentTable& extra) {
    for (const Component& c : extra.components) {
        const auto it = std::find_if(base.components.begin(), base.components.end(),
                                     [&](const Component& b) { return same_name(b.name, c.name); });
        if (it != base.components.end()) *it = c;
        else base.components.push_back(c);
    }
    for (const Pair& p : extra.pairs) {
        const auto it = std::find_if(base.pairs.begin(), base.pairs.end(), [&](const Pair& b) { return same_pair(b, p); });
        if (it != base.pairs.end()) *it = p;
        else base.pairs.push_back(p);
    }
    return base;
}

std::string components_tsv(const ComponentTable& table) {
    const auto number = [](const std::optional<double>& v) { return v ? double_to_text(*v) : std::string(); };
    std::string out;
    out += "# Veltrano 物性表：Antoine log10(P/Pa) = A - B/(T/K + C)；温度 K，Hvap 为正常沸点下的汽化热 kJ/mol，\n";
    out += "# V 为液体摩尔体积 cm3/mol；a12、a21 的单位为 K（van Laar 为无量纲），alpha 只用于 NRTL\n";
    out += std::string(kComponentHeader) + '\n';
    for (const Component& c : table.components) {
        out += c.name + '\t' + c.chinese;
        for (const double v : {c.A, c.B, c.C, c.T_min, c.T_max, c.T_c, c.T_b, c.H_vap}) out += '\t' + double_to_text(v);
        out += '\t' + number(c.V) + '\t' + c.source + '\n';
    }
    out += std::string(kPairHeader) + '\n';
    for (const Pair& p : table.pairs) {
        const bool ideal = p.model == ActivityModel::kIdeal;
        out += p.light + '\t' + p.heavy + '\t' + std::string(model_name(p.model)) + '\t' +
               (ideal ? "" : double_to_text(p.a12)) + '\t' + (ideal ? "" : double_to_text(p.a21)) + '\t' +
               number(p.alpha) + '\t' + p.source + '\n';
    }
    return out;
}

Mixture mixture_of(const ComponentTable& table, std::string_view first, std::string_view second, bool ideal) {
    const auto component = [&](std::string_view name) {
        const Component* c = table.find(name);
        if (c != nullptr) return *c;
        std::string known;
        for (const Component& k : table.components) known += (known.empty() ? "" : "、") + k.name + "（" + k.chinese + "）";
        invalid("物性表中没有组分 “" + std::string(name) + "”；已有：" + known);
    };
    Mixture m{component(first), component(second), {}};
    if (m.first.name == m.second.name) invalid("一对组分须是两种不同的组分，“" + std::string(first) + "” 写了两次");
    m.pair.light = m.first.name;
    m.pair.heavy = m.second.name;
    if (ideal) {
        m.pair.source = "Raoult 定律（--ideal）";
        return m;
    }
    const auto it = std::find_if(table.pairs.begin(), table.pairs.end(),
                                 [&](const Pair& p) { return same_pair(p, m.pair); });
    if (it == table.pairs.end()) {
        invalid("物性表中没有组分对 “" + m.first.name + "/" + m.second.name + "” 的参数；已有：" + names_of_pairs(table) +
                "；理想溶液（Raoult 定律）请加 --ideal");
    }
    m.pair = *it;
    if (!same_name(it->light, m.first.name)) {
        std::swap(m.pair.light, m.pair.heavy);
        std::swap(m.pair.a12, m.pair.a21);
    }
    if (m.pair.model == ActivityModel::kWilson && !(m.first.V && m.second.V)) {
        invalid("Wilson 模型需要两个组分的液体摩尔体积 V：" + (m.first.V ? m.second.name : m.first.name) +
                " 的 V 在物性表中是空的");
    }
    return m;
}

}  // namespace veltrano::calc
