#include "veltrano/calc/xy_data.h"

#include <algorithm>
#include <cmath>
#include <variant>

// Boost 1.74's pchip calls isnan unqualified: <math.h> puts it in the
// global namespace first.
#include <math.h>

#include <boost/math/interpolators/pchip.hpp>

#include "table_text.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"

namespace veltrano::calc {

namespace {

using core::double_to_text;

std::vector<std::string_view> split(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    if (separator == ' ') {
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            const std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
            if (i > start) fields.push_back(line.substr(start, i - start));
        }
        return fields;
    }
    for (;;) {
        const std::size_t at = line.find(separator);
        fields.push_back(line.substr(0, at));
        if (at == std::string_view::npos) return fields;
        line.remove_prefix(at + 1);
    }
}

// The field separator of the whole file: TAB, else `;`, else `,`, else blanks.
char separator_of(const std::vector<std::string_view>& lines) {
    for (const char s : {'\t', ';', ','}) {
        if (std::any_of(lines.begin(), lines.end(), [s](std::string_view l) { return l.find(s) != l.npos; })) return s;
    }
    return ' ';
}

bool is_number(std::string_view field, char decimal) {
    try {
        table_text::read_number(field, decimal, {}, 0, {});
        return true;
    } catch (const core::RunError&) {
        return false;
    }
}

// The shape-preserving end slope of PCHIP from the first two intervals
// (h0, secant d0 next to the end; h1, d1 beyond it): the three-point
// formula, 0 where it turns against the secant, 3 d0 at most where the
// secants differ in sign.
double end_slope(double h0, double h1, double d0, double d1) {
    double s = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
    if ((s > 0) != (d0 > 0) || s == 0 || d0 == 0) return 0;
    if ((d0 > 0) != (d1 > 0) && std::fabs(s) > 3 * std::fabs(d0)) s = 3 * d0;
    return s;
}

}  // namespace

// PCHIP through four or more knots, straight lines through fewer.
struct DataCurve::Interpolant {
    std::vector<double> x, y;
    std::variant<std::monostate, boost::math::interpolators::pchip<std::vector<double>>> cubic;

    Interpolant(std::vector<double> xs, std::vector<double> ys) : x(std::move(xs)), y(std::move(ys)) {
        const std::size_t n = x.size();
        if (n < 4) return;
        const auto secant = [&](std::size_t i) { return (y[i + 1] - y[i]) / (x[i + 1] - x[i]); };
        const double left = end_slope(x[1] - x[0], x[2] - x[1], secant(0), secant(1));
        const double right = end_slope(x[n - 1] - x[n - 2], x[n - 2] - x[n - 3], secant(n - 2), secant(n - 3));
        cubic.emplace<1>(std::vector<double>(x), std::vector<double>(y), left, right);
    }
    double front() const { return x.front(); }
    double back() const { return x.back(); }
    // The interval [x[i], x[i+1]] that holds v, v clamped into the knots' range.
    std::size_t interval(double& v) const {
        v = std::clamp(v, x.front(), x.back());
        const auto it = std::upper_bound(x.begin(), x.end(), v);
        return std::min<std::size_t>(static_cast<std::size_t>(std::max<std::ptrdiff_t>(it - x.begin() - 1, 0)),
                                     x.size() - 2);
    }
    double operator()(double v) const {
        const std::size_t i = interval(v);
        if (cubic.index() == 1) return std::get<1>(cubic)(v);
        return y[i] + (y[i + 1] - y[i]) * ((v - x[i]) / (x[i + 1] - x[i]));
    }
    double prime(double v) const {
        const std::size_t i = interval(v);
        if (cubic.index() == 1) return std::get<1>(cubic).prime(v);
        return (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
    }
};

XyData read_xy_data(std::string_view text, const std::string& origin) {
    std::vector<std::pair<std::size_t, std::string_view>> lines;
    table_text::for_each_line(text, origin, true, [&](std::size_t n, std::string_view l) { lines.emplace_back(n, l); });
    std::vector<std::string_view> contents;
    for (const auto& [n, l] : lines) contents.push_back(l);
    const char separator = separator_of(contents);
    const bool comma_decimal = separator == '\t' || separator == ';';

    XyData data{origin, {}, {}, false};
    std::size_t fields_per_line = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::size_t line = lines[k].first;
        const std::string_view content = lines[k].second;
        std::vector<std::string_view> fields = split(content, separator);
        const auto decimal_of = [&](std::string_view f) { return comma_decimal && f.find(',') != f.npos ? ',' : '.'; };
        if (k == 0 && std::none_of(fields.begin(), fields.end(), [&](std::string_view f) { return is_number(f, decimal_of(f)); })) {
            continue;  // the header
        }
        if (fields_per_line == 0) fields_per_line = fields.size();
        if (fields.size() < 2 || fields.size() > 3 || fields.size() != fields_per_line) {
            table_text::fail(origin, line, "有 " + std::to_string(fields.size()) + " 个数，应是 x、y 两个或 x、y、T 三个" +
                                               (fields_per_line >= 2 && fields_per_line <= 3 && fields.size() != fields_per_line
                                                    ? "（与第一个数据行一样多）" : ""));
        }
        const auto number = [&](std::size_t i, const char* what) {
            const std::string_view f = fields[i];
            // A decimal comma where commas or blanks separate: never a
            // number read as another one.
            const bool comma_inside = separator == ' ' && f.find(',') != f.npos;
            const bool blank_inside = separator == ',' && f.find_first_of(" \t") != f.npos;
            if (comma_inside || blank_inside) {
                table_text::fail(origin, line, std::string(what) + " “" + core::quote_excerpt(f) + "” 不是一个数（以" +
                                                   (comma_inside ? "空格" : "逗号") + "分隔的文件，小数点须写作 “.”）");
            }
            return table_text::read_number(f, decimal_of(f), origin, line, what);
        };
        XyPoint p{number(0, "x"), number(1, "y"), std::nullopt, line};
        if (fields.size() == 3) p.T = number(2, "T");
        if (!(p.x >= 0 && p.x <= 1) || !(p.y >= 0 && p.y <= 1)) {
            table_text::fail(origin, line, "x = " + double_to_text(p.x) + "，y = " + double_to_text(p.y) +
                                               "：摩尔分数须在 0 与 1 之间");
        }
        if ((p.x == 0 && p.y != 0) || (p.x == 1 && p.y != 1)) {
            table_text::fail(origin, line, "纯组分的汽相组成就是它的液相组成：x = " + double_to_text(p.x) + " 时 y 须是 " +
                                               double_to_text(p.x));
        }
        data.points.push_back(p);
    }
    if (data.points.size() < 2) {
        table_text::fail(origin, 0, "只有 " + std::to_string(data.points.size()) + " 个数据点，至少需要两个");
    }
    std::stable_sort(data.points.begin(), data.points.end(), [](const XyPoint& a, const XyPoint& b) { return a.x < b.x; });
    for (std::size_t i = 1; i < data.points.size(); ++i) {
        const XyPoint &a = data.points[i - 1], &b = data.points[i];
        if (a.x == b.x) {
            table_text::fail(origin, b.line, "x = " + double_to_text(b.x) + " 与第 " + std::to_string(a.line) +
                                                 " 行重复（每个 x 只能有一个点）");
        }
        if (b.y < a.y) {
            table_text::fail(origin, b.line, "y = " + double_to_text(b.y) + " 低于 x 较小的第 " + std::to_string(a.line) +
                                                 " 行的 y = " + double_to_text(a.y) + "（y 须随 x 不减）");
        }
    }
    data.has_temperature = fields_per_line == 3;
    return data;
}

DataCurve::DataCurve(XyData data) : data_(std::move(data)) {
    std::vector<double> x, y, tx, t;
    if (data_.points.front().x > 0) x.push_back(0), y.push_back(0);
    for (const XyPoint& p : data_.points) {
        x.push_back(p.x);
        y.push_back(p.y);
        if (p.T) tx.push_back(p.x), t.push_back(*p.T);
    }
    if (data_.points.back().x < 1) x.push_back(1), y.push_back(1);
    curve_ = std::make_shared<const Interpolant>(std::move(x), std::move(y));
    if (tx.size() >= 2) temperature_ = std::make_shared<const Interpolant>(std::move(tx), std::move(t));
}

double DataCurve::vapour(double x) const { return (*curve_)(x); }

double DataCurve::slope(double x) const { return curve_->prime(x); }

std::optional<double> DataCurve::temperature(double x) const {
    if (!temperature_ || !(x >= temperature_->front() && x <= temperature_->back())) return std::nullopt;
    return (*temperature_)(x);
}

std::vector<double> DataCurve::knots() const { return curve_->x; }

std::vector<std::array<double, 2>> DataCurve::measured_points() const {
    std::vector<std::array<double, 2>> out;
    for (const XyPoint& p : data_.points) out.push_back({p.x, p.y});
    return out;
}

std::string DataCurve::description() const {
    return data_.label.empty() ? std::string("x–y 数据") : "x–y 数据 " + data_.label;
}

}  // namespace veltrano::calc
