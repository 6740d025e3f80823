// The real design workbench on the offscreen platform, driven as a user
// drives it: typed fields, the mode, the mixture list and its file, each
// outcome against the column computed here by the calculation itself; the
// export to a recording spreadsheet; what a restart brings back.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "modal_answerer.h"
#include "veltrano/calc/design.h"
#include "veltrano/calc/rating.h"
#include "veltrano/command/chosen_curve.h"
#include "veltrano/command/workbench.h"
#include "veltrano/gui/form_qt.h"
#include "veltrano/gui/workbench.h"
#include "veltrano/testkit/fakes.h"

using namespace veltrano;
using veltrano::testkit_qt::Answerer;

namespace {

QWidget* workbench() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "WorkbenchWindow") return w;
    }
    return nullptr;
}

template <typename T = QWidget>
T* control(const QString& name) {
    QWidget* w = workbench();
    return w == nullptr ? nullptr : w->findChild<T*>(name, Qt::FindDirectChildrenOnly);
}

QLineEdit* result(const QString& name) { return control<QLineEdit>("result_" + name); }
QString status() { return control<QLabel>("status")->text(); }
// The full value a result's tooltip ends with.
double full_value(const QString& name) { return result(name)->toolTip().section('\n', -1).toDouble(); }

// The fields a row ends with: the first start's, then its edits.
using Texts = std::map<std::string, std::string>;
double number(const Texts& t, const char* name) { return std::stod(t.at(name)); }

calc::DesignInputs design_inputs(const Texts& t) {
    return {{number(t, "F"), number(t, "xF"), number(t, "xD"), number(t, "xW"), number(t, "R"), number(t, "alpha")},
            number(t, "q"), number(t, "E")};
}

calc::RatingInputs rating_inputs(const Texts& t) {
    return {number(t, "F"), number(t, "xF"),        number(t, "R"), number(t, "alpha"), number(t, "q"),
            number(t, "E"), int(number(t, "N")), int(number(t, "feed_stage")),        number(t, "D")};
}

command::ChosenCurve ethanol_water() {
    command::ChosenCurve c = command::mixture_curve(calc::builtin_components(), "ethanol", "water", false);
    c.at_pressure(101.325);
    return c;
}

}  // namespace

class WorkbenchTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir config_;
    std::unique_ptr<gui::WorkbenchWindow> window_;
    std::shared_ptr<testkit::SheetRecord> sheet_ = std::make_shared<testkit::SheetRecord>();
    bool no_spreadsheet_ = false;

    QWidget* open() {
        if (!window_) {
            window_ = std::make_unique<gui::WorkbenchWindow>([this]() -> std::unique_ptr<sheet::Spreadsheet> {
                auto s = std::make_unique<testkit::RecordingSpreadsheet>(nullptr, sheet_);
                s->fail_on_create = no_spreadsheet_;
                return s;
            });
        }
        window_->open();
        QWidget* w = workbench();
        if (w != nullptr) (void)QTest::qWaitForWindowExposed(w);
        return w;
    }

    // An edit as a user makes it: "R=2" types into the field, "mode=rating"
    // clicks the radio button, "mixture=乙醇/水" steps the list with the
    // keyboard; "wait=abc" waits for the status line to say "abc".
    static void edit(const QString& step, Texts& texts) {
        const QString name = step.section('=', 0, 0), value = step.section('=', 1);
        if (name == "wait") {  // for the status line to say this: the outcome so far is shown
            QTRY_VERIFY2(status().contains(value), qPrintable(status()));
        } else if (name == "mode") {
            control<QRadioButton>(value == "rating" ? "mode_rating" : "mode_design")->click();
        } else if (name == "mixture") {
            auto* list = control<QComboBox>("mixture");
            const int target = list->findText(value);
            QVERIFY2(target >= 0, qPrintable(value));
            while (list->currentIndex() != target) QTest::keyClick(list, target > list->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
        } else {
            auto* field = control<QLineEdit>(name);
            QVERIFY2(field != nullptr && field->isEnabled(), qPrintable(name));
            field->selectAll();
            QTest::keyClicks(field, value);
            texts[name.toStdString()] = value.toStdString();
        }
    }

    static Texts first_start() {
        Texts t;
        for (const command::WorkbenchField& f : command::kWorkbenchFields) t[std::string(f.name)] = std::string(f.first_text);
        return t;
    }

    static void remember(const QString& key, const QString& value) {
        QSettings settings("Veltrano", "Veltrano");
        settings.setValue("workbench/" + key, value);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(config_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
        gui::set_up_qt_application();
    }

    void init() {
        QSettings("Veltrano", "Veltrano").clear();
        *sheet_ = {};
        no_spreadsheet_ = false;
    }

    void cleanup() {
        window_.reset();
        QVERIFY(workbench() == nullptr);
    }

    // Each edit recomputed as typed: what the window shows against the
    // column designed or rated here, a failure in the status line with its
    // field framed and described and every result emptied, the frame gone
    // once the field is mended.
    void editsShowTheirOutcome_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("failed_field");  // empty: the column is computed
        QTest::addColumn<QStringList>("says");      // what the status line holds then
        const QStringList example{"F=100", "xF=0.5", "xD=0.95", "xW=0.05", "R=2", "alpha=2.5"};
        QTest::newRow("first example typed") << example << "" << QStringList{};
        QTest::newRow("subcooled feed q 1.5") << example + QStringList{"q=1.5"} << "" << QStringList{};
        QTest::newRow("rating N 11, feed stage 5, D 50")
            << QStringList{"R=2", "mode=rating", "N=11", "feed_stage=5", "D=50"} << "" << QStringList{};
        QTest::newRow("rating reads no design field") << QStringList{"R=2", "xD=abc", "mode=rating"} << "" << QStringList{};
        QTest::newRow("ethanol-water past its azeotrope")
            << QStringList{"mixture=乙醇/水", "R=2", "xD=0.95"} << "xD" << QStringList{"最低恒沸点", "xD 须低于 0.8823"};
        QTest::newRow("a word for R") << QStringList{"R=abc"} << "R" << QStringList{"类型不匹配", "abc"};
        QTest::newRow("R mended after the word") << QStringList{"R=abc", "wait=abc", "R=2"} << "" << QStringList{};
        QTest::newRow("feed stage not whole") << QStringList{"mode=rating", "feed_stage=4.5"} << "feed_stage"
                                               << QStringList{"整数", "4.5"};
    }

    void editsShowTheirOutcome() {
        QFETCH(QStringList, edits);
        QFETCH(QString, failed_field);
        QFETCH(QStringList, says);
        remember("R", "3");  // so that the typed example is not what the window opened with
        QWidget* w = open();
        QVERIFY(w != nullptr);
        QTRY_COMPARE(result("stages")->text(), QString::number(calc::design_column({{100, 0.5, 0.95, 0.05, 3, 2.5}}).stage_count));
        Texts texts = first_start();
        texts["R"] = "3";
        for (const QString& step : edits) edit(step, texts);
        const bool rating = control<QRadioButton>("mode_rating")->isChecked();

        if (!failed_field.isEmpty()) {
            QTRY_VERIFY2(std::all_of(says.begin(), says.end(), [](const QString& s) { return status().contains(s); }),
                         qPrintable(status()));
            auto* field = control<QWidget>(failed_field);
            QVERIFY(field->styleSheet().contains("border"));
            QCOMPARE(field->accessibleDescription(), status());
            for (const command::WorkbenchResult& r : command::kWorkbenchResults) {
                QVERIFY2(result(QString::fromUtf8(r.name.data(), r.name.size()))->text().isEmpty(), r.name.data());
            }
            QCOMPARE(control<QTableView>("stages")->model()->rowCount(), 0);
            QVERIFY(!control<QPushButton>("export")->isEnabled());
            QVERIFY2(control<QPushButton>("copy")->isEnabled(), "the last good picture stays, dimmed");
            // Below the note: the kept picture's lines, greyed by the veil
            // (nothing of it as dark as a fresh picture's black).
            const QImage area = control<QWidget>("diagram")->grab().toImage();
            int drawn = 0, black = 0;
            for (int y = area.height() / 4; y < area.height(); ++y) {
                for (int x = 0; x < area.width(); ++x) {
                    const int grey = qGray(area.pixel(x, y));
                    drawn += grey < 0xF0;
                    black += grey < 0x60;
                }
            }
            QVERIFY2(drawn > 500, "the last good picture is kept");
            QCOMPARE(black, 0);
            return;
        }
        calc::Design column;
        if (rating) {
            const calc::Rating r = calc::rate_column(rating_inputs(texts));
            QTRY_COMPARE(full_value("xD"), r.xD);
            QCOMPARE(full_value("xW"), r.xW);
            QCOMPARE(result("xD")->text(), QString::asprintf("%#.4g", r.xD));
            QCOMPARE(result("xW")->text(), QString::asprintf("%#.4g", r.xW));
            column = r.column;
        } else {
            column = calc::design_column(design_inputs(texts));
            QTRY_COMPARE(full_value("fractional"), column.fractional_stages);
        }
        QCOMPARE(result("feed_stage")->text(), QString::number(column.feed_stage));
        QCOMPARE(result("stages")->text(), QString::number(column.stage_count));
        QCOMPARE(control<QTableView>("stages")->model()->rowCount(), column.stage_count);
        QCOMPARE(status(), QString());
        for (QWidget* c : w->findChildren<QWidget*>()) QVERIFY2(c->styleSheet().isEmpty() || c == control("status"), qPrintable(c->objectName()));
        for (const command::WorkbenchField& f : command::kWorkbenchFields) {
            const bool rating_only = f.needs == command::Needs::kRating, design_only = f.needs == command::Needs::kDesign;
            const bool enabled = rating ? !design_only : !rating_only;
            if (f.needs != command::Needs::kAlpha && f.needs != command::Needs::kPair) {
                QCOMPARE(control(QString::fromUtf8(f.name.data(), f.name.size()))->isEnabled(), enabled);
            }
        }
    }

    // 导出 hands the stages of the present inputs to a new spreadsheet, the
    // temperatures row included on a mixture; without a spreadsheet, error
    // 429 in a box and the window as it was.
    void exportHandsOverTheStages_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<bool>("no_spreadsheet");
        QTest::newRow("first example") << QStringList{"R=2"} << false;
        QTest::newRow("ethanol-water at xD 0.8, with T") << QStringList{"mixture=乙醇/水", "xD=0.8"} << false;
        QTest::newRow("no spreadsheet: 429") << QStringList{"R=2"} << true;
    }

    void exportHandsOverTheStages() {
        QFETCH(QStringList, edits);
        QFETCH(bool, no_spreadsheet);
        no_spreadsheet_ = no_spreadsheet;
        QWidget* w = open();
        Texts texts = first_start();
        for (const QString& step : edits) edit(step, texts);
        const bool on_mixture = control<QComboBox>("mixture")->currentIndex() != 0;
        const calc::Design column = on_mixture ? calc::design_column(design_inputs(texts), *ethanol_water().curve)
                                               : calc::design_column(design_inputs(texts));
        QTRY_COMPARE(full_value("fractional"), column.fractional_stages);
        QString said;
        Answerer answerer([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) return false;
            said = box->text() + "|" + box->button(QMessageBox::Ok)->text();
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        control<QPushButton>("export")->click();
        if (no_spreadsheet) {
            QVERIFY(answerer.answered());
            QVERIFY2(said.contains("429") && said.endsWith("|确定"), qPrintable(said));
            QCOMPARE(result("stages")->text(), QString::number(column.stage_count));
            QVERIFY(control<QPushButton>("export")->isEnabled());
            return;
        }
        QVERIFY2(!answerer.answered(), qPrintable(said));
        testkit::RecordingSpreadsheet expected;
        sheet::export_stages(expected, column.x, column.y, column.T);
        QCOMPARE(sheet_->cells.size(), expected.record->cells.size());
        QVERIFY(sheet_->cells == expected.record->cells);
        const bool temperatures = std::any_of(column.T.begin(), column.T.end(), [](auto t) { return t.has_value(); });
        QCOMPARE(temperatures, on_mixture);
        (void)w;
    }

    // The list's last item asks for a file: chosen, it becomes the curve
    // and the list names it; cancelled, the list shows the curve it had.
    void dataFileItem_data() {
        QTest::addColumn<bool>("chosen");
        QTest::newRow("file chosen") << true;
        QTest::newRow("dialog cancelled") << false;
    }

    void dataFileItem() {
        QFETCH(bool, chosen);
        QTemporaryDir dir;
        const QString path = dir.filePath("点.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 1; i < 10; ++i) {
            const double x = i / 10.0;
            file.write(QByteArray::number(x) + "," + QByteArray::number(2.5 * x / (1 + 1.5 * x), 'g', 17) + "\n");
        }
        file.close();
        open();
        Texts texts = first_start();
        edit("mixture=乙醇/水", texts);
        edit("xD=0.8", texts);
        QTRY_VERIFY(!result("T_top")->text().isEmpty());
        auto* list = control<QComboBox>("mixture");
        Answerer answerer([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* name = modal->findChild<QLineEdit*>("fileNameEdit");
            if (dialog == nullptr || name == nullptr) return false;
            if (!chosen) {
                QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
                return true;
            }
            name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            return true;
        });
        while (list->currentIndex() < list->count() - 1 && !answerer.answered()) QTest::keyClick(list, Qt::Key_End);
        QTRY_VERIFY(answerer.answered());
        if (chosen) {
            QTRY_COMPARE(list->currentText(), QString("x–y 数据：点.csv"));
            QCOMPARE(list->itemText(list->count() - 1), QString::fromUtf8(command::kDataFileItem));
            // The points carry no temperatures: the column is stepped on them, none shown.
            QTRY_VERIFY(result("T_top")->text().isEmpty() && !result("stages")->text().isEmpty());
            QVERIFY(!control("alpha")->isEnabled() && !control("P")->isEnabled());
        } else {
            QTRY_COMPARE(list->currentText(), QString("乙醇/水"));
            QVERIFY(!result("T_top")->text().isEmpty());
            QVERIFY(control("P")->isEnabled());
        }
    }

    // What a restart brings back: the fields, the mode, the mixture, the
    // size; a value that no longer reads as a number gives way to the first start's.
    void restartRestores_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QStringList>("found");  // control=text after the restart
        QTest::newRow("fields and mode") << QStringList{"R=3", "q=0.8", "mode=rating", "N=12", "D=40"} << QSize()
                                         << QStringList{"R=3", "q=0.8", "N=12", "D=40", "mode_rating=on", "xD=0.95"};
        QTest::newRow("mixture and pressure") << QStringList{"mixture=乙醇/水", "P=90"} << QSize()
                                              << QStringList{"mixture=乙醇/水", "P=90", "mode_design=on"};
        QTest::newRow("a word is not kept") << QStringList{"F=abc"} << QSize() << QStringList{"F=100"};
        QTest::newRow("size") << QStringList{} << QSize(1000, 700) << QStringList{"R=2"};
    }

    void restartRestores() {
        QFETCH(QStringList, edits);
        QFETCH(QSize, size);
        QFETCH(QStringList, found);
        QWidget* w = open();
        Texts texts = first_start();
        for (const QString& step : edits) edit(step, texts);
        if (size.isValid()) w->resize(size);
        QTest::keyClick(w, Qt::Key_Escape);  // closed as a user closes it
        QVERIFY(!w->isVisible());
        window_.reset();
        w = open();
        const QSize opening{int(command::kWorkbenchOpeningWidth), int(command::kWorkbenchOpeningHeight)};
        QCOMPARE(w->size(), size.isValid() ? size : opening);
        for (const QString& pair : found) {
            const QString name = pair.section('=', 0, 0), value = pair.section('=', 1);
            if (auto* radio = control<QRadioButton>(name)) {
                QVERIFY2(radio->isChecked(), qPrintable(name));
            } else if (auto* list = control<QComboBox>(name)) {
                QCOMPARE(list->currentText(), value);
            } else {
                QCOMPARE(control<QLineEdit>(name)->text(), value);
            }
        }
    }

    // Tab visits the inputs in the layout's order and then the buttons;
    // each input is named by its caption for a screen reader.
    void tabOrderAndNames() {
        QWidget* w = open();
        std::vector<command::WorkbenchControl> order;
        for (const auto& c : command::workbench_layout(w->width(), w->height())) {
            if (c.tab_index >= 0) order.push_back(c);
            if (c.kind == command::WorkbenchControlKind::kLabel && !c.names.empty() &&
                qobject_cast<QRadioButton*>(control(QString::fromStdString(c.names))) == nullptr) {
                QCOMPARE(control(QString::fromStdString(c.names))->accessibleName(), QString::fromStdString(c.caption));
            }
        }
        std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.tab_index < b.tab_index; });
        QApplication::setActiveWindow(w);
        control(QString::fromStdString(order.front().name))->setFocus();
        QStringList visited, expected;
        for (const auto& c : order) {
            QWidget* next = control(QString::fromStdString(c.name));
            // Tab passes the disabled by, and of the two modes stops at the
            // one chosen only: the arrow keys move between them.
            auto* radio = qobject_cast<QRadioButton*>(next);
            if (!next->isEnabled() || (radio != nullptr && !radio->isChecked())) continue;
            expected << QString::fromStdString(c.name);
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);
        // The mode by the keyboard: the rating fields enabled with it.
        control("mode_design")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
        QVERIFY(control<QRadioButton>("mode_rating")->isChecked());
        QVERIFY(control("N")->isEnabled() && !control("xD")->isEnabled());
    }
};

QTEST_MAIN(WorkbenchTest)
#include "workbench_test.moc"
