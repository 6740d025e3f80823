#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "desktop_spreadsheet.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const veltrano::app::Language language = veltrano::app::language_of_locale(
        std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")).value_or(veltrano::app::Language::kEnglish);
    const int status =
        veltrano::app::run_cli(args, std::cout, std::cerr, veltrano::app::desktop_spreadsheet, language);
    return veltrano::app::finish_output(status, std::cout, std::cerr);
}
