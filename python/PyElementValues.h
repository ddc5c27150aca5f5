// PyElementValues: element values between the library's typed element data and Python:
// scalars as int, float, bool or str, string lists as lists, references as dicts, and
// arrays as numpy arrays of the element's own item type. Setters check the Python value
// against the element's type and range and refuse what would not be stored exactly.
#pragma once

#include "PyBlock.h"

#include <pybind11/numpy.h>

namespace kvs::python {

// The element's value: a Python scalar, str, list of str, dict (a reference) or, for
// arrays, what ElementArray gives. None when the element has no data.
py::object ElementValue(const PyBlock& block, const CKvsBytePtr& element);
// The items of an array element as a read-only one-dimensional numpy array: a view of
// the block's storage when the items lie aligned for their type, otherwise a copy (bool
// arrays are always copied, each byte read as != 0). Triangles: a (n, 3, 3) float64 copy.
// TypeError for elements that are not arrays.
py::array ElementArray(const PyBlock& block, const CKvsBytePtr& element);
// Stores value (scalar, text, list, reference or array as the element's type asks) with
// the status. Arrays and texts resize the element to what is stored.
void SetElementValue(PyBlock& block, unsigned short position, py::handle value, unsigned short status);

// The element type's name ("ET_FLOAT_ARRAY"), or "type <code>" for an unknown code.
std::string ElementTypeName(unsigned short type);
// The item count of an element: array items, text characters, list strings, 1 for a
// scalar or reference.
size_t ElementCount(const CKvsBytePtr& element);

} // namespace kvs::python
