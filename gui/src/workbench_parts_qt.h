// The workbench window's parts on Linux: what it keeps between runs, the
// stage table's model and the diagram area.
#pragma once

#include <memory>
#include <optional>

#include <QAbstractTableModel>
#include <QImage>
#include <QSettings>
#include <QSize>
#include <QWidget>

#include "veltrano/command/workbench.h"
#include "veltrano/core/number_text.h"
#include "veltrano/diagram/scene.h"

namespace veltrano::gui {

// The inputs and the window's size from one run to the next: QSettings of
// organisation and application "Veltrano", group "workbench" (on Linux
// $XDG_CONFIG_HOME/Veltrano/Veltrano.conf).
class WorkbenchMemory {
public:
    WorkbenchMemory();
    // What was kept, read as the user's locale reads numbers; the first
    // start's where nothing (or nothing that still reads) was kept.
    command::WorkbenchState state(const core::NumberFormat& format);
    // The size kept, or the opening size.
    QSize size();
    void keep(const command::WorkbenchState& state);
    void keep_size(QSize size);
    // Written to the file now, not only at the next idle moment.
    void sync() { settings_.sync(); }

private:
    std::optional<std::string> find(const std::string& key);
    QSettings settings_;
};

// The stages of one outcome, n, x, y and T a row. The rows stay in the
// outcome they came with, so a column of a thousand stages is shown without
// a copy, and the view asks only for the rows on screen.
class StageModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    // None, or a failed outcome: no rows.
    void show(std::shared_ptr<const command::WorkbenchOutcome> outcome);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const command::WorkbenchOutcome> outcome_;
};

// The last good picture scaled to the area, dimmed under a note while the
// present inputs fail; built again only when the picture, its state or the
// area's size changes, and painted as vectors.
class DiagramArea final : public QWidget {
public:
    explicit DiagramArea(QWidget* parent);

    void show_picture(std::shared_ptr<const diagram::Scene> picture, bool stale);
    bool has_picture() const { return picture_ != nullptr; }
    // What the area shows, as an image at its size and the screen's device
    // pixel ratio: what 复制 puts on the clipboard.
    QImage image() const;
    // `picture` as the area would show it fresh: what a PNG file holds.
    QImage image_of(const diagram::Scene& picture) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:

    std::shared_ptr<const diagram::Scene> picture_;
    bool stale_ = false;
    std::optional<diagram::Scene> scene_;
    QSize scene_size_;
};

}  // namespace veltrano::gui
