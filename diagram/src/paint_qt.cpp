#include "veltrano/diagram/paint_qt.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPaintDevice>
#include <QPolygonF>
#include <QString>
#include <QStringList>

#include "presentation.h"

namespace veltrano::diagram {

namespace {

using Paint = Presentation;

QColor colour(Colour c, double opacity = 1) {
    QColor q(static_cast<QRgb>(c & 0xFFFFFFu));
    q.setAlphaF(static_cast<float>(opacity));
    return q;
}

// How many device pixels one unit of the painter's coordinates spans (the
// window's device pixel ratio, a PNG's scale, a group's matrix).
double device_scale(const QPainter& painter) {
    const QTransform t = painter.deviceTransform();
    return std::sqrt(std::abs(t.m11() * t.m22() - t.m12() * t.m21()));
}

// The stroke of a node, or none: no paint, or a width that draws nothing
// (SVG draws no stroke of width 0, where Qt would draw a hairline).
bool make_pen(const Paint& p, const QPainter& painter, QPen& pen) {
    if (p.stroke == kNoPaint || !(p.stroke_width > 0)) return false;
    // SVG's mitre: up to 4 widths long, bevelled beyond (Qt's MiterJoin
    // would cut the spike off at its own limit instead).
    pen = QPen(colour(p.stroke), p.stroke_width, Qt::SolidLine, p.round ? Qt::RoundCap : Qt::FlatCap,
               p.round ? Qt::RoundJoin : Qt::SvgMiterJoin);
    pen.setMiterLimit(4);
    if (p.dashes == nullptr) return true;

    // SVG: a negative length or a sum of zero leaves the line solid, and an
    // odd list is repeated to make it even.
    double sum = 0;
    for (const Num& d : *p.dashes) {
        if (d.v < 0) return true;
        sum += d.v;
    }
    if (!(sum > 0)) return true;
    // Qt counts dashes in pen widths, but in whole device pixels for a pen
    // thinner than one: the unit is max(width on the device, 1 px).
    const double scale = device_scale(painter);
    const double unit = std::max(p.stroke_width * scale, 1.0) / scale;
    QList<qreal> pattern;
    const std::size_t count = p.dashes->size() % 2 == 0 ? p.dashes->size() : 2 * p.dashes->size();
    pattern.reserve(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i) pattern.push_back((*p.dashes)[i % p.dashes->size()].v / unit);
    pen.setDashPattern(pattern);
    return true;
}

// The brush of a closed shape: its fill at its fill opacity, or none.
QBrush make_brush(const Paint& p) {
    if (p.fill == kNoPaint || p.fill_opacity <= 0) return Qt::NoBrush;
    return QBrush(colour(p.fill, p.fill_opacity));
}

QPointF at(const Pt& p) { return {p.x.v, p.y.v}; }

QString to_qt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// --- text -------------------------------------------------------------------

// One run as it is set: its text, its size and how far it is lowered, and a
// gap before it that stands for a dropped blank.
struct SetRun {
    QString text;
    double size;
    double lowered;
    double gap;
};

// The runs of a line with SVG's white space: blanks at the ends of the line
// dropped and a row of blanks within it set as one. A run after a subscript
// that starts with a blank gets a gap of 0.28 of the size instead (the file
// says so with dx, since a viewer may drop a blank at a run's start).
std::vector<SetRun> set_runs(const Runs& runs, double size) {
    std::vector<SetRun> out;
    out.reserve(runs.size());
    bool after_sub = false;
    bool last_blank = true;  // nothing yet: a leading blank goes
    for (const Run& r : runs) {
        SetRun s{to_qt(r.text), r.sub ? 0.72 * size : size, r.sub ? 0.28 * size : 0, 0};
        if (!r.sub && after_sub && s.text.startsWith(QLatin1Char(' '))) {
            s.text.remove(0, 1);
            s.gap = 0.28 * size;
            last_blank = true;
        }
        QString collapsed;
        collapsed.reserve(s.text.size());
        for (QChar c : s.text) {
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) continue;
            if (c == QLatin1Char('\t')) c = QLatin1Char(' ');
            const bool blank = c == QLatin1Char(' ');
            if (blank && last_blank) continue;
            collapsed += c;
            last_blank = blank;
        }
        s.text = collapsed;
        after_sub = r.sub;
        out.push_back(std::move(s));
    }
    // A trailing blank, wherever the last text ends.
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
        if (it->text.isEmpty()) continue;
        if (it->text.endsWith(QLatin1Char(' '))) it->text.chop(1);
        break;
    }
    return out;
}

void paint_text(const Node& node, const Paint& p, QPainter& painter) {
    if (node.points.empty() || node.runs.empty() || !(p.font_size > 0)) return;
    std::vector<SetRun> runs = set_runs(node.runs, p.font_size);

    std::vector<QFont> fonts;
    std::vector<double> widths;
    fonts.reserve(runs.size());
    widths.reserve(runs.size());
    double width = 0;
    for (const SetRun& r : runs) {
        fonts.push_back(scene_font(painter, r.size, p.bold));
        widths.push_back(QFontMetricsF(fonts.back(), painter.device()).horizontalAdvance(r.text));
        width += r.gap + widths.back();
    }
    double x = node.points[0].x.v;
    const double y = node.points[0].y.v;
    if (p.anchor == Anchor::kMiddle) x -= width / 2;
    if (p.anchor == Anchor::kEnd) x -= width;

    QPen pen;
    const bool stroked = make_pen(p, painter, pen);
    const QBrush brush = make_brush(p);
    if (!stroked) painter.setPen(brush.style() == Qt::NoBrush ? QPen(Qt::NoPen) : QPen(brush.color()));
    for (std::size_t i = 0; i < runs.size(); ++i) {
        x += runs[i].gap;
        const QPointF baseline(x, y + runs[i].lowered);
        if (stroked) {
            // Outlined glyphs, filled first and stroked over, as SVG paints text.
            QPainterPath path;
            path.addText(baseline, fonts[i], runs[i].text);
            painter.fillPath(path, brush);
            painter.strokePath(path, pen);
        } else if (brush.style() != Qt::NoBrush) {
            painter.setFont(fonts[i]);
            painter.drawText(baseline, runs[i].text);
        }
        x += widths[i];
    }
}

// --- shapes -----------------------------------------------------------------

void paint_node(const Node& node, const Paint& outer, QPainter& painter);

void paint_group(const Node& node, const Paint& p, QPainter& painter) {
    painter.save();
    if (node.clip && node.clip->size() == 4) {
        const std::vector<Num>& c = *node.clip;
        painter.setClipRect(QRectF(c[0].v, c[1].v, c[2].v, c[3].v), Qt::IntersectClip);
    }
    const Transform& t = node.transform;
    if (t.kind == Transform::Kind::kMatrix) {
        // matrix(a 0 0 d e f): x' = a x + e, y' = d y + f
        painter.setTransform(QTransform(t.a.v, 0, 0, t.d.v, t.e.v, t.f.v), true);
    } else if (t.kind == Transform::Kind::kTranslate) {
        painter.translate(t.e.v, t.f.v);
        painter.rotate(t.degrees);
    }
    for (const Node& child : node.children) paint_node(child, p, painter);
    painter.restore();
}

void paint_node(const Node& node, const Paint& outer, QPainter& painter) {
    const Paint p = outer.inside(node.style);
    if (node.kind == Node::Kind::kGroup) {
        paint_group(node, p, painter);
        return;
    }
    if (node.kind == Node::Kind::kText) {
        paint_text(node, p, painter);
        return;
    }

    QPen pen;
    const bool stroked = make_pen(p, painter, pen);
    painter.setPen(stroked ? pen : QPen(Qt::NoPen));
    switch (node.kind) {
    case Node::Kind::kPolyline: {
        if (!stroked || node.points.size() < 2) return;
        QPolygonF polygon;
        polygon.reserve(static_cast<qsizetype>(node.points.size()));
        for (const Pt& point : node.points) polygon.push_back(at(point));
        painter.drawPolyline(polygon);
        return;
    }
    case Node::Kind::kLine:
        if (!stroked || node.points.size() < 2) return;
        painter.drawLine(at(node.points[0]), at(node.points[1]));
        return;
    case Node::Kind::kGrid: {
        if (!stroked) return;
        QList<QLineF> lines;
        lines.reserve(static_cast<qsizetype>(node.points.size() / 2));
        for (std::size_t i = 0; i + 1 < node.points.size(); i += 2) {
            lines.push_back(QLineF(at(node.points[i]), at(node.points[i + 1])));
        }
        painter.drawLines(lines);
        return;
    }
    case Node::Kind::kRect: {
        if (node.points.size() < 2) return;
        const double w = node.points[1].x.v, h = node.points[1].y.v;
        if (!(w > 0) || !(h > 0)) return;  // SVG draws no empty rectangle
        painter.setBrush(make_brush(p));
        painter.drawRect(QRectF(node.points[0].x.v, node.points[0].y.v, w, h));
        return;
    }
    case Node::Kind::kCircle:
        if (node.points.empty() || !(node.r.v > 0)) return;
        painter.setBrush(make_brush(p));
        painter.drawEllipse(at(node.points[0]), node.r.v, node.r.v);
        return;
    case Node::Kind::kGroup:
    case Node::Kind::kText:
        return;
    }
}

}  // namespace

QFont scene_font(const QPainter& painter, double size, bool bold) {
    // The families the SVG file names for Linux, in its order.
    QFont font(QStringList{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                           QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    // The size in page pixels, fractions kept: QFont's pixel size is whole,
    // its point size is not, and the device turns points into pixels at its
    // own resolution.
    const QPaintDevice* device = painter.device();
    const double dpi = device != nullptr && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96.0;
    font.setPointSizeF(size * 72.0 / dpi);
    if (bold) font.setWeight(QFont::Bold);
    return font;
}

void paint(const Scene& scene, QPainter& painter) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(QRectF(0, 0, scene.width, scene.height), Qt::white);
    paint_node(scene.root, Paint{}, painter);
    painter.restore();
}

}  // namespace veltrano::diagram
