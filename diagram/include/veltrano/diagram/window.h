// What the diagram window shows, the same on both desktops: the
// McCabe–Thiele diagram of the main window's last successful press, scaled
// to the window, under a line or two of notes. The desktops only paint the
// scene this gives and pass on the window's commands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "veltrano/calc/column.h"
#include "veltrano/diagram/scene.h"

namespace veltrano::diagram {

// The window's texts.
inline constexpr const char* kWindowTitle = "塔板图 — Veltrano";
inline constexpr const char* kOpenCommand = "塔板图…";  // menus add its key, F2
inline constexpr const char* kSaveCommand = "另存为…";
inline constexpr const char* kCopyCommand = "复制";
inline constexpr const char* kCloseCommand = "关闭";

// The window's size when it first opens, in device-independent pixels; the
// picture shrinks with the window down to the least size.
inline constexpr double kOpeningWidth = 560, kOpeningHeight = 660;
inline constexpr double kLeastWidth = 240, kLeastHeight = 240;

// A picture's page (`design --svg`'s) fitted into an area `width` by
// `height` pixels, centred; with `stale_note`, dimmed under that note (the
// picture no longer shows what the inputs hold). Without a picture, the
// note alone.
Scene fitted_picture(const Scene* page, double width, double height, const std::string& stale_note = {});

class DiagramView {
public:
    // One press of the main window's button: started, then `calculated`
    // when the column is computed (its fields are written), and `failed`
    // when a run-time error ends it, before or after the calculation.
    void press_started();
    void calculated(const calc::ColumnInputs& in, const calc::ColumnResult& column);
    void failed(std::int32_t error_number);

    bool has_picture() const { return picture_.has_value(); }

    // The whole window, `width` by `height` device-independent pixels: the
    // notes at the top (the hint before the first press, the failed
    // press's note, a warning for each physical rule the inputs break), and
    // the picture scaled to fit under them, centred across.
    Scene scene(double width, double height) const;

    // The picture alone as an SVG file: the one `veltrano-cli --svg` writes
    // for the same inputs. Empty before the first successful press.
    std::string svg() const;

    // Where the mole fractions (x, y) of the picture land in a window of
    // that size; none before the first successful press.
    std::optional<Pt> window_point(double width, double height, double x, double y) const;

    // The notes as they stand, top line first.
    std::vector<std::string> notes() const;

private:
    struct Picture {
        calc::ColumnInputs in;
        calc::ColumnResult column;
        Scene page;
        std::vector<std::string> warnings;
    };
    std::optional<Picture> picture_;
    bool calculated_in_press_ = false;
    std::optional<std::int32_t> failed_error_;
    bool failed_after_calculation_ = false;
};

}  // namespace veltrano::diagram
