// The shared number parser under the separators of three locales, and the
// texts the program writes back.
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "veltrano/core/number_text.h"
#include "veltrano/testkit/raised.h"

namespace veltrano::core {
namespace {

const NumberFormat kC{".", ""};
const NumberFormat kChinese{".", ","};
const NumberFormat kGerman{",", "."};
const NumberFormat kFrench{",", "\u202F"};  // narrow no-break space groups

// 0 on success with *value set, else the error number.
int parse(const std::string& text, const NumberFormat& format, double* value = nullptr) {
    return testkit::raised_by([&] {
               const double v = text_to_double(text, format);
               if (value) *value = v;
           }).number;
}

struct Accepted { const char* text; const NumberFormat* format; double value; };

TEST(TextToDouble, AcceptsTheNumberFormsOfTheLocale) {
    const Accepted cases[] = {
        {"2.5", &kC, 2.5},           {" 2.5 ", &kC, 2.5},         {"\t100\t", &kC, 100},
        {"\u3000" "0.95\u3000", &kChinese, 0.95},                 {"+3", &kC, 3},
        {"-0.5", &kC, -0.5},         {".5", &kC, 0.5},            {"5.", &kC, 5},
        {"1e3", &kC, 1000},          {"1E-2", &kC, 0.01},         {"2.5e+1", &kC, 25},
        {"007", &kC, 7},             {"0.1", &kC, 0.1},
        {"1,234.5", &kChinese, 1234.5}, {"12,345,678", &kChinese, 12345678},
        {"1234.5", &kChinese, 1234.5},  {"1.234,5", &kGerman, 1234.5},
        {"2,5", &kGerman, 2.5},      {" 0,95 ", &kGerman, 0.95},
        {"1\u202F950,5", &kFrench, 1950.5}, {"0,950", &kFrench, 0.95}, {"1,950", &kGerman, 1.95},
        {"1.7976931348623157e308", &kC, DBL_MAX},
        {"4.9e-324", &kC, 4.9e-324}, {"1e-310", &kC, 1e-310},    {"1e-400", &kC, 0.0},
        {"0.30000000000000004", &kC, 0.30000000000000004},
    };
    for (const auto& c : cases) {
        double value = NAN;
        EXPECT_EQ(parse(c.text, *c.format, &value), 0) << c.text;
        EXPECT_EQ(value, c.value) << c.text;  // bit-exact: correctly rounded
    }
    double value = 1;
    ASSERT_EQ(parse("-1e-400", kC, &value), 0);
    EXPECT_TRUE(value == 0.0 && std::signbit(value));
}

TEST(TextToDouble, RejectsWhatIsNotANumber) {
    struct Rejected { const char* text; const NumberFormat* format; int error; };
    const Rejected cases[] = {
        {"", &kC, 13},       {"   ", &kC, 13},     {"abc", &kC, 13},     {"nan", &kC, 13},
        {"inf", &kC, 13},    {"-Infinity", &kC, 13}, {"0x10", &kC, 13},  {"1e", &kC, 13},
        {"1e+", &kC, 13},    {".", &kC, 13},       {"-", &kC, 13},       {"+-1", &kC, 13},
        {"1 2", &kC, 13},    {"2.5x", &kC, 13},    {"１２", &kC, 13},
        // Grouping only between complete groups of three: "1,5" is not 15.
        {"1,5", &kChinese, 13},  {"1,2345", &kChinese, 13}, {"1234,567", &kChinese, 13},
        {",123", &kChinese, 13}, {"1,,234", &kChinese, 13}, {"1.234,5", &kChinese, 13},
        {"1,234", &kC, 13},      {"2.5", &kGerman, 13},     {"0.95", &kGerman, 13},
        {"1,5e2,0", &kGerman, 13},
        // A grouped number starts with 1-9: a fraction in the other notation is
        // never read as hundreds.
        {"0,950", &kChinese, 13}, {"0.950", &kGerman, 13},  {"0\u202F950", &kFrench, 13},
        {"-0,950", &kChinese, 13}, {"00,950", &kChinese, 13}, {"0,950,000", &kChinese, 13},
        // Controls are not blanks, whatever surrounds them.
        {"2.5\n", &kC, 13},      {"\x1B[2J2.5", &kC, 13},   {"2\x01.5", &kC, 13},
        {"1e400", &kC, 6},   {"-1e309", &kC, 6},   {"1.8e308", &kC, 6},
        {"1e99999999999", &kC, 6},   {"1e-99999999999", &kC, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.text, *c.format), c.error) << c.text;
    EXPECT_EQ(parse("1" + std::string(400, '0'), kC), 6);
    EXPECT_EQ(parse("0." + std::string(400, '0') + "1", kC), 0);
}

TEST(TextToDouble, DescriptionNamesTheFieldAndQuotesTheTextSafely) {
    struct Case { std::string text; const char* description; const char* symbol = ""; };
    const Case cases[] = {
        {"abc", "类型不匹配：“回流比”一栏的“abc”不是一个数"},
        // The symbol, when given, is how the tooltip and the manual name the field.
        {"", "类型不匹配：“回流比”（R）一栏的内容为空，需要一个数", "R"},
        {"1e400", "溢出：“回流比”（R）一栏的“1e400”超出双精度数的范围", "R"},
        {"", "类型不匹配：“回流比”一栏的内容为空，需要一个数"},
        {" \u3000\t", "类型不匹配：“回流比”一栏的内容只有空白，需要一个数"},
        // One line whatever was pasted, and nothing a terminal would obey.
        {"2.5\n\x1B[2J", "类型不匹配：“回流比”一栏的“2.5\\n\\x1B[2J”不是一个数"},
        // At most 40 characters of a long paste.
        {std::string(120000, '7') + "x", "类型不匹配：“回流比”一栏的“7777777777777777777777777777777777777777…”不是一个数"},
        {"1e400", "溢出：“回流比”一栏的“1e400”超出双精度数的范围"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(testkit::raised_by([&] { text_to_double(c.text, kC, "回流比", c.symbol); }).description, c.description);
    }
}

TEST(NumberToText, ShortIntegersAndShortestDoubles) {
    EXPECT_EQ(short_to_text(5), "5");
    EXPECT_EQ(short_to_text(0), "0");
    EXPECT_EQ(short_to_text(-32768), "-32768");
    EXPECT_EQ(short_to_text(32767), "32767");
    for (double v : {0.1, 0.95, 1.0 / 3, 4.9e-324, DBL_MAX, -2.5e-8, 100.0}) {
        const std::string text = double_to_text(v);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    }
    EXPECT_EQ(double_to_text(0.95), "0.95");
    EXPECT_EQ(double_to_text(100.0), "100");
}

}  // namespace
}  // namespace veltrano::core
