// The language of the CLI's own words: its help and why a command line is
// wrong. The results, the error lines and the window keep their Chinese
// texts whatever the language: scripts and users rely on them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltrano::app {

enum class Language { kEnglish, kChinese };

// The user's language from the locale variables, as POSIX ranks them: the
// first of LC_ALL, LC_MESSAGES and LANG that is set and not empty decides;
// "zh" and "zh_CN.UTF-8" are Chinese, anything else English. Empty when
// none is set (null stands for an unset variable).
std::optional<Language> language_of_locale(const char* lc_all, const char* lc_messages, const char* lang);

// The text for `language`, from its Chinese and its English wording.
inline std::string worded(Language language, std::string_view chinese, std::string_view english) {
    return std::string(language == Language::kChinese ? chinese : english);
}

}  // namespace veltrano::app
