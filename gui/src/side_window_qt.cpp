#include "side_window_qt.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "veltrano/core/replace_file.h"
#include "veltrano/diagram/paint_qt.h"

namespace veltrano::gui {

namespace {

// Between the main window and the one beside it.
constexpr int kGap = 8;

}  // namespace

QWidget* main_window(const QWidget* except) {
    QWidget* active = QApplication::activeWindow();
    if (active != nullptr && active != except) return active;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != except && w->isVisible() && w->windowType() == Qt::Window) return w;
    }
    return nullptr;
}

void place_beside_main_window(QWidget& window) {
    const QWidget* main = main_window(&window);
    if (main == nullptr) return;
    const QRect beside = main->frameGeometry();
    // The frame this window will get, taken to be the main window's.
    const QMargins frame(main->geometry().left() - beside.left(), main->geometry().top() - beside.top(),
                         beside.right() - main->geometry().right(), beside.bottom() - main->geometry().bottom());
    const QSize outer = window.size().grownBy(frame);
    QPoint at(beside.right() + 1 + kGap, beside.top());
    const QScreen* screen = main->screen();
    if (screen != nullptr) {
        const QRect room = screen->availableGeometry();
        if (at.x() + outer.width() > room.right() + 1) at.setX(beside.left() - kGap - outer.width());
        at.setX(std::max(room.left(), std::min(at.x(), room.right() + 1 - outer.width())));
        at.setY(std::max(room.top(), std::min(at.y(), room.bottom() + 1 - outer.height())));
    }
    window.move(at);  // the frame's top left, as the window system places it
}

QImage scene_image(const QWidget& widget, const diagram::Scene& scene) {
    const double ratio = widget.devicePixelRatioF();
    QImage out(int(std::ceil(widget.width() * ratio)), int(std::ceil(widget.height() * ratio)), QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    QPainter painter(&out);
    diagram::paint(scene, painter);
    return out;
}

void show_failure(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    // The windows speak Chinese whatever the user's locale.
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

void save_picture(QWidget* parent, const QString& dialog_title, QString& folder, const SavedPicture& picture) {
    const QString svg_filter = QStringLiteral("SVG 矢量图 (*.svg)"), png_filter = QStringLiteral("PNG 图像 (*.png)");
    QFileDialog dialog(parent, dialog_title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({svg_filter, png_filter});
    dialog.setDefaultSuffix(QStringLiteral("svg"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(filter == png_filter ? QStringLiteral("png") : QStringLiteral("svg"));
    });
    dialog.setDirectory(folder.isEmpty() ? QDir::homePath() : folder);
    dialog.selectFile(QStringLiteral("塔板图.svg"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    QString path = dialog.selectedFiles().front();
    folder = QFileInfo(path).absolutePath();

    // The name's own extension decides; without one (a desktop's own
    // dialog may not add it), the type chosen.
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool png = suffix == QLatin1String("png");
    if (!png && suffix != QLatin1String("svg")) {
        png = dialog.selectedNameFilter() == png_filter;
        path += png ? QStringLiteral(".png") : QStringLiteral(".svg");
    }
    const QString title = parent != nullptr ? parent->windowTitle() : QString();
    std::string content;
    if (png) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !picture.image().save(&buffer, "PNG")) {
            show_failure(parent, title,
                         QStringLiteral("无法把塔板图编码为 PNG，没有写入“%1”。").arg(QDir::toNativeSeparators(path)));
            return;
        }
        content.assign(bytes.constData(), std::size_t(bytes.size()));
    } else {
        // The very file veltrano-cli --svg writes for the same inputs.
        content = picture.svg();
    }
    std::string why;
    if (!core::replace_file(path.toStdString(), content, why)) {
        show_failure(parent, title,
                     QStringLiteral("无法保存“%1”：%2\n原有的文件（如果有）保持不变。")
                         .arg(QDir::toNativeSeparators(path), QString::fromStdString(why)));
    }
}

}  // namespace veltrano::gui
