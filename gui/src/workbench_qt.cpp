// The design workbench on Linux: Qt widgets placed where workbench_layout()
// says, each edit recomputed on the Recomputer's thread and shown when it
// is still the latest, the inputs kept in QSettings between runs.
#include "veltrano/gui/workbench.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTranslator>

#include "side_window_qt.h"
#include "veltrano/command/workbench.h"
#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/diagram/svg.h"
#include "veltrano/gui/form_qt.h"
#include "workbench_parts_qt.h"

namespace veltrano::gui {

namespace {

using command::WorkbenchControl;
using command::WorkbenchControlKind;
using command::WorkbenchOutcome;
using Outcome = std::shared_ptr<const WorkbenchOutcome>;

QString to_qt(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A field the outcome blames: a red frame, and its description the failure
// for a screen reader (Qt's AT-SPI bridge has no invalid-entry state to set).
// Its own class only, not the list's popup.
QString mark_style(const QWidget& w) {
    return QStringLiteral("%1 { border: 2px solid #d01818; border-radius: 2px; padding: 1px; }")
        .arg(QLatin1String(w.metaObject()->className()));
}

// A box in device-independent pixels as whole pixels, each edge rounded,
// so neighbours that touch in the layout touch on the screen.
QRect pixels(const command::Box& b) {
    const int left = int(std::lround(b.left)), top = int(std::lround(b.top));
    return {left, top, int(std::lround(b.left + b.width)) - left, int(std::lround(b.top + b.height)) - top};
}

class WorkbenchWidget final : public QWidget {
public:
    WorkbenchWidget(sheet::SpreadsheetFactory new_spreadsheet, bool alone)
        : new_spreadsheet_(std::move(new_spreadsheet)), format_(core::user_number_format()),
          state_(memory_.state(format_)) {
        setObjectName(QStringLiteral("WorkbenchWindow"));
        setWindowTitle(to_qt(command::kWorkbenchTitle));
        setFont(form_font());
        // Alone (veltrano --design) closing it ends the program; beside the
        // main window, the main window alone does.
        setAttribute(Qt::WA_QuitOnClose, alone);
        setMinimumSize(int(command::kWorkbenchLeastWidth), int(command::kWorkbenchLeastHeight));
        resize(memory_.size());

        build();
        auto* close = new QAction(this);
        close->setShortcut(QKeySequence(Qt::Key_Escape));
        close->setShortcutContext(Qt::WindowShortcut);
        connect(close, &QAction::triggered, this, &QWidget::close);
        addAction(close);

        // `done` runs on the Recomputer's thread: the outcome is posted here.
        recomputer_ = std::make_unique<command::Recomputer>(format_, [this](std::uint64_t n, Outcome outcome) {
            QMetaObject::invokeMethod(this, [this, n, outcome] { shown(n, outcome); }, Qt::QueuedConnection);
        });
        edited();
    }

    ~WorkbenchWidget() override {
        // No outcome may be posted to a widget being torn down: the thread
        // ends first.
        recomputer_.reset();
        memory_.keep_size(size());
        memory_.sync();
    }

protected:
    void resizeEvent(QResizeEvent*) override {
        place();
        memory_.keep_size(size());
    }

    void closeEvent(QCloseEvent* event) override {
        memory_.keep_size(size());
        memory_.sync();
        event->accept();
    }

private:
    template <typename T>
    T* control(std::string_view name) const {
        const auto found = controls_.find(std::string(name));
        return found == controls_.end() ? nullptr : qobject_cast<T*>(found->second);
    }

    void build() {
        const std::vector<WorkbenchControl> layout = command::workbench_layout(width(), height());
        auto* modes = new QButtonGroup(this);
        for (const WorkbenchControl& c : layout) {
            QWidget* w = nullptr;
            switch (c.kind) {
            case WorkbenchControlKind::kLabel: {
                auto* label = new QLabel(to_qt(c.caption), this);
                label->setTextFormat(Qt::PlainText);
                w = label;
                break;
            }
            case WorkbenchControlKind::kRadio: {
                auto* radio = new QRadioButton(to_qt(c.caption), this);
                modes->addButton(radio);
                const bool design = c.name == command::kDesignRadio;
                radio->setChecked(design == (state_.mode == command::WorkbenchMode::kDesign));
                connect(radio, &QRadioButton::toggled, this, [this, design](bool on) {
                    if (!on) return;
                    state_.mode = design ? command::WorkbenchMode::kDesign : command::WorkbenchMode::kRating;
                    edited();
                });
                w = radio;
                break;
            }
            case WorkbenchControlKind::kTextBox: {
                auto* edit = new QLineEdit(to_qt(state_.texts[c.name]), this);
                connect(edit, &QLineEdit::textEdited, this, [this, name = c.name](const QString& text) {
                    state_.texts[name] = text.toStdString();
                    edited();
                });
                w = edit;
                break;
            }
            case WorkbenchControlKind::kList: {
                auto* list = new QComboBox(this);
                connect(list, &QComboBox::activated, this, [this](int item) { choose_mixture(item); });
                w = list;
                break;
            }
            case WorkbenchControlKind::kResult: {
                auto* result = new QLineEdit(this);
                result->setReadOnly(true);
                result->setFocusPolicy(Qt::ClickFocus);
                w = result;
                break;
            }
            case WorkbenchControlKind::kTable: {
                auto* table = new QTableView(this);
                table->setModel(stages_);
                table->verticalHeader()->hide();
                table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
                // One height for every row: a thousand stages are laid out without measuring each.
                table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
                table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
                table->setSelectionBehavior(QAbstractItemView::SelectRows);
                table->setEditTriggers(QAbstractItemView::NoEditTriggers);
                table->setFocusPolicy(Qt::ClickFocus);
                w = table;
                break;
            }
            case WorkbenchControlKind::kStatus: {
                auto* status = new QLabel(this);
                status->setTextFormat(Qt::PlainText);
                status->setWordWrap(true);
                status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                status->setStyleSheet(QStringLiteral("color: #b00000;"));
                w = status;
                break;
            }
            case WorkbenchControlKind::kButton: {
                auto* button = new QPushButton(to_qt(c.caption), this);
                button->setAutoDefault(false);
                connect(button, &QPushButton::clicked, this, [this, name = c.name] { press(name); });
                w = button;
                break;
            }
            case WorkbenchControlKind::kDiagram:
                diagram_ = new DiagramArea(this);
                w = diagram_;
                break;
            }
            w->setObjectName(to_qt(c.name));
            if (!c.tooltip.empty()) w->setToolTip(to_qt(c.tooltip));
            tooltips_[c.name] = to_qt(c.tooltip);
            if (c.kind == WorkbenchControlKind::kTable) w->setAccessibleName(to_qt(c.caption));
            controls_[c.name] = w;
        }
        // A screen reader names each control by its caption: the label is
        // its buddy, and the name is set as well, for readers that ask the control.
        for (const WorkbenchControl& c : layout) {
            if (c.kind != WorkbenchControlKind::kLabel || c.names.empty()) continue;
            QWidget* named = control<QWidget>(c.names);
            control<QLabel>(c.name)->setBuddy(named);
            if (qobject_cast<QRadioButton*>(named) == nullptr) named->setAccessibleName(to_qt(c.caption));
            labels_[c.names] = control<QLabel>(c.name);
        }
        std::vector<const WorkbenchControl*> tab;
        for (const WorkbenchControl& c : layout) {
            if (c.tab_index >= 0) tab.push_back(&c);
        }
        std::sort(tab.begin(), tab.end(), [](auto* a, auto* b) { return a->tab_index < b->tab_index; });
        for (std::size_t i = 1; i < tab.size(); ++i) {
            QWidget::setTabOrder(control<QWidget>(tab[i - 1]->name), control<QWidget>(tab[i]->name));
        }
        if (!tab.empty()) control<QWidget>(tab.front()->name)->setFocus();
        fill_mixtures();
        place();
        show_outcome(nullptr);
    }

    void place() {
        for (const WorkbenchControl& c : command::workbench_layout(width(), height())) {
            if (QWidget* w = control<QWidget>(c.name)) w->setGeometry(pixels(c.box));
        }
    }

    void fill_mixtures() {
        auto* list = control<QComboBox>(command::kMixtureList);
        const QSignalBlocker quiet(list);
        list->clear();
        for (const std::string& item : command::mixture_items(state_)) list->addItem(to_qt(item));
        list->setCurrentIndex(state_.mixture);
    }

    void choose_mixture(int item) {
        auto* list = control<QComboBox>(command::kMixtureList);
        if (!command::asks_for_file(state_, item)) {
            state_.mixture = item;
            edited();
            return;
        }
        const QString start = state_.data_file.empty() ? QDir::homePath()
                                                       : QFileInfo(QString::fromStdString(state_.data_file)).absolutePath();
        const QString path = QFileDialog::getOpenFileName(this, to_qt(command::kDataFileDialogTitle), start,
                                                          to_qt(command::kDataFileFilter));
        if (path.isEmpty()) {
            // Cancelled: the list shows the curve it had.
            const QSignalBlocker quiet(list);
            list->setCurrentIndex(state_.mixture);
            return;
        }
        command::choose_data_file(state_, path.toStdString());
        fill_mixtures();
        edited();
    }

    // The state has changed: the fields it uses enabled, the state kept,
    // and computed anew.
    void edited() {
        for (const command::WorkbenchField& f : command::kWorkbenchFields) {
            const bool on = command::field_enabled(state_, f);
            const std::string name(f.name);
            if (auto* edit = control<QWidget>(name)) edit->setEnabled(on);
            if (const auto label = labels_.find(name); label != labels_.end()) label->second->setEnabled(on);
        }
        memory_.keep(state_);
        latest_ = recomputer_->submit(state_);
    }

    // An outcome from the Recomputer's thread: shown only when no later
    // state has been submitted meanwhile.
    void shown(std::uint64_t submission, const Outcome& outcome) {
        if (submission != latest_ || !outcome) return;
        shown_ = submission;
        show_outcome(outcome);
    }

    void show_outcome(const Outcome& outcome) {
        outcome_ = outcome;
        const bool ok = outcome && outcome->ok();
        for (std::size_t i = 0; i < command::kWorkbenchResults.size(); ++i) {
            const std::string name = command::result_control(command::kWorkbenchResults[i].name);
            auto* result = control<QLineEdit>(name);
            if (result == nullptr) continue;
            result->setText(ok ? to_qt(outcome->shown[i]) : QString());
            QString tip = tooltips_[name];
            if (ok && !outcome->full[i].empty()) tip += QLatin1Char('\n') + to_qt(outcome->full[i]);
            result->setToolTip(tip);
        }
        stages_->show(ok ? outcome : nullptr);
        control<QLabel>(command::kStatusLine)->setText(outcome ? to_qt(outcome->failure) : QString());
        mark(outcome && !ok ? outcome->failed_field : std::string(), outcome ? to_qt(outcome->failure) : QString());
        if (ok && outcome->picture) picture_ = outcome->picture;
        // Dimmed under its note only when there is a last good picture to dim.
        diagram_->show_picture(picture_, outcome && !ok && picture_);
        control<QPushButton>(command::kExportButton)->setEnabled(ok);
        control<QPushButton>(command::kSaveButton)->setEnabled(ok && outcome->picture);
        control<QPushButton>(command::kCopyButton)->setEnabled(picture_ != nullptr);
    }

    // The red frame and the description move to the field blamed, if any.
    void mark(const std::string& field, const QString& failure) {
        if (field != marked_) {
            if (QWidget* was = control<QWidget>(marked_)) {
                was->setStyleSheet(QString());
                was->setAccessibleDescription(QString());  // the tooltip describes it again
            }
            marked_ = field;
            if (QWidget* now = control<QWidget>(marked_)) now->setStyleSheet(mark_style(*now));
        }
        if (QWidget* now = control<QWidget>(marked_)) now->setAccessibleDescription(failure);
    }

    // The outcome of the present inputs: the one shown, or computed now when
    // an edit's has not arrived yet, so that no button acts on older inputs.
    Outcome present_outcome() const {
        if (outcome_ && shown_ == latest_) return outcome_;
        return std::make_shared<const WorkbenchOutcome>(command::compute_workbench(state_, format_));
    }

    void press(const std::string& button) {
        if (button == command::kExportButton) {
            export_stages();
        } else if (button == command::kSaveButton) {
            const Outcome outcome = present_outcome();
            if (!outcome->ok() || !outcome->picture) return;
            save_picture(this, to_qt(command::kSaveDialogTitle), folder_,
                         {[outcome] { return diagram::to_svg(*outcome->picture); },
                          [this, outcome] { return diagram_->image_of(*outcome->picture); }});
        } else if (button == command::kCopyButton) {
            if (diagram_->has_picture()) QGuiApplication::clipboard()->setImage(diagram_->image());
        }
    }

    // 导出: the stages to a new spreadsheet. The button greys out and a busy
    // cursor shows until the spreadsheet has them; clicks queued meanwhile
    // land on the greyed button and are lost, as they should be.
    void export_stages() {
        const Outcome outcome = present_outcome();
        if (!outcome->ok()) return;
        auto* button = control<QPushButton>(command::kExportButton);
        button->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const std::optional<core::ErrorReport> report =
            core::run_press([&] { command::export_stages(*outcome, new_spreadsheet_); });
        QCoreApplication::processEvents();
        QApplication::restoreOverrideCursor();
        button->setEnabled(outcome_ && outcome_->ok());
        if (report) show_failure(this, QString::fromStdString(report->title), QString::fromStdString(report->box_text()));
    }

    sheet::SpreadsheetFactory new_spreadsheet_;
    core::NumberFormat format_;
    WorkbenchMemory memory_;
    command::WorkbenchState state_;
    std::map<std::string, QWidget*, std::less<>> controls_;
    std::map<std::string, QLabel*, std::less<>> labels_;  // by the control each names
    std::map<std::string, QString, std::less<>> tooltips_;
    StageModel* stages_ = new StageModel(this);
    DiagramArea* diagram_ = nullptr;
    std::string marked_;
    QString folder_;  // where the last picture was saved
    Outcome outcome_;  // shown
    std::shared_ptr<const diagram::Scene> picture_;  // the last good one
    std::uint64_t latest_ = 0, shown_ = 0;
    // Last: it ends, and no outcome arrives, before anything above goes.
    std::unique_ptr<command::Recomputer> recomputer_;
};

}  // namespace

struct WorkbenchWindow::Impl {
    sheet::SpreadsheetFactory new_spreadsheet;
    bool alone = false;
    QPointer<WorkbenchWidget> widget;
};

WorkbenchWindow::WorkbenchWindow(sheet::SpreadsheetFactory new_spreadsheet, bool alone)
    : impl_(std::make_unique<Impl>(Impl{std::move(new_spreadsheet), alone, {}})) {}

WorkbenchWindow::~WorkbenchWindow() {
    if (impl_->widget && QCoreApplication::instance() != nullptr) delete impl_->widget.data();
}

void WorkbenchWindow::open() {
    if (!impl_->widget) {
        impl_->widget = new WorkbenchWidget(impl_->new_spreadsheet, impl_->alone);
        WorkbenchWidget* widget = impl_->widget;
        // Gone with the event loop, while the application that owns its
        // resources still exists.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, widget, &QObject::deleteLater);
        if (!impl_->alone) {
            if (const QWidget* main = main_window(widget)) widget->setWindowIcon(main->windowIcon());
            place_beside_main_window(*widget);
        }
    }
    WorkbenchWidget& widget = *impl_->widget;
    if (widget.isMinimized()) widget.showNormal();
    widget.show();
    widget.raise();
    widget.activateWindow();
}

int run_workbench(int argc, char** argv, sheet::SpreadsheetFactory new_spreadsheet) {
    QApplication app(argc, argv);
    set_up_qt_application();
    QTranslator qt_texts;
    if (qt_texts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qt_texts);
    }
    // The program's icon, where the program carries it.
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        const QString file = QStringLiteral(":/icons/veltrano-%1.png").arg(size);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
    WorkbenchWindow window(std::move(new_spreadsheet), true);
    window.open();
    return QApplication::exec();
}

}  // namespace veltrano::gui
