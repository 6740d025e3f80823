// What each painter of a scene needs first: the presentation in force at a
// node, the page's defaults overridden by each enclosing group and by the
// node itself, as SVG inherits it. Painters only: the SVG writer leaves the
// inheritance to the SVG viewer.
#pragma once

#include <algorithm>
#include <vector>

#include "veltrano/diagram/scene.h"

namespace veltrano::diagram {

struct Presentation {
    Colour stroke = kNoPaint;
    double stroke_width = 1;
    const std::vector<Num>* dashes = nullptr;  // the nearest node's that sets some; none: solid
    Colour fill = 0x222222;
    double fill_opacity = 1;  // within 0..1
    double font_size = 16;
    Anchor anchor = Anchor::kStart;
    bool bold = false;
    bool round = false;

    // The presentation inside a node of `style`. The dashes point into the
    // node's style: the result lives no longer than the scene.
    Presentation inside(const Style& style) const {
        Presentation p = *this;
        if (style.stroke) p.stroke = *style.stroke;
        if (style.stroke_width) p.stroke_width = style.stroke_width->v;
        if (!style.dashes.empty()) p.dashes = &style.dashes;
        if (style.fill) p.fill = *style.fill;
        if (style.fill_opacity) p.fill_opacity = std::clamp(style.fill_opacity->v, 0.0, 1.0);
        if (style.font_size) p.font_size = style.font_size->v;
        if (style.anchor != Anchor::kInherit) p.anchor = style.anchor;
        if (style.bold) p.bold = true;
        if (style.round) p.round = true;
        return p;
    }
};

}  // namespace veltrano::diagram
