// The kvsdatablocks Python module: data blocks and record streams with numpy arrays of
// element data, the sounding filters, telegram formulas, geodesy and tide files,
// and GSF swath bathymetry read into blocks.
#include "PyBindings.h"
#include "PyCommon.h"

#include <KvsDataBlocks/KvsVersion.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

#include <dlfcn.h>

#include <filesystem>

namespace {

// The module is also the package of its pure-Python submodules (kvsdatablocks.campaign):
// they lie in the folder "kvsdatablocks" beside the module's own file, which therefore
// holds no __init__.py (that would make the folder the package and hide the module).
void SetPackagePath(pybind11::module_& m)
{
    static const int anchor = 0; // an object of this shared object, to find its file
    Dl_info info{};
    if (!dladdr(&anchor, &info) || !info.dli_fname) return;
    const std::filesystem::path folder = std::filesystem::path(info.dli_fname).parent_path() / "kvsdatablocks";
    pybind11::list path;
    path.append(folder.string());
    m.attr("__path__") = path;
}

} // namespace

PYBIND11_MODULE(kvsdatablocks, m)
{
    namespace kp = kvs::python;
    if (!KvsModuleIsReady())
        throw pybind11::import_error("the KvsDataBlocks library refused to load (version check failed)");
    m.doc() = "Hydrographic survey data blocks, record streams, sounding filters, telegram formulas, geodesy and "
              "tide files, from the KvsDataBlocks library.";
    m.attr("__version__") = KVS_VERSION_STRING;
    kp::AddErrors(m);
    kp::BindBlock(m);
    kp::BindStream(m);
    kp::BindFilters(m);
    kp::BindFormula(m);
    kp::BindGeodesy(m);
    kp::BindTide(m);
    kp::BindGsf(m);
    kp::BindKongsberg(m);
    kp::BindSurface(m);
    kp::BindFileRoutines(m);
    SetPackagePath(m);
}
