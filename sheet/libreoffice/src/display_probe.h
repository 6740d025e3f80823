// Whether a window can be shown: the display the office would open must
// answer before an office is started for it. An office started without one
// runs windowless without a word, and every later start on the same profile
// hands over to that invisible office.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace veltrano::sheet {

struct DisplaySettings {
    std::string x_display;        // DISPLAY; empty when unset
    std::string wayland_display;  // WAYLAND_DISPLAY; empty when unset
    std::string runtime_dir;      // XDG_RUNTIME_DIR, where a relative Wayland display lives
    std::string xauthority;       // the X cookie file: XAUTHORITY, else ~/.Xauthority
    std::string x_socket_dir = "/tmp/.X11-unix";

    static DisplaySettings from_environment();
};

// Empty when a display answers: the X server named by DISPLAY completes the
// connection set-up (with the user's MIT-MAGIC-COOKIE-1 when the cookie file
// has one), or the Wayland compositor accepts on its socket. Otherwise what
// is wrong with each display that is set, in the user's words. Waits for an
// answer at most until `deadline`.
std::optional<std::string> display_problem(const DisplaySettings& settings,
                                           std::chrono::steady_clock::time_point deadline);

}  // namespace veltrano::sheet
