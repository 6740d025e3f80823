// The real main window on the offscreen platform: controls, captions and
// pixel geometry at 96 DPI, tab order, keyboard, presses and error reports.
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QAccessible>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include "veltrano/core/run_error.h"
#include "veltrano/sheet/text_table.h"
#include "veltrano/testkit/contracts.h"
#include "veltrano/testkit/fakes.h"
#include "veltrano/testkit/form_help.h"
#include "veltrano/testkit/form_pixels.h"
#include "veltrano/gui/form_qt.h"
#include "modal_answerer.h"
#include "veltrano/command/calculate.h"
#include "veltrano/command/main_form.h"

using namespace veltrano;

namespace {

struct Report {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString button;
    bool window_shown = false;  // the window behind the box, while it was up
};

// Answers every message box the window opens, as a user clicking OK would,
// and keeps what each one said.
class MessageBoxAnswerer : public QObject {
public:
    MessageBoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { answer(); });
        timer_.start(10);
    }
    std::vector<Report> reports;

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        reports.push_back({box->windowTitle(), box->text(), box->icon(),
                           box->button(QMessageBox::Ok)->text(),
                           box->parentWidget() != nullptr && box->parentWidget()->isVisible()});
        box->button(QMessageBox::Ok)->click();
    }
    QTimer timer_;
};

// The text each watched field showed whenever it was painted.
class PaintRecorder final : public QObject {
public:
    explicit PaintRecorder(const QList<QLineEdit*>& fields) {
        for (QLineEdit* field : fields) field->installEventFilter(this);
    }
    QStringList painted;  // "Text8=5"

protected:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted << target->objectName() + "=" + qobject_cast<QLineEdit*>(target)->text();
        }
        return false;
    }
};

const char* const kTexts[] = {"Text1", "Text2", "Text3", "Text4", "Text5", "Text6", "Text7", "Text8"};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window_;
    int exports_ = 0;
    int commands_run_ = 0;  // the window's command beyond its controls (F2)

    QLineEdit* box(const char* name) { return window_->findChild<QLineEdit*>(name); }
    QPushButton* button() { return window_->findChild<QPushButton*>("Command1"); }

    // F, xF, xD, xW, R, alpha of the worked example: feed plate 5, 11 plates.
    void type_first_example() {
        for (const auto& [name, text] : testkit::first_example_texts()) {
            if (!text.empty()) box(name.c_str())->setText(QString::fromStdString(text));
        }
        box("Text5")->setText(" 2.5 ");  // blanks around a number are allowed
    }

    void show_window(gui::ClickHandler on_click) {
        window_ = gui::build_form(command::main_form(), std::move(on_click),
                                  {{"塔板图…", 2, [this] { ++commands_run_; }}});
        window_->show();
        QApplication::setActiveWindow(window_.get());
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }

    // Input that reaches the window while a press holds the thread: queued,
    // as the window system queues it, to be delivered when the press returns.
    // A click on the button, then a click into Text1 and a digit typed there.
    void queue_clicks_and_typing() {
        QWindow* window = window_->windowHandle();
        for (QWidget* target : {static_cast<QWidget*>(button()), static_cast<QWidget*>(box("Text1"))}) {
            const QPointF at = target->geometry().center();
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
                QCoreApplication::postEvent(window, new QMouseEvent(type, at, window->mapToGlobal(at),
                                                                    Qt::LeftButton, held, Qt::NoModifier));
            }
        }
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, Qt::Key_9, Qt::NoModifier, "9"));
    }

    QStringList all_texts() {
        QStringList texts;
        for (const char* name : kTexts) texts << box(name)->text();
        return texts;
    }

private Q_SLOTS:
    void initTestCase() {
        gui::set_up_qt_application();
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
    }

    void init() {
        exports_ = 0;
        commands_run_ = 0;
        // The real window and command; the spreadsheet is a text table so the
        // test starts no spreadsheet application.
        show_window([this](command::Fields& fields) {
            command::press_calculate(fields, [] { return std::make_unique<sheet::TextTable>(); });
            ++exports_;
        });
    }

    void cleanup() { window_.reset(); }

    void windowHasItsCaptionClientSizeAndIcon() {
        QCOMPARE(window_->objectName(), QString("Form1"));
        QCOMPARE(window_->windowTitle(), QString("Veltrano-未考虑压力和温度 v1.0"));
        QCOMPARE(window_->size(), QSize(501, 307));
        const QIcon icon = window_->windowIcon();
        for (int size : {16, 24, 32, 48}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
        }
        QCOMPARE(window_->findChildren<QWidget*>().size(), 23);
    }

    void controlHasCaptionAndGeometry_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        const auto& pixels = testkit::main_form_pixels(96);
        for (const command::Control& c : command::main_form().controls) {
            const char* kinds[] = {"label", "text", "button", "line"};
            const testkit::PixelRect r = pixels.at(c.name);
            QTest::newRow(std::string(c.name).c_str())
                << kinds[static_cast<int>(c.kind)] << QString::fromUtf8(c.caption.data(), int(c.caption.size()))
                << QRect(r.left, r.top, r.width, r.height);
        }
        QCOMPARE(int(pixels.size()), 23);
    }

    void controlHasCaptionAndGeometry() {
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        QWidget* control = window_->findChild<QWidget*>(QTest::currentDataTag());
        QVERIFY(control != nullptr);
        QCOMPARE(control->geometry(), geometry);
        QVERIFY(control->isVisible());

        if (kind == "label") {
            auto* label = qobject_cast<QLabel*>(control);
            QVERIFY(label != nullptr);
            QCOMPARE(label->text(), caption);
        } else if (kind == "button") {
            auto* button = qobject_cast<QPushButton*>(control);
            QVERIFY(button != nullptr);
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->isDefault());
            QVERIFY(!button->autoDefault());
        } else if (kind == "text") {
            auto* edit = qobject_cast<QLineEdit*>(control);
            QVERIFY(edit != nullptr);
            QVERIFY(edit->text().isEmpty());
            QVERIFY(!edit->isReadOnly());
        } else {
            QCOMPARE(control->focusPolicy(), Qt::NoFocus);
        }
    }

    // Every caption fits its control whole, and the font has a glyph for
    // each character (no boxes in place of the Chinese).
    void captionsFitAndHaveGlyphs() {
        const QFontInfo used(gui::form_font());
        QVERIFY2(gui::form_font().families().contains(used.family()), qPrintable(used.family()));
        for (QWidget* control : window_->findChildren<QWidget*>()) {
            QString caption;
            int room = control->width();
            if (auto* label = qobject_cast<QLabel*>(control)) {
                caption = label->text();
            } else if (auto* button = qobject_cast<QPushButton*>(control)) {
                caption = button->text();
                room -= 8;  // the button's frame and a little air on each side
            } else {
                continue;
            }
            const QFontMetrics metrics(control->font());
            const QString where = control->objectName() + " " + caption;
            QVERIFY2(metrics.horizontalAdvance(caption) <= room, qPrintable(where));
            QVERIFY2(metrics.height() <= control->height(), qPrintable(where));
            for (QChar c : caption) QVERIFY2(metrics.inFont(c), qPrintable(where + " " + c));
        }
        const QFontMetrics metrics(gui::form_font());
        for (QChar c : window_->windowTitle()) QVERIFY2(metrics.inFont(c), qPrintable(QString(c)));
    }

    // Each field and the button: the caption a screen reader names it by,
    // and a tooltip, also its accessible description, that says what it
    // holds in glyphs the tooltip's font has.
    void controlIsNamedAndExplained() {
        for (const testkit::ControlHelp& expected : testkit::main_form_help()) {
            const QString name = QString::fromUtf8(expected.control.data(), int(expected.control.size()));
            QWidget* control = window_->findChild<QWidget*>(name);
            QVERIFY2(control != nullptr, qPrintable(name));
            QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(control);
            QVERIFY2(reader != nullptr, qPrintable(name));
            QCOMPARE(reader->text(QAccessible::Name),
                     QString::fromUtf8(expected.name.data(), int(expected.name.size())));
            const QString tip = control->toolTip();
            QCOMPARE(reader->text(QAccessible::Description), tip);
            for (std::string_view phrase : expected.says) {
                QVERIFY2(tip.contains(QString::fromUtf8(phrase.data(), int(phrase.size()))),
                         qPrintable(name + ": " + tip));
            }
            const QFontMetrics metrics(QToolTip::font());
            for (QChar c : tip) QVERIFY2(c == '\n' || metrics.inFont(c), qPrintable(name + " " + c));
            if (auto* edit = qobject_cast<QLineEdit*>(control)) QVERIFY(!edit->isReadOnly());
        }
    }

    void tabVisitsFieldsInTabIndexOrder() {
        QCOMPARE(QApplication::focusWidget(), box("Text1"));
        const QStringList expected = {"Text2", "Text3", "Text4", "Text5", "Text6",
                                      "Command1", "Text7", "Text8", "Text1"};
        for (const QString& name : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
    }

    void firstExampleWritesFeedPlateAndPlateCount() {
        type_first_example();
        box("Text6")->setText("typed");
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(box("Text8")->text(), QString("5"));
        QCOMPARE(box("Text6")->text(), QString("11"));
        QCOMPARE(exports_, 1);
        // A second press with the same inputs: same results, a second export.
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(box("Text6")->text(), QString("11"));
        QCOMPARE(exports_, 2);
    }

    void enterAndEscInAFieldPressNothingSpaceOnTheButtonDoes() {
        MessageBoxAnswerer answerer;
        type_first_example();
        box("Text5")->setFocus();
        QTest::keyClick(box("Text5"), Qt::Key_Return);
        QTest::keyClick(box("Text5"), Qt::Key_Enter);
        QTest::keyClick(box("Text5"), Qt::Key_Escape);
        QCOMPARE(exports_, 0);
        QVERIFY(box("Text8")->text().isEmpty());
        QVERIFY(window_->isVisible());
        button()->setFocus();
        QTest::keyClick(button(), Qt::Key_Space);
        QCOMPARE(box("Text8")->text(), QString("5"));
        QCOMPARE(exports_, 1);
        QTest::keyClick(button(), Qt::Key_Return);
        QTest::keyClick(button(), Qt::Key_Enter);
        QCOMPARE(exports_, 3);
        QCOMPARE(int(answerer.reports.size()), 0);
    }

    // While the spreadsheet application starts, the window already shows the
    // new results, greys out its button and shows a busy cursor.
    void resultsArePaintedBeforeTheExportStarts() {
        QStringList seen;
        std::unique_ptr<PaintRecorder> recorder;
        show_window([&](command::Fields& fields) {
            command::press_calculate(fields, [&] {
                auto sheet = std::make_unique<testkit::RecordingSpreadsheet>();
                sheet->on_create = [&] {
                    seen = recorder->painted;
                    seen << QString("button %1").arg(button()->isEnabled() ? "enabled" : "disabled");
                    const QCursor* cursor = QApplication::overrideCursor();
                    seen << QString("cursor %1").arg(cursor != nullptr && cursor->shape() == Qt::WaitCursor ? "busy" : "normal");
                };
                return sheet;
            });
        });
        recorder = std::make_unique<PaintRecorder>(QList<QLineEdit*>{box("Text8"), box("Text6")});
        type_first_example();
        QTest::mouseClick(button(), Qt::LeftButton);
        QVERIFY2(seen.contains("Text8=5") && seen.contains("Text6=11"), qPrintable(seen.join(", ")));
        QVERIFY2(seen.contains("button disabled") && seen.contains("cursor busy"), qPrintable(seen.join(", ")));
        QVERIFY(button()->isEnabled());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // Clicks and keys that arrive while a press runs are dropped, not run
    // as further presses afterwards.
    void inputQueuedDuringAPressIsDropped() {
        int presses = 0;
        show_window([&](command::Fields& fields) {
            command::press_calculate(fields, [] { return std::make_unique<sheet::TextTable>(); });
            if (++presses == 1) {
                queue_clicks_and_typing();
                queue_clicks_and_typing();
            }
        });
        type_first_example();
        box("Text1")->setFocus();
        QTest::mouseClick(button(), Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(presses, 1);
        QCOMPARE(box("Text1")->text(), QString("100"));
        QTest::mouseClick(button(), Qt::LeftButton);  // input is taken again once the press is over
        QCOMPARE(presses, 2);
    }

    // A close request made while a press runs that then fails: the error is
    // shown first, then the window closes.
    void closeDuringAFailingPressIsHonouredAfterTheBox() {
        show_window([this](command::Fields&) {
            QCoreApplication::postEvent(window_->windowHandle(), new QCloseEvent);
            throw core::RunError(sheet::kCannotCreateObject, "找不到 LibreOffice");
        });
        MessageBoxAnswerer answerer;
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(int(answerer.reports.size()), 1);
        QVERIFY(answerer.reports.front().window_shown);
        QVERIFY(!window_->isVisible());
    }

    void errorIsReportedAndTheWindowGoesOnAsItWas_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("empty alpha") << "Text5" << "" << 13;
        QTest::newRow("letters for F") << "Text1" << "abc" << 13;
        QTest::newRow("F beyond double range") << "Text1" << "1e400" << 6;
        QTest::newRow("reflux below the minimum") << "Text4" << "0.5" << 9;
        QTest::newRow("R = -1") << "Text4" << "-1" << 11;
        QTest::newRow("xD = xW") << "Text2" << "0.05" << 11;
    }

    void errorIsReportedAndTheWindowGoesOnAsItWas() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(int, number);
        type_first_example();
        box("Text8")->setText("earlier 8");
        box("Text6")->setText("earlier 6");
        box(qPrintable(field))->setText(text);
        const QStringList before = all_texts();

        MessageBoxAnswerer answerer;
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(int(answerer.reports.size()), 1);
        const Report& report = answerer.reports.front();
        QCOMPARE(report.title, QString("Veltrano"));
        QCOMPARE(report.icon, QMessageBox::Critical);
        QCOMPARE(report.button, QString("确定"));
        QVERIFY2(report.text.contains(QString::number(number)), qPrintable(report.text));
        QCOMPARE(all_texts(), before);
        QCOMPARE(exports_, 0);
        QVERIFY(window_->isVisible());

        // The next press works, and overwrites what stood in the result fields.
        type_first_example();
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(box("Text8")->text(), QString("5"));
        QCOMPARE(box("Text6")->text(), QString("11"));
        QCOMPARE(int(answerer.reports.size()), 1);
    }

    // The window's own text boxes keep the contract every Fields keeps.
    void textBoxesKeepTheFieldsContract() {
        std::vector<std::string> violations = {"the press did not run"};
        show_window([&](command::Fields& fields) {
            violations = testkit::fields_contract_violations(fields);
        });
        QTest::mouseClick(button(), Qt::LeftButton);
        QVERIFY2(violations.empty(), violations.empty() ? "" : violations.front().c_str());
    }

    void fieldThatDoesNotExistIsAnAutomationErrorInTheBox() {
        auto form = gui::build_form(command::main_form(),
                                         [](command::Fields& fields) {
                                             fields.set_text("Text99", "1");
                                         });
        MessageBoxAnswerer answerer;
        QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(int(answerer.reports.size()), 1);
        const auto status = command::kNoSuchTextBox;
        QVERIFY2(answerer.reports.front().text.contains(QString::number(status)),
                 qPrintable(answerer.reports.front().text));
    }

    void closingTheWindowEndsTheEventLoop() {
        QVERIFY(QGuiApplication::quitOnLastWindowClosed());
        QSignalSpy last_closed(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, window_.get(), [this] { window_->close(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });  // the loop failed to end
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(last_closed.count(), 1);
    }

    void functionKeyRunsTheCommandWhereverTheFocusIs_data() {
        QTest::addColumn<QString>("focus");
        for (const char* name : {"Text1", "Text6", "Text8", "Command1"}) QTest::newRow(name) << name;
    }

    void functionKeyRunsTheCommandWhereverTheFocusIs() {
        QFETCH(QString, focus);
        auto* control = window_->findChild<QWidget*>(focus);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_F3);
        QCOMPARE(commands_run_, 0);  // its own key only
        QTest::keyClick(control, Qt::Key_F2);
        QCOMPARE(commands_run_, 1);
        QCOMPARE(QApplication::focusWidget(), control);
        QCOMPARE(exports_, 0);
    }

    // A right-click on the window's background, a label or the button gives
    // the window's menu, the command with its key; on a text box, the box's
    // own menu (undo, copy, paste...).
    void rightClickGivesTheCommandOutsideTheTextBoxes_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("window_menu");
        QTest::newRow("background") << "" << true;
        QTest::newRow("label") << "Label1" << true;
        QTest::newRow("line") << "Line1" << true;
        QTest::newRow("button") << "Command1" << true;
        QTest::newRow("text box") << "Text1" << false;
        QTest::newRow("result box") << "Text8" << false;
    }

    void rightClickGivesTheCommandOutsideTheTextBoxes() {
        QFETCH(QString, target);
        QFETCH(bool, window_menu);
        QPoint at;
        if (target.isEmpty()) {
            for (int y = 2; y < window_->height() && at.isNull(); y += 4) {
                for (int x = 2; x < window_->width() && at.isNull(); x += 4) {
                    if (window_->childAt(x, y) == nullptr) at = QPoint(x, y);
                }
            }
        } else {
            at = window_->findChild<QWidget*>(target)->geometry().center();
        }
        QStringList items;
        testkit_qt::Answerer answerer(testkit_qt::read_menu(items, window_menu ? "塔板图…" : ""));
        QTest::mouseClick(window_->windowHandle(), Qt::RightButton, {}, at);
        QTRY_VERIFY(answerer.answered());
        if (window_menu) {
            QCOMPARE(items, QStringList{"塔板图…|F2|on"});
            QTRY_COMPARE(commands_run_, 1);
        } else {
            QVERIFY2(!items.contains("塔板图…|F2|on") && items.size() > 3, qPrintable(items.join(", ")));
            QCOMPARE(commands_run_, 0);
        }
        QCOMPARE(exports_, 0);
    }

    void resizingTheWindowMovesNothing() {
        std::vector<QRect> before;
        const auto controls = window_->findChildren<QWidget*>();
        for (QWidget* c : controls) before.push_back(c->geometry());
        for (QSize size : {QSize(900, 700), QSize(200, 120)}) {
            window_->resize(size);
            QApplication::processEvents();
            for (std::size_t i = 0; i < before.size(); ++i) {
                QCOMPARE(controls[int(i)]->geometry(), before[i]);
            }
        }
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
