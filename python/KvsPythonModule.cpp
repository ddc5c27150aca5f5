// The kvsdatablocks Python module: data blocks and record streams with numpy arrays of
// element data, the sounding filters, telegram formulas, geodesy and tide files.
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

    // GSF import: a placeholder until the library's GSF reader (formats/gsf/) is bound here.
    m.def(
        "import_gsf",
        [](pybind11::object) -> pybind11::object {
            PyErr_SetString(PyExc_NotImplementedError, "import_gsf: this build has no GSF reader");
            throw pybind11::error_already_set();
        },
        pybind11::arg("path"), "Reads a GSF file into blocks (not in this build yet: raises NotImplementedError).");
}
