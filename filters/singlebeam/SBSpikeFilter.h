// SBSpikeFilter: the three-point spike test of the single-beam chain. It holds the two
// latest soundings (block, position x/y and depth) and tests the middle one against its
// neighbours when the next arrives, so output lags input by one block. A sounding is a
// spike when it lies more than the noise distance off the line between its neighbours
// and the track turns at it by at most gamma. It owns copies of the held blocks. An
// object is for one thread at a time; the attribute map is only read, in SetAttributes.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/geometry/Point.h>

class KVS_API SBSpikeFilter : public Filter
{
public:
    SBSpikeFilter() = default;
    SBSpikeFilter(const SBSpikeFilter&) = default;
    SBSpikeFilter& operator=(const SBSpikeFilter&) = default;
    ~SBSpikeFilter() override = default;

    // True when block now holds the previous sounding, spike-tested; false while the
    // two-block history fills and for a block without valid position (505, 506) and
    // depth (201), which is consumed. A block earlier in time than a held one restarts
    // the history. The mode is ignored.
    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    // Reads noise distance and gamma (degrees); the history is kept.
    bool SetAttributes(CAttributeMap* attributes) override;
    // End of stream: delivers the newest held block that was not yet passed on (it has
    // no successor, so it is not spike-tested), once; then the history is empty.
    bool GetRemainder(CDataBlock& block) override;

    double GetNoise() const { return m_noise; }
    double GetGamma() const { return m_gamma; } // radians
    int GetFillCount() const { return m_fill; }

private:
    static bool GetData(const CDataBlock& block, Point& point);
    bool FilterGamma() const;
    bool CheckDist() const;

    double m_gamma = 0.0; // radians; 0 or less switches the angle test off
    double m_noise = 0.0;
    CDataBlock m_held[2];  // [0] the older, [1] the newer
    int m_fill = -1;       // -1 nothing held, 0 [0] held, 1 both held
    Point m_current;
    Point m_points[2];     // parallel to m_held
    [[maybe_unused]] unsigned short m_status = 0;
    bool m_pending[2] = {false, false}; // held block not yet passed on
};
