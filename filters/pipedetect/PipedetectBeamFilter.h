// PipedetectBeamFilter: marks the beams of a pipe-detection ping (group 1071) that cannot
// belong to the tracked pipe: quality, intensity, fixed-structure mask, a histogram over
// the last ten pings and a previous-position window. It owns the ping ring and the
// structure contour; the attribute map is the caller's and must outlive the filter
// ("PipeDiameter" and "Position" are re-read from it at every block). An object is for
// one thread at a time; objects on other threads may share the attribute map as long as
// none changes it while they run, as they read it at every block.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/datablocks/CDataId.h>
#include <KvsDataBlocks/filters/pipedetect/VesselContour.h>

#include <array>
#include <utility>
#include <vector>

class KVS_API PipedetectBeamFilter : public Filter
{
public:
    // Rejection bits ORed into the per-beam flag words.
    static constexpr unsigned int kQualityBit = 0x200;
    static constexpr unsigned int kMaskBit = 0x20000;
    static constexpr unsigned int kHistogramBit = 0x40000;
    static constexpr unsigned int kPrevPosBit = 0x80000;
    static constexpr unsigned int kIntensityBit = 0x200000;

    static constexpr int kRingSize = 10;
    static constexpr int kMaxSlotBeams = 4000;
    static constexpr double kBinWidth = 0.05;  // histogram bin width, units of element 5
    static constexpr double kUpperLimit = 50.0; // values from here up are not binned
    static constexpr int kBinCount = 1000;      // trunc(kUpperLimit / kBinWidth)

    explicit PipedetectBeamFilter(CAttributeMap* attributes);

    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    bool SetAttributes(CAttributeMap* attributes) override;

    // The structure contour and why its last load failed (empty when it loaded, or when
    // no "MaskShape" was given). A failed load leaves the mask off.
    const VesselContour& GetContour() const { return m_contour; }
    const CString& GetContourError() const { return m_contourError; }
    int GetFilledCount() const { return m_ring.filled; }

private:
    struct Slot
    {
        int beamCount = 0;
        double time = 0.0;
        std::vector<float> values;       // kMaxSlotBeams entries once allocated
        std::vector<unsigned int> flags; // kMaxSlotBeams entries once allocated
    };
    struct Ring
    {
        int writeIndex = 0;
        int filled = 0;
        bool allocated = false;
        std::array<Slot, kRingSize> slots;
    };

    void MaskFilter(CDataBlock& block) const;
    void QualityFilter(CDataBlock& block) const;
    void IntensityFilter(CDataBlock& block);
    void HistogramFilter(CDataBlock& block);
    void PrevPosFilter(CDataBlock& block) const;
    static int BufIndex(int i, int n) { return (i + n) % n; }

    std::vector<std::pair<float, int>> m_floatIntensities;
    std::vector<std::pair<unsigned int, int>> m_intIntensities;
    VesselContour m_contour;
    double m_pipeDiameter = 0.0;
    CAttributeMap* m_attributes = nullptr; // not owned
    double m_prevPosMargin = 0.3;
    int m_viewSide = VesselContour::kSideView;
    std::array<std::vector<int>, kRingSize> m_binIndex;
    Ring m_ring;
    int m_ringSize = kRingSize;
    CDataId m_compDataId;
    int m_intensitiesKept = 5;
    std::array<int, kBinCount> m_histogram{};
    CString m_contourError;
};
