#include "veltrano/calc/errors.h"

#include <cstdio>
#include <utility>

namespace veltrano::calc {

const char* error_text(ErrorNumber number) {
    switch (number) {
    case ErrorNumber::Overflow: return "溢出";
    case ErrorNumber::SubscriptOutOfRange: return "下标越界";
    case ErrorNumber::DivisionByZero: return "除数为零";
    case ErrorNumber::TypeMismatch: return "类型不匹配";
    case ErrorNumber::CannotCreateObject: return "无法创建电子表格应用程序对象";
    }
    return "未知错误";
}

namespace {
std::string join(const char* text, const std::string& detail) {
    return detail.empty() ? std::string(text) : std::string(text) + "：" + detail;
}
}  // namespace

RunError::RunError(ErrorNumber number, const std::string& detail)
    : RunError(static_cast<std::int32_t>(number), join(error_text(number), detail)) {}

RunError::RunError(std::int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

RunError RunError::automation(std::int32_t status, const std::string& detail) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<std::uint32_t>(status));
    return RunError(status, join("自动化错误", detail) + "（状态 0x" + hex + "）");
}

}  // namespace veltrano::calc
