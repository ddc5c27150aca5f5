// PyCommon: what every binding of the kvsdatablocks module shares: its exception classes
// (Error and its StreamError, FormulaError, TideError) with the helpers that raise them
// with the library's messages, and the conversions of texts, paths and times. The
// classes live as attributes of the module; raising looks them up there, so no state is
// kept on the C++ side.
#pragma once

#include <KvsDataBlocks/platform/CString.h>

#include <pybind11/pybind11.h>

#include <string>

namespace kvs::python {

namespace py = pybind11;

inline constexpr const char* kModuleName = "kvsdatablocks";

// Creates the exception classes on the module.
void AddErrors(py::module_& module);

// Raises kvsdatablocks.<className>(message).
[[noreturn]] void Raise(const char* className, const std::string& message);
// Raises FormulaError carrying the code, its text and the 1-based column (None for an
// error found while running the formula).
[[noreturn]] void RaiseFormulaError(const std::string& formula, int code, const std::string& text, int column);

// A message of the library (UTF-8 expected; bytes that are not become U+FFFD).
py::str MessageText(const std::string& text);
// Element and formula texts are 8-bit: each byte is one character (Latin-1), so any
// text survives the way through Python unchanged.
py::str Latin1Text(const CString& text);
// The reverse; ValueError for a character above U+00FF.
CString Latin1Bytes(py::handle text);
// A file path given as str, bytes or os.PathLike, in the file system's encoding.
std::string PathBytes(py::handle path);

// value as a T; a TypeError naming the argument and the type expected and found ("elements:
// slot 0 must be an int, not str") instead of pybind11's bare "Unable to cast".
template <typename T>
T CastArgument(py::handle value, const std::string& what, const char* expected)
{
    try {
        return value.cast<T>();
    } catch (const py::cast_error&) {
        throw py::type_error(what + " must be " + expected + ", not " +
                             std::string(py::str(py::type::handle_of(value).attr("__name__"))));
    }
}
// Seconds since 1970 UTC from a number, a datetime.datetime (a naive one is UTC) or a
// numpy.datetime64 (NaT gives NaN).
double SecondsArg(py::handle time);

} // namespace kvs::python
