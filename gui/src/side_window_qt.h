// What the windows that open beside the main window share on Linux (the
// diagram window and the design workbench): where they open, how a failure
// is shown, and saving a picture as SVG or PNG through a file dialog.
#pragma once

#include <functional>
#include <string>

#include <QImage>
#include <QString>

#include "veltrano/diagram/scene.h"

class QWidget;

namespace veltrano::gui {

// The main window: the active window when a key or a menu opens `except`,
// or else the first other window on screen; none when `except` is alone.
QWidget* main_window(const QWidget* except);

// Right of the main window, tops level; left of it when the screen has no
// room on the right; on the screen whatever happens. Nowhere in particular
// without a main window.
void place_beside_main_window(QWidget& window);

// `scene` painted at the size of `widget` and its screen's device pixel
// ratio: what Copy and a PNG file hold.
QImage scene_image(const QWidget& widget, const diagram::Scene& scene);

// A modal error box over `parent` in Chinese: the Critical icon, `text`
// and one button, 确定.
void show_failure(QWidget* parent, const QString& title, const QString& text);

// A picture as the two kinds of file hold it: the SVG document, and the
// image a PNG holds (the window's pixels at the screen's device pixel ratio).
struct SavedPicture {
    std::function<std::string()> svg;
    std::function<QImage()> image;
};

// Asks for a file name in `folder` (the home folder when empty; the chosen
// file's folder afterwards), then writes `picture` as the name's extension
// says, or without one as the type chosen in the dialog. A file that cannot
// be written is reported in a box and whatever was there stays.
void save_picture(QWidget* parent, const QString& dialog_title, QString& folder, const SavedPicture& picture);

}  // namespace veltrano::gui
