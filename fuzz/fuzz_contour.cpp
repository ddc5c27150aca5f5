// Feeds arbitrary text to the vessel contour reader: it must accept or refuse without
// crashing; a refused text leaves an empty contour with a reason, an accepted one gives
// finite corner points that can be read back.
#include <KvsDataBlocks/filters/pipedetect/VesselContour.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const CString text(std::string(reinterpret_cast<const char*>(data), size));
    for (int view : {VesselContour::kSideView, 1}) {
        VesselContour contour;
        if (!contour.CreateFromText(text, view)) {
            if (contour.GetSize() != 0 || contour.GetLastError().IsEmpty()) std::abort();
            continue;
        }
        VesselPoint p;
        for (int i = 1; i <= contour.GetSize(); ++i) {
            if (!contour.GetPoint(i, p) || !std::isfinite(p.x) || !std::isfinite(p.y) || p.z != 0.0) std::abort();
        }
    }
    return 0;
}
