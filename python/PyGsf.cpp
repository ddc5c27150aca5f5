// kvsdatablocks.import_gsf: the swath bathymetry pings of a GSF file as multibeam blocks
// (group 1011), one by one, with the library's GSF reader and ping mapper, as
// `kvsblocks import` writes them. Each ping is a block of its own, so blocks kept out of
// the loop stay as they were read.
#include "PyBindings.h"
#include "PyBlock.h"
#include "PyCommon.h"
#include "PyFileReader.h"

#include <KvsDataBlocks/formats/gsf/GsfBlockMapper.h>
#include <KvsDataBlocks/formats/gsf/GsfReader.h>

#include <memory>
#include <string>

namespace kvs::python {

namespace {

class PyGsfImport : public PyFileReader<GsfReader>
{
public:
    explicit PyGsfImport(py::handle path) : PyFileReader(path, "GsfError", "I/O operation on a closed file") {}

    // The next ping; records of other types are stepped over. A fault raises GsfError
    // after the pings before it have been delivered.
    std::shared_ptr<PyBlock> Next()
    {
        if (Done()) throw py::stop_iteration();
        GsfReader& reader = Get();
        auto block = std::make_shared<CDataBlock>();
        std::string failure;
        // Reading and mapping touch no Python object: the GIL is released meanwhile.
        const bool ping = Unlocked([&] {
            CString error;
            for (;;) {
                const GsfReader::Result r = reader.Next(error);
                if (r == GsfReader::Result::End) return false;
                if (r == GsfReader::Result::Error) {
                    failure = std::string(error);
                    return false;
                }
                if (!reader.IsPing()) continue;
                if (!m_mapper.Map(reader.Ping(), static_cast<int>(reader.PingsRead()), *block, error))
                    failure = "record " + std::to_string(reader.RecordIndex()) + " at byte " +
                              std::to_string(reader.RecordOffset()) + ": " + std::string(error);
                return true;
            }
        });
        if (!failure.empty()) Fail(failure);
        if (!ping) Stop();
        return std::make_shared<PyBlock>(std::move(block));
    }

    int UtmZone() const { return m_mapper.UtmZone(); }
    const GsfReader& Reader() const { return Get(); }

private:
    GsfBlockMapper m_mapper;
};

} // namespace

void BindGsf(py::module_& m)
{
    py::class_<PyGsfImport> import(m, "GsfImport", "The pings of a GSF file as multibeam blocks, one by one (an iterator).");
    BindFileReader(import)
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
