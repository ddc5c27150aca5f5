#include <KvsDataBlocks/module/ResourceModule.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

#ifndef KVS_DATA_DIR
#define KVS_DATA_DIR ""
#endif

namespace KVSUITE {

CString LoadDLLResourceDLL(void*, void*)
{
    if (const char* env = std::getenv("KVS_DATA_DIR"); env && *env) return CString(env);
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LoadDLLResourceDLL), &info) != 0 && info.dli_fname && *info.dli_fname) {
        std::error_code ec;
        const std::filesystem::path lib = std::filesystem::weakly_canonical(info.dli_fname, ec);
        if (!ec) {
            const std::filesystem::path dir = lib.parent_path().parent_path() / "share" / "KvsDataBlocks";
            if (std::filesystem::is_directory(dir, ec)) return CString(dir.string());
        }
    }
    return CString(KVS_DATA_DIR);
}

} // namespace KVSUITE
