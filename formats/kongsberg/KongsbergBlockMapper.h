// KongsbergBlockMapper: fills a multibeam data block (group 1011) from a Kongsberg swath
// (.all or .kmall), so that the multibeam filters run on the sonar's soundings as they do
// on a GSF import. One mapper serves one file: positions are projected to UTM (WGS 84) in
// the zone of the first swath with a position. What goes where:
//   601 the 1-based place of the swath in the file (the number export matches it by);
//   696 the sonar's own ping counter; 697 the swath's along-track position in its ping
//   (0 first); 698 the ping's frequency, Hz (0 unknown); block time, 694/695 the exact time
//   602 beams, every beam valid or not; 603/604 across/along-track from the reference point
//   of the positions; 605 z = -(depth below the water line); 212 the transmit transducer
//   depth, so that z + 212 is minus the depth below the transducer; 507 0
//   622 beam angle re the receive array, port negative (sign checked against across-track)
//   606 sonar bit 0x01 set for a beam the sonar accepted; 612 the beams it did not
//   690 the native flag byte (.all detection information; .kmall detection type | method
//   << 4); 608 the native 16 bits (.all detection information | real-time cleaning << 8;
//   .kmall rejection info 1 | rejection info 2 << 8): nothing of the sonar's verdict lost
//   676/677 vertical/horizontal uncertainty (.kmall; empty for .all)
//   505/506 easting/northing, 692/693 longitude/latitude; a swath without a position has
//   them all not valid (never an invented position)
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/formats/kongsberg/KongsbergSwath.h>
#include <KvsDataBlocks/platform/CString.h>

#include <memory>
#include <vector>

class CDataBlock;
class KvsGeoCoordSysBase;

namespace kvs {

class KVS_API KongsbergBlockMapper
{
public:
    KongsbergBlockMapper();
    ~KongsbergBlockMapper();
    KongsbergBlockMapper(const KongsbergBlockMapper&) = delete;
    KongsbergBlockMapper& operator=(const KongsbergBlockMapper&) = delete;

    // Fills block with the swath, numbered pingNumber (1-based). False, with a message,
    // when the swath has no beams or more than a block holds (it is refused, never cut),
    // or the definition's group 1011 lacks an element the mapping fills.
    bool Map(const KongsbergSwath& swath, int pingNumber, CDataBlock& block, CString& error);

    // The UTM zone in use (negative south), 0 before the first position.
    int UtmZone() const { return m_zone; }

private:
    bool Project(double latitude, double longitude, double& x, double& y, CString& error);

    int m_zone = 0;
    std::unique_ptr<KvsGeoCoordSysBase> m_utm;
    std::vector<float> m_z, m_zeros;
    std::vector<unsigned int> m_flags;
};

} // namespace kvs
