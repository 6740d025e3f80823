// Reading the program's two kinds of data file, the component table and a
// user's x–y points: text lines with their numbers, fields, numbers read
// strictly, and one error 5 per fault that names the file and the line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "veltrano/core/number_text.h"

namespace veltrano::calc::table_text {

// Error 5: "<origin> 第 <line> 行：<why>" (no line when it is 0).
[[noreturn]] void fail(const std::string& origin, std::size_t line, const std::string& why);

// Each line that holds something, with its number from 1: without its line
// end (LF or CR LF), a byte-order mark at the start, and trailing blanks.
// Lines starting with `#` are comments; with `comments_anywhere`, a `#`
// anywhere ends the line's content. Error 5 for a text that is not UTF-8
// text (a NUL byte, a malformed sequence): a binary file.
void for_each_line(std::string_view text, const std::string& origin, bool comments_anywhere,
                   const std::function<void(std::size_t, std::string_view)>& each);

// A number as a data file writes it: blanks around it, a sign, digits, a
// decimal mark (`decimal`), an exponent; never grouping, "nan", "inf" or
// hexadecimal. Error 5 naming the file, the line and the column `what`.
double read_number(std::string_view text, char decimal, const std::string& origin, std::size_t line,
                   const std::string& what);

// One TAB-separated row of the component table.
class Row {
public:
    Row(const std::string& origin, std::size_t line, std::string_view text);

    [[noreturn]] void fail(const std::string& why) const;
    // Between `least` and `most` fields, empty trailing ones not counted.
    void expect_fields(std::size_t least, std::size_t most) const;
    std::string text(std::size_t i) const;  // "" past the last field
    bool empty(std::size_t i) const { return text(i).empty(); }
    // A field that must hold a name: not empty.
    std::string name(std::size_t i, const char* what) const;
    double number(std::size_t i, const char* what) const;

private:
    const std::string& origin_;
    std::size_t line_;
    std::vector<std::string> fields_;
};

// Each row of a TAB-separated table (whole-line comments only).
void for_each_row(std::string_view text, const std::string& origin, const std::function<void(const Row&)>& each);

}  // namespace veltrano::calc::table_text
