// What a command line asks for, and its shape checked before any number is
// read: the command, the options it may take, and how many texts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "language.h"

namespace veltrano::app {

enum class Command {
    kExact,     // the window's Calculate command
    kDesign,    // "design": the checked McCabe–Thiele design
    kMixtures,  // "mixtures": the component table
    kVle,       // "vle": the T–x–y table of a mixture or the user's points
    kRate,      // "rate": the products of a column that exists
};

struct Request {
    Command command = Command::kExact;
    bool help = false;
    bool to_spreadsheet = false;
    bool details = false;
    bool ideal = false;                 // Raoult's law for the mixture
    std::optional<std::string> svg;     // the diagram's file
    std::optional<std::string> sweep;   // "R=FROM:TO:STEP"
    std::optional<std::string> q, efficiency;  // design mode's feed quality and tray efficiency
    std::optional<std::string> mixture;        // "LIGHT/HEAVY"
    std::optional<std::string> pressure;       // kPa
    std::optional<std::string> xy;             // the user's equilibrium points
    std::optional<std::string> components;     // the user's component table
    std::optional<std::string> points;         // vle's intervals
    std::optional<std::string> stages, feed_stage, distillate;  // the rated column: N, f, D
    std::vector<std::string> texts;            // the field texts

    // A curve other than constant alpha stands behind the column.
    bool on_curve() const { return mixture.has_value() || xy.has_value(); }
};

// Options may stand before, between or after the texts, each once; "--"
// ends them. Empty, with the reason in `why` (in `language`), for a usage
// error: an unknown option, one the command does not take, one without its
// value, options that exclude each other, or the wrong number of texts.
std::optional<Request> parse_arguments(const std::vector<std::string>& args, Language language, std::string& why);

// "ethanol/water" as its two names; false for anything else.
bool split_mixture(const std::string& text, std::string& first, std::string& second);

}  // namespace veltrano::app
