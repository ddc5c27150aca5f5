// PyFileReader: what the module's file iterators (read_stream, import_gsf) share: the
// file's name, the library reader (none once closed), the end of iteration, and the
// Python iterator and context manager protocol bound once for both.
#pragma once

#include "PyCommon.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace kvs::python {

// Marks a file object in use while one of its calls runs without the GIL. Made before the
// GIL is released and gone after it is taken back, so the mark is only ever read and set
// with the GIL held.
class InUse
{
public:
    explicit InUse(bool& busy) : m_busy(busy) { m_busy = true; }
    ~InUse() { m_busy = false; }
    InUse(const InUse&) = delete;
    InUse& operator=(const InUse&) = delete;

private:
    bool& m_busy;
};

template <class Reader>
class PyFileReader
{
public:
    // Opens the file; errorClass is raised, naming the file, when it cannot be.
    PyFileReader(py::handle path, const char* errorClass, const char* closedText)
        : m_name(PathBytes(path)), m_errorClass(errorClass), m_closedText(closedText)
    {
        auto reader = std::make_unique<Reader>();
        CString error;
        if (!reader->Open(CString(m_name), error)) Raise(m_errorClass, m_name + ": " + std::string(error));
        m_reader = std::move(reader);
    }

    void Close()
    {
        RefuseWhileBusy();
        m_reader.reset();
    }
    bool Closed() const { return !m_reader; }
    const std::string& Name() const { return m_name; }
    const Reader& Get() const
    {
        if (!m_reader) throw py::value_error(m_closedText);
        return *m_reader;
    }

protected:
    Reader& Get()
    {
        if (!m_reader) throw py::value_error(m_closedText);
        return *m_reader;
    }
    // Ends the iteration: StopIteration, or the error class naming the file.
    [[noreturn]] void Stop()
    {
        m_done = true;
        throw py::stop_iteration();
    }
    [[noreturn]] void Fail(const std::string& what)
    {
        m_done = true;
        Raise(m_errorClass, m_name + ": " + what);
    }
    bool Done() const { return m_done; }

    // Runs work, which touches no Python object, with the GIL released, so that other
    // threads run meanwhile; the reader is marked in use, and a call of another thread
    // on it is refused rather than let in to race this one.
    template <class Work>
    auto Unlocked(Work&& work)
    {
        RefuseWhileBusy();
        const InUse inUse(m_busy);
        py::gil_scoped_release release; // back before the mark is dropped
        return work();
    }
    void RefuseWhileBusy() const
    {
        if (m_busy) throw std::runtime_error("the file is in use by another thread");
    }

private:
    std::string m_name;
    const char* m_errorClass;
    const char* m_closedText;
    std::unique_ptr<Reader> m_reader;
    bool m_done = false;
    bool m_busy = false; // a call runs without the GIL
};

// Binds __iter__, __next__ (T::Next), __enter__, __exit__ (closes), close, closed and name.
template <class T>
py::class_<T>& BindFileReader(py::class_<T>& c)
{
    return c.def("__iter__", [](T& r) -> T& { return r; })
        .def("__next__", &T::Next)
        .def("__enter__", [](T& r) -> T& { return r; })
        .def("__exit__", [](T& r, py::args) { r.Close(); })
        .def("close", &T::Close)
        .def_property_readonly("closed", &T::Closed)
        .def_property_readonly("name", [](const T& r) { return MessageText(r.Name()); });
}

} // namespace kvs::python
