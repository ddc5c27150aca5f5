// Locating the library's own data files, the Linux replacement of loading a resource
// module. The folder is KVS_DATA_DIR from the environment when set; otherwise
// <prefix>/share/KvsDataBlocks where <prefix> is the folder above the one holding the
// loaded library; failing that, the data folder configured at build time.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

namespace KVSUITE {

// Returns the data folder of the module whose handle is given (the handle is the base
// address the dynamic loader reports for the library; null means "this library").
KVS_API CString LoadDLLResourceDLL(void* module, void* extensionModule);

} // namespace KVSUITE
