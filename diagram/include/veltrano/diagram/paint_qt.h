// The scene on a QPainter: how the Linux window, its PNG file and its
// clipboard image draw the diagram. Vector drawing throughout, so the
// picture is as sharp at any scale the caller sets as the SVG file is.
#pragma once

#include <QFont>

#include "veltrano/diagram/scene.h"

class QPainter;

namespace veltrano::diagram {

// Paints the white page and every shape of `scene` in the painter's current
// coordinates, one unit a page pixel, as an SVG viewer shows the same tree:
// presentation inherited from the groups, a group's transform scaling its
// strokes and dashes, text placed by its measured width. Leaves the
// painter's state as it found it.
void paint(const Scene& scene, QPainter& painter);

// The font the scene's text of `size` page pixels is set in on `painter`'s
// device: the first CJK family installed of those the SVG file names.
QFont scene_font(const QPainter& painter, double size, bool bold);

}  // namespace veltrano::diagram
