// GsfPing and GsfSummary: a decoded GSF swath bathymetry ping and summary record, plain
// values in SI units as GsfReader delivers them. A ping's per-beam arrays hold beamCount
// values each when present (beam 0 is the outermost port beam); the reader reuses one
// ping, so the arrays keep their storage from ping to ping.
#pragma once

#include <KvsDataBlocks/formats/gsf/GsfFormat.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvs {

// One decoded per-beam array.
struct GsfBeamValues
{
    bool present = false;
    std::vector<double> values;
};

struct GsfPing
{
    uint32_t seconds = 0;     // since 1970-01-01 UTC
    uint32_t nanoseconds = 0; // 0 .. 999 999 999
    double longitude = 0.0;   // degrees, east positive
    double latitude = 0.0;    // degrees, north positive
    int beamCount = 0;
    int centreBeam = 0;
    uint16_t pingFlags = 0;
    // Metres unless said otherwise; the unknown values are 99.99 (correctors) and 9999.99
    // (height, separation), as the file writes them.
    double tideCorrector = 0.0;
    double depthCorrector = 0.0;
    double gpsTideCorrector = 0.0;
    double heading = 0.0; // degrees
    double pitch = 0.0;   // degrees, bow up positive
    double roll = 0.0;    // degrees, starboard down positive
    double heave = 0.0;
    double course = 0.0;  // degrees
    double speed = 0.0;   // knots
    double height = 0.0;
    double separation = 0.0;
    int sensorId = -1;    // id of the sensor-specific subrecord (0: marker "none"), -1 when absent

    // Depth positive down, across-track starboard positive, along-track forward positive,
    // beam angle in degrees from vertical (sign as the writer chose), errors in metres.
    GsfBeamValues depth, acrossTrack, alongTrack, beamAngle;
    GsfBeamValues depthError, acrossTrackError, alongTrackError; // obsolete arrays 11 to 13
    GsfBeamValues verticalError, horizontalError;                // arrays 19 and 20

    bool hasBeamFlags = false;
    std::vector<uint8_t> beamFlags;
    // Where the first beam flag byte lies, counted from the start of the record (its
    // framing included), for editing the flags in place.
    size_t beamFlagsAt = 0;

    // Seconds since 1970 as a double (resolves about 0.24 microseconds today).
    double Time() const { return seconds + nanoseconds * 1e-9; }
    bool IsIgnored() const { return (pingFlags & gsf::kPingIgnore) != 0; }
    // A beam is usable when its flag byte has bit 0 clear, or when there are no flags.
    bool IsBeamUsable(int beam) const
    {
        return !hasBeamFlags || (beamFlags[static_cast<size_t>(beam)] & gsf::kBeamIgnore) == 0;
    }
};

struct GsfSummary
{
    uint32_t startSeconds = 0, startNanoseconds = 0;
    uint32_t endSeconds = 0, endNanoseconds = 0;
    double minLatitude = 0.0, minLongitude = 0.0, maxLatitude = 0.0, maxLongitude = 0.0; // degrees
    double minDepth = 0.0, maxDepth = 0.0; // metres
};

} // namespace kvs
