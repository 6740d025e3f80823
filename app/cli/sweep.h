// A sweep: the column calculated again for each value of one input over a
// range, as a designer does to choose the reflux ratio at 1.2 to 1.5 times
// the minimum.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/core/number_text.h"

namespace veltrano::app {

struct SweepRange {
    std::string_view symbol;            // "R" or "alpha", as the command line names it
    double calc::ColumnInputs::*input;  // the input it varies
    double from, to, step;
    std::vector<double> values;         // from, from + step, ... up to to
};

// More values than this in one sweep are refused: the table and the diagram
// would be past reading long before.
inline constexpr std::size_t kMaxSweepValues = 1000;

// Reads "R=FROM:TO:STEP" or "alpha=FROM:TO:STEP" ("α=" too), the numbers
// under `format`. Each value is the shortest decimal within a billionth of a
// step of FROM + i STEP, so 1:2:0.1 gives 1.3, not 1.3000000000000003: the
// number a user would type into the field. Empty, with the reason in `why`,
// for a text that is not a sweep, a zero step, a step that leads away from TO
// or more than kMaxSweepValues values.
std::optional<SweepRange> parse_sweep(std::string_view text, const core::NumberFormat& format,
                                      std::string& why);

struct SweepRow {
    double value = 0;
    std::optional<double> ratio;  // R / Rmin at this value, where finite
    int feed_plate = 0;           // both 0 when the calculation failed
    int plate_count = 0;
    std::int32_t error = 0;       // the run-time error's number, 0 on success
};

// The column of `base` with the swept input set to each value in turn.
std::vector<SweepRow> run_sweep(const calc::ColumnInputs& base, const SweepRange& range);

// A header line (symbol, R/Rmin, 进料板, 塔板数, 错误) and one TAB-separated
// line per value; "-" stands where a row has no such number.
std::string sweep_tsv(const SweepRange& range, const std::vector<SweepRow>& rows);

}  // namespace veltrano::app
