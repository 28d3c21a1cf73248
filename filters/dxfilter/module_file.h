// module_file.h - loading an extraction module file, refusing a damaged one.
#ifndef GLOTTA_FILTERS_DXFILTER_MODULE_FILE_H
#define GLOTTA_FILTERS_DXFILTER_MODULE_FILE_H

#include <string>
#include <vector>

#include "filters/dxfilter/dx_module.h"

namespace dxf {

// True when `path` is a 64-bit ELF file that holds every byte its headers
// name. The loader maps a shared object without reading it through, so a
// truncated file would otherwise fault at its first use of a missing page.
bool ElfFileIsWhole(const std::string &path);

// The module `name` from the first of `dirs` (each ending in '/') that holds
// a whole, loadable file of it with the expected interface; null when none
// does. A loaded module stays loaded for the life of the process: GLib types
// it registers cannot be registered again after an unload.
const DXModule *LoadModuleFile(const std::vector<std::string> &dirs, const char *name);

}  // namespace dxf

#endif
