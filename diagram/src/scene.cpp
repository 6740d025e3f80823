#include "veltrano/diagram/scene.h"

namespace veltrano::diagram {

Node group(std::string cls) {
    Node n;
    n.kind = Node::Kind::kGroup;
    n.cls = std::move(cls);
    return n;
}

Node polyline(std::vector<Pt> points, Colour stroke, Num width) {
    Node n;
    n.kind = Node::Kind::kPolyline;
    n.points = std::move(points);
    n.style.stroke = stroke;
    n.style.stroke_width = width;
    return n;
}

Node line(Pt a, Pt b, Colour stroke, Num width) {
    Node n;
    n.kind = Node::Kind::kLine;
    n.points = {a, b};
    n.style.stroke = stroke;
    n.style.stroke_width = width;
    return n;
}

Node rect(Num x, Num y, Num w, Num h) {
    Node n;
    n.kind = Node::Kind::kRect;
    n.points = {{x, y}, {w, h}};
    return n;
}

Node circle(Num cx, Num cy, Num r) {
    Node n;
    n.kind = Node::Kind::kCircle;
    n.points = {{cx, cy}};
    n.r = r;
    return n;
}

Node text(Num x, Num y, Runs runs, std::optional<Num> size, Anchor anchor) {
    Node n;
    n.kind = Node::Kind::kText;
    n.points = {{x, y}};
    n.runs = std::move(runs);
    n.style.font_size = size;
    n.style.anchor = anchor;
    return n;
}

}  // namespace veltrano::diagram
