// MultibeamFilter: flags the beams of multibeam pings (data blocks of group 1011, one
// ping a block) by reject list, quality, slant range, depth, swath, slope, angle,
// statistics over a window of pings, flying objects, a smart profile test and IHO and
// custom error limits. Settings come from a CAttributeMap. Filters never remove data:
// they OR bits into each beam's flag word (use-as 606) and the ping's flag word (607).
// It owns its working ping and the window of pings of the statistical filter. An object
// is for one thread at a time; objects on other threads may share the attribute map, which
// is read only while the settings are taken (construction, SetAttributes) and not changed.
#pragma once

#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/multibeam/SmartProfile.h>
#include <KvsDataBlocks/filters/multibeam/SpacedSlope.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/filters/multibeam/Multibeam.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>

#include <array>
#include <cfloat>
#include <cstdint>
#include <vector>

class MultibeamFilter : public Filter
{
public:
    // Flag bits (beam word: 606, ping word: 607). Bits 0-7 are the sonar's own. The beam
    // bits are named once, in filters/multibeam/Multibeam.h.
    static constexpr unsigned int kFlagRejectList = Multibeam::kFlagRejectList;     // beam and ping
    static constexpr unsigned int kFlagQuality = Multibeam::kFlagQuality;           // beam and ping
    static constexpr unsigned int kFlagRange = Multibeam::kFlagRange;               // beam and ping
    static constexpr unsigned int kFlagDepth = Multibeam::kFlagDepth;               // beam and ping
    static constexpr unsigned int kFlagSwath = Multibeam::kFlagSwath;               // beam and ping
    static constexpr unsigned int kFlagSlope = Multibeam::kFlagSlope;               // beam and ping
    static constexpr unsigned int kFlagAngle = Multibeam::kFlagAngle;               // beam and ping
    static constexpr unsigned int kFlagStatistics = Multibeam::kFlagStatistics;     // beam and ping
    static constexpr unsigned int kFlagPingInvalid = 0x10000;                       // ping only
    static constexpr unsigned int kFlagFlyingRan = 0x20000;                         // ping only
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
    static constexpr int kMaxAveragingClips = 100000;

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

    int GetWindowSize() const { return m_windowSize; }
    double GetQuantileScale() const { return m_quantScale; }
    int GetPendingCount() const { return m_pending; }
    bool IsWindowAllocated() const { return m_windowAllocated; }

protected:
    bool SetAttributes(CAttributeMap* attributes) override;

private:
    struct Bin
    {
        int count = 0;
        double mean = 0.0;
        double tolerance = 0.0;
        void Add(double v)
        {
            ++count;
            mean += (v - mean) / count;
        }
    };

    bool ProcessInternal(CDataBlock& block, COMPUPDATEMODE mode);
    bool ReadDatablock(CDataBlock& block, PingStruct& ping);
    bool WriteDatablock(CDataBlock& block, PingStruct& ping);
    bool ValidatePing(PingStruct& ping);
    bool ComputeNadirDepth(PingStruct& ping);
    static int BufIndex(int i, int n) { return (i + n) % n; }
    static bool IsReadable(const CDataBlock& block);
    void ParseRejectList(const CString& list);
    void ReleaseWindow();

    bool FilterBeam(PingStruct& ping);
    bool FilterQuality(PingStruct& ping);
    bool FilterRange(PingStruct& ping);
    bool FilterDepth(PingStruct& ping);
    bool FilterNadir(PingStruct& ping);
    bool FilterSlope(PingStruct& ping);
    bool FilterAngle(PingStruct& ping);
    bool FilterStats(PingStruct& ping);
    bool FilterbFlyingObjects(PingStruct& ping);
    bool SmartFilter(PingStruct& ping);
    bool FilterIHO(PingStruct& ping);
    bool FilterCustom(PingStruct& ping);

    // One pass of the statistical filter over the middle slot (see the source).
    void StatsPass(int middle, int lastOffset, bool spreadPass);
    // Both passes at once once the window runs full (see the source).
    void StatsRunning(int middle);
    // Allocates the window at its first use; false when out of memory.
    bool AllocateWindow();
    // The depth keys of a slot's samples, brought up to date with its flags when stale.
    const int32_t* KeyRow(int slot);
    // The ping's nadir beam, reusing the one found earlier in this pass while it stands.
    static int NadirBeam(PingStruct& ping);
    // Derived limits of the trigonometric tests (SetAttributes).
    void DeriveLimits();

    unsigned short m_nadirDepthStatus = 0;
    bool m_beamReject = false;
    bool m_quality = false;
    bool m_range = false;
    bool m_depth = false;
    bool m_nadir = false;
    bool m_nadirDistance = false;
    bool m_slope = false;
    bool m_angle = false;
    bool m_statistics = false;
    bool m_flyingObjects = false;
    bool m_smart = false;
    bool m_customError = false;
    bool m_ihoError = false;
    int m_nadirAngleMode = 1;
    std::array<bool, kMaxBeams> m_rejectList{};
    int m_qualityMode = 0;
    double m_minRange = 0.0;
    double m_maxRange = 0.0;
    double m_minDepth = 0.0;
    double m_maxDepth = 0.0;
    double m_portAngle = 0.0;      // degrees from the vertical
    double m_starboardAngle = 0.0; // degrees from the vertical
    double m_portDistance = 0.0;   // metres, non-negative
    double m_starboardDistance = 0.0;
    double m_slopeLimit = 0.0; // degrees
    double m_minAngle = 0.0;   // degrees
    int m_flyingSize = 4;
    int m_flyingBorder = 8;
    double m_customLimit = 0.0; // metres
    int m_ihoOrder = 1;
    int m_maxRejectPercent = 40;
    double m_reliableAngle = 30.0; // degrees
    double m_depthWidthRatio = 5.0;
    int m_averagingClips = 25;
    double m_nadirAreaPercent = 10.0;
    double m_vertTolReliable = 0.07;   // metres
    double m_vertTolUnreliable = 0.1;  // metres
    // Variants, off by default (see config/AttributeNames.h).
    bool m_smartSlopedNadir = false;
    bool m_smartSkipEmptyBins = false;
    int m_smartToleranceUnit = 0;
    double m_slopeBaseRatio = 0.0; // of the nadir depth; 0: neighbouring beams
    SmartProfile m_smartProfile;
    SpacedSlope m_spacedSlope;

    std::array<PingStruct, kWindowSlots> m_window;
    // The block each held ping came in: a ping leaves the window in its own block, so
    // the elements the ping exchange does not carry stay with their ping.
    std::array<CDataBlock, kWindowSlots> m_slotBlocks;
    int m_storedSlot = -1; // the slot the last FilterStats stored its ping in, -1 none
    int m_middleSlot = -1; // the slot of the ping it gave out, -1 none
    int m_writePos = 0;
    int m_fill = 0;
    double m_spread = 4.0;
    bool m_windowAllocated = false;
    int m_windowSize = 3;
    int m_slotCount = 5;

    static constexpr double kFixedRatio = 0.03;
    static constexpr double kLowerQuantile = 0.25;
    static constexpr double kUpperQuantile = 0.75;
    static constexpr double kMinSpread = 0.1;
    double m_quantScale = 4.0;

    int m_pending = 0;
    CDataBlock m_lastInput;
    COMPUPDATEMODE m_lastMode = static_cast<COMPUPDATEMODE>(0);

    // Working storage reused from ping to ping (no allocation in steady state).
    PingStruct m_work;
    CDataBlock m_drain;
    std::vector<Bin> m_bins;
    // The window slot the ping of the current pass was read into, -1 for m_work's own.
    int m_readSlot = -1;
    // The sorted sample of the statistical filter: at most 7 x 7 depths as order-keeping
    // integer keys, padded to a fixed length.
    static constexpr int kSampleSlots = 64;
    std::array<int32_t, kSampleSlots> m_sampleKeys{};
    // Per slot in use, the depth key of every beam that counts as a sample (kMaxBeams
    // each), with how far it may hold keys and whether the slot's flags changed since.
    std::vector<int32_t> m_keyRows;
    std::array<int, kWindowSlots> m_keyExtent{};
    std::array<bool, kWindowSlots> m_keyStale{};
    // The running passes: the sorted samples of the pings around the middle one for the
    // last few beams (the spread pass trails the fixed-ratio pass), the sorted columns of
    // those pings and the middle ping's keys within the beam window.
    static constexpr int kMaxHalf = 3;
    // Entries are keys shifted left by 3 bits over the ring place of their column.
    std::array<std::array<int64_t, kSampleSlots>, kMaxHalf + 1> m_aroundKeys{};
    std::array<int, kMaxHalf + 1> m_aroundSize{};
    std::array<std::array<int64_t, 8>, 2 * kMaxHalf + 1> m_columns{};
    std::array<int, 2 * kMaxHalf + 1> m_columnSize{};
    std::array<std::array<int32_t, 8>, 2> m_middleKeys{};

    // Bounds of the trigonometric tests that settle most beams without the exact
    // arctangent or arccosine (see the source).
    struct TanBound
    {
        double lo = 0.0;
        double hi = 0.0;
        bool usable = false;
        static TanBound For(double degrees);
        // -1: atan2(rho, d) lies surely below the limit, +1 surely above, 0: unsettled.
        int Side(double rho, double d) const
        {
            if (!(usable && d > 0.0 && d <= DBL_MAX)) return 0;
            if (rho < d * lo) return -1;
            if (rho > d * hi) return 1;
            return 0;
        }
    };
    TanBound m_portBound, m_starboardBound, m_reliableBound, m_slopeBound;
    double m_minAngleCosLo = 0.0, m_minAngleCosHi = 0.0;
    bool m_minAngleBound = false;
};
