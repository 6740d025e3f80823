// The QPainter painter against what an SVG viewer shows for the same tree:
// small hand-built scenes painted into images at one and two device pixels
// a page pixel, and the pixels that SVG's rules decide read back.
#include <functional>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "veltrano/diagram/paint_qt.h"
#include "veltrano/diagram/scene.h"
#include "diagram_pixels.h"

using namespace veltrano;
using diagram::Node;
using diagram::page;

namespace {

constexpr diagram::Colour kRed = 0xcc0000, kBlue = 0x0000cc;

// A 200 × 100 page holding `nodes` at the top level.
diagram::Scene scene_of(std::vector<Node> nodes) {
    diagram::Scene s;
    s.width = 200;
    s.height = 100;
    s.root = diagram::group();
    s.root.children = std::move(nodes);
    return s;
}

Node group_of(std::vector<Node> children) {
    Node g = diagram::group();
    g.children = std::move(children);
    return g;
}

// The unit square drawn 100 page pixels a side, its origin at (50, 90),
// y upwards: a plot's transform.
Node plot_of(std::vector<Node> children) {
    Node g = group_of(std::move(children));
    g.transform = {diagram::Transform::Kind::kMatrix, page(100), page(-100), page(50), page(90), 0};
    return g;
}

Node hline(double x0, double x1, double y, diagram::Colour c, double width) {
    return diagram::line({page(x0), page(y)}, {page(x1), page(y)}, c, page(width));
}

struct Case {
    const char* name;
    std::function<diagram::Scene()> scene;
    std::vector<testkit_qt::Probe> probes;  // in page pixels
};

const std::vector<Case>& cases() {
    using testkit_qt::colour_at;
    using testkit_qt::ink_at;
    using testkit_qt::white_at;
    constexpr QRgb kInk = 0x222222;
    static const std::vector<Case> table = {
        {"page is white, fill defaults to #222222",
         [] { return scene_of({diagram::rect(page(10), page(10), page(20), page(20))}); },
         {white_at(5, 5), white_at(190, 90), colour_at(20, 20, kInk, 8)}},
        {"stroke, its width and its absence inherit from groups",
         [] {
             Node g = group_of({diagram::line({page(10), page(50)}, {page(190), page(50)}, diagram::kNoPaint, page(6)),
                                hline(10, 190, 80, kBlue, 2)});
             g.children[0].style.stroke.reset();
             g.children[0].style.stroke_width.reset();
             g.children[1].style.stroke.reset();
             g.style.stroke = kRed;
             g.style.stroke_width = page(6);
             Node none = hline(10, 190, 20, diagram::kNoPaint, 4);
             none.style.stroke.reset();  // inherits the page's: no stroke
             return scene_of({g, none});
         },
         {colour_at(100, 50.5, kRed, 10), colour_at(100, 52.5, kRed, 10), colour_at(100, 80.2, kRed, 40), white_at(100, 20)}},
        {"a plot's matrix maps its units and scales the stroke width",
         [] { return scene_of({plot_of({hline(0.1, 0.9, 0.5, kBlue, 0.06)})}); },
         // y = 0.5 lands at 40; 0.06 units are 6 page pixels
         {colour_at(100, 40, kBlue, 10), colour_at(100, 42.4, kBlue, 10), colour_at(100, 37.6, kBlue, 10), white_at(100, 44),
          white_at(55, 40), white_at(145, 40)}},
        {"dashes are in the node's own units, scaled with the stroke",
         [] {
             Node l = hline(0, 1, 0.5, kBlue, 0.04);
             l.style.dashes = {page(0.1), page(0.05)};  // 10 on, 5 off on the page
             return scene_of({plot_of({l})});
         },
         {colour_at(52, 40, kBlue, 10), colour_at(58, 40, kBlue, 10), white_at(62.5, 40), colour_at(67, 40, kBlue, 10),
          white_at(77.5, 40), colour_at(82, 40, kBlue, 10)}},
        {"a line thinner than a device pixel keeps its dash lengths",
         [] {
             Node l = hline(10, 190, 50.5, kRed, 0.6);
             l.style.dashes = {page(8), page(8)};
             return scene_of({l});
         },
         // faint on, white off: 10..18 drawn, 18..26 not, 26..34 drawn
         {ink_at(14, 50.5), white_at(22, 50.5), ink_at(30, 50.5), white_at(38, 50.5)}},
        {"an odd dash list is repeated to make it even",
         [] {
             Node l = hline(10, 190, 50, kBlue, 4);
             l.style.dashes = {page(10), page(5), page(5)};  // 10 on 5 off 5 on | 10 off 5 on 5 off
             return scene_of({l});
         },
         {colour_at(15, 50, kBlue, 10), white_at(22.5, 50), colour_at(27.5, 50, kBlue, 10), white_at(35, 50),
          colour_at(42.5, 50, kBlue, 10), white_at(47.5, 50)}},
        {"butt caps end at the end, round caps go half the width beyond",
         [] {
             Node butt = hline(50, 150, 30, kBlue, 10);
             Node round = hline(50, 150, 70, kBlue, 10);
             round.style.round = true;
             return scene_of({butt, round});
         },
         {colour_at(51, 30, kBlue, 10), white_at(48, 30), white_at(152, 30),
          colour_at(47, 70, kBlue, 30), colour_at(153, 70, kBlue, 30), colour_at(148, 74, kBlue, 10)}},
        {"joins are mitred up to SVG's limit of 4 widths and bevelled beyond",
         [] {
             // mitres 3.5 and 4.5 stroke widths long, 8 pixels wide
             return scene_of({diagram::polyline({{page(39.1), page(90)}, {page(60), page(20)}, {page(80.9), page(90)}},
                                                kBlue, page(8)),
                              diagram::polyline({{page(124), page(90)}, {page(140), page(20)}, {page(156), page(90)}},
                                                kBlue, page(8))});
         },
         {colour_at(60, 10, kBlue, 60), white_at(60, 4), white_at(140, 12)}},
        {"a rectangle is filled at its fill opacity, then stroked",
         [] {
             Node r = diagram::rect(page(20), page(20), page(160), page(60));
             r.style.fill = 0x000000;
             r.style.fill_opacity = page(0.5);
             r.style.stroke = kRed;
             r.style.stroke_width = page(4);
             return scene_of({r});
         },
         {colour_at(100, 50, 0x808080, 3), colour_at(20, 50, kRed, 10), colour_at(100, 80, kRed, 10), white_at(100, 10)}},
        {"a stroke width of 0 draws nothing, where Qt would draw a hairline",
         [] { return scene_of({hline(10, 190, 50.5, kRed, 0)}); },
         {white_at(100, 50.5), white_at(100, 50)}},
        {"a clip is the rectangle in the parent's units, around the group's matrix",
         [] {
             Node g = plot_of({hline(0, 1, 0.5, kRed, 0.04), hline(0, 1, 0.1, kRed, 0.04)});
             g.clip = std::vector<diagram::Num>{page(50), page(30), page(50), page(20)};  // page x 50..100, y 30..50
             return scene_of({g});
         },
         {colour_at(75, 40, kRed, 10), white_at(110, 40), white_at(75, 80)}},
        {"a grid draws each pair of points as a segment",
         [] {
             Node grid = diagram::polyline({{page(20), page(10)}, {page(20), page(90)},
                                            {page(10), page(60)}, {page(190), page(60)}},
                                           kBlue, page(2));
             grid.kind = Node::Kind::kGrid;
             return scene_of({grid});
         },
         {colour_at(20, 30, kBlue, 10), colour_at(150, 60, kBlue, 10),
          white_at(15, 75)}},  // no segment from one pair to the next
    };
    return table;
}

}  // namespace

class DiagramPaintTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shapesFollowTheSvgRules_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("scale");
        for (int i = 0; i < int(cases().size()); ++i) {
            for (double scale : {1.0, 2.0}) {
                QTest::newRow(qPrintable(QString("%1 @%2x").arg(cases()[i].name).arg(scale))) << i << scale;
            }
        }
    }

    void shapesFollowTheSvgRules() {
        QFETCH(int, index);
        QFETCH(double, scale);
        const Case& c = cases()[std::size_t(index)];
        const QImage image = testkit_qt::painted(c.scene(), scale);
        for (const testkit_qt::Probe& probe : c.probes) {
            const QString failure = testkit_qt::probe_failure(image, scale, probe);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        }
    }

    // Text is placed by its measured width: the inked box starts at, is
    // centred on or ends at the anchor point, whatever the scale.
    void textIsPlacedByItsAnchor_data() {
        QTest::addColumn<int>("anchor");
        QTest::addColumn<double>("scale");
        for (double scale : {1.0, 2.0}) {
            QTest::newRow(qPrintable(QString("start @%1x").arg(scale))) << int(diagram::Anchor::kStart) << scale;
            QTest::newRow(qPrintable(QString("middle @%1x").arg(scale))) << int(diagram::Anchor::kMiddle) << scale;
            QTest::newRow(qPrintable(QString("end @%1x").arg(scale))) << int(diagram::Anchor::kEnd) << scale;
        }
    }

    void textIsPlacedByItsAnchor() {
        QFETCH(int, anchor);
        QFETCH(double, scale);
        const auto a = static_cast<diagram::Anchor>(anchor);
        const QImage image = testkit_qt::painted(
            scene_of({diagram::text(page(100), page(60), {{"进料组成 x"}, {"F", true}, {" = 0.5"}}, page(16), a)}),
            scale);
        const QRectF ink = testkit_qt::ink_box(image, scale);
        QVERIFY2(ink.width() > 80 && ink.width() < 160, qPrintable(QString::number(ink.width())));
        // Side bearings of the first and last glyph: a pixel or two.
        const double at = a == diagram::Anchor::kStart ? ink.left() : a == diagram::Anchor::kEnd ? ink.right() : ink.center().x();
        QVERIFY2(std::abs(at - 100) <= 2.5, qPrintable(QString("ink %1..%2").arg(ink.left()).arg(ink.right())));
        // Glyphs above the baseline, none below but the subscript's lowered tail.
        QVERIFY2(ink.top() > 40 && ink.top() < 50, qPrintable(QString::number(ink.top())));
    }

    // A subscript is smaller and lower: its ink reaches 0.28 of the size
    // below the baseline; the blank after it becomes a gap, not a double blank.
    void subscriptIsSmallerAndLower() {
        const double size = 20;
        const auto ink_of = [&](diagram::Runs runs) {
            return testkit_qt::ink_box(testkit_qt::painted(scene_of({diagram::text(page(20), page(60), runs, page(size))}), 2), 2);
        };
        const QRectF plain = ink_of({{"xF"}});
        const QRectF lowered = ink_of({{"x"}, {"F", true}});
        QVERIFY2(lowered.bottom() - plain.bottom() > 0.2 * size && lowered.bottom() - plain.bottom() < 0.36 * size,
                 qPrintable(QString("plain %1, lowered %2").arg(plain.bottom()).arg(lowered.bottom())));
        QVERIFY2(lowered.top() - plain.top() > 0.15 * size,  // the F's cap height shrinks to 0.72
                 qPrintable(QString("plain %1, lowered %2").arg(plain.top()).arg(lowered.top())));
        const QRectF none = ink_of({{"x"}, {"F", true}, {"=1"}});
        const QRectF gap = ink_of({{"x"}, {"F", true}, {" =1"}});
        const QRectF blanks = ink_of({{"x"}, {"F", true}, {"  =1"}});
        QVERIFY2(std::abs(gap.right() - none.right() - 0.28 * size) <= 1,
                 qPrintable(QString("without %1, with %2").arg(none.right()).arg(gap.right())));
        QCOMPARE(blanks.right(), gap.right());  // the second blank is collapsed into the gap
    }

    // The y axis's caption: translate, then rotate by -90 degrees reads upwards.
    void rotatedTextRunsUpwards() {
        Node g = group_of({diagram::text(page(0), page(0), {{"液相组成 x"}}, page(16), diagram::Anchor::kMiddle)});
        g.transform = {diagram::Transform::Kind::kTranslate, {}, {}, page(30), page(50), -90};
        const QRectF ink = testkit_qt::ink_box(testkit_qt::painted(scene_of({g}), 1), 1);
        QVERIFY2(ink.height() > 3 * ink.width(), qPrintable(QString("%1 × %2").arg(ink.width()).arg(ink.height())));
        QVERIFY2(std::abs(ink.center().y() - 50) <= 2.5, qPrintable(QString::number(ink.center().y())));
        QVERIFY2(ink.right() <= 31, qPrintable(QString::number(ink.right())));  // glyphs above the baseline: left of x 30
    }

    // The caller's painter is handed back as it came.
    void painterStateIsRestored() {
        QImage image(50, 50, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.translate(3, 4);
        painter.setPen(QPen(Qt::green, 7));
        Node g = plot_of({hline(0, 1, 0.5, kRed, 0.04)});
        g.clip = std::vector<diagram::Num>{page(0), page(0), page(10), page(10)};
        diagram::paint(scene_of({g}), painter);
        QCOMPARE(painter.transform(), QTransform::fromTranslate(3, 4));
        QCOMPARE(painter.pen().color(), QColor(Qt::green));
        QVERIFY(!painter.hasClipping());
    }
};

QTEST_MAIN(DiagramPaintTest)
#include "diagram_paint_test.moc"
