// The parts of the kvsdatablocks module, each registered on the module by its own source.
#pragma once

#include <pybind11/pybind11.h>

namespace kvs::python {

namespace py = pybind11;

void BindBlock(py::module_& module);   // Block, Element, DataId (PyBlock.cpp)
void BindStream(py::module_& module);  // read_stream, write_stream (PyStream.cpp)
void BindFilters(py::module_& module); // Filter, MultibeamFilter, SingleBeamFilter, create_filter (PyFilter.cpp)
void BindFormula(py::module_& module); // evaluate (PyFormula.cpp)
void BindGeodesy(py::module_& module); // the geodesy submodule (PyGeodesy.cpp)
void BindTide(py::module_& module);    // open_tide, TideFile (PyTide.cpp)
void BindGsf(py::module_& module);     // import_gsf, GsfImport (PyGsf.cpp)
void BindKongsberg(py::module_& module); // import_file, KongsbergAllImport, KongsbergKmallImport (PyKongsberg.cpp)
void BindSurface(py::module_& module); // grid (PySurface.cpp)
void BindFileRoutines(py::module_& module); // filter_file, export_file (PyFileRoutines.cpp)

} // namespace kvs::python
