// LibreOffice Calc on Linux, from the module installed beside the programs.
// It is loaded at the first export, not at start: the programs start fast
// and compute on machines without LibreOffice, and only the export says
// that it is needed.
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "desktop_spreadsheet.h"
#include "veltrano/core/run_error.h"
#include "veltrano/sheet/module.h"

namespace veltrano::app {

namespace {

using core::RunError;
using sheet::CellValue;
using sheet::kCannotCreateObject;
using sheet::Spreadsheet;

constexpr const char* kModule = "veltrano-libreoffice.so";
constexpr const char* kNeeded = "需要 LibreOffice Calc：";

// The directory of the running program.
std::string program_directory() {
    std::vector<char> path(4096);
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return ".";
    const std::string exe(path.data(), static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

// The module's entry. Loaded once and kept for the life of the process: the
// office runtime it brings cannot be unloaded. A failed load is tried again
// at the next export, in case LibreOffice has been installed meanwhile.
sheet::NewSpreadsheet load_module() {
    static sheet::NewSpreadsheet entry = nullptr;
    if (entry != nullptr) return entry;

    // Beside the programs (the build tree), or where the installation puts
    // it, relative to bin/ (under /usr: /usr/lib/x86_64-linux-gnu/veltrano).
    const std::string dir = program_directory();
    const std::string candidates[] = {dir + "/" + kModule,
                                      dir + "/" + VELTRANO_MODULE_DIR_FROM_PROGRAM + "/" + kModule};
    const std::string* found = nullptr;
    for (const std::string& path : candidates) {
        if (access(path.c_str(), R_OK) == 0) {
            found = &path;
            break;
        }
    }
    if (found == nullptr) {
        throw RunError(kCannotCreateObject,
                       std::string(kNeeded) + "找不到 LibreOffice 导出模块 " + kModule + "（" + candidates[0] + "）");
    }
    void* module = dlopen(found->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        // Most often the office's own libraries are missing: LibreOffice is
        // not installed. dlerror() names the library.
        const char* why = dlerror();
        throw RunError(kCannotCreateObject,
                       std::string(kNeeded) + "LibreOffice 没有安装或无法加载（" + (why ? why : *found) + "）");
    }
    const auto* version = static_cast<const int*>(dlsym(module, sheet::kModuleVersionSymbol));
    auto* make = reinterpret_cast<sheet::NewSpreadsheet>(dlsym(module, sheet::kNewSpreadsheetSymbol));
    if (version == nullptr || *version != sheet::kModuleInterfaceVersion || make == nullptr) {
        dlclose(module);
        throw RunError(kCannotCreateObject,
                       std::string(kNeeded) + "导出模块 " + *found + " 与本程序的版本不符");
    }
    entry = make;
    return entry;
}

// Stands for the office until the export starts it: then the module is
// loaded and every call goes to the backend it gives.
class ModuleSpreadsheet final : public Spreadsheet {
public:
    void create_application() override {
        backend_.reset(load_module()());
        backend_->create_application();
    }
    void add_workbook() override { backend().add_workbook(); }
    void make_visible() override { backend().make_visible(); }
    void put_cell(std::int16_t row, std::int16_t column, const CellValue& value) override {
        backend().put_cell(row, column, value);
    }

private:
    Spreadsheet& backend() {
        if (!backend_) throw RunError(kCannotCreateObject, "电子表格应用程序尚未启动");
        return *backend_;
    }

    std::unique_ptr<Spreadsheet> backend_;
};

}  // namespace

std::unique_ptr<Spreadsheet> desktop_spreadsheet() { return std::make_unique<ModuleSpreadsheet>(); }

}  // namespace veltrano::app
