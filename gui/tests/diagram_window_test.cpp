// The diagram window beside the real main window on the offscreen platform:
// the first example's pixels at the opening size and at twice it, after
// presses that fail before and after the calculation; F2 and the context
// menus; Save As (SVG and PNG), Copy and Esc; and the end of the program.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "diagram_pixels.h"
#include "modal_answerer.h"
#include "veltrano/calc/column.h"
#include "veltrano/command/main_form.h"
#include "veltrano/diagram/paint_qt.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/diagram_window.h"
#include "veltrano/gui/form_qt.h"

using namespace veltrano;
using veltrano::testkit_qt::Answerer;
using veltrano::testkit_qt::read_menu;

namespace {

QWidget* diagram_widget() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "DiagramWindow") return w;
    }
    return nullptr;
}

QString opening_size_row(double factor) { return factor == 1 ? "opening size" : "twice the opening size"; }

}  // namespace

class DiagramWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<diagram::DiagramView> view_;
    std::unique_ptr<gui::DiagramWindow> window_;
    std::unique_ptr<QWidget> main_;
    calc::ColumnResult column_ = calc::calculate(testkit_qt::first_example_inputs());

    // A press of the first example, then optionally a failure after it.
    void press_first_example() {
        view_->press_started();
        view_->calculated(testkit_qt::first_example_inputs(), column_);
        window_->refresh();
    }
    void press_failing(int error) {
        view_->press_started();
        view_->failed(error);
        window_->refresh();
    }

    QWidget* open_diagram() {
        window_->open();
        QWidget* w = diagram_widget();
        if (w != nullptr) (void)QTest::qWaitForWindowExposed(w);
        return w;
    }

    // The window's pixels as it paints itself.
    static QImage grab(QWidget* w) { return w->grab().toImage(); }

    QStringList probe_failures(const QImage& image, QWidget* w) {
        const double scale = image.devicePixelRatio();
        return testkit_qt::failures(image, scale, testkit_qt::first_example_probes(*view_, column_, w->width(), w->height()));
    }

private Q_SLOTS:
    void initTestCase() {
        gui::set_up_qt_application();
        const QScreen* screen = QGuiApplication::primaryScreen();
        qInfo("screen %d × %d, %g device pixels a pixel", screen->size().width(), screen->size().height(),
              screen->devicePixelRatio());
    }

    void init() {
        view_ = std::make_unique<diagram::DiagramView>();
        window_ = std::make_unique<gui::DiagramWindow>(*view_);
        main_ = gui::build_form(command::main_form(), [](command::Fields&) {},
                                {{diagram::kOpenCommand, 2, [this] { window_->open(); }}});
        main_->show();
        QApplication::setActiveWindow(main_.get());
        QVERIFY(QTest::qWaitForWindowActive(main_.get()));
    }

    void cleanup() {
        window_.reset();
        view_.reset();
        main_.reset();
        QVERIFY(diagram_widget() == nullptr);
    }

    void nothingIsBuiltBeforeTheFirstOpen() {
        press_first_example();
        QVERIFY(diagram_widget() == nullptr);
        QWidget* w = open_diagram();
        QVERIFY(w != nullptr);
        QCOMPARE(w->windowTitle(), QString::fromUtf8(diagram::kWindowTitle));
        QCOMPARE(w->size(), QSize(int(diagram::kOpeningWidth), int(diagram::kOpeningHeight)));
        QCOMPARE(w->minimumSize(), QSize(int(diagram::kLeastWidth), int(diagram::kLeastHeight)));
        window_->open();  // again: the same window raised, not a second one
        int windows = 0;
        for (QWidget* t : QApplication::topLevelWidgets()) windows += t->objectName() == "DiagramWindow";
        QCOMPARE(windows, 1);
    }

    // Beside the main window, tops level: on its right where the screen has
    // room, else on its left; never over it.
    void opensBesideTheMainWindow_data() {
        QTest::addColumn<int>("main_x");
        QTest::addColumn<bool>("right");
        QTest::newRow("room on the right") << 40 << true;
        QTest::newRow("main window at the right edge") << 1300 << false;
    }

    void opensBesideTheMainWindow() {
        QFETCH(int, main_x);
        QFETCH(bool, right);
        const QRect screen = main_->screen()->availableGeometry();
        QVERIFY2(screen.width() >= 1800, "the test's screen is the wide one of offscreen-wide.json");
        main_->move(main_x, 100);
        QWidget* w = open_diagram();
        const QRect main = main_->frameGeometry(), diagram = w->frameGeometry();
        QVERIFY2(!diagram.intersects(main), "the diagram covers the main window");
        QVERIFY(screen.contains(diagram));
        QCOMPARE(w->geometry().top(), main_->geometry().top());
        if (right) {
            QVERIFY(diagram.left() > main.right() && diagram.left() - main.right() < 20);
        } else {
            QVERIFY(diagram.right() < main.left() && main.left() - diagram.right() < 20);
        }
    }

    // The first example's table of pixels, as the window paints itself,
    // after each kind of press, at the opening size and at twice it: the
    // picture moves under a note and is repainted where window_point says.
    void pixelsOfTheFirstExample_data() {
        QTest::addColumn<double>("factor");
        QTest::addColumn<int>("then_failed");   // 0: the press succeeded
        QTest::addColumn<bool>("before_calc");  // the failed press never calculated
        for (double factor : {1.0, 2.0}) {
            const QString size = opening_size_row(factor);
            QTest::newRow(qPrintable("pressed, " + size)) << factor << 0 << false;
            QTest::newRow(qPrintable("then an empty field (13), " + size)) << factor << 13 << true;
            QTest::newRow(qPrintable("export failed after it (429), " + size)) << factor << 429 << false;
        }
    }

    void pixelsOfTheFirstExample() {
        QFETCH(double, factor);
        QFETCH(int, then_failed);
        QFETCH(bool, before_calc);
        QWidget* w = open_diagram();
        w->resize(int(diagram::kOpeningWidth * factor), int(diagram::kOpeningHeight * factor));
        press_first_example();
        if (then_failed != 0) {
            if (before_calc) {
                press_failing(then_failed);
            } else {
                view_->failed(then_failed);  // in the same press, after the calculation
                window_->refresh();
            }
            QCOMPARE(int(view_->notes().size()), 1);
            QVERIFY(view_->notes().front().find(std::to_string(then_failed)) != std::string::npos);
        }
        const QImage image = grab(w);
        QCOMPARE(image.size(), w->size() * w->devicePixelRatio());
        const QStringList failures = probe_failures(image, w);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n")));
    }

    // A press's picture is painted as soon as the view has it, while the
    // press still holds the thread (the spreadsheet may take seconds).
    void pressIsPaintedBeforeItReturns() {
        QWidget* w = open_diagram();
        QCoreApplication::processEvents();
        struct PaintCounter final : QObject {
            int paints = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        w->installEventFilter(&counter);
        press_first_example();  // no event loop from here on
        QCOMPARE(counter.paints, 1);
        press_failing(13);
        QCOMPARE(counter.paints, 2);
    }

    // Every character the window shows has a glyph in the font it is set
    // in: no boxes for the Chinese, α or the subscripts.
    void everyTextHasItsGlyphs() {
        QImage image(10, 10, QImage::Format_RGB32);
        QPainter painter(&image);
        const auto check = [&](const diagram::Node& node, const auto& self) -> void {
            for (const diagram::Run& r : node.runs) {
                const QFontMetrics metrics(diagram::scene_font(painter, 16, node.style.bold));
                for (uint c : QString::fromStdString(r.text).toUcs4()) {
                    QVERIFY2(metrics.inFontUcs4(c), qPrintable(QString::fromStdString(r.text) + " U+" + QString::number(c, 16)));
                }
            }
            for (const diagram::Node& child : node.children) self(child, self);
        };
        check(view_->scene(560, 660).root, check);  // the hint
        press_first_example();
        press_failing(13);
        check(view_->scene(560, 660).root, check);
    }

    void diagramMenuHasItsCommandsAndKeys_data() {
        QTest::addColumn<bool>("pressed");
        QTest::newRow("before the first press") << false;
        QTest::newRow("after a press") << true;
    }

    void diagramMenuHasItsCommandsAndKeys() {
        QFETCH(bool, pressed);
        if (pressed) press_first_example();
        QWidget* w = open_diagram();
        QStringList items;
        Answerer answerer(read_menu(items));
        QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, QPoint(100, 300));
        QTRY_VERIFY(answerer.answered());
        const QString state = pressed ? "on" : "off";  // nothing to save or copy before a press
        QCOMPARE(items, (QStringList{QString::fromUtf8(diagram::kSaveCommand) + "|Ctrl+S|" + state,
                                     QString::fromUtf8(diagram::kCopyCommand) + "|Ctrl+C|" + state,
                                     QString::fromUtf8(diagram::kCloseCommand) + "|Esc|on"}));
    }

    void escClosesTheDiagramAndLeavesTheMainWindow() {
        QWidget* w = open_diagram();
        QApplication::setActiveWindow(w);
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        QVERIFY(main_->isVisible());
        // Opened again: the same window, where it was.
        const QPoint was = w->pos();
        window_->open();
        QVERIFY(w->isVisible());
        QCOMPARE(w->pos(), was);
    }

    // Copy puts the window's picture on the clipboard at the window's size
    // times the device pixel ratio.
    void copyPutsTheWindowsImageOnTheClipboard() {
        press_first_example();
        QWidget* w = open_diagram();
        QGuiApplication::clipboard()->clear();
        QApplication::setActiveWindow(w);
        QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_C));
        const QImage image = QGuiApplication::clipboard()->image();
        QCOMPARE(image.size(), w->size() * w->devicePixelRatio());
        const QStringList failures = probe_failures(image, w);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n")));
    }

    // Save As through the dialog: the name's extension decides the type,
    // and a name without one gets the type chosen in the dialog.
    void saveWritesTheChosenType_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("filter");  // 0 SVG, 1 PNG
        QTest::addColumn<QString>("written");
        QTest::newRow("svg name") << "a.svg" << 0 << "a.svg";
        QTest::newRow("png name, SVG chosen") << "b.PNG" << 0 << "b.PNG";
        QTest::newRow("no extension, PNG chosen") << "c" << 1 << "c.png";
        QTest::newRow("no extension, SVG chosen") << "d" << 0 << "d.svg";
        QTest::newRow("Chinese name") << "塔板图 1.svg" << 0 << "塔板图 1.svg";
    }

    void saveWritesTheChosenType() {
        QFETCH(QString, typed);
        QFETCH(int, filter);
        QFETCH(QString, written);
        QTemporaryDir dir;
        press_first_example();
        QWidget* w = open_diagram();
        Answerer answerer([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (dialog == nullptr) return false;
            // The type chosen as a user does, in the dialog's list of types.
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (types == nullptr || name == nullptr) return false;
            QTest::keyClick(types, filter == 1 ? Qt::Key_Down : Qt::Key_Up);
            name->setText(dir.filePath(typed));
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            return true;
        });
        QApplication::setActiveWindow(w);
        QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_S));
        QVERIFY(answerer.answered());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
        QFile file(dir.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (written.endsWith(".svg")) {
            QCOMPARE(bytes.toStdString(), view_->svg());
        } else {
            QImage image;
            QVERIFY(image.loadFromData(bytes, "PNG"));
            QCOMPARE(image.size(), w->size() * w->devicePixelRatio());
            image.setDevicePixelRatio(w->devicePixelRatio());
            const QStringList failures = probe_failures(image, w);
            QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n")));
        }
    }

    // A file that cannot be written: a message box in Chinese names it, and
    // the window goes on.
    void saveFailureIsShownInChinese() {
        press_first_example();
        QWidget* w = open_diagram();
        const QString path = "/nonexistent-veltrano-folder/塔板图.svg";
        QString said;
        Answerer dialog_answerer([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* name = modal->findChild<QLineEdit*>("fileNameEdit");
            if (dialog == nullptr || name == nullptr) return false;
            name->setText(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            return true;
        });
        Answerer box_answerer([&](QWidget* modal) {
            // Ours, over the diagram window: not one the file dialog raises itself.
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr || box->parentWidget() != w || box->button(QMessageBox::Ok) == nullptr) return false;
            said = box->text() + "|" + box->button(QMessageBox::Ok)->text();
            box->button(QMessageBox::Ok)->click();
            return true;
        });
        QApplication::setActiveWindow(w);
        QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_S));
        QVERIFY(box_answerer.answered());
        QVERIFY2(said.startsWith("无法保存“") && said.contains("nonexistent-veltrano-folder/塔板图.svg”：") &&
                     said.endsWith("|确定"),
                 qPrintable(said));
        QVERIFY(w->isVisible());
    }

    // Closing the main window ends the event loop with status 0 while the
    // diagram window is open, and takes the diagram window with it.
    void closingTheMainWindowEndsTheProgramWithBoth() {
        press_first_example();
        QPointer<QWidget> w = open_diagram();
        QVERIFY(w->isVisible());
        QTimer::singleShot(0, main_.get(), [this] { main_->close(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });  // the loop failed to end
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(w.isNull());
    }
};

QTEST_MAIN(DiagramWindowTest)
#include "diagram_window_test.moc"
