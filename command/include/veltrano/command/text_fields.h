// Text boxes without a window: one named text each, as the command line
// fills them from its arguments.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "veltrano/command/fields.h"

namespace veltrano::command {

class TextFields : public Fields {
public:
    using Texts = std::map<std::string, std::string, std::less<>>;

    // The text boxes there are, each with its text.
    explicit TextFields(Texts texts) : texts_(std::move(texts)) {}

    // A name not among them is the automation error a window gives for a
    // control it does not have.
    std::string text(std::string_view name) override;
    void set_text(std::string_view name, std::string_view text) override;

    const Texts& texts() const { return texts_; }

private:
    std::string& box(std::string_view name);

    Texts texts_;
};

}  // namespace veltrano::command
