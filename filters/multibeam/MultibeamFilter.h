// MultibeamFilter: flags the beams of multibeam pings (data blocks of group 1011, one
// ping a block) by reject list, quality, slant range, depth, swath, slope, angle,
// statistics over a window of pings, flying objects, a smart profile test and IHO and
// custom error limits. Settings come from a CAttributeMap. Filters never remove data:
// they OR bits into each beam's flag word (use-as 606) and the ping's flag word (607).
// It runs the chain; it owns its settings, the tests, its working ping and the window of
// pings of the statistical filter. An object is for
// one thread at a time; objects on other threads may share the attribute map, which is
// read only while the settings are taken (construction, SetAttributes) and not changed.
#pragma once

#include <KvsDataBlocks/KvsExport.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/BeamTests.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/MultibeamSettings.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>
#include <KvsDataBlocks/filters/multibeam/SmartFilter.h>

#include <deque>
#include <memory>
#include <vector>

namespace kvs::multibeam::detail {
class StatisticsWindow;
}

class KVS_API MultibeamFilter : public Filter
{
public:
    // Flag bits (beam word: 606, ping word: 607). Bits 0-7 are the sonar's own. The bits
    // are named once, in filters/multibeam/Multibeam.h.
    static constexpr unsigned int kFlagRejectList = Multibeam::kFlagRejectList;     // beam and ping
    static constexpr unsigned int kFlagQuality = Multibeam::kFlagQuality;           // beam and ping
    static constexpr unsigned int kFlagRange = Multibeam::kFlagRange;               // beam and ping
    static constexpr unsigned int kFlagDepth = Multibeam::kFlagDepth;               // beam and ping
    static constexpr unsigned int kFlagSwath = Multibeam::kFlagSwath;               // beam and ping
    static constexpr unsigned int kFlagSlope = Multibeam::kFlagSlope;               // beam and ping
    static constexpr unsigned int kFlagAngle = Multibeam::kFlagAngle;               // beam and ping
    static constexpr unsigned int kFlagStatistics = Multibeam::kFlagStatistics;     // beam and ping
    static constexpr unsigned int kFlagPingInvalid = Multibeam::kPingFlagInvalid;   // ping only
    static constexpr unsigned int kFlagFlyingRan = Multibeam::kPingFlagFlyingRan;   // ping only
    static constexpr unsigned int kFlagFlyingObject = Multibeam::kFlagFlyingObject; // beam
    static constexpr unsigned int kFlagCustomError = Multibeam::kFlagCustomError;   // beam
    static constexpr unsigned int kFlagIhoError = Multibeam::kFlagIhoError;         // beam
    static constexpr unsigned int kFlagSmart = Multibeam::kFlagSmart;               // beam

    // Beam flags cleared before a pass: in mode 3 only the error-limit bits; otherwise
    // all but the sonar's bits 0-7 and the bits 0x10000 and 0x200000.
    static constexpr unsigned int kKeepInErrorMode = ~(kFlagCustomError | kFlagIhoError);
    static constexpr unsigned int kKeepInFullMode = 0x002100FF;

    // The mode that recomputes only the IHO and custom error flags.
    static constexpr COMPUPDATEMODE kErrorLimitsOnly = static_cast<COMPUPDATEMODE>(3);

    static constexpr int kMaxBeams = PingStruct::kMaxBeams;
    static constexpr int kWindowSlots = 14;
    // The most smart-filter bins across the analysed half-width that are worked with.
    static constexpr int kMaxAveragingClips = SmartFilter::kMaxAveragingClips;

    // Reads the settings (SetAttributes); a null map leaves every filter off.
    explicit MultibeamFilter(CAttributeMap* attributes);
    // Copies settings and the window: a copy owns window arrays of its own.
    MultibeamFilter(const MultibeamFilter& other);
    MultibeamFilter& operator=(const MultibeamFilter& other);
    ~MultibeamFilter() override;

    // Filters the ping of block. True when block now holds a finished ping, which with
    // statistics on is the ping half a window older than the one brought in; false when
    // the block cannot be read (block unchanged) or the window is still filling.
    // A block is unreadable when it lacks one of the arrays 603, 604, 605 (float) and 606
    // (32-bit unsigned) with beam-count items, or when its beam count is negative or
    // above kMaxBeams.
    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    // Drains the pings the window still holds: each true delivers one more in block.
    bool GetRemainder(CDataBlock& block) override;

    // Allowed vertical and horizontal error (metres) at depth d (metres) for the IHO
    // order in use; 0 for an order outside 0 .. 4.
    float Compute_IHO_VERT_Error(float d) const;
    float Compute_IHO_HOR_Error(float d) const;

    // The p-quantile of v as the statistical filter takes it: v is sorted in place; no
    // interpolation below the second item, and at or above the second-largest position
    // the second-largest item. v must hold at least 2 items.
    static double Quantile(double p, std::vector<double>& v);

    int GetWindowSize() const { return m_settings.windowSize; }
    double GetQuantileScale() const { return m_settings.quantScale; }
    int GetPendingCount() const { return m_pending; }
    bool IsWindowAllocated() const;

protected:
    bool SetAttributes(CAttributeMap* attributes) override;

private:
    bool ProcessInternal(CDataBlock& block, COMPUPDATEMODE mode);
    // The chain after the statistics filter, the ping count, validation and writing.
    void FinishPing(CDataBlock& block, PingStruct& ping, bool errorOnly);
    // A time reversal: the pings the window holds go out (judged with the pings there are
    // when the edges are judged, else unjudged) into the backlog, and the window restarts.
    void FlushWindow();
    // Hands the oldest backlogged block out in block, the block just finished (ready)
    // queuing behind it, so that blocks leave in the order they were finished.
    bool Deliver(CDataBlock& block, bool ready);
    void CountPending();
    bool ReadDatablock(CDataBlock& block, PingStruct& ping);
    bool WriteDatablock(CDataBlock& block, PingStruct& ping);
    bool ValidatePing(PingStruct& ping);
    bool ComputeNadirDepth(PingStruct& ping);
    // Releases the window's storage; the working ping, which may refer to it, first.
    void ReleaseWindow();

    MultibeamSettings m_settings;
    BeamTests m_tests;
    SmartFilter m_smartFilter;
    std::unique_ptr<kvs::multibeam::detail::StatisticsWindow> m_window;
    unsigned short m_nadirDepthStatus = 0;

    int m_pending = 0;
    // The last input block, for draining. While m_lastInputHeld, the window holds it as
    // it came (the block of the ping it stored last) and m_lastInput is not yet taken.
    CDataBlock m_lastInput;
    bool m_lastInputHeld = false;
    COMPUPDATEMODE m_lastMode = static_cast<COMPUPDATEMODE>(0);

    // Working storage reused from ping to ping (no allocation in steady state).
    PingStruct m_work;
    CDataBlock m_drain;
    // Finished blocks waiting to go out after a time reversal emptied the window at once.
    std::deque<CDataBlock> m_backlog;
    // The window slot the ping of the current pass was read into, -1 for m_work's own.
    int m_readSlot = -1;
};
