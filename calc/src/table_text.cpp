#include "table_text.h"

#include "veltrano/calc/errors.h"
#include "veltrano/core/error_report.h"

namespace veltrano::calc::table_text {

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// The length of the UTF-8 sequence at `s[i]`, or 0 when it is malformed or
// a control character other than TAB, CR and LF: what a binary file holds.
std::size_t text_sequence(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = byte(i);
    if (b < 0x80) return (b >= 0x20 || b == '\t' || b == '\n' || b == '\r') && b != 0x7f ? 1 : 0;
    const std::size_t n = b >= 0xc2 && b <= 0xdf ? 2 : b >= 0xe0 && b <= 0xef ? 3 : b >= 0xf0 && b <= 0xf4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) return 0;
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((b == 0xe0 && byte(i + 1) < 0xa0) || (b == 0xed && byte(i + 1) > 0x9f) ||
        (b == 0xf0 && byte(i + 1) < 0x90) || (b == 0xf4 && byte(i + 1) > 0x8f)) {
        return 0;
    }
    return n;
}

}  // namespace

void fail(const std::string& origin, std::size_t line, const std::string& why) {
    throw core::RunError(kInvalidArgument,
                         origin + (line > 0 ? " 第 " + std::to_string(line) + " 行：" : "：") + why);
}

void for_each_line(std::string_view text, const std::string& origin, bool comments_anywhere,
                   const std::function<void(std::size_t, std::string_view)>& each) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        for (std::size_t i = 0; i < line.size();) {
            const std::size_t n = text_sequence(line, i);
            if (n == 0) fail(origin, number, "不是 UTF-8 文本（含控制字符或无效字节，像是二进制文件）");
            i += n;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (comments_anywhere) line = line.substr(0, line.find('#'));
        while (!line.empty() && blank(line.back())) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        each(number, line);
    }
}

double read_number(std::string_view text, char decimal, const std::string& origin, std::size_t line,
                   const std::string& what) {
    const std::string_view t = trimmed(text);
    // Only what a written number holds: the core reader then takes it whole
    // or not at all (no "nan", "inf", hexadecimal or grouping).
    for (const char c : t) {
        const bool digit = c >= '0' && c <= '9';
        if (!(digit || c == decimal || c == '+' || c == '-' || c == 'e' || c == 'E')) {
            fail(origin, line, what + " “" + core::quote_excerpt(t) + "” 不是一个数");
        }
    }
    try {
        return core::text_to_double(t, core::NumberFormat{std::string(1, decimal), ""});
    } catch (const core::RunError&) {
        fail(origin, line,
             what + " “" + core::quote_excerpt(t) +
                 (t.empty() ? "” 是空的，需要一个数" : "” 不是一个有限的数"));
    }
}

Row::Row(const std::string& origin, std::size_t line, std::string_view text) : origin_(origin), line_(line) {
    for (;;) {
        const std::size_t tab = text.find('\t');
        fields_.emplace_back(trimmed(text.substr(0, tab)));
        if (tab == std::string_view::npos) break;
        text.remove_prefix(tab + 1);
    }
    while (!fields_.empty() && fields_.back().empty()) fields_.pop_back();
}

void Row::fail(const std::string& why) const { table_text::fail(origin_, line_, why); }

void Row::expect_fields(std::size_t least, std::size_t most) const {
    if (fields_.size() < least || fields_.size() > most) {
        fail("有 " + std::to_string(fields_.size()) + " 栏，应有 " + std::to_string(least) +
             (least == most ? "" : "–" + std::to_string(most)) + " 栏（以制表符分隔）");
    }
}

std::string Row::text(std::size_t i) const { return i < fields_.size() ? fields_[i] : std::string(); }

std::string Row::name(std::size_t i, const char* what) const {
    std::string s = text(i);
    if (s.empty()) fail(std::string(what) + " 一栏是空的");
    return s;
}

double Row::number(std::size_t i, const char* what) const {
    return read_number(text(i), '.', origin_, line_, std::string(what) + " 一栏的");
}

void for_each_row(std::string_view text, const std::string& origin, const std::function<void(const Row&)>& each) {
    for_each_line(text, origin, false, [&](std::size_t line, std::string_view content) { each(Row(origin, line, content)); });
}

}  // namespace veltrano::calc::table_text
