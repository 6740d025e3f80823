// What a statement raised, for checks in any test framework.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "veltrano/core/run_error.h"

namespace veltrano::testkit {

// The run-time error a statement raised: its number, 0 when it raised none,
// and its description.
struct Raised {
    std::int32_t number = 0;
    std::string description;
};

inline Raised raised_by(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const core::RunError& e) {
        return {e.number(), e.description()};
    }
    return {};
}

}  // namespace veltrano::testkit
