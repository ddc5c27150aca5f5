// Feeds arbitrary text to the tide file reader (both layouts: the native "KVSTIDE 1" file
// and the simple dated lines). A refused text names its line; an accepted one yields
// finite, strictly increasing times, interpolates without faults, and survives being
// written in either layout and read back unchanged.
#include <KvsDataBlocks/tide/TideStation.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

void CheckSameObservations(const TideStation& a, const TideStation& b)
{
    Check(a.GetNumValues() == b.GetNumValues());
    for (int i = 0; i < a.GetNumValues(); ++i) {
        double ta = 0, va = 0, tb = 0, vb = 0;
        Check(a.GetTideValue(i, ta, va) && b.GetTideValue(i, tb, vb));
        Check(ta == tb && va == vb);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TideStation station;
    CString error;
    if (!TideStation::Parse(text, station, error)) {
        Check(error.Find("line ") == 0);
        Check(station.GetNumValues() == 0);
        return 0;
    }
    double previous = -INFINITY;
    for (int i = 0; i < station.GetNumValues(); ++i) {
        double t = 0, v = 0;
        Check(station.GetTideValue(i, t, v));
        Check(std::isfinite(t) && std::isfinite(v) && t > previous);
        previous = t;
    }

    double first = 0, last = 0;
    if (station.GetTimeSpan(first, last)) {
        station.SetExtrapolationAttribs(true, 3600.0);
        for (double t : {first - 1800.0, first, (first + last) / 2, last, last + 1.0, last + 7200.0}) {
            double time = t, value = 0.0;
            station.InterpolateTide(time, value);
        }
    }

    for (TideStation::Layout layout : {TideStation::Layout::Native, TideStation::Layout::Simple}) {
        station.SetLayout(layout);
        TideStation back;
        CString again;
        Check(TideStation::Parse(station.Format(), back, again));
        Check(back.GetLayout() == layout);
        CheckSameObservations(station, back);
        if (layout == TideStation::Layout::Native) {
            Check(back.GetStationName() == station.GetStationName() && back.GetStationID() == station.GetStationID());
            Check(back.GetStationKP() == station.GetStationKP() && back.GetStationOffset() == station.GetStationOffset());
        }
    }
    return 0;
}
