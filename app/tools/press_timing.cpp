// What a user waits for at a press of 计算, for scripts/measure-export.sh:
// the real window on the display, the first example pressed twice against
// LibreOffice (the first press starts the office, the second finds it
// running). For each press, milliseconds from the click to
//   - the result fields painted with the new numbers, and
//   - the last cell of the table written into Calc.
//
//   veltrano-press-timing PROFILE_DIR
//
// Prints "press N: painted P ms, last cell C ms" for N = 1, 2, then
// "office group G"; the office is left running for the caller to end.
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

#include "veltrano/sheet/libreoffice.h"
#include "veltrano/gui/form_qt.h"
#include "veltrano/testkit/fakes.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/main_form.h"
#include "veltrano/command/input_fields.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// When a field was first painted showing `text`.
class PaintClock final : public QObject {
public:
    PaintClock(QLineEdit* field, QString text) : field_(field), text_(std::move(text)) {
        field_->installEventFilter(this);
    }
    void reset() { painted_.reset(); }
    std::optional<Clock::time_point> painted() const { return painted_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_ && field_->text() == text_) painted_ = Clock::now();
        return false;
    }

private:
    QLineEdit* field_;
    QString text_;
    std::optional<Clock::time_point> painted_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano;
    if (argc != 2) {
        std::fprintf(stderr, "usage: veltrano-press-timing PROFILE_DIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    gui::set_up_qt_application();

    int group = 0;
    Clock::time_point last_cell{};
    std::string failure;
    const auto window = gui::build_form(
        command::main_form(), [&](command::Fields& fields) {
            sheet::OfficeOptions options;
            options.profile_dir = argv[1];
            options.start_deadline = std::chrono::seconds(120);
            // The first press starts the office; the second one's launcher only hands over.
            options.on_started = [&](const sheet::OfficeStarted& s) {
                if (group == 0) group = s.group;
            };
            options.after_cell = [&](int) { last_cell = Clock::now(); };
            command::press_calculate(fields, [&] { return sheet::libreoffice_spreadsheet(options); });
        });
    window->show();
    QCoreApplication::processEvents();

    auto* plates = window->findChild<QLineEdit*>(QString::fromUtf8(command::kPlateCountField.data()));
    auto* button = window->findChild<QPushButton*>(QStringLiteral("Command1"));
    PaintClock painted(plates, QStringLiteral("11"));
    for (const auto& [name, text] : testkit::first_example_texts()) {
        window->findChild<QLineEdit*>(QString::fromStdString(name))->setText(QString::fromStdString(text));
    }
    for (int press = 1; press <= 2; ++press) {
        plates->clear();
        QCoreApplication::processEvents();
        painted.reset();
        last_cell = {};
        const Clock::time_point click = Clock::now();
        button->click();  // the whole press, export included, runs inside
        if (!painted.painted() || last_cell == Clock::time_point{}) {
            std::fprintf(stderr, "press %d: the results or the export did not arrive (see the error box)\n", press);
            return 1;
        }
        std::printf("press %d: painted %.1f ms, last cell %.1f ms\n", press, ms_between(click, *painted.painted()),
                    ms_between(click, last_cell));
    }
    std::printf("office group %d\n", group);
    return 0;
}
