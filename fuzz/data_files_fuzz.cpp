// An arbitrary file given as the user's x–y points or as their component
// table. Whatever it holds, reading it either gives data that keep every
// rule the reader promises, or stops with error 5 alone: no crash, no hang,
// no other error, and never a curve from points that failed their checks.
// The first byte picks the reader; the rest is the file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "veltrano/calc/components.h"
#include "veltrano/calc/thermo.h"
#include "veltrano/calc/xy_data.h"
#include "veltrano/core/run_error.h"

namespace {

using namespace veltrano;

void require(bool ok) {
    if (!ok) std::abort();
}

// Points in order of x, inside 0..1, y never falling; the curve through them
// inside 0..1 and rising with x, with its crossings of the diagonal inside.
void check_points(std::string_view text) {
    const calc::XyData data = calc::read_xy_data(text, "fuzz");
    require(data.points.size() >= 2);
    for (std::size_t i = 0; i < data.points.size(); ++i) {
        const calc::XyPoint& p = data.points[i];
        require(p.x >= 0 && p.x <= 1 && p.y >= 0 && p.y <= 1);
        require(!p.T || std::isfinite(*p.T));
        if (i > 0) require(p.x > data.points[i - 1].x && p.y >= data.points[i - 1].y);
    }
    const calc::DataCurve curve(data);
    double before = 0;
    for (int k = 0; k <= 64; ++k) {
        const double y = curve.vapour(k / 64.0);
        require(y >= before - 1e-12 && y >= -1e-12 && y <= 1 + 1e-12);
        before = y;
    }
    for (const calc::Azeotrope& a : calc::azeotropes(curve)) require(a.x > 0 && a.x < 1);
}

// A table that reads prints as a text that reads back the same; its first
// two components as an ideal mixture boil somewhere or say why not.
void check_table(std::string_view text) {
    const calc::ComponentTable table = calc::read_components(text, "fuzz");
    const std::string printed = calc::components_tsv(table);
    require(calc::components_tsv(calc::read_components(printed, "printed")) == printed);
    if (table.components.size() < 2) return;
    const calc::Mixture m = calc::mixture_of(table, table.components[0].name, table.components[1].name, true);
    const calc::ModelCurve curve(m, calc::kAtmosphere);
    const double y = curve.vapour(0.5);
    require(y >= 0 && y <= 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        if (data[0] % 2 == 0) check_points(text);
        else check_table(text);
    } catch (const core::RunError& e) {
        require(e.number() == 5);
    }
    return 0;
}
