// The user's separators as Linux reports them for three locales. Locales the
// system lacks are compiled into a temporary directory found through LOCPATH.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <locale.h>

#include "veltrano/core/run_error.h"
#include "veltrano/core/number_text.h"

namespace veltrano::core {
namespace {

bool locale_exists(const char* name) {
    locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return false;
    freelocale(loc);
    return true;
}

class UserLocale : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const auto dir = std::filesystem::temp_directory_path() / "veltrano-locales";
        std::filesystem::create_directories(dir);
        for (const char* name : {"zh_CN", "de_DE"}) {
            if (locale_exists((std::string(name) + ".UTF-8").c_str())) continue;
            const std::string cmd = "localedef -i " + std::string(name) + " -f UTF-8 " +
                                    (dir / (std::string(name) + ".UTF-8")).string() +
                                    " >/dev/null 2>&1";
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        setenv("LOCPATH", dir.c_str(), 1);
    }

    static NumberFormat under(const char* lc_all) {
        setenv("LC_ALL", lc_all, 1);
        const NumberFormat f = user_number_format();
        unsetenv("LC_ALL");
        return f;
    }
};

TEST_F(UserLocale, SeparatorsFollowTheEnvironment) {
    struct Case { const char* locale; const char* point; const char* mark; };
    for (const Case& c : {Case{"C.UTF-8", ".", ""}, Case{"zh_CN.UTF-8", ".", ","},
                          Case{"de_DE.UTF-8", ",", "."}, Case{"xx_NOWHERE.UTF-8", ".", ""}}) {
        const NumberFormat f = under(c.locale);
        EXPECT_EQ(f.decimal_point, c.point) << c.locale;
        EXPECT_EQ(f.grouping_mark, c.mark) << c.locale;
    }
}

TEST_F(UserLocale, SameTextReadsByTheUsersLocale) {
    EXPECT_EQ(text_to_double("1,234.5", under("zh_CN.UTF-8")), 1234.5);
    EXPECT_EQ(text_to_double("1.234,5", under("de_DE.UTF-8")), 1234.5);
    EXPECT_EQ(text_to_double("2.5", under("C.UTF-8")), 2.5);
    EXPECT_THROW(text_to_double("2.5", under("de_DE.UTF-8")), RunError);
}

}  // namespace
}  // namespace veltrano::core
