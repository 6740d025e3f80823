// The numbering of the staircase's steps: each stage's number out from its
// corner along the curve's normal, crowded neighbours moved together onto a
// line parallel to the curve with a leader each, then kept inside their room
// and clear of what is drawn already; and the numbers written as texts.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "draw.h"

namespace veltrano::diagram::draw {

double StepLabel::extent(double ux, double uy) const { return std::abs(ux) * w / 2 + std::abs(uy) * h / 2; }

Point StepLabel::leader_end() const {
    const double e = extent(nx, ny);
    return {lx - nx * e, ly - ny * e};
}

constexpr double kStepFont = 11;

std::vector<StepLabel> place_step_numbers(const Frame& frame, const std::vector<Corner>& corners, int feed,
                                          const Box& allowed, const std::vector<Box>& taken, bool clear_leaders) {
    constexpr double kFont = kStepFont, kGap = 6, kRailGap = 14;
    std::vector<StepLabel> labels;
    labels.reserve(corners.size());
    for (const Corner& c : corners) {
        // Its normal towards the upper left, on the page.
        const double slope = c.slope;
        const double norm = std::hypot(slope, 1.0);
        StepLabel l{c.stage, frame.page_x(c.x), frame.page_y(c.y), -slope / norm, -1.0 / norm, 0, kFont + 2,
                    std::to_string(c.stage) + (c.stage == feed ? " 进料板" : "")};
        l.w = text_ems(l.text) * kFont + 2;
        l.offset = c.offset;
        l.leader = c.offset > 4;
        const double d = kGap + (l.offset + l.extent(l.nx, l.ny));
        l.lx = l.cx + l.nx * d;
        l.ly = l.cy + l.ny * d;
        labels.push_back(l);
    }

    // Runs of neighbours [first, last] placed together; a run that collides
    // with the next one joins it, until none does.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    for (std::size_t i = 0; i < labels.size(); ++i) runs.push_back({i, i});
    const auto place = [&](std::size_t first, std::size_t last) {
        if (first == last) return;
        double cx = 0, cy = 0, nx = 0, ny = 0;
        for (std::size_t i = first; i <= last; ++i) {
            cx += labels[i].cx;
            cy += labels[i].cy;
            nx += labels[i].nx;
            ny += labels[i].ny;
        }
        const double count = static_cast<double>(last - first + 1), nn = std::hypot(nx, ny);
        cx /= count;
        cy /= count;
        nx = nn > 0 ? nx / nn : -std::sqrt(0.5);  // normals that cancel out: up and to the left
        ny = nn > 0 ? ny / nn : -std::sqrt(0.5);
        // Along the rail, in the direction of rising plate number.
        double tx = -ny, ty = nx;
        if ((labels[last].cx - labels[first].cx) * tx + (labels[last].cy - labels[first].cy) * ty < 0) {
            tx = -tx;
            ty = -ty;
        }
        double out_by = 0;
        for (std::size_t i = first; i <= last; ++i) {
            out_by = std::max(out_by, labels[i].offset + labels[i].extent(nx, ny));
        }
        const double rail = kGap + out_by + kRailGap;
        // Each label as near its corner as the one before allows, then the
        // whole run centred on its corners.
        std::vector<double> at;
        double wanted_sum = 0;
        for (std::size_t i = first; i <= last; ++i) {
            const double wanted = (labels[i].cx - cx) * tx + (labels[i].cy - cy) * ty;
            wanted_sum += wanted;
            if (i == first) {
                at.push_back(wanted);
            } else {
                // Clear of the one before along x or along y, whichever comes first.
                const double wide = (labels[i - 1].w + labels[i].w) / 2 / std::max(std::abs(tx), 1e-9);
                const double high = (labels[i - 1].h + labels[i].h) / 2 / std::max(std::abs(ty), 1e-9);
                const double apart = std::min(wide, high) + 1;
                at.push_back(std::max(wanted, at.back() + apart));
            }
        }
        const auto put = [&] {
            double at_sum = 0;
            for (const double a : at) at_sum += a;
            const double shift = (wanted_sum - at_sum) / count;
            for (std::size_t i = first; i <= last; ++i) {
                StepLabel& l = labels[i];
                l.lx = cx + nx * rail + tx * (at[i - first] + shift);
                l.ly = cy + ny * rail + ty * (at[i - first] + shift);
                l.leader = true;
            }
        };
        put();
        // A wide number (the feed stage's) can reach across its neighbour's
        // leader: the rest of the run moves along until none does.
        for (std::size_t i = first + 1; clear_leaders && i <= last; ++i) {
            for (int tries = 0; tries < 100 && (label_hits(labels[i], labels[i - 1]) ||
                                                label_hits(labels[i - 1], labels[i]));
                 ++tries) {
                for (std::size_t j = i; j <= last; ++j) at[j - first] += 2;
                put();
            }
        }
    };
    // Two runs collide where a label of one covers a label or a leader of the
    // other; they become one, with every run between them.
    const auto hits = [&](const StepLabel& l, const StepLabel& other) {
        if (l.box().overlaps(other.box())) return true;
        const double e = other.extent(other.nx, other.ny);
        return other.leader && crosses(l.box(), {other.cx, other.cy}, {other.lx - other.nx * e, other.ly - other.ny * e});
    };
    const auto collision = [&]() -> std::optional<std::pair<std::size_t, std::size_t>> {
        for (std::size_t a = 0; a < runs.size(); ++a) {
            for (std::size_t b = a + 1; b < runs.size(); ++b) {
                for (std::size_t i = runs[a].first; i <= runs[a].second; ++i) {
                    for (std::size_t j = runs[b].first; j <= runs[b].second; ++j) {
                        if (hits(labels[i], labels[j]) || hits(labels[j], labels[i])) return std::make_pair(a, b);
                    }
                }
            }
        }
        return std::nullopt;
    };
    while (const auto hit = collision()) {
        const auto [a, b] = *hit;
        runs[a].second = runs[b].second;
        runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(a) + 1, runs.begin() + static_cast<std::ptrdiff_t>(b) + 1);
        place(runs[a].first, runs[a].second);
    }

    for (StepLabel& l : labels) {
        const double lx = std::clamp(l.lx, allowed.x0 + l.w / 2, allowed.x1 - l.w / 2);
        const double ly = std::clamp(l.ly, allowed.y0 + l.h / 2, allowed.y1 - l.h / 2);
        if (std::hypot(lx - l.lx, ly - l.ly) > 3) l.leader = true;
        l.lx = lx;
        l.ly = ly;
    }
    for (StepLabel& l : labels) {
        // Clear of the legend and the composition marks: further out.
        for (int tries = 0; tries < 12; ++tries) {
            const Box b = l.box();
            if (std::none_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(b); })) break;
            l.lx += l.nx * 6;
            l.ly += l.ny * 6;
            l.leader = true;
        }
    }
    return labels;
}

bool label_hits(const StepLabel& l, const StepLabel& other) {
    return l.box().overlaps(other.box()) ||
           (other.leader && crosses(l.box(), {other.cx, other.cy}, other.leader_end()));
}

void write_step_numbers(Node& parent, const std::vector<StepLabel>& labels, int feed, std::string inset) {
    constexpr double kFont = kStepFont;
    Node g = group("step-numbers");
    if (!inset.empty()) g.data.push_back({"inset", std::move(inset)});
    g.style.font_size = page(kFont);
    g.style.anchor = Anchor::kMiddle;
    for (const StepLabel& l : labels) {
        const bool is_feed = l.stage == feed;
        if (l.leader) {
            const Point end = l.leader_end();
            Node leader = line({page(l.cx + l.nx * 2), page(l.cy + l.ny * 2)}, {page(end.x), page(end.y)},
                               is_feed ? kFeedColour : 0x9a9a9a, fixed(0.7, 1));
            leader.cls = "leader";
            g.children.push_back(std::move(leader));
        }
        Node t = text(page(l.lx), page(l.ly + kFont * 0.36), {{l.text}});
        t.cls = is_feed ? "step-number feed" : "step-number";
        t.data.push_back({"plate", std::to_string(l.stage)});
        if (is_feed) {
            t.style.fill = kFeedColour;
            t.style.bold = true;
        }
        g.children.push_back(std::move(t));
    }
    parent.children.push_back(std::move(g));
}

}  // namespace veltrano::diagram::draw
