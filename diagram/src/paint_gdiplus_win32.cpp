#include "veltrano/diagram/paint_gdiplus.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "gdiplus_win32.h"

namespace veltrano::diagram {

using namespace gdiplus;

namespace {

// The faces tried for the texts, in order: Chinese glyphs on Windows from
// Vista on (YaHei, SimHei) and under Wine (WenQuanYi from the system, SimSun
// as Wine's prefixes replace it), then whatever the system sets its
// messages in.
std::vector<std::wstring> candidate_faces() {
    std::vector<std::wstring> faces = {L"Microsoft YaHei", L"SimHei", L"WenQuanYi Micro Hei", L"SimSun"};
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        faces.emplace_back(metrics.lfMessageFont.lfFaceName);
    }
    faces.insert(faces.end(), {L"Segoe UI", L"Tahoma", L"Arial"});
    return faces;
}

// Whether GDI+ smooths the edges of shapes: a slanting line shows greys
// between its black and the white page. Wine's GDI+ (8.0) fills every
// shape without antialiasing, whatever the smoothing mode; only its text
// is smoothed.
bool smooths_shapes() {
    constexpr int kSide = 16;
    std::vector<std::uint32_t> bits(kSide * kSide);
    Scene probe;
    probe.width = probe.height = kSide;
    probe.root = group();
    probe.root.children.push_back(line({page(1), page(2)}, {page(15), page(11)}, 0x000000, page(1.5)));
    const double ascent[2] = {0.8, 0.8};
    if (paint_directly(probe, {bits.data(), kSide, kSide}, 1, nullptr, ascent)) return true;
    return std::any_of(bits.begin(), bits.end(), [](std::uint32_t p) {
        const std::uint32_t blue = p & 0xFF;
        return blue != 0 && blue != 0xFF;
    });
}

// `big`, `samples` times as wide and as high as `pixels`, averaged down
// onto it: each pixel the mean of its samples, channel by channel.
void average_down(const std::vector<std::uint32_t>& big, const PixelRows& pixels, int samples) {
    const std::size_t big_width = static_cast<std::size_t>(pixels.width) * samples;
    const std::uint32_t count = static_cast<std::uint32_t>(samples * samples);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(pixels.width) * 4);
    for (int y = 0; y < pixels.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (int sy = 0; sy < samples; ++sy) {
            const std::uint32_t* row = big.data() + (static_cast<std::size_t>(y) * samples + sy) * big_width;
            for (std::size_t bx = 0; bx < big_width; ++bx) {
                std::uint32_t* sum = &sums[bx / samples * 4];
                const std::uint32_t p = row[bx];
                sum[0] += p & 0xFF;
                sum[1] += (p >> 8) & 0xFF;
                sum[2] += (p >> 16) & 0xFF;
                sum[3] += p >> 24;
            }
        }
        std::uint32_t* out = pixels.bits + static_cast<std::size_t>(y) * pixels.width;
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t* sum = &sums[static_cast<std::size_t>(x) * 4];
            const auto mean = [&](int channel) { return (sum[channel] + count / 2) / count; };
            out[x] = mean(0) | mean(1) << 8 | mean(2) << 16 | mean(3) << 24;
        }
    }
}

}  // namespace

// ---- the face

struct GdiplusPainter::Setup {
    FontFamily family;
    std::wstring face;
    // The baseline below the top of a line, in ems, by style (regular, bold).
    double ascent[2] = {0.8, 0.8};
    // Samples per pixel along each side: 1 where GDI+ antialiases.
    int supersampling = 1;
};

GdiplusPainter::GdiplusPainter() : setup_(std::make_unique<Setup>()) {
    for (const std::wstring& face : candidate_faces()) {
        gp::GpFontFamily* family = nullptr;
        if (face.empty() || api().GdipCreateFontFamilyFromName(face.c_str(), nullptr, &family) != gp::Ok) continue;
        FontFamily held(family);
        BOOL regular = FALSE;
        if (api().GdipIsStyleAvailable(family, gp::FontStyleRegular, &regular) != gp::Ok || !regular) continue;
        WCHAR name[LF_FACESIZE] = {};
        setup_->face = api().GdipGetFamilyName(family, name, LANG_NEUTRAL) == gp::Ok ? name : face;
        for (int bold = 0; bold < 2; ++bold) {
            const INT style = bold ? gp::FontStyleBold : gp::FontStyleRegular;
            UINT16 em = 0, ascent = 0;
            if (api().GdipGetEmHeight(family, style, &em) == gp::Ok &&
                api().GdipGetCellAscent(family, style, &ascent) == gp::Ok && em > 0 && ascent > 0) {
                setup_->ascent[bold] = static_cast<double>(ascent) / em;
            }
        }
        setup_->family = std::move(held);
        break;
    }
    // Two by two: five levels of cover, enough for smooth edges on a
    // screen. Three by three costs twice the time (0.1 s a window at 96
    // DPI under Wine) and draws Wine's thin lines lighter, not better.
    setup_->supersampling = smooths_shapes() ? 1 : 2;
}

GdiplusPainter::~GdiplusPainter() = default;

const std::wstring& GdiplusPainter::face() const { return setup_->face; }

int GdiplusPainter::supersampling() const { return setup_->supersampling; }

// ---- painting

std::optional<GdiplusFailure> GdiplusPainter::paint(const Scene& scene, const PixelRows& pixels, double scale,
                                                    bool draft) const {
    if (pixels.bits == nullptr || pixels.width <= 0 || pixels.height <= 0) return std::nullopt;
    const int samples = draft ? 1 : setup_->supersampling;
    if (samples == 1) return paint_directly(scene, pixels, scale, setup_->family.get(), setup_->ascent);
    // Without smooth edges from GDI+: painted at `samples` times the size and
    // averaged down, the edges smooth all the same.
    std::vector<std::uint32_t> big(static_cast<std::size_t>(pixels.width) * samples * pixels.height * samples);
    const std::optional<GdiplusFailure> failure = paint_directly(
        scene, {big.data(), pixels.width * samples, pixels.height * samples}, scale * samples, setup_->family.get(),
        setup_->ascent);
    average_down(big, pixels, samples);
    return failure;
}

}  // namespace veltrano::diagram
