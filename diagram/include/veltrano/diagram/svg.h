// A scene as a standalone SVG document: UTF-8, fonts by name, no scripts or
// external references, for a browser, an office suite or a printer.
#pragma once

#include <string>

#include "veltrano/diagram/scene.h"

namespace veltrano::diagram {

std::string to_svg(const Scene& scene);

// A number as the file writes it: its fixed decimals, or the shortest exact
// form; never NaN or infinite text (those are written as 0).
std::string number_text(Num n);

}  // namespace veltrano::diagram
