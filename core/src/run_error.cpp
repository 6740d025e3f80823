#include "veltrano/core/run_error.h"

#include <cstdio>
#include <utility>

namespace veltrano::core {

namespace {
std::string join(const char* text, const std::string& detail) {
    return detail.empty() ? std::string(text) : std::string(text) + "：" + detail;
}
}  // namespace

RunError::RunError(const ErrorKind& kind, const std::string& detail)
    : RunError(kind.number, join(kind.text, detail)) {}

RunError::RunError(std::int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

RunError RunError::automation(std::int32_t status, const std::string& detail) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(status));
    return RunError(status, join("自动化错误", detail) + "（状态 0x" + hex + "）");
}

}  // namespace veltrano::core
