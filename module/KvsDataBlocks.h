// Module start-up of the KvsDataBlocks shared library. When the library is loaded its
// entry function runs with the attach reason: it checks the build with CheckDllVersion
// (the project version, KvsVersion.h) and locates the library's data files. A refused
// check leaves the module unusable: KvsModuleIsReady() is false and the entry points that
// need the module (Filter::CreateFilter, TsdsManager::OpenFile) refuse their work.
#pragma once

#include <KvsDataBlocks/KvsExport.h>
#include <KvsDataBlocks/KvsVersion.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/geometry/KvsMath.h>
#include <KvsDataBlocks/platform/CString.h>

#include <array>

using HINSTANCE = void*;

// Reason codes of the loader, with the values the suite's loader uses.
enum KvsModuleReason : unsigned int
{
    KVS_PROCESS_DETACH = 0,
    KVS_PROCESS_ATTACH = 1,
    KVS_THREAD_ATTACH = 2,
    KVS_THREAD_DETACH = 3,
};

inline constexpr unsigned int kKvsModuleVersion = KVS_VERSION_PACKED;
inline constexpr const char* kKvsModuleSourceName = "KvsDataBlocks";

// Load-time constants: degrees to radians and back (the geometry's D_TO_R and R_TO_D).
inline constexpr double kDegToRad = D_TO_R;
inline constexpr double kRadToDeg = R_TO_D;

// The names of the three single-beam filters, in the order gate, depth, spike.
inline constexpr std::array<const char*, 3> kSingleBeamFilterNames = {ATTR_SBF_GATE, ATTR_SBF_DEPTH, ATTR_SBF_SPIKE};

// The build date and time as "Sep 21 2009 16:20:03".
KVS_API const char* KvsModuleBuildText();

// The entry function: returns 1 for success and 0 when the load is refused. Process
// attach runs the version check and locates the data files; process detach undoes the
// registration; thread attach and detach change nothing. It runs by itself when the
// library is loaded and unloaded; hosts and tests may call it again.
KVS_API int KvsDataBlocksEntry(HINSTANCE module, unsigned int reason);

// True after a successful attach and before detach.
KVS_API bool KvsModuleIsReady();

// The folder of the library's own data files: KVS_DATA_DIR from the environment when set,
// else share/KvsDataBlocks beside the library's installation prefix. Empty before attach.
KVS_API CString KvsModuleDataDir();
