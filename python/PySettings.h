// The filter settings a caller gives the module, as the library's attribute map.
#pragma once

#include <KvsDataBlocks/config/CAttributeMap.h>

#include <pybind11/pybind11.h>

#include <memory>

namespace kvs::python {

namespace py = pybind11;

// From a dict keyed by attribute name (checked against the filter settings: KeyError for an
// unknown name, TypeError for a wrong type), from an attribute file (a path; loaded as the
// command-line tool loads it, ValueError for a bad file) or from None (no settings).
std::unique_ptr<CAttributeMap> SettingsMap(py::handle settings);

} // namespace kvs::python
