// A sweep: the column calculated again for each value of one input over a
// range, as a designer does to choose the reflux ratio at 1.2 to 1.5 times
// the minimum. The plate-by-plate calculation sweeps R or alpha; design mode
// also the feed quality q and the tray efficiency E.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/calc/design.h"
#include "veltrano/core/number_text.h"
#include "veltrano/diagram/diagrams.h"
#include "language.h"

namespace veltrano::app {

// The sweep's range and rows are the sweep plot's own.
using diagram::Swept;
using diagram::SweepRange;
using diagram::SweepRow;

// More values than this in one sweep are refused: the table and the diagram
// would be past reading long before.
inline constexpr std::size_t kMaxSweepValues = 1000;

// Which command sweeps, on which curve: what may be swept.
struct SweepContext {
    bool design = false;    // design mode: also q and E
    bool rating = false;    // rating: R, q, E, D, stages and feed-stage, not alpha
    bool on_curve = false;  // a mixture or data: not alpha
    bool mixture = false;   // a mixture: also P (kPa)
};

// Reads "R=FROM:TO:STEP" or "alpha=FROM:TO:STEP" ("α=" too), and what else
// `context` allows; the numbers under `format`. Each value is the shortest decimal within a billionth of a
// step of FROM + i STEP, so 1:2:0.1 gives 1.3, not 1.3000000000000003: the
// number a user would type into the field. Empty, with the reason in `why`
// (in `language`), for a text that is not a sweep, a zero step, a step that
// leads away from TO or more than kMaxSweepValues values.
std::optional<SweepRange> parse_sweep(std::string_view text, const core::NumberFormat& format, Language language,
                                      std::string& why, const SweepContext& context = {});

// `in` with the swept input set to `value`.
calc::DesignInputs with_value(calc::DesignInputs in, Swept input, double value);

// The column of `base` with the swept input set to each value in turn.
std::vector<SweepRow> run_sweep(const calc::ColumnInputs& base, const SweepRange& range);
// The curve a design row steps on, for the row's swept value: null for
// constant alpha. Raises (the row's error) when there is none at that value.
using RowCurve = std::function<std::shared_ptr<const calc::EquilibriumCurve>(double value)>;

// The same in design mode: each row is designed on its own, whether or not
// the base inputs pass their checks. R / Rmin is given wherever the minimum
// reflux is defined and positive.
std::vector<SweepRow> run_design_sweep(const calc::DesignInputs& base, const SweepRange& range,
                                       const RowCurve& curve = {});

// A header line (symbol, R/Rmin, 进料板, 塔板数, 错误) and one TAB-separated
// line per value; "-" stands where a row has no such number. A design
// sweep adds a sixth column, 说明, with each failed row's description.
std::string sweep_tsv(const SweepRange& range, const std::vector<SweepRow>& rows);

// A rating's sweep: the column of `base` rated again for each value, on
// the row's curve (null: constant alpha).
std::vector<diagram::RatingSweepRow> run_rating_sweep(const calc::RatingInputs& base, const SweepRange& range,
                                                      const RowCurve& curve = {});
// A header line (symbol, xD, xW, 错误, 说明) and one TAB-separated line per value.
std::string rating_sweep_tsv(const SweepRange& range, const std::vector<diagram::RatingSweepRow>& rows);

}  // namespace veltrano::app
