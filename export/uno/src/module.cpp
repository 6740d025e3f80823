// The LibreOffice backend as a loadable module: its two exported symbols.
#include <type_traits>

#include "veltrano/export/libreoffice.h"
#include "veltrano/export/spreadsheet_module.h"

extern "C" {

[[gnu::visibility("default")]] extern const int veltrano_spreadsheet_module_version;
const int veltrano_spreadsheet_module_version = veltrano::exporting::kModuleInterfaceVersion;

[[gnu::visibility("default")]] veltrano::exporting::Spreadsheet* veltrano_new_spreadsheet() {
    return veltrano::exporting::libreoffice_spreadsheet(veltrano::exporting::OfficeOptions{}).release();
}

}  // extern "C"

// The entry's type is the one the loader expects.
static_assert(std::is_same_v<decltype(&veltrano_new_spreadsheet), veltrano::exporting::NewSpreadsheet>);
