#include "request.h"

#include <string_view>
#include <vector>

#include "veltrano/command/input_fields.h"
#include "veltrano/core/error_report.h"

namespace veltrano::app {

namespace {

// An argument that can only be meant as an option: "--" and a letter. Field
// texts such as "-1", "--1" or "-inf" stay field texts.
bool looks_like_option(std::string_view arg) {
    if (arg == "-h") return true;
    if (arg.size() < 3 || arg.substr(0, 2) != "--") return false;
    const char c = arg[2];
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Which commands take an option: the exact mode, design, mixtures, vle, rate.
struct Takes {
    bool exact, design, mixtures, vle, rate;
    bool by(Command c) const {
        switch (c) {
            case Command::kExact: return exact;
            case Command::kDesign: return design;
            case Command::kMixtures: return mixtures;
            case Command::kVle: return vle;
            case Command::kRate: return rate;
        }
        return false;
    }
};

std::string command_name(Command c) {
    switch (c) {
        case Command::kDesign: return "design";
        case Command::kMixtures: return "mixtures";
        case Command::kVle: return "vle";
        case Command::kRate: return "rate";
        case Command::kExact: break;
    }
    return "";
}

// The shape of the whole request, once every option is read.
std::string shape_problem(const Request& r, Language language) {
    const auto w = [&](std::string_view zh, std::string_view en) { return worded(language, zh, en); };
    if (r.mixture && r.xy) return w("--mixture 与 --xy 只能选一个", "--mixture and --xy exclude each other");
    if (r.pressure && r.xy) {
        return w("--pressure 不能与 --xy 同用：数据文件给出的就是它在其压力下的平衡",
                 "--pressure does not go with --xy: the data hold the equilibrium at their own pressure");
    }
    if (r.pressure && !r.mixture) return w("--pressure 需要 --mixture", "--pressure needs --mixture");
    if (r.ideal && !r.mixture) return w("--ideal 需要 --mixture", "--ideal needs --mixture");
    if (r.mixture) {
        std::string first, second;
        if (!split_mixture(*r.mixture, first, second)) {
            return w("--mixture 应写作 轻组分/重组分，如 ethanol/water", "--mixture is written LIGHT/HEAVY, e.g. ethanol/water");
        }
    }
    if (r.svg && r.svg->empty()) return w("--svg 的文件名是空的", "the file name of --svg is empty");
    if (r.help) return {};
    if (r.command == Command::kVle && !r.on_curve()) {
        return w("vle 需要 --mixture 轻组分/重组分 或 --xy 文件", "vle needs --mixture LIGHT/HEAVY or --xy FILE");
    }
    if (r.command == Command::kRate && !(r.stages && r.feed_stage && r.distillate)) {
        return w("rate 需要 --stages N、--feed-stage 进料板 与 --distillate D",
                 "rate needs --stages N, --feed-stage F_STAGE and --distillate D");
    }
    if (r.command == Command::kRate) {
        const std::size_t rated = r.on_curve() ? 3 : 4;
        if (r.texts.size() == rated) return {};
        return (r.on_curve() ? w("rate 有 --mixture 或 --xy 时需要 3 个参数（F xF R），现有 ",
                                 "rate with --mixture or --xy takes 3 arguments (F xF R), not ")
                             : w("rate 需要 4 个参数（F xF R alpha），现有 ", "rate takes 4 arguments (F xF R alpha), not ")) +
               std::to_string(r.texts.size()) + w(" 个", "");
    }
    const std::size_t wanted = r.command == Command::kMixtures || r.command == Command::kVle ? 0
                               : r.on_curve()                                               ? 5
                                                                                            : command::kCommandLineOrder.size();
    if (r.texts.size() == wanted) return {};
    if (wanted == 0) {
        return w(command_name(r.command) + " 不带数字参数，现有 ", command_name(r.command) + " takes no numbers, not ") +
               std::to_string(r.texts.size());
    }
    if (wanted == 5) {
        return w("有 --mixture 或 --xy 时，平衡线代替了相对挥发度 α：需要 5 个参数（F xF xD xW R），现有 ",
                 "with --mixture or --xy the equilibrium curve replaces alpha: 5 arguments are needed (F xF xD xW R), not ") +
               std::to_string(r.texts.size()) + w(" 个", "");
    }
    return w("需要 6 个参数（F xF xD xW R alpha），现有 ", "6 arguments are needed (F xF xD xW R alpha), not ") +
           std::to_string(r.texts.size()) + w(" 个", "");
}

}  // namespace

bool split_mixture(const std::string& text, std::string& first, std::string& second) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos || text.find('/', slash + 1) != std::string::npos) return false;
    first = text.substr(0, slash);
    second = text.substr(slash + 1);
    return !first.empty() && !second.empty();
}

std::optional<Request> parse_arguments(const std::vector<std::string>& args, Language language, std::string& why) {
    Request r;
    std::size_t start = 0;
    if (!args.empty()) {
        const std::pair<const char*, Command> commands[] = {{"design", Command::kDesign},
                                                            {"mixtures", Command::kMixtures},
                                                            {"vle", Command::kVle},
                                                            {"rate", Command::kRate}};
        for (const auto& [name, command] : commands) {
            if (args[0] == name) r.command = command, start = 1;
        }
    }
    bool options_ended = false;
    for (std::size_t i = start; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || !looks_like_option(arg)) {
            if (!options_ended && arg == "--") {
                options_ended = true;
            } else {
                r.texts.push_back(arg);
            }
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto flag = [&](bool& set) {
            if (equals != std::string::npos) why = name + worded(language, " 不带值", " takes no value");
            else if (set) why = name + worded(language, " 只能给一次", " may be given once only");
            set = true;
        };
        const auto valued = [&](std::optional<std::string>& value) {
            if (value) {
                why = name + worded(language, " 只能给一次", " may be given once only");
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size() && !looks_like_option(args[i + 1])) {
                value = args[++i];
            } else {
                why = name + worded(language, " 后面缺少值", " needs a value");
            }
        };
        struct Option {
            const char* name;
            Takes takes;
            std::optional<std::string>* value;
            bool* set;
        };
        const Option options[] = {
            {"--export", {true, true, false, false, true}, nullptr, &r.to_spreadsheet},
            {"--details", {true, true, false, false, true}, nullptr, &r.details},
            {"--svg", {true, true, false, true, true}, &r.svg, nullptr},
            {"--sweep", {true, true, false, false, true}, &r.sweep, nullptr},
            {"--q", {false, true, false, false, true}, &r.q, nullptr},
            {"--efficiency", {false, true, false, false, true}, &r.efficiency, nullptr},
            {"--mixture", {false, true, false, true, true}, &r.mixture, nullptr},
            {"--pressure", {false, true, false, true, true}, &r.pressure, nullptr},
            {"--ideal", {false, true, false, true, true}, nullptr, &r.ideal},
            {"--xy", {false, true, false, true, true}, &r.xy, nullptr},
            {"--components", {false, true, true, true, true}, &r.components, nullptr},
            {"--points", {false, false, false, true, false}, &r.points, nullptr},
            {"--stages", {false, false, false, false, true}, &r.stages, nullptr},
            {"--feed-stage", {false, false, false, false, true}, &r.feed_stage, nullptr},
            {"--distillate", {false, false, false, false, true}, &r.distillate, nullptr},
        };
        const Option* option = nullptr;
        for (const Option& o : options) {
            if (name == o.name) option = &o;
        }
        if (name == "--help" || name == "-h") {
            r.help = true;
        } else if (option == nullptr) {
            why = worded(language, "未知的选项 ", "unknown option ") + core::quote_excerpt(name);
        } else if (!option->takes.by(r.command)) {
            std::vector<std::string> commands;
            for (const Command c : {Command::kDesign, Command::kMixtures, Command::kVle, Command::kRate}) {
                if (option->takes.by(c)) commands.push_back(command_name(c));
            }
            std::string listed;
            for (const std::string& c : commands) listed += (listed.empty() ? "" : worded(language, "、", ", ")) + c;
            why = name + worded(language, " 只用于 " + listed + " 命令（veltrano-cli ",
                                " is for " + listed + " only (veltrano-cli ") +
                  commands.front() + worded(language, " ...）", " ...)");
        } else if (option->value) {
            valued(*option->value);
        } else {
            flag(*option->set);
        }
        if (!why.empty()) return std::nullopt;
    }
    why = shape_problem(r, language);
    if (!why.empty()) return std::nullopt;
    return r;
}

}  // namespace veltrano::app
