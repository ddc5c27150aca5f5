// SBSpikeFilter: the three-point spike test of the single-beam chain. It holds the two
// latest soundings (block, position x/y and depth) and tests the middle one against its
// neighbours when the next arrives, so output lags input by one block. A sounding is a
// spike when it lies more than the noise distance off the line between its neighbours
// and the track turns at it by at most gamma. It owns copies of the held blocks. Every
// block that comes in goes out once: the soundings that have no neighbour on both sides
// pass on without the test and are counted. An object is for one thread at a time; the
// attribute map is only read, in SetAttributes.
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

    // True when block now holds a sounding to pass on; false only when the block was taken
    // into the history and nothing is due (the first block of a history). In order:
    // - a block without valid position (505, 506) and depth (201), rejected ones included,
    //   is passed on at once, untested and unchanged; it does not enter the history, so it
    //   may go out ahead of the one sounding held back;
    // - a block earlier in time than a held one restarts the history from the held blocks
    //   it does not precede; the held sounding it displaces goes out untested;
    // - the first sounding of a history goes out untested when the second arrives; from
    //   the third on, the middle one goes out spike-tested.
    // The mode is ignored.
    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    // Reads noise distance and gamma (degrees); the history is kept.
    bool SetAttributes(CAttributeMap* attributes) override;
    // End of stream: delivers the newest held block that was not yet passed on (it has
    // no successor, so it is not spike-tested), once; then the history is empty.
    bool GetRemainder(CDataBlock& block) override;

    double GetNoise() const { return m_noise; }
    double GetGamma() const { return m_gamma; } // radians
    int GetFillCount() const { return m_fill; }
    // Soundings passed on without the spike test so far (Process and GetRemainder),
    // blocks without valid position and depth included.
    long long GetUntestedCount() const { return m_untested; }

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
    long long m_untested = 0;
};
