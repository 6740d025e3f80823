// A user's equilibrium data: x–y or x–y–T points of the light component
// (T in °C), from the lab or a handbook table, and the curve through them.
//
// The file: one point a line, fields separated by TAB, `;`, `,` or blanks
// (the same throughout); an optional header line (no field of it a number);
// `#` starts a comment. Decimal point `.`; a file separated by TAB or `;`
// may write `,` instead, as a spreadsheet in a German locale saves it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/calc/curve.h"

namespace veltrano::calc {

struct XyPoint {
    double x, y;
    std::optional<double> T;  // °C
    std::size_t line;         // in the file
};

struct XyData {
    std::string origin;           // the file, as messages name it
    std::string label;            // and as a picture's legend does: its name alone
    std::vector<XyPoint> points;  // the file's own, in order of x
    bool has_temperature = false;
};

// The points of `text`. Error 5 naming `origin`, the line and the rule for:
// a field that is not a number (or NaN, infinite, hexadecimal, grouped);
// a line with another number of fields than the first; x or y outside 0..1;
// two points with the same x; y falling as x rises; y at x = 0 other than 0
// or at x = 1 other than 1; fewer than two points.
XyData read_xy_data(std::string_view text, const std::string& origin);

// The curve through the points and (0, 0) and (1, 1): the monotone
// piecewise-cubic Hermite interpolant (PCHIP: Fritsch–Butland slopes
// inside, the three-point end slopes with the shape-preserving
// corrections), straight lines when fewer than four points. Points below
// the diagonal are kept: the curve then crosses it, an azeotrope.
// T(x), where the file gives it, is interpolated the same way through the
// file's points only, and is unknown outside their range of x.
class DataCurve final : public EquilibriumCurve {
public:
    explicit DataCurve(XyData data);

    double vapour(double x) const override;
    double slope(double x) const override;
    std::optional<double> temperature(double x) const override;
    bool knows_temperature() const override { return data_.has_temperature; }
    std::vector<double> knots() const override;
    std::vector<std::array<double, 2>> measured_points() const override;
    std::string description() const override;
    const XyData& data() const { return data_; }

    struct Interpolant;  // xy_data.cpp

private:
    XyData data_;
    std::shared_ptr<const Interpolant> curve_, temperature_;
};

}  // namespace veltrano::calc
