// The LibreOffice backend as a loadable module: its two exported symbols.
#include <type_traits>

#include "veltrano/sheet/libreoffice.h"
#include "veltrano/sheet/module.h"

extern "C" {

[[gnu::visibility("default")]] extern const int veltrano_spreadsheet_module_version;
const int veltrano_spreadsheet_module_version = veltrano::sheet::kModuleInterfaceVersion;

[[gnu::visibility("default")]] veltrano::sheet::Spreadsheet* veltrano_new_spreadsheet() {
    return veltrano::sheet::libreoffice_spreadsheet(veltrano::sheet::OfficeOptions{}).release();
}

}  // extern "C"

// The entry's type is the one the loader expects.
static_assert(std::is_same_v<decltype(&veltrano_new_spreadsheet), veltrano::sheet::NewSpreadsheet>);
