// One GoogleTest assertion for the run-time errors a statement raises.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "veltrano/testkit/raised.h"

namespace veltrano::testkit {

inline ::testing::AssertionResult raises(const char* statement_text, const std::function<void()>& statement,
                                         std::int32_t number, std::string_view fragment) {
    const Raised raised = raised_by(statement);
    if (raised.number == number && raised.description.find(fragment) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << statement_text << "\n  raised ";
    if (raised.number == 0) {
        failure << "no run-time error";
    } else {
        failure << "error " << raised.number << ": " << raised.description;
    }
    failure << "\n  expected " << (number == 0 ? std::string("none") : "error " + std::to_string(number));
    if (!fragment.empty()) failure << " saying “" << std::string(fragment) << "”";
    return failure;
}

}  // namespace veltrano::testkit

// Expects `statement` to raise the run-time error `number` whose description
// holds `fragment` ("" for any); number 0 expects no run-time error at all.
#define EXPECT_RUN_ERROR(statement, number, fragment) \
    EXPECT_TRUE(::veltrano::testkit::raises(#statement, [&] { statement; }, (number), (fragment)))
