// The Windows icon file: exactly eight images, 48, 32, 24 and 16 px, each
// once as a 256-colour palette image and once as a 32-bit image, every one a
// well-formed bitmap inside the file.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::uint32_t le(const std::vector<unsigned char>& d, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | d.at(at + static_cast<std::size_t>(i));
    return v;
}

TEST(Icon, HoldsEightBitmapsPaletteAndTrueColourAtFourSizes) {
    std::ifstream in(VELTRANO_ICO_FILE, std::ios::binary);
    ASSERT_TRUE(in) << VELTRANO_ICO_FILE;
    const std::vector<unsigned char> d{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GE(d.size(), 6u);
    EXPECT_EQ(le(d, 0, 2), 0u);
    EXPECT_EQ(le(d, 2, 2), 1u) << "not an icon";
    ASSERT_EQ(le(d, 4, 2), 8u);

    std::set<std::pair<std::uint32_t, std::uint32_t>> seen;  // (size, bits)
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t e = 6 + 16 * i;
        const std::uint32_t width = le(d, e, 1), height = le(d, e + 1, 1);
        const std::uint32_t colours = le(d, e + 2, 1), bits = le(d, e + 6, 2);
        const std::uint32_t size = le(d, e + 8, 4), offset = le(d, e + 12, 4);
        SCOPED_TRACE(testing::Message() << "image " << i << ": " << width << " px, " << bits << " bit");
        EXPECT_EQ(width, height);
        ASSERT_LE(std::uint64_t{offset} + size, d.size());
        // A DIB: header size 40, height doubled for the AND mask, bits as listed.
        ASSERT_GE(size, 40u);
        EXPECT_EQ(le(d, offset, 4), 40u);
        EXPECT_EQ(le(d, offset + 4, 4), width);
        EXPECT_EQ(le(d, offset + 8, 4), 2 * height);
        EXPECT_EQ(le(d, offset + 14, 2), bits);
        if (bits == 8) {
            EXPECT_EQ(colours, 0u) << "a 256-colour palette is written as 0";
            const std::uint32_t used = le(d, offset + 32, 4);
            EXPECT_TRUE(used == 0 || used == 256) << used;
        }
        // Palette, pixel rows (padded to 4 bytes) and the 1-bit AND mask all fit.
        const std::uint32_t row = (width * bits + 31) / 32 * 4, mask_row = (width + 31) / 32 * 4;
        const std::uint32_t palette = bits == 8 ? 256 * 4 : 0;
        EXPECT_EQ(size, 40 + palette + height * (row + mask_row));
        seen.insert({width, bits});
    }
    const std::set<std::pair<std::uint32_t, std::uint32_t>> expected = {
        {48, 8}, {48, 32}, {32, 8}, {32, 32}, {24, 8}, {24, 32}, {16, 8}, {16, 32}};
    EXPECT_EQ(seen, expected);
}

}  // namespace
