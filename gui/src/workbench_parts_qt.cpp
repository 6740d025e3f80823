#include "workbench_parts_qt.h"

#include <utility>

#include <QPainter>

#include "side_window_qt.h"
#include "veltrano/diagram/paint_qt.h"

namespace veltrano::gui {

namespace {

QString to_qt(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

WorkbenchMemory::WorkbenchMemory() : settings_(QStringLiteral("Veltrano"), QStringLiteral("Veltrano")) {
    settings_.beginGroup(QStringLiteral("workbench"));
}

std::optional<std::string> WorkbenchMemory::find(const std::string& key) {
    if (!settings_.contains(to_qt(key))) return std::nullopt;
    return settings_.value(to_qt(key)).toString().toStdString();
}

command::WorkbenchState WorkbenchMemory::state(const core::NumberFormat& format) {
    return command::restored([this](const std::string& key) { return find(key); }, format);
}

QSize WorkbenchMemory::size() {
    const auto kept = command::remembered_size(find(command::kSizeKey));
    return kept ? QSize(kept->first, kept->second)
                : QSize(int(command::kWorkbenchOpeningWidth), int(command::kWorkbenchOpeningHeight));
}

void WorkbenchMemory::keep(const command::WorkbenchState& state) {
    for (const auto& [key, value] : command::remembered(state)) settings_.setValue(to_qt(key), to_qt(value));
}

void WorkbenchMemory::keep_size(QSize size) {
    settings_.setValue(QString::fromUtf8(command::kSizeKey), to_qt(command::size_text(size.width(), size.height())));
}

void StageModel::show(std::shared_ptr<const command::WorkbenchOutcome> outcome) {
    beginResetModel();
    outcome_ = outcome && outcome->ok() ? std::move(outcome) : nullptr;
    endResetModel();
}

int StageModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !outcome_ ? 0 : static_cast<int>(outcome_->stage_rows.size());
}

int StageModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(command::kStageColumns.size());
}

QVariant StageModel::data(const QModelIndex& index, int role) const {
    if (!outcome_ || !index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) {
        const std::string& text = outcome_->stage_rows[std::size_t(index.row())][std::size_t(index.column())];
        return QString::fromStdString(text);
    }
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant StageModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) return {};
    return QString::fromUtf8(command::kStageColumns[std::size_t(section)]);
}

DiagramArea::DiagramArea(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted by the scene's white page.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DiagramArea::show_picture(std::shared_ptr<const diagram::Scene> picture, bool stale) {
    if (picture == picture_ && stale == stale_) return;
    picture_ = std::move(picture);
    stale_ = stale;
    scene_.reset();
    update();
}

QImage DiagramArea::image() const {
    return scene_image(*this, command::workbench_scene(picture_.get(), stale_, width(), height()));
}

QImage DiagramArea::image_of(const diagram::Scene& picture) const {
    return scene_image(*this, command::workbench_scene(&picture, false, width(), height()));
}

void DiagramArea::paintEvent(QPaintEvent*) {
    if (!scene_ || scene_size_ != size()) {
        scene_ = command::workbench_scene(picture_.get(), stale_, width(), height());
        scene_size_ = size();
    }
    QPainter painter(this);
    diagram::paint(*scene_, painter);
}

}  // namespace veltrano::gui
