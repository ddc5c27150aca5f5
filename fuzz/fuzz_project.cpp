// Feeds arbitrary text to the project file reader: it must accept or refuse without
// crashing. A refused text leaves the project without a system and with a reason; an
// accepted one gives a system whose conversions can be run; a refused text after an
// accepted one keeps the accepted system.
#include <KvsDataBlocks/config/ProjectDefinition.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096) return 0; // long texts only make PROJ slower, not the reader deeper
    const CString text(std::string(reinterpret_cast<const char*>(data), size));
    ProjectDefinition project;
    if (!project.LoadProjectText(text, "fuzz.prj")) {
        if (project.GetGeoCoordSys() != nullptr || project.GetLastError().IsEmpty()) std::abort();
        return 0;
    }
    const KvsGeoCoordSysBase* system = project.GetGeoCoordSys();
    if (system == nullptr || !project.GetLastError().IsEmpty()) std::abort();
    double lat = 0.0, lon = 0.0, x = 0.0, y = 0.0, h = 0.0, n = 0.0;
    double inLat = 52.0, inLon = 3.0, inH = 0.0;
    system->GridAdjust(1000.0, 2000.0, 0.0, x, y, h, 1);
    system->GridToGeo(500000.0, 5800000.0, lat, lon);
    system->GeoToGrid(52.0, 3.0, x, y);
    system->DatumTransform(inLat, inLon, inH, lat, lon, h, 1, CString());
    system->HeightCorrection(52.0, 3.0, x, y, n);
    if (project.LoadProjectText("grid = EPSG:4326\ndatum = EPSG:4326\n", "bad.prj") ||
        project.GetGeoCoordSys() != system)
        std::abort();
    return 0;
}
