// kvsdatablocks.import_gsf: the swath bathymetry pings of a GSF file as multibeam blocks
// (group 1011), one by one, with the library's GSF reader and ping mapper, as
// `kvsblocks import` writes them. Each ping is a block of its own, so blocks kept out of
// the loop stay as they were read.
#include "PyBindings.h"
#include "PyBlock.h"
#include "PyCommon.h"

#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <memory>
#include <string>

namespace kvs::python {

namespace {

class PyGsfImport
{
public:
    explicit PyGsfImport(py::handle path) : m_name(PathBytes(path))
    {
        auto reader = std::make_unique<GsfReader>();
        CString error;
        if (!reader->Open(CString(m_name), error)) Raise("GsfError", m_name + ": " + std::string(error));
        m_reader = std::move(reader);
    }

    // The next ping; records of other types are stepped over. A fault raises GsfError
    // after the pings before it have been delivered.
    std::shared_ptr<PyBlock> Next()
    {
        if (m_done) throw py::stop_iteration();
        GsfReader& reader = Reader();
        CString error;
        for (;;) {
            const GsfReader::Result r = reader.Next(error);
            if (r == GsfReader::Result::End) break;
            if (r == GsfReader::Result::Error) Fail(std::string(error));
            if (!reader.IsPing()) continue;
            auto block = std::make_shared<CDataBlock>();
            if (!m_mapper.Map(reader.Ping(), static_cast<int>(reader.PingsRead()), *block, error))
                Fail("record " + std::to_string(reader.RecordIndex()) + " at byte " +
                     std::to_string(reader.RecordOffset()) + ": " + std::string(error));
            return std::make_shared<PyBlock>(std::move(block));
        }
        m_done = true;
        throw py::stop_iteration();
    }

    void Close() { m_reader.reset(); }
    bool Closed() const { return !m_reader; }
    const std::string& Name() const { return m_name; }
    int UtmZone() const { return m_mapper.UtmZone(); }
    const GsfReader& Reader() const
    {
        if (!m_reader) throw py::value_error("I/O operation on a closed file");
        return *m_reader;
    }

private:
    GsfReader& Reader()
    {
        if (!m_reader) throw py::value_error("I/O operation on a closed file");
        return *m_reader;
    }
    [[noreturn]] void Fail(const std::string& what)
    {
        m_done = true;
        Raise("GsfError", m_name + ": " + what);
    }

    std::string m_name;
    std::unique_ptr<GsfReader> m_reader;
    GsfBlockMapper m_mapper;
    bool m_done = false;
};

} // namespace

void BindGsf(py::module_& m)
{
    py::class_<PyGsfImport>(m, "GsfImport", "The pings of a GSF file as multibeam blocks, one by one (an iterator).")
        .def("__iter__", [](PyGsfImport& g) -> PyGsfImport& { return g; })
        .def("__next__", &PyGsfImport::Next)
        .def("__enter__", [](PyGsfImport& g) -> PyGsfImport& { return g; })
        .def("__exit__", [](PyGsfImport& g, py::args) { g.Close(); })
        .def("close", &PyGsfImport::Close)
        .def_property_readonly("closed", &PyGsfImport::Closed)
        .def_property_readonly("name", [](const PyGsfImport& g) { return MessageText(g.Name()); })
        .def_property_readonly("version",
                               [](const PyGsfImport& g) {
                                   return py::make_tuple(g.Reader().MajorVersion(), g.Reader().MinorVersion());
                               },
                               "(major, minor) of the file's GSF version.")
        .def_property_readonly("pings_read", [](const PyGsfImport& g) { return g.Reader().PingsRead(); })
        .def_property_readonly("utm_zone", &PyGsfImport::UtmZone,
                               "UTM zone of positions 505/506 (negative: south), 0 before the first position.")
        .def_property_readonly(
            "record_counts",
            [](const PyGsfImport& g) {
                py::dict counts;
                for (const auto& [id, n] : g.Reader().RecordCounts()) counts[py::int_(id)] = n;
                return counts;
            },
            "Records read so far, by GSF record id.");

    m.def(
        "import_gsf", [](py::object path) { return std::make_unique<PyGsfImport>(path); }, py::arg("path"),
        "Opens a GSF file: iterate it for its swath bathymetry pings as multibeam blocks (group 1011), best in a with "
        "statement. A bad record raises GsfError naming its index and byte offset, after the pings before it.");
}

} // namespace kvs::python
