// The diagram window on Linux: a Qt widget that paints the view's scene,
// with Save As, Copy and Close in its context menu and on their keys.
#include "veltrano/gui/diagram_window.h"

#include <optional>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include "side_window_qt.h"
#include "veltrano/diagram/paint_qt.h"

namespace veltrano::gui {

namespace {

QString to_qt(const char* text) { return QString::fromUtf8(text); }

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
    QImage image() const { return scene_image(*this, view_.scene(width(), height())); }

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

    void save() {
        if (!view_.has_picture()) return;
        save_picture(this, QStringLiteral("另存为"), folder_,
                     {[this] { return view_.svg(); }, [this] { return image(); }});
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
