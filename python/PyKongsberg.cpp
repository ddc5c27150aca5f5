// kvsdatablocks.import_file: the pings of a multibeam file as multibeam blocks (group
// 1011), one by one, as `kvsblocks import` writes them; the format is found from the
// file's bytes. GSF goes to import_gsf; Kongsberg .all and .kmall to the iterators here,
// with the library's readers and block mapper. Each swath is a block of its own.
#include "PyBindings.h"
#include "PyBlock.h"
#include "PyCommon.h"
#include "PyFileReader.h"

#include <KvsDataBlocks/formats/FileFormat.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergAllReader.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergBlockMapper.h>
#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

#include <pybind11/stl.h>

#include <cstdio>
#include <memory>
#include <string>

namespace kvs::python {

namespace {

template <class Reader>
class PyKongsbergImport : public PyFileReader<Reader>
{
public:
    using Base = PyFileReader<Reader>;
    explicit PyKongsbergImport(py::handle path) : Base(path, "KongsbergError", "I/O operation on a closed file") {}

    // The next swath. A fault raises KongsbergError after the swaths before it. Reading and
    // mapping touch no Python object: the GIL is released meanwhile.
    std::shared_ptr<PyBlock> Next()
    {
        if (this->Done()) throw py::stop_iteration();
        Reader& reader = this->Get();
        auto block = std::make_shared<CDataBlock>();
        std::string failure;
        const bool swath = this->Unlocked([&] {
            CString error;
            const typename Reader::Result r = reader.Next(error);
            if (r == Reader::Result::End) return false;
            if (r == Reader::Result::Error) {
                failure = std::string(error);
                return false;
            }
            const KongsbergSwath& s = reader.Swath();
            if (!m_mapper.Map(s, static_cast<int>(reader.SwathsRead()), *block, error))
                failure = "datagram " + std::to_string(s.parts.front().index) + " at byte " +
                          std::to_string(s.parts.front().offset) + ": " + std::string(error);
            return true;
        });
        if (!failure.empty()) this->Fail(failure);
        if (!swath) this->Stop();
        return std::make_shared<PyBlock>(std::move(block));
    }

    int UtmZone() const { return m_mapper.UtmZone(); }
    const Reader& Source() const { return this->Get(); }

private:
    KongsbergBlockMapper m_mapper;
};

using PyAllImport = PyKongsbergImport<KongsbergAllReader>;
using PyKmallImport = PyKongsbergImport<KongsbergKmallReader>;

template <class T>
py::class_<T> BindImport(py::module_& m, const char* name, const char* doc)
{
    py::class_<T> c(m, name, doc);
    return BindFileReader(c)
        .def_property_readonly("pings_read", [](const T& t) { return t.Source().SwathsRead(); },
                               "Swaths (blocks) delivered so far.")
        .def_property_readonly("utm_zone", &T::UtmZone,
                               "UTM zone of positions 505/506 (negative: south), 0 before the first position.");
}

} // namespace

void BindKongsberg(py::module_& m)
{
    BindImport<PyAllImport>(m, "KongsbergAllImport", "The swaths of a Kongsberg .all file as multibeam blocks (an iterator).")
        .def_property_readonly(
            "datagram_counts",
            [](const PyAllImport& t) {
                py::dict counts;
                for (const auto& [type, n] : t.Source().DatagramCounts()) counts[py::str(std::string(1, static_cast<char>(type)))] = n;
                return counts;
            },
            "Datagrams read so far, by type letter.");
    BindImport<PyKmallImport>(m, "KongsbergKmallImport",
                              "The swaths of a Kongsberg .kmall file as multibeam blocks (an iterator).")
        .def_property_readonly("datagram_counts", [](const PyKmallImport& t) { return t.Source().DatagramCounts(); },
                               "Datagrams read so far, by type (\"#MRZ\", ...).")
        .def_property_readonly("extra_detections", [](const PyKmallImport& t) { return t.Source().ExtraDetections(); },
                               "Extra detections of the swaths read (counted, not beams).");

    m.def(
        "import_file",
        [](py::object path) -> py::object {
            const std::string name = PathBytes(path);
            const FileFormat format = DetectFileFormat(name.c_str());
            switch (format) {
            case FileFormat::Gsf:
                return py::module_::import(kModuleName).attr("import_gsf")(path);
            case FileFormat::KongsbergAll:
                return py::cast(std::make_unique<PyAllImport>(path));
            case FileFormat::KongsbergKmall:
                return py::cast(std::make_unique<PyKmallImport>(path));
            default:
                break;
            }
            if (std::FILE* f = std::fopen(name.c_str(), "rb")) std::fclose(f);
            else Raise("KongsbergError", "cannot open " + name);
            Raise("FormatError", name + ": not a GSF, Kongsberg .all or .kmall file: it looks like " +
                                     std::string(format == FileFormat::Empty ? "an empty file" : FileFormatName(format)));
        },
        py::arg("path"),
        "Opens a multibeam file, its format found from its bytes (GSF, Kongsberg .all or .kmall): iterate it for its "
        "pings as multibeam blocks (group 1011), as kvsblocks import writes them, best in a with statement. A fault "
        "raises GsfError or KongsbergError naming the place, after the pings before it; a file of another format "
        "raises FormatError.");
}

} // namespace kvs::python
