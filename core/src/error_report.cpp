#include "veltrano/core/error_report.h"

#include <cstdio>

namespace veltrano::core {

namespace {

// One character of UTF-8 text: its code point and length in bytes, or
// length 1 and no code point for a byte that does not start a valid sequence.
struct Decoded {
    std::size_t length;
    std::optional<char32_t> code_point;
};

Decoded decode(std::string_view s) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {1, lead};
    std::size_t length = 0;
    char32_t cp = 0, min = 0;
    if ((lead & 0xE0) == 0xC0) length = 2, cp = lead & 0x1F, min = 0x80;
    else if ((lead & 0xF0) == 0xE0) length = 3, cp = lead & 0x0F, min = 0x800;
    else if ((lead & 0xF8) == 0xF0) length = 4, cp = lead & 0x07, min = 0x10000;
    else return {1, std::nullopt};
    if (s.size() < length) return {1, std::nullopt};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {1, std::nullopt};
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values past U+10FFFF are not text.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {1, std::nullopt};
    return {length, cp};
}

// Code points shown as an escape: C0 and C1 controls, DEL, and the
// formatting characters that reorder or hide what follows them.
bool needs_escape(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

void append_escaped(std::string& out, std::string_view character, std::optional<char32_t> cp) {
    if (cp && !needs_escape(*cp)) {
        out.append(character);
        return;
    }
    char buf[16];
    if (!cp) {
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(character[0]));
    } else if (*cp == '\n') {
        std::snprintf(buf, sizeof buf, "\\n");
    } else if (*cp == '\r') {
        std::snprintf(buf, sizeof buf, "\\r");
    } else if (*cp == '\t') {
        std::snprintf(buf, sizeof buf, "\\t");
    } else if (*cp < 0x80) {
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(*cp));
    } else {
        std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(*cp));
    }
    out += buf;
}

// Escapes at most `max_chars` characters of `text`; true when all of it fit.
bool escape_into(std::string& out, std::string_view text, std::size_t max_chars) {
    for (std::size_t count = 0; !text.empty(); ++count) {
        if (count == max_chars) return false;
        const Decoded d = decode(text);
        append_escaped(out, text.substr(0, d.length), d.code_point);
        text.remove_prefix(d.length);
    }
    return true;
}

}  // namespace

std::string ErrorReport::box_text() const { return heading + "\n\n" + description; }

std::string ErrorReport::line() const { return "error " + std::to_string(number) + ": " + description; }

ErrorReport error_report(const RunError& error) {
    return {error.number(), "Veltrano", "运行时错误 " + std::to_string(error.number()),
            escape_controls(error.description())};
}

std::optional<ErrorReport> run_press(const std::function<void()>& press) {
    try {
        press();
    } catch (const RunError& error) {
        return error_report(error);
    }
    return std::nullopt;
}

std::string escape_controls(std::string_view text) {
    std::string out;
    escape_into(out, text, std::string_view::npos);
    return out;
}

std::string quote_excerpt(std::string_view text, std::size_t max_chars) {
    std::string out;
    if (!escape_into(out, text, max_chars)) out += "…";
    return out;
}

}  // namespace veltrano::core
