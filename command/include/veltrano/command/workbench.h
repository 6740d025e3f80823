// The design workbench as data: a second window where design and rating are
// recomputed as the user types. Its fields, results, texts and layout, and
// what each edit computes, live here once; each desktop only places the
// controls where workbench_layout() says and paints what compute_workbench()
// gives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/core/number_text.h"
#include "veltrano/diagram/scene.h"
#include "veltrano/sheet/spreadsheet.h"

namespace veltrano::command {

// --- texts ---------------------------------------------------------------------

inline constexpr const char* kWorkbenchTitle = "设计 — Veltrano";
inline constexpr const char* kOpenWorkbench = "设计…";  // menus add its key, F3
inline constexpr int kWorkbenchKey = 3;                  // F3
inline constexpr const char* kDesignMode = "设计";
inline constexpr const char* kRatingMode = "核算";
inline constexpr const char* kAlphaItem = "恒定相对挥发度";
inline constexpr const char* kDataFileItem = "x–y 数据文件…";
inline constexpr const char* kDataFileDialogTitle = "选择 x–y 数据文件";
inline constexpr const char* kDataFileFilter = "x–y 数据 (*.csv *.tsv *.txt)";
inline constexpr const char* kSaveDialogTitle = "另存图";
inline constexpr const char* kStaleNote = "输入有误（见左下方的说明）；图仍是上一次成功的计算。";
// The stage table's column heads.
inline constexpr std::array<const char*, 4> kStageColumns = {"n", "x", "y", "T/°C"};

// --- controls -----------------------------------------------------------------

enum class WorkbenchMode : std::uint8_t { kDesign, kRating };

// When an input takes part: in both modes, in one of them, or only with
// the curve it belongs to (alpha for constant alpha, P for a pair).
enum class Needs : std::uint8_t { kBoth, kDesign, kRating, kAlpha, kPair };

struct WorkbenchField {
    std::string_view name;        // the control's name and the remembered key: "F"
    std::string_view caption;     // its label, and its accessible name
    std::string_view tooltip;     // symbol, meaning, unit, range
    std::string_view first_text;  // on a first start: the first worked example
    Needs needs = Needs::kBoth;
    bool whole = false;           // a stage number
};

// In the order Tab visits them (the mixture list sits between E and alpha).
extern const std::array<WorkbenchField, 12> kWorkbenchFields;

struct WorkbenchResult {
    std::string_view name;     // "feed_stage"
    std::string_view caption;  // "进料板"
    std::string_view tooltip;  // what it is; the full value follows it
};
extern const std::array<WorkbenchResult, 15> kWorkbenchResults;

enum class WorkbenchControlKind : std::uint8_t {
    kLabel,    // a caption; `names` is the control it names
    kRadio,    // one of the two modes
    kTextBox,  // an input field
    kList,     // the mixture
    kResult,   // a read-only text
    kTable,    // the stages: n, x, y, T
    kStatus,   // the line under the results that says what is wrong
    kButton,
    kDiagram,  // the picture, painted from compute_workbench()'s scene
};

// A rectangle in device-independent pixels (1/96 inch) from the client
// area's top left.
struct Box {
    double left = 0, top = 0, width = 0, height = 0;
};

struct WorkbenchControl {
    std::string name;
    WorkbenchControlKind kind = WorkbenchControlKind::kLabel;
    std::string caption;  // labels, radio buttons, buttons
    std::string tooltip;
    std::string names;    // a label: the control it names
    Box box;
    int tab_index = -1;   // inputs then buttons; -1 for what Tab passes by
};

// The window's size when it first opens and the least it shrinks to.
inline constexpr double kWorkbenchOpeningWidth = 1160, kWorkbenchOpeningHeight = 760;
inline constexpr double kWorkbenchLeastWidth = 860, kWorkbenchLeastHeight = 640;

// Every control of a window `width` by `height` pixels, each placed: the
// inputs top left, the results under them, the stage table filling the
// column down to the status line and the buttons; the diagram right of
// them, growing with the window. Labels come just before what they name.
std::vector<WorkbenchControl> workbench_layout(double width, double height);

// The read-only text that shows the result `result` ("stages").
std::string result_control(std::string_view result);

// The control names the runtimes look up.
inline constexpr std::string_view kDesignRadio = "mode_design", kRatingRadio = "mode_rating";
inline constexpr std::string_view kMixtureList = "mixture";
inline constexpr std::string_view kStageTable = "stages", kStatusLine = "status", kDiagramArea = "diagram";
inline constexpr std::string_view kExportButton = "export", kSaveButton = "save", kCopyButton = "copy";

// --- what the user has set ---------------------------------------------------

struct WorkbenchState {
    WorkbenchMode mode = WorkbenchMode::kDesign;
    std::map<std::string, std::string, std::less<>> texts;  // by field name
    // The list's choice: 0 constant alpha, then each pair of the table, then
    // (when a file has been chosen) its points; see mixture_items().
    int mixture = 0;
    std::string data_file;  // UTF-8 path of the chosen points, empty when none

    // The first start: the first worked example, its rated column, constant alpha.
    static WorkbenchState first_start();
};

// The list's items in order: "恒定相对挥发度", each pair as the table
// names it ("乙醇/水"), the chosen file's name ("x–y 数据：points.csv")
// when there is one, and last "x–y 数据文件…", which asks for a file.
std::vector<std::string> mixture_items(const WorkbenchState& state);
// The item that opens the file dialog instead of choosing a curve.
bool asks_for_file(const WorkbenchState& state, int item);
// A file chosen in the dialog becomes the list's choice.
void choose_data_file(WorkbenchState& state, std::string path);

// Whether the field takes part in what the state computes: the mode's
// inputs, alpha for constant alpha, P for a pair. The others are disabled.
bool field_enabled(const WorkbenchState& state, const WorkbenchField& field);

// --- what an edit computes ---------------------------------------------------

struct WorkbenchOutcome {
    // On failure: the CLI's own description for the same inputs, and the
    // field it concerns (its name; the mixture list for a curve that cannot
    // be built; empty when none is to blame).
    std::string failure;
    std::string failed_field;

    // On success, by kWorkbenchResults' order: the shown text (four
    // significant digits, integers as integers; empty where it does not
    // apply) and the full value for the tooltip.
    std::array<std::string, 15> shown;
    std::array<std::string, 15> full;
    // One row a stage: n, x, y, T (shown), and the full columns for the export.
    std::vector<std::array<std::string, 4>> stage_rows;
    std::vector<double> x, y;
    std::vector<std::optional<double>> T;
    // The diagram: the same page `design --svg` or `rate --svg` writes.
    std::shared_ptr<const diagram::Scene> picture;

    bool ok() const { return failure.empty(); }
};

// Reads the enabled fields (numbers in `format`, as the main window reads
// them), builds the curve and designs or rates the column. Never throws.
WorkbenchOutcome compute_workbench(const WorkbenchState& state, const core::NumberFormat& format);

// 导出: the stage table with its T row handed to a new spreadsheet from
// `new_spreadsheet`, as the main window's press hands its profile. A
// RunError (429 without a spreadsheet, a failed call) is the caller's to
// report; nothing is raised for an outcome that failed (there is no table).
void export_stages(const WorkbenchOutcome& outcome, const sheet::SpreadsheetFactory& new_spreadsheet);

// The diagram area's scene, `width` by `height` pixels: the last good
// picture scaled to fit, and when `stale`, that picture dimmed under a note
// that it is not of the present inputs (no note without a picture).
diagram::Scene workbench_scene(const diagram::Scene* picture, bool stale, double width, double height);

// --- remembering ---------------------------------------------------------------

// Key and text pairs to keep between runs: "mode", each field, "mixture"
// (the item's text), "data_file".
std::map<std::string, std::string> remembered(const WorkbenchState& state);
// The state from what was kept, `find` giving the text under a key (none
// when absent). A value that no longer parses or names nothing there is
// dropped: the first start's stands in its place.
WorkbenchState restored(const std::function<std::optional<std::string>(const std::string&)>& find,
                        const core::NumberFormat& format);
// A remembered window size, when it parses and is no smaller than the least.
std::optional<std::pair<int, int>> remembered_size(const std::optional<std::string>& text);
std::string size_text(int width, int height);
inline constexpr const char* kSizeKey = "size";

// --- recomputing off the user-interface thread ---------------------------------

// Runs compute_workbench() on a thread of its own for the latest state
// submitted; a state submitted while one is computing replaces any that was
// waiting, so a burst of keystrokes computes the first and the last only.
// `done` runs on that thread with the submission's number: the runtime posts
// it to its own thread and shows it when it is still the latest.
class Recomputer {
public:
    using Done = std::function<void(std::uint64_t submission, std::shared_ptr<const WorkbenchOutcome>)>;
    Recomputer(core::NumberFormat format, Done done);
    ~Recomputer();
    Recomputer(const Recomputer&) = delete;
    Recomputer& operator=(const Recomputer&) = delete;

    std::uint64_t submit(WorkbenchState state);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace veltrano::command
