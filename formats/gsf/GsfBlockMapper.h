// GsfBlockMapper: fills a multibeam data block (group 1011, laid out from the data
// definition) from a decoded GSF ping, so the multibeam filters run on real soundings.
// One mapper serves one file: positions are projected to UTM (WGS 84) in the zone of the
// first ping with a valid position, through PROJ. What goes where:
//   601 the 1-based ping index in the file; block time, 694/695 the exact time
//   602 beams; 603/604 across/along-track; 605 z = -depth (GSF depths already carry the
//   tide and draft correctors); 622 beam angle, made port-negative
//   606 sonar bit 0x01 (good) set for a usable beam, clear for an ignored one, or for every
//   beam of an ignored ping; 690 the GSF beam flag bytes, 691 the GSF ping flags
//   612 beams GSF ignores; 212 depth corrector + applied tide corrector (unknown = 0); 507 0
//   676 vertical error (array 19, else the obsolete 11); 677 horizontal error (array 20,
//   else the root sum of squares of the obsolete 12 and 13); absent ones are left empty
//   505/506 easting/northing, metres; 692/693 longitude/latitude, degrees; 699 the heading
//   from grid north (the true heading turned by the meridian convergence), when located
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formats/gsf/GsfPing.h>
#include <KvsDataBlocks/platform/CString.h>

#include <memory>
#include <vector>

class CDataBlock;
class KvsGeoCoordSysBase;

namespace kvs {

class KVS_API GsfBlockMapper
{
public:
    GsfBlockMapper();
    ~GsfBlockMapper();
    GsfBlockMapper(const GsfBlockMapper&) = delete;
    GsfBlockMapper& operator=(const GsfBlockMapper&) = delete;

    // Fills block with ping number pingNumber (1-based), laying it out from the data
    // definition when it is not yet a group 1011 block. False, with a message, when the
    // ping cannot be held (no depth or across-track array, more beams than the filters
    // hold) or the definition's group 1011 lacks an element the mapping fills.
    bool Map(const GsfPing& ping, int pingNumber, CDataBlock& block, CString& error);

    // The UTM zone in use (1 to 60, negative for the southern hemisphere), 0 before the
    // first valid position.
    int UtmZone() const { return m_zone; }

    // The UTM zone of a position: the 6-degree zone with the Norway and Svalbard
    // exceptions; negative south of the equator. 0 for an invalid position.
    static int ZoneOf(double latitude, double longitude);

    // Projects a position to UTM on WGS 84 in zone, which the first call sets up (utm, zone)
    // from that position; the mappers of every format keep their zone this way.
    static bool ProjectToUtm(std::unique_ptr<KvsGeoCoordSysBase>& utm, int& zone, double latitude, double longitude,
                             double& x, double& y, CString& error);

private:
    bool Project(double latitude, double longitude, double& x, double& y, CString& error);

    int m_zone = 0;
    std::unique_ptr<KvsGeoCoordSysBase> m_utm;
    std::vector<float> m_x, m_y, m_z, m_angle, m_vertError, m_horError, m_zeros;
    std::vector<unsigned int> m_flags;
};

} // namespace kvs
