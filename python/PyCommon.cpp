#include "PyCommon.h"

#include <limits>

namespace kvs::python {

namespace {

struct ErrorClass
{
    const char* name;
    const char* bases; // names of builtins besides Error ("" for none)
    const char* doc;
};

constexpr ErrorClass kErrorClasses[] = {
    {"StreamError", "OSError", "A record stream could not be opened, read or written; the message names the place."},
    {"FormulaError", "ValueError",
     "A telegram formula failed to parse or to run: code, text (the library's error text) and column (1-based, None "
     "for an execution error)."},
    {"TideError", "OSError", "A tide file could not be opened or read; the message names the file and line."},
    {"GsfError", "OSError",
     "A GSF file could not be opened or read, or a ping could not be held; the message names the record index and "
     "byte offset."},
    {"KongsbergError", "OSError",
     "A Kongsberg .all or .kmall file could not be opened or read, or a swath could not be held; the message names "
     "the datagram index and byte offset."},
    {"FormatError", "ValueError", "A file is not of a format the function reads; the message says what it looks like."},
};

py::object NewClass(const char* name, const char* doc, const py::tuple& bases)
{
    const std::string qualified = std::string(kModuleName) + "." + name;
    PyObject* cls = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (!cls) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(cls);
}

py::object ErrorClassNamed(const char* name)
{
    return py::module_::import(kModuleName).attr(name);
}

} // namespace

void AddErrors(py::module_& module)
{
    const py::object builtins = py::module_::import("builtins");
    const py::object base = NewClass("Error", "Base class of the errors of kvsdatablocks.",
                                     py::make_tuple(builtins.attr("Exception")));
    module.attr("Error") = base;
    for (const ErrorClass& c : kErrorClasses)
        module.attr(c.name) = NewClass(c.name, c.doc, py::make_tuple(base, builtins.attr(c.bases)));
}

void Raise(const char* className, const std::string& message)
{
    const py::object cls = ErrorClassNamed(className);
    PyErr_SetObject(cls.ptr(), cls(MessageText(message)).ptr());
    throw py::error_already_set();
}

void RaiseFormulaError(const std::string& formula, int code, const std::string& text, int column)
{
    const py::object cls = ErrorClassNamed("FormulaError");
    const std::string message = column > 0 ? "formula error " + std::to_string(code) + " at column " +
                                                 std::to_string(column) + ": " + text
                                           : "formula execution error " + std::to_string(code) + ": " + text;
    py::object error = cls(MessageText(message));
    error.attr("code") = code;
    error.attr("text") = MessageText(text);
    error.attr("column") = column > 0 ? py::object(py::int_(column)) : py::object(py::none());
    error.attr("formula") = Latin1Text(CString(formula));
    PyErr_SetObject(cls.ptr(), error.ptr());
    throw py::error_already_set();
}

py::str MessageText(const std::string& text)
{
    PyObject* s = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    if (!s) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

py::str Latin1Text(const CString& text)
{
    const char* p = text;
    PyObject* s = PyUnicode_DecodeLatin1(p, static_cast<Py_ssize_t>(text.GetLength()), nullptr);
    if (!s) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

CString Latin1Bytes(py::handle text)
{
    if (!PyUnicode_Check(text.ptr())) throw py::type_error("expected a str");
    PyObject* bytes = PyUnicode_AsLatin1String(text.ptr());
    if (!bytes) {
        PyErr_Clear();
        throw py::value_error("texts of data blocks and formulas are 8-bit: characters above U+00FF do not fit");
    }
    const py::bytes owned = py::reinterpret_steal<py::bytes>(bytes);
    char* data = nullptr;
    Py_ssize_t size = 0;
    PyBytes_AsStringAndSize(owned.ptr(), &data, &size);
    return CString(std::string(data, static_cast<size_t>(size)));
}

std::string PathBytes(py::handle path)
{
    const py::bytes encoded = py::module_::import("os").attr("fsencode")(path);
    std::string bytes = encoded;
    // The library opens files by C string: a NUL would silently name another file.
    if (bytes.find('\0') != std::string::npos) throw py::value_error("embedded null byte in path");
    return bytes;
}

double SecondsArg(py::handle time)
{
    const py::module_ datetime = py::module_::import("datetime");
    if (py::isinstance(time, datetime.attr("datetime"))) {
        py::object t = py::reinterpret_borrow<py::object>(time);
        if (t.attr("tzinfo").is_none()) t = t.attr("replace")(py::arg("tzinfo") = datetime.attr("timezone").attr("utc"));
        return t.attr("timestamp")().cast<double>();
    }
    const py::module_ np = py::module_::import("numpy");
    if (py::isinstance(time, np.attr("datetime64"))) {
        if (np.attr("isnat")(time).cast<bool>()) return std::numeric_limits<double>::quiet_NaN();
        return time.attr("astype")("datetime64[us]").attr("astype")("int64").cast<double>() / 1e6;
    }
    if (PyBool_Check(time.ptr()) || PyUnicode_Check(time.ptr()) || !py::hasattr(py::type::handle_of(time), "__float__"))
        throw py::type_error("a time is seconds since 1970 UTC or a datetime, not " +
                             std::string(py::str(py::type::handle_of(time).attr("__name__"))));
    return py::float_(py::reinterpret_borrow<py::object>(time)).cast<double>();
}

} // namespace kvs::python
