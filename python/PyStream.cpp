// kvsdatablocks.read_stream / write_stream: record stream files as an iterator of blocks
// and a writer of blocks, both context managers. Every block read is a block of its own,
// so blocks (and arrays of them) taken out of the loop stay as they were read.
#include "PyBindings.h"
#include "PyBlock.h"
#include "PyCommon.h"
#include "PyFileReader.h"

#include <KvsDataBlocks/datablocks/RecordStream.h>

#include "OutputFile.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace kvs::python {

namespace {

class PyStreamReader : public PyFileReader<RecordStreamReader>
{
public:
    explicit PyStreamReader(py::handle path)
        : PyFileReader(path, "StreamError", "I/O operation on a closed stream")
    {
    }

    std::shared_ptr<PyBlock> Next()
    {
        if (Done()) throw py::stop_iteration();
        auto block = std::make_shared<CDataBlock>();
        CString error;
        RecordStreamReader& reader = Get();
        switch (Unlocked([&] { return reader.Next(*block, error); })) {
        case RecordStreamReader::Result::Record: return std::make_shared<PyBlock>(std::move(block));
        case RecordStreamReader::Result::End: break;
        case RecordStreamReader::Result::Error: Fail(std::string(error));
        }
        Stop();
    }
    const RecordStreamReader& Reader() const { return Get(); }
};

// Writes to a new file that replaces the target only when closed after a run without
// fault (tools/OutputFile: a link stays a link, the old file stays until then). A target
// that this process is reading (a read_stream, an import_gsf or any open file of it, under
// any name) is refused: writing it would destroy the input.
class PyStreamWriter
{
public:
    PyStreamWriter(py::handle path, bool partial) : m_name(PathBytes(path)), m_partial(partial)
    {
        if (tool::OpenInThisProcess(m_name) >= 0)
            Raise("StreamError", m_name + ": the output is a file this program is reading (open as an input): "
                                          "writing it would destroy the input; write to another file");
        auto file = std::make_unique<tool::OutputFile>(m_name);
        auto writer = std::make_unique<RecordStreamWriter>();
        std::string failure;
        if (!file->Open(failure)) Raise("StreamError", failure);
        CString error;
        if (!writer->Open(file->Stream(), error)) Raise("StreamError", m_name + ": " + std::string(error));
        m_file = std::move(file);
        m_writer = std::move(writer);
    }

    // Writes with the GIL released. The writer is marked in use (another thread's call on
    // it is refused), and the block's storage is held: a change to the block meanwhile
    // copies it first (PyBlock's copy on write), so what is written stays whole.
    void Write(const PyBlock& block)
    {
        RecordStreamWriter& writer = Writer();
        RefuseWhileBusy();
        const std::shared_ptr<CDataBlock> storage = block.Storage();
        CString error;
        bool ok = false;
        {
            const InUse inUse(m_busy);
            py::gil_scoped_release release; // back before the mark is dropped
            ok = writer.Write(*storage, error);
        }
        if (!ok) Raise("StreamError", m_name + ": " + std::string(error));
    }

    // Flushes and puts the file in place (keep), or drops it and leaves the target as it
    // was; StreamError when the data could not all be written.
    void Close(bool keep = true)
    {
        RefuseWhileBusy();
        if (!m_writer) return;
        CString error;
        bool ok = m_writer->Close(error);
        std::string failure = m_name + ": " + std::string(error);
        m_writer.reset();
        if (ok && keep) {
            ok = m_file->Commit(failure);
        } else {
            m_file->Discard();
        }
        m_file.reset();
        if (!ok) Raise("StreamError", failure);
    }

    // At the end of a with statement by an exception: the blocks written so far are kept
    // only when asked for (partial=True).
    void Abandon() { Close(m_partial); }

    bool Closed() const { return !m_writer; }
    RecordStreamWriter& Writer()
    {
        if (!m_writer) throw py::value_error("I/O operation on a closed stream");
        return *m_writer;
    }

private:
    void RefuseWhileBusy() const
    {
        if (m_busy) throw std::runtime_error("the stream is in use by another thread");
    }

    std::string m_name;
    bool m_partial;
    std::unique_ptr<tool::OutputFile> m_file;
    std::unique_ptr<RecordStreamWriter> m_writer;
    bool m_busy = false; // a write runs without the GIL
};

} // namespace

void BindStream(py::module_& m)
{
    py::class_<PyStreamReader> reader(m, "StreamReader", "Blocks of a record stream file, one by one (an iterator).");
    BindFileReader(reader)
        .def_property_readonly("offset", [](const PyStreamReader& r) { return r.Reader().Offset(); },
                               "Byte offset of the record read next.")
        .def_property_readonly("records_read", [](const PyStreamReader& r) { return r.Reader().RecordsRead(); })
        .def_property_readonly("size", [](const PyStreamReader& r) { return r.Reader().Size(); },
                               "Bytes of the file (0 when not known).");

    py::class_<PyStreamWriter>(m, "StreamWriter", "Appends blocks to a new record stream file.")
        .def("write", &PyStreamWriter::Write, py::arg("block"))
        .def("close", [](PyStreamWriter& w) { w.Close(); })
        .def("__enter__", [](PyStreamWriter& w) -> PyStreamWriter& { return w; })
        .def("__exit__",
             [](PyStreamWriter& w, py::handle type, py::handle, py::handle) {
                 if (type.is_none()) return w.Close();
                 // An exception is on its way already: close, and let that one through.
                 try {
                     w.Abandon();
                 } catch (const py::error_already_set&) {
                 }
             })
        .def_property_readonly("closed", &PyStreamWriter::Closed)
        .def_property_readonly("records_written", [](PyStreamWriter& w) { return w.Writer().RecordsWritten(); });

    m.def(
        "read_stream", [](py::object path) { return std::make_unique<PyStreamReader>(path); }, py::arg("path"),
        "Opens a record stream file: iterate it for its blocks, best in a with statement. A truncated or corrupt "
        "record raises StreamError naming its byte offset, after the blocks before it.");
    m.def(
        "write_stream", [](py::object path, bool partial) { return std::make_unique<PyStreamWriter>(path, partial); },
        py::arg("path"), py::kw_only(), py::arg("partial") = false,
        "Writes a record stream file whole or not at all: write(block) appends to a new file, close() (or the end of "
        "a with statement) puts it in the place of path and raises StreamError if the data could not all be "
        "written. A with statement left by an exception leaves path as it was, unless partial=True keeps the blocks "
        "written before it. A file this program is reading is refused.");
}

} // namespace kvs::python
