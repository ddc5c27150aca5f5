// The kvsdatablocks Python module: data blocks and record streams with numpy arrays of
// element data, the sounding filters, telegram formulas, geodesy and tide files,
// and GSF swath bathymetry read into blocks.
#include "PyBindings.h"
#include "PyCommon.h"

#include <KvsDataBlocks/KvsVersion.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

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
}
