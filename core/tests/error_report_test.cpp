// What the user is shown of an error, and the one catch around a press.
#include <string>

#include <gtest/gtest.h>

#include "veltrano/core/error_report.h"
#include "veltrano/core/number_text.h"
#include "veltrano/core/run_error.h"

namespace veltrano::core {
namespace {

TEST(ErrorReport, OneReportForTheBoxAndTheCommandLine) {
    const ErrorReport r = error_report(RunError(kTypeMismatch, "“进料流率F”一栏的内容为空"));
    EXPECT_EQ(r.title, "Veltrano");
    EXPECT_EQ(r.box_text(), "运行时错误 13\n\n类型不匹配：“进料流率F”一栏的内容为空");
    EXPECT_EQ(r.line(), "error 13: 类型不匹配：“进料流率F”一栏的内容为空");

    // A call that timed out (RPC_E_TIMEOUT): the status as a signed number, as
    // the error carries it, and in hex as the platform writes it.
    const auto status = static_cast<std::int32_t>(0x8001011Fu);
    const ErrorReport automation = error_report(RunError::automation(status, "写入单元格 D2\nmore"));
    EXPECT_LT(status, 0);
    EXPECT_EQ(automation.number, status);
    EXPECT_EQ(automation.line(),
              "error " + std::to_string(status) + ": 自动化错误：写入单元格 D2\\nmore（状态 0x8001011F）");
}

TEST(ErrorReport, ControlsAreShownEscapedAndLongTextsCut) {
    struct Case { std::string text; std::size_t max; std::string shown; };
    const Case cases[] = {
        {"0.95", 40, "0.95"},
        {"进料\u3000板", 40, "进料\u3000板"},
        {"a\nb\rc\td", 40, "a\\nb\\rc\\td"},
        {"\x1B]0;title\x07", 40, "\\x1B]0;title\\x07"},
        {"\x7F\u009B2J", 40, "\\x7F\\u009B2J"},           // DEL, and the C1 CSI
        {"abc\u202Efed", 40, "abc\\u202Efed"},            // right-to-left override
        {"\xFF\xC0\x80\xE4\xB8", 40, "\\xFF\\xC0\\x80\\xE4\\xB8"},  // not UTF-8
        {"12345", 3, "123…"},
        {"一二三四", 2, "一二…"},                          // cut between characters, not bytes
        {"123", 3, "123"},
    };
    for (const Case& c : cases) EXPECT_EQ(quote_excerpt(c.text, c.max), c.shown) << c.shown;
    EXPECT_EQ(escape_controls(std::string(100, 'x') + "\n"), std::string(100, 'x') + "\\n");
}

TEST(RunPress, CatchesOnlyTheRunErrorOfThePress) {
    EXPECT_FALSE(run_press([] {}));
    const auto report = run_press([] { throw RunError(kOverflow); });
    ASSERT_TRUE(report);
    EXPECT_EQ(report->heading, "运行时错误 6");
    EXPECT_THROW(run_press([] { throw std::logic_error("a bug is not a run-time error"); }), std::logic_error);
}

}  // namespace
}  // namespace veltrano::core
