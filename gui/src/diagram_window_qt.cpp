// The diagram window on Linux: a Qt widget that paints the view's scene,
// with Save As, Copy and Close in its context menu and on their keys.
#include "veltrano/gui/diagram_window.h"

#include <cmath>
#include <optional>
#include <string>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QKeySequence>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "veltrano/core/replace_file.h"
#include "veltrano/diagram/paint_qt.h"

namespace veltrano::gui {

namespace {

QString to_qt(const char* text) { return QString::fromUtf8(text); }

// Between the main window and this one, when it opens beside it.
constexpr int kGap = 8;

class DiagramWidget final : public QWidget {
public:
    explicit DiagramWidget(const diagram::DiagramView& view) : view_(view) {
        setObjectName(QStringLiteral("DiagramWindow"));
        setWindowTitle(to_qt(diagram::kWindowTitle));
        // The main window alone decides when the program ends: closing it
        // ends the event loop with this window still open.
        setAttribute(Qt::WA_QuitOnClose, false);
        // Every pixel is painted by the scene's white page.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMinimumSize(int(diagram::kLeastWidth), int(diagram::kLeastHeight));
        resize(int(diagram::kOpeningWidth), int(diagram::kOpeningHeight));

        save_ = command(diagram::kSaveCommand, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { save(); });
        copy_ = command(diagram::kCopyCommand, QKeySequence(Qt::CTRL | Qt::Key_C), [this] { copy(); });
        command(diagram::kCloseCommand, QKeySequence(Qt::Key_Escape), [this] { close(); });
        // The commands with their keys, on a right-click anywhere in the window.
        setContextMenuPolicy(Qt::ActionsContextMenu);
        view_changed();
    }

    // A press has changed what the view shows: painted at once, not when
    // the press returns, since the hand-over to the spreadsheet that
    // follows may take seconds.
    void view_changed() {
        scene_.reset();
        // Nothing to save or copy before the first successful press.
        save_->setEnabled(view_.has_picture());
        copy_->setEnabled(view_.has_picture());
        if (isVisible()) repaint();
    }

    // The window's content as an image at the window's size and the
    // screen's device pixel ratio: what Copy and a PNG file hold.
    QImage image() const {
        const double ratio = devicePixelRatioF();
        QImage out(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)), QImage::Format_RGB32);
        out.setDevicePixelRatio(ratio);
        QPainter painter(&out);
        diagram::paint(view_.scene(width(), height()), painter);
        return out;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // Built again only after a press or a change of size, not at every
        // expose; painted as vectors at the device's own resolution.
        if (!scene_ || scene_size_ != size()) {
            scene_ = view_.scene(width(), height());
            scene_size_ = size();
        }
        QPainter painter(this);
        diagram::paint(*scene_, painter);
    }

private:
    template <typename Run>
    QAction* command(const char* text, const QKeySequence& key, Run run) {
        auto* action = new QAction(to_qt(text), this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, run);
        addAction(action);
        return action;
    }

    void show_failure(const QString& text) {
        QMessageBox box(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
        box.exec();
    }

    void save() {
        if (!view_.has_picture()) return;
        const QString svg_filter = QStringLiteral("SVG 矢量图 (*.svg)"), png_filter = QStringLiteral("PNG 图像 (*.png)");
        QFileDialog dialog(this, QStringLiteral("另存为"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters({svg_filter, png_filter});
        dialog.setDefaultSuffix(QStringLiteral("svg"));
        connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
            dialog.setDefaultSuffix(filter == png_filter ? QStringLiteral("png") : QStringLiteral("svg"));
        });
        dialog.setDirectory(folder_.isEmpty() ? QDir::homePath() : folder_);
        dialog.selectFile(QStringLiteral("塔板图.svg"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        QString path = dialog.selectedFiles().front();
        folder_ = QFileInfo(path).absolutePath();

        // The name's own extension decides; without one (a desktop's own
        // dialog may not add it), the type chosen.
        const QString suffix = QFileInfo(path).suffix().toLower();
        bool png = suffix == QLatin1String("png");
        if (!png && suffix != QLatin1String("svg")) {
            png = dialog.selectedNameFilter() == png_filter;
            path += png ? QStringLiteral(".png") : QStringLiteral(".svg");
        }
        std::string content;
        if (png) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            if (!buffer.open(QIODevice::WriteOnly) || !image().save(&buffer, "PNG")) {
                show_failure(QStringLiteral("无法把塔板图编码为 PNG，没有写入“%1”。").arg(QDir::toNativeSeparators(path)));
                return;
            }
            content.assign(bytes.constData(), std::size_t(bytes.size()));
        } else {
            // The very file veltrano-cli --svg writes for the same inputs.
            content = view_.svg();
        }
        std::string why;
        if (!core::replace_file(path.toStdString(), content, why)) {
            show_failure(QStringLiteral("无法保存“%1”：%2\n原有的文件（如果有）保持不变。")
                             .arg(QDir::toNativeSeparators(path), QString::fromStdString(why)));
        }
    }

    void copy() {
        if (view_.has_picture()) QGuiApplication::clipboard()->setImage(image());
    }

    const diagram::DiagramView& view_;
    QAction* save_ = nullptr;
    QAction* copy_ = nullptr;
    std::optional<diagram::Scene> scene_;
    QSize scene_size_;
    QString folder_;  // where the last file was saved
};

// The main window: the active window when F2 or its menu opens this one,
// or else the first other window on screen.
QWidget* main_window(const QWidget* except) {
    QWidget* active = QApplication::activeWindow();
    if (active != nullptr && active != except) return active;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != except && w->isVisible() && w->windowType() == Qt::Window) return w;
    }
    return nullptr;
}

// Right of the main window, tops level; left of it when the screen has no
// room on the right; on the screen whatever happens.
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

}  // namespace

struct DiagramWindow::Impl {
    explicit Impl(const diagram::DiagramView& v) : view(v) {}
    const diagram::DiagramView& view;
    QPointer<DiagramWidget> widget;
};

DiagramWindow::DiagramWindow(const diagram::DiagramView& view) : impl_(std::make_unique<Impl>(view)) {}

DiagramWindow::~DiagramWindow() {
    if (impl_->widget && QCoreApplication::instance() != nullptr) delete impl_->widget.data();
}

void DiagramWindow::open() {
    if (!impl_->widget) {
        impl_->widget = new DiagramWidget(impl_->view);
        DiagramWidget* widget = impl_->widget;
        // Gone with the event loop, while the application that owns its
        // resources still exists.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, widget, &QObject::deleteLater);
        if (const QWidget* main = main_window(widget)) widget->setWindowIcon(main->windowIcon());
        place_beside_main_window(*widget);
    }
    DiagramWidget& widget = *impl_->widget;
    widget.view_changed();
    if (widget.isMinimized()) widget.showNormal();
    widget.show();
    widget.raise();
    widget.activateWindow();
}

void DiagramWindow::refresh() {
    if (impl_->widget) impl_->widget->view_changed();
}

}  // namespace veltrano::gui
