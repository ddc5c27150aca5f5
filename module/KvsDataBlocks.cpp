#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <KvsDataBlocks/module/ResourceModule.h>
#include <KvsDataBlocks/module/VersionControl.h>

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace {

// The module's registration record: one per module, as the loader expects.
struct ModuleRecord
{
    std::mutex lock;
    HINSTANCE module = nullptr;
    bool registered = false;
    CString dataDir;
};

// Never destroyed: the unload call comes after the static objects of the process are
// gone (a static record would be used after its destruction).
ModuleRecord& Record()
{
    static ModuleRecord* const record = new ModuleRecord;
    return *record;
}

std::atomic<bool> g_ready{false};

} // namespace

const char* KvsModuleBuildText()
{
    return __DATE__ " " __TIME__;
}

int KvsDataBlocksEntry(HINSTANCE module, unsigned int reason)
{
    ModuleRecord& record = Record();
    switch (reason) {
    case KVS_PROCESS_ATTACH: {
        std::lock_guard<std::mutex> guard(record.lock);
        g_ready = false;
        if (!CheckDllVersion(kKvsModuleVersion, kKvsModuleSourceName, KvsModuleBuildText())) return 0;
        record.module = module;
        record.registered = true;
        record.dataDir = KVSUITE::LoadDLLResourceDLL(module, record.module);
        g_ready = true;
        return 1;
    }
    case KVS_PROCESS_DETACH: {
        std::lock_guard<std::mutex> guard(record.lock);
        record.registered = false;
        record.dataDir.Empty();
        g_ready = false;
        return 1;
    }
    default:
        return 1;
    }
}

bool KvsModuleIsReady()
{
    return g_ready;
}

CString KvsModuleDataDir()
{
    ModuleRecord& record = Record();
    std::lock_guard<std::mutex> guard(record.lock);
    return record.dataDir;
}

namespace {

// The loader's calls: attach when the library is loaded, detach when it is unloaded.
__attribute__((constructor)) void KvsModuleLoad()
{
    Dl_info info{};
    HINSTANCE self = nullptr;
    if (dladdr(reinterpret_cast<void*>(&KvsModuleLoad), &info) != 0) self = info.dli_fbase;
    KvsDataBlocksEntry(self, KVS_PROCESS_ATTACH);
}

__attribute__((destructor)) void KvsModuleUnload()
{
    KvsDataBlocksEntry(nullptr, KVS_PROCESS_DETACH);
}

} // namespace
