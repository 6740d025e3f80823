// veltrano-cli: the Calculate command with no window.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace veltrano::app {

// `args` excludes the program name. Returns the exit status:
// 0 success, 1 run-time error, 2 wrong usage.
int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace veltrano::app
