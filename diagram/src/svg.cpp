#include "veltrano/diagram/svg.h"

#include <charconv>
#include <cmath>

#include "veltrano/core/number_text.h"

namespace veltrano::diagram {

namespace {

// Chinese glyphs on Linux (Noto, WenQuanYi) and on Windows (YaHei, SimHei).
constexpr const char* kFonts =
    "'Noto Sans CJK SC','Source Han Sans SC','WenQuanYi Micro Hei','Microsoft YaHei','SimHei',sans-serif";

std::string colour_text(Colour c) {
    if (c == kNoPaint) return "none";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s = "#000000";
    for (int i = 0; i < 6; ++i) s[static_cast<std::size_t>(6 - i)] = kHex[(c >> (4 * i)) & 0xF];
    return s;
}

// Texts are the drawing's own, but a caption may one day hold a user's text.
void escaped(std::string& out, const std::string& text) {
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
}

void attribute(std::string& out, const char* name, const std::string& value) {
    out += ' ';
    out += name;
    out += "=\"";
    escaped(out, value);
    out += '"';
}
void attribute(std::string& out, const char* name, Num value) { attribute(out, name, number_text(value)); }

std::string numbers(const std::vector<Num>& values) {
    std::string s;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) s += ' ';
        s += number_text(values[i]);
    }
    return s;
}

// What a reader of the file looks for first: the kind of thing and its data.
void identity(std::string& out, const Node& n) {
    if (!n.cls.empty()) attribute(out, "class", n.cls);
    if (!n.id.empty()) attribute(out, "id", n.id);
    for (const auto& [name, value] : n.data) attribute(out, ("data-" + name).c_str(), value);
}

void presentation(std::string& out, const Style& s) {
    if (s.font_size) attribute(out, "font-size", *s.font_size);
    if (s.fill) attribute(out, "fill", colour_text(*s.fill));
    if (s.fill_opacity) attribute(out, "fill-opacity", *s.fill_opacity);
    if (s.stroke) attribute(out, "stroke", colour_text(*s.stroke));
    if (s.stroke_width) attribute(out, "stroke-width", *s.stroke_width);
    if (!s.dashes.empty()) attribute(out, "stroke-dasharray", numbers(s.dashes));
    if (s.anchor == Anchor::kStart) attribute(out, "text-anchor", "start");
    if (s.anchor == Anchor::kMiddle) attribute(out, "text-anchor", "middle");
    if (s.anchor == Anchor::kEnd) attribute(out, "text-anchor", "end");
    if (s.bold) attribute(out, "font-weight", "bold");
    if (s.round) {
        attribute(out, "stroke-linecap", "round");
        attribute(out, "stroke-linejoin", "round");
    }
}

// The runs of a line of text. The shift of a subscript is undone by the run
// after it, so the baseline ends where it started.
void runs(std::string& out, const Runs& runs, double size) {
    const std::string shift = number_text(page(size * 0.28));
    bool lowered = false;
    for (const Run& r : runs) {
        if (r.sub) {
            out += "<tspan dy=\"" + shift + "\" font-size=\"" + number_text(page(size * 0.72)) + "\">";
            escaped(out, r.text);
            out += "</tspan>";
            lowered = true;
        } else if (lowered) {
            // A blank at the start of a run may be dropped by a renderer: a gap instead.
            const bool blank = !r.text.empty() && r.text[0] == ' ';
            out += "<tspan dy=\"-" + shift + "\"" + (blank ? " dx=\"" + number_text(page(size * 0.28)) + "\"" : "") + ">";
            escaped(out, r.text.substr(blank ? 1 : 0));
            out += "</tspan>";
            lowered = false;
        } else {
            escaped(out, r.text);
        }
    }
    if (lowered) out += "<tspan dy=\"-" + shift + "\"></tspan>";
}

void write(std::string& out, const Node& n, double font_size) {
    if (n.style.font_size) font_size = n.style.font_size->v;
    switch (n.kind) {
    case Node::Kind::kGroup: {
        if (n.clip) {
            const std::vector<Num>& c = *n.clip;
            out += "<defs><clipPath id=\"" + n.clip_id + "\"><rect";
            attribute(out, "x", c[0]);
            attribute(out, "y", c[1]);
            attribute(out, "width", c[2]);
            attribute(out, "height", c[3]);
            out += "/></clipPath></defs>\n";
        }
        out += "<g";
        identity(out, n);
        if (n.transform.kind == Transform::Kind::kMatrix) {
            attribute(out, "transform", "matrix(" + number_text(n.transform.a) + " 0 0 " + number_text(n.transform.d) +
                                            " " + number_text(n.transform.e) + " " + number_text(n.transform.f) + ")");
        } else if (n.transform.kind == Transform::Kind::kTranslate) {
            std::string t = "translate(" + number_text(n.transform.e) + " " + number_text(n.transform.f) + ")";
            if (n.transform.degrees != 0) t += " rotate(" + std::to_string(n.transform.degrees) + ")";
            attribute(out, "transform", t);
        }
        if (n.clip) attribute(out, "clip-path", "url(#" + n.clip_id + ")");
        presentation(out, n.style);
        out += ">\n";
        for (const Node& child : n.children) write(out, child, font_size);
        out += "</g>\n";
        return;
    }
    case Node::Kind::kPolyline: {
        out += "<polyline";
        identity(out, n);
        presentation(out, n.style);
        std::string points;
        for (std::size_t i = 0; i < n.points.size(); ++i) {
            if (i) points += ' ';
            points += number_text(n.points[i].x) + "," + number_text(n.points[i].y);
        }
        attribute(out, "points", points);
        out += "/>\n";
        return;
    }
    case Node::Kind::kLine:
        out += "<line";
        identity(out, n);
        attribute(out, "x1", n.points[0].x);
        attribute(out, "y1", n.points[0].y);
        attribute(out, "x2", n.points[1].x);
        attribute(out, "y2", n.points[1].y);
        presentation(out, n.style);
        out += "/>\n";
        return;
    case Node::Kind::kRect:
        out += "<rect";
        identity(out, n);
        // The page's own rectangles start at its corner: no position to write.
        if (n.points[0].x.v != 0 || n.points[0].y.v != 0) {
            attribute(out, "x", n.points[0].x);
            attribute(out, "y", n.points[0].y);
        }
        attribute(out, "width", n.points[1].x);
        attribute(out, "height", n.points[1].y);
        presentation(out, n.style);
        out += "/>\n";
        return;
    case Node::Kind::kCircle:
        out += "<circle";
        identity(out, n);
        attribute(out, "cx", n.points[0].x);
        attribute(out, "cy", n.points[0].y);
        attribute(out, "r", n.r);
        presentation(out, n.style);
        out += "/>\n";
        return;
    case Node::Kind::kGrid: {
        out += "<path";
        identity(out, n);
        presentation(out, n.style);
        std::string d;
        for (std::size_t i = 0; i + 1 < n.points.size(); i += 2) {
            const Pt& a = n.points[i];
            const Pt& b = n.points[i + 1];
            d += "M" + number_text(a.x) + " " + number_text(a.y);
            d += a.x.v == b.x.v ? "V" + number_text(b.y) : "H" + number_text(b.x);
        }
        attribute(out, "d", d);
        out += "/>\n";
        return;
    }
    case Node::Kind::kText:
        out += "<text";
        identity(out, n);
        attribute(out, "x", n.points[0].x);
        attribute(out, "y", n.points[0].y);
        presentation(out, n.style);
        out += '>';
        runs(out, n.runs, font_size);
        out += "</text>\n";
        return;
    }
}

}  // namespace

std::string number_text(Num n) {
    if (!std::isfinite(n.v)) return "0";
    if (n.digits == Num::kExact) return core::double_to_text(n.v);
    // Rounded as printf would, in any locale; several times faster than
    // printf, which matters at a few hundred points a diagram.
    char buf[400];  // 309 integer digits at most, the sign, the point, the decimals
    const auto written = std::to_chars(buf, buf + sizeof buf, n.v, std::chars_format::fixed, n.digits);
    return std::string(buf, written.ec == std::errc() ? written.ptr : buf);
}

std::string to_svg(const Scene& scene) {
    const std::string w = number_text(page(scene.width)), h = number_text(page(scene.height));
    std::string out;
    out.reserve(40000);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + w + "\" height=\"" + h +
           "\" viewBox=\"0 0 " + w + " " + h + "\" font-family=\"" + kFonts + "\" fill=\"#222222\">\n";
    out += "<title>";
    escaped(out, scene.title);
    out += "</title>\n";
    out += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
    for (const Node& child : scene.root.children) write(out, child, 16);
    out += "</svg>\n";
    return out;
}

}  // namespace veltrano::diagram
