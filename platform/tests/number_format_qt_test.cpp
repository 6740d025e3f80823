// The separators the Qt window hands to the number parser, per locale. Qt
// reads the locale once per process, so each case runs this program again
// with the locale set and "--print" as its only argument.
#include <cstdio>
#include <cstring>
#include <string>

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include "veltrano/platform/form_qt.h"

namespace {

std::string self;

TEST(QtNumberFormat, FollowsTheUsersLocale) {
    struct Case { const char* lang; const char* lc_numeric; const char* printed; };
    const Case cases[] = {
        {"C", "", "[.][]"},                       // the C locale groups nothing
        {"C.UTF-8", "", "[.][]"},
        {"zh_CN.UTF-8", "", "[.][,]"},
        {"de_DE.UTF-8", "", "[,][.]"},
        {"zh_CN.UTF-8", "de_DE.UTF-8", "[,][.]"},  // LC_NUMERIC decides numbers
    };
    for (const Case& c : cases) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.insert("LANG", c.lang);
        if (*c.lc_numeric != '\0') {
            env.insert("LC_NUMERIC", c.lc_numeric);
        } else {
            env.remove("LC_NUMERIC");
        }
        child.setProcessEnvironment(env);
        child.start(QString::fromStdString(self), {"--print"});
        ASSERT_TRUE(child.waitForFinished(10000));
        EXPECT_EQ(child.readAllStandardOutput().toStdString(), c.printed)
            << "LANG=" << c.lang << " LC_NUMERIC=" << c.lc_numeric;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--print") == 0) {
        const veltrano::platform::NumberFormat format = veltrano::platform::qt_number_format();
        std::printf("[%s][%s]", format.decimal_point.c_str(), format.grouping_mark.c_str());
        return 0;
    }
    self = argv[0];
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
