// Windows entry: arguments arrive as UTF-16 and are handed on as UTF-8;
// output is UTF-8 with '\n' line ends, the same bytes as on Linux.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "desktop_spreadsheet.h"
#include "veltrano/core/utf16.h"

int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(veltrano::core::to_utf8(argv[i]));
    // The language a locale variable names, as a Unix-style shell sets it,
    // or else the language of the user's Windows.
    using veltrano::app::Language;
    const Language language =
        veltrano::app::language_of_locale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"))
            .value_or(PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::kChinese
                                                                                : Language::kEnglish);
    const int status = veltrano::app::run_cli(args, std::cout, std::cerr, veltrano::app::desktop_spreadsheet, language);
    return veltrano::app::finish_output(status, std::cout, std::cerr);
}
