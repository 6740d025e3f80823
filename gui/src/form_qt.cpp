// The form runtime on Linux: Qt Widgets, placed by hand from the twips table.
#include "veltrano/gui/form_qt.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QTranslator>

#include "veltrano/core/run_error.h"
#include "veltrano/core/error_report.h"

namespace veltrano::gui {

namespace {

QString to_qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A thin line in the window's text colour between two points of the client
// area; the widget is only as large as the line's bounding box.
class LineControl final : public QWidget {
public:
    LineControl(QWidget* parent, QPoint from, QPoint to) : QWidget(parent) {
        const QRect box = QRect(from, to).normalized();
        // The last pixel of a line is not drawn, so a horizontal line from
        // x1 to x2 covers x2 - x1 pixels.
        setGeometry(box.left(), box.top(), std::max(1, box.width() - 1),
                    std::max(1, box.height() - 1));
        from_ = from - pos();
        to_ = to - pos();
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::WindowText), 0));
        painter.drawLine(from_, to_);
    }

private:
    QPoint from_, to_;
};

class QtFields final : public command::Fields {
public:
    explicit QtFields(QWidget& form) : form_(form) {}

    std::string text(std::string_view name) override { return box(name).text().toStdString(); }

    void set_text(std::string_view name, std::string_view text) override {
        QLineEdit& edit = box(name);
        edit.setText(to_qt(text));
        // Painted now, not when the press returns: the export that follows
        // may take seconds, and the window must not show the old answer
        // beside the new inputs meanwhile.
        edit.repaint();
    }

private:
    QLineEdit& box(std::string_view name) {
        auto* edit = form_.findChild<QLineEdit*>(to_qt(name), Qt::FindDirectChildrenOnly);
        if (edit == nullptr) {
            throw core::RunError::automation(command::kNoSuchTextBox,
                                             "窗口中没有文本框“" + std::string(name) + "”");
        }
        return *edit;
    }

    QWidget& form_;
};

void show_report(QWidget* window, const core::ErrorReport& report) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(report.title),
                    QString::fromStdString(report.box_text()), QMessageBox::Ok, window);
    // The window speaks Chinese whatever the user's locale.
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.exec();
}

// While a press runs the window takes no input: what the user clicks or
// types meanwhile is queued by the window system and would otherwise land
// when the press returns, starting another export for every impatient click.
// Installed for the whole press, this filter drops such input and holds back
// a request to close the window, so it can be honoured once the press (and
// its error box) is over.
class PressInputFilter final : public QObject {
public:
    explicit PressInputFilter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~PressInputFilter() override { qApp->removeEventFilter(this); }
    PressInputFilter(const PressInputFilter&) = delete;
    PressInputFilter& operator=(const PressInputFilter&) = delete;

    bool close_requested() const { return close_requested_; }

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() == QEvent::Close && (target == window_ || target == static_cast<QObject*>(window_->windowHandle()))) {
            close_requested_ = true;
            return true;
        }
        return dynamic_cast<QInputEvent*>(event) != nullptr || event->type() == QEvent::InputMethod;
    }

private:
    QWidget* window_;
    bool close_requested_ = false;
};

// One press of the button: the button greys out and a busy cursor shows
// until the command has returned, and an error is shown only once the
// input queued meanwhile has been dropped.
void press(QWidget* window, QPushButton* button, const ClickHandler& on_click) {
    if (!button->isEnabled()) return;  // a press already runs further up this stack
    std::optional<core::ErrorReport> report;
    bool close_requested = false;
    {
        PressInputFilter filter(window);
        button->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Let the disabled button and the cursor reach the screen before the
        // command holds the thread.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        report = core::run_press([&] {
            QtFields fields(*window);
            on_click(fields);
        });
        QCoreApplication::processEvents();
        QApplication::restoreOverrideCursor();
        button->setEnabled(true);
        close_requested = filter.close_requested();
    }
    if (report) show_report(window, *report);
    if (close_requested) window->close();
}

// A push button that Enter presses too, when it has the focus, as Space
// does; it is never a default button, so Enter in a text box presses nothing.
class FormButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

QIcon form_icon(std::string_view name) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        const QString file = QStringLiteral(":/icons/%1-%2.png").arg(to_qt(name)).arg(size);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    return icon;
}

// The window's own commands: each on its function key wherever the focus is
// in the window, and together in the menu of a right-click on the window's
// background, each with its key. A right-click on a text box still gives the
// box's own menu; labels, lines and the button pass it on to the window.
void add_commands(QWidget* window, const std::vector<WindowCommand>& commands) {
    for (const WindowCommand& c : commands) {
        auto* action = new QAction(to_qt(c.text), window);
        if (c.function_key >= 1 && c.function_key <= 35) {
            action->setShortcut(QKeySequence(Qt::Key_F1 + (c.function_key - 1)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        QObject::connect(action, &QAction::triggered, window, [run = c.run] {
            if (run) run();
        });
        window->addAction(action);
    }
    if (!commands.empty()) window->setContextMenuPolicy(Qt::ActionsContextMenu);
}

}  // namespace

void set_up_qt_application() { QApplication::setFont(form_font()); }

QFont form_font() {
    QFont font(QStringList{QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                           QStringLiteral("Source Han Sans SC"), QStringLiteral("Droid Sans Fallback")},
               9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

std::unique_ptr<QWidget> build_form(const command::Form& form, ClickHandler on_click,
                                    const std::vector<WindowCommand>& commands) {
    auto window = std::make_unique<QWidget>();
    QWidget* w = window.get();
    w->setObjectName(to_qt(form.name));
    w->setWindowTitle(to_qt(form.caption));
    w->setWindowIcon(form_icon(form.icon));

    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
    const auto px = [dpi](int twips) { return command::twips_to_pixels(twips, dpi); };
    // No layout: the controls keep their places however the window is sized.
    w->resize(px(form.client_width), px(form.client_height));

    for (const command::Control& c : form.controls) {
        const QRect rect(px(c.left), px(c.top), px(c.width), px(c.height));
        QWidget* control = nullptr;
        switch (c.kind) {
        case command::ControlKind::Label: {
            auto* label = new QLabel(to_qt(c.caption), w);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setTextFormat(Qt::PlainText);
            control = label;
            break;
        }
        case command::ControlKind::TextBox:
            control = new QLineEdit(w);
            break;
        case command::ControlKind::Button: {
            auto* button = new FormButton(to_qt(c.caption), w);
            // Neither default nor cancel: Enter and Esc in a field press nothing.
            button->setAutoDefault(false);
            button->setDefault(false);
            QObject::connect(button, &QPushButton::clicked, w,
                             [w, button, on_click] { press(w, button, on_click); });
            control = button;
            break;
        }
        case command::ControlKind::Line:
            control = new LineControl(w, QPoint(px(c.from.x), px(c.from.y)),
                                      QPoint(px(c.to.x), px(c.to.y)));
            break;
        }
        control->setObjectName(to_qt(c.name));
        if (c.kind != command::ControlKind::Line) control->setGeometry(rect);
        if (!c.tooltip.empty()) {
            control->setToolTip(to_qt(c.tooltip));
            control->setAccessibleDescription(to_qt(c.tooltip));
        }
    }
    // A screen reader names each text box by its caption: the label is the
    // box's buddy, and the name is set as well, for readers that ask the box.
    for (const command::Control& c : form.controls) {
        if (c.kind != command::ControlKind::Label || c.names.empty()) continue;
        auto* label = w->findChild<QLabel*>(to_qt(c.name), Qt::FindDirectChildrenOnly);
        auto* box = w->findChild<QWidget*>(to_qt(c.names), Qt::FindDirectChildrenOnly);
        label->setBuddy(box);
        box->setAccessibleName(to_qt(c.caption));
    }

    QWidget* previous = nullptr;
    for (const command::Control* c : command::tab_order(form)) {
        auto* current = w->findChild<QWidget*>(to_qt(c->name), Qt::FindDirectChildrenOnly);
        if (previous == nullptr) {
            current->setFocus();
        } else {
            QWidget::setTabOrder(previous, current);
        }
        previous = current;
    }
    add_commands(w, commands);
    return window;
}

int run_form(int argc, char** argv, const command::Form& form, ClickHandler on_click, std::vector<WindowCommand> commands) {
    QApplication app(argc, argv);
    set_up_qt_application();
    // Qt's own texts (a field's context menu) in the window's language, when
    // the translations are installed.
    QTranslator qt_texts;
    if (qt_texts.load(QStringLiteral("qtbase_zh_CN"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qt_texts);
    }
    const std::unique_ptr<QWidget> window = build_form(form, std::move(on_click), commands);
    window->show();
    return QApplication::exec();
}

}  // namespace veltrano::gui
