// Running veltrano-cli in the test process, its output split as a script
// reads it: shared by the command line's test files.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"
#include "veltrano/testkit/fakes.h"

namespace veltrano::app::cli_run {

struct CliRun {
    int status;
    std::string out, err;
};

// The arguments through run_cli, any export into a recording stand-in.
inline CliRun run(const std::vector<std::string>& args, Language language = Language::kChinese) {
    std::ostringstream out, err;
    const int status = run_cli(args, out, err, [] { return std::make_unique<testkit::RecordingSpreadsheet>(); },
                               language);
    return {status, out.str(), err.str()};
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

inline std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string cell; std::getline(in, cell, '\t');) out.push_back(cell);
    return out;
}

// A bad input refused as the command line's contract has it: a usage error
// (status 2) whose last line gives the reason, or a run-time error 5 alone
// on stderr, and then no column on stdout.
inline void expect_refused(const std::vector<std::string>& args, int status, const std::string& says,
                           const std::string& what) {
    const CliRun r = run(args);
    EXPECT_EQ(r.status, status) << what << ": " << r.err;
    const std::vector<std::string> err = lines(r.err);
    ASSERT_FALSE(err.empty()) << what;
    EXPECT_NE(err.back().find(says), std::string::npos) << what << ": " << err.back();
    if (status == 1) {
        EXPECT_EQ(err.size(), 1u) << what;
        EXPECT_EQ(err.front().rfind("error 5: ", 0), 0u) << what;
        EXPECT_EQ(r.out, "") << what;
    }
}

}  // namespace veltrano::app::cli_run
