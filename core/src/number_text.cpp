#include "veltrano/core/number_text.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "veltrano/core/run_error.h"
#include "veltrano/core/error_report.h"

namespace veltrano::core {


namespace {

// Blanks a user may leave around a number: ASCII space and tab, the no-break
// space and the ideographic (full-width) space of Chinese input methods.
std::size_t blank_length(std::string_view s) {
    for (std::string_view blank : {" ", "\t", "\u00A0", "\u3000"}) {
        if (s.substr(0, blank.size()) == blank) return blank.size();
    }
    return 0;
}

std::string_view trim(std::string_view s) {
    for (std::size_t n; (n = blank_length(s)) != 0;) s.remove_prefix(n);
    for (bool more = true; more && !s.empty();) {
        more = false;
        for (std::string_view blank : {" ", "\t", "\u00A0", "\u3000"}) {
            if (s.size() >= blank.size() && s.substr(s.size() - blank.size()) == blank) {
                s.remove_suffix(blank.size());
                more = true;
            }
        }
    }
    return s;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool take(std::string_view& s, std::string_view prefix) {
    if (prefix.empty() || s.substr(0, prefix.size()) != prefix) return false;
    s.remove_prefix(prefix.size());
    return true;
}

std::size_t take_digits(std::string_view& s, std::string& out) {
    std::size_t n = 0;
    while (n < s.size() && is_digit(s[n])) ++n;
    out.append(s.substr(0, n));
    s.remove_prefix(n);
    return n;
}

// Rewrites the user's text in the C form that from_chars reads, or fails.
bool to_c_form(std::string_view s, const NumberFormat& format, std::string& c_form) {
    if (s.empty()) return false;
    if (s.front() == '+' || s.front() == '-') {
        if (s.front() == '-') c_form += '-';
        s.remove_prefix(1);
    }
    // Integer part: a first group of 1..3 digits, then complete groups of
    // three after each grouping mark; without marks, any number of digits.
    // A grouped number starts with a digit 1-9: "0.950" typed where "."
    // groups is a decimal fraction in the wrong notation, never 950.
    const bool leading_zero = !s.empty() && s.front() == '0';
    std::size_t int_digits = take_digits(s, c_form);
    if (int_digits > 0 && int_digits <= 3) {
        while (take(s, format.grouping_mark)) {
            if (leading_zero || take_digits(s, c_form) != 3) return false;
            int_digits += 3;
        }
    }
    std::size_t frac_digits = 0;
    if (take(s, format.decimal_point)) {
        c_form += '.';
        frac_digits = take_digits(s, c_form);
    }
    if (int_digits + frac_digits == 0) return false;
    if (!s.empty() && (s.front() == 'e' || s.front() == 'E')) {
        s.remove_prefix(1);
        c_form += 'e';
        if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
            c_form += s.front();
            s.remove_prefix(1);
        }
        if (take_digits(s, c_form) == 0) return false;
    }
    return s.empty();
}

// Decimal exponent of the first significant digit of a C-form number, or a
// large negative value for zero. Only its sign matters: it tells an overflow
// from an underflow when from_chars reports the value out of range.
long leading_exponent(std::string_view c_form) {
    if (!c_form.empty() && c_form.front() == '-') c_form.remove_prefix(1);
    long exp = 0;
    if (const auto e = c_form.find('e'); e != std::string_view::npos) {
        std::string_view digits = c_form.substr(e + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
        // Saturates: an exponent this large is far beyond either limit.
        for (char c : digits) exp = exp > 100000000 ? exp : exp * 10 + (c - '0');
        if (negative) exp = -exp;
        c_form = c_form.substr(0, e);
    }
    const std::size_t point = c_form.find('.');
    long position = static_cast<long>(point == std::string_view::npos ? c_form.size() : point) - 1;
    for (char c : c_form) {
        if (c == '.') continue;
        if (c != '0') return position + exp;
        --position;
    }
    return -1000000000L;
}

// How the description names the field: "“回流组分摩尔比”（xW）一栏的", or
// without the symbol when the caller gave none, or nothing.
struct FieldName {
    std::string_view caption, symbol;
    std::string prefix() const {
        if (caption.empty()) return {};
        const std::string quoted_caption = "“" + std::string(caption) + "”";
        return quoted_caption + (symbol.empty() ? "" : "（" + std::string(symbol) + "）") + "一栏的";
    }
};

// The user's text inside the description: escaped and cut short, so a
// pasted page neither fills the screen nor sends a terminal commands.
std::string quoted(std::string_view text) { return "“" + quote_excerpt(text) + "”"; }

[[noreturn]] void not_a_number(std::string_view text, bool blank, const FieldName& field) {
    throw RunError(kTypeMismatch,
                   field.prefix() + (text.empty() ? std::string(blank ? "内容只有空白，需要一个数"
                                                                           : "内容为空，需要一个数")
                                                       : quoted(text) + "不是一个数"));
}

[[noreturn]] void out_of_range(std::string_view text, const FieldName& field) {
    throw RunError(kOverflow, field.prefix() + quoted(text) + "超出双精度数的范围");
}

}  // namespace

double text_to_double(std::string_view text, const NumberFormat& format, std::string_view caption,
                      std::string_view symbol) {
    const FieldName field{caption, symbol};
    const std::string_view s = trim(text);
    std::string c_form;
    if (!to_c_form(s, format, c_form)) not_a_number(s, !text.empty(), field);

    double value = 0.0;
    const char* first = c_form.data();
    const char* last = first + c_form.size();
    const auto [end, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) {
        if (leading_exponent(c_form) >= 0) {
            out_of_range(s, field);
        }
        // Below the smallest subnormal: the value rounds to zero.
        return c_form.front() == '-' ? -0.0 : 0.0;
    }
    if (ec != std::errc() || end != last) not_a_number(s, !text.empty(), field);
    if (std::isinf(value)) {
        out_of_range(s, field);
    }
    return value;
}

std::string short_to_text(std::int16_t value) { return std::to_string(value); }

std::string double_to_text(double value) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, ec == std::errc() ? end : buf);
}

std::string decimals_text(double value, int decimals) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buf, end) : double_to_text(value);
}

}  // namespace veltrano::core
