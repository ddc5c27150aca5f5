// LineSoundings: reads a filtered multibeam line (a record stream of group 1011 pings) one
// ping at a time and hands over the ping's accepted soundings placed in the line's
// projected system: the ping position (505/506) plus the beam's across- and along-track
// offsets (603/604) turned by the heading (699, from grid north; where a ping lacks it,
// the course over ground between its neighbours), depth = -z (605, positive down) and
// the vertical error (676, NaN where absent).
//
// A beam is accepted when no filter rejected it (Multibeam::kBeamRejectMask) and, once
// the line has shown that it carries the sonar's usable bit 0x01 (any beam with it so far),
// when the sonar marked it usable: the quality filter in mode 1 rejects the others, so an
// unfiltered or differently filtered line gives the same soundings. A ping the filter
// judged invalid (0x10000), or without a valid position, is left out and counted.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvs::surface {

struct LineReadError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct PingSoundings
{
    double time = 0.0; // seconds since 1970 UTC
    int pingNumber = 0;
    std::vector<double> east, north;
    std::vector<double> depth; // metres, positive down
    std::vector<double> sigma; // vertical error, one sigma, metres; NaN where none
    size_t rejected = 0;       // beams of the ping not accepted
};

struct LineCounts
{
    uint64_t pings = 0;            // multibeam pings read
    uint64_t pingsInvalid = 0;     // judged invalid by the filter
    uint64_t pingsNoPosition = 0;  // without a valid 505/506
    uint64_t soundings = 0;        // accepted soundings handed over
    uint64_t rejected = 0;         // beams not accepted
    uint64_t otherBlocks = 0;      // blocks of other groups, skipped
    bool headingFromTrack = false; // some ping lacked 699 and took its course over ground
};

class LineSoundings
{
public:
    // Opens the line; LineReadError names the file when it cannot be read.
    explicit LineSoundings(std::string path);

    // The next ping with a valid position (its accepted soundings may be none); false at
    // the end. LineReadError names the file and the offset of a corrupt record.
    bool Next(PingSoundings& ping);

    const LineCounts& Counts() const { return m_counts; }
    const std::string& Path() const { return m_path; }
    // The UTM zone the import chose, from the first ping with a longitude and latitude
    // (692/693; negative south), 0 when the line has none (a simulated line).
    int UtmZone() const { return m_zone; }

private:
    struct Raw
    {
        double time = 0.0;
        int pingNumber = 0;
        double x = 0.0, y = 0.0;
        double heading = 0.0;
        bool hasHeading = false;
        bool located = false;
        bool invalid = false;
        std::vector<float> across, along, z, sigma;
        std::vector<unsigned int> flags;
    };
    bool ReadRaw(Raw& raw);
    void Place(const Raw& raw, const Raw* before, const Raw* after, PingSoundings& out);

    std::string m_path;
    RecordStreamReader m_reader;
    CDataBlock m_block;
    LineCounts m_counts;
    int m_zone = 0;
    bool m_zoneKnown = false;
    bool m_carriesUsableBit = false;
    // Three pings in turn: the one before, the one to hand over, the one after.
    Raw m_before, m_current, m_after;
    bool m_haveBefore = false, m_haveCurrent = false, m_haveAfter = false;
    bool m_started = false;
    double m_lastHeading = 0.0;
};

} // namespace kvs::surface
