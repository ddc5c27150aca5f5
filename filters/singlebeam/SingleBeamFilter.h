// SingleBeamFilter: the filter of a single-beam echo sounder stream, one block per ping.
// A fixed chain of up to three sub-filters (gate, depth window, spike), each switched on
// and off by its attribute; it owns them, and a copy owns clones of them. Rejected
// soundings get status 30 (kvs::kStatusRejected) on every depth element (use-as 201 to
// 217). An object is for one thread at a time; objects on other threads may share the
// attribute map, which is only read, while the settings are taken (construction,
// SetAttributes).
#pragma once

#include <KvsDataBlocks/KvsExport.h>
#include <KvsDataBlocks/config/UseAsCodes.h>
#include <KvsDataBlocks/filters/Filter.h>
#include <KvsDataBlocks/filters/singlebeam/SBDepthFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SBGateFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SBSpikeFilter.h>

#include <memory>

class KVS_API SingleBeamFilter : public Filter
{
public:
    // Use-as codes of the depth tested (the first) and of every depth invalidated.
    static constexpr unsigned short kDepthUseAs = UseAs::kDepth;
    static constexpr unsigned short kLastDepthUseAs = UseAs::kLastDepth;
    // Use-as codes of the sounding position.
    static constexpr unsigned short kPointXUseAs = UseAs::kPositionX;
    static constexpr unsigned short kPointYUseAs = UseAs::kPositionY;

    // Reads the settings at once; a null map leaves every sub-filter off.
    explicit SingleBeamFilter(CAttributeMap* attributes);
    SingleBeamFilter(const SingleBeamFilter& other);
    SingleBeamFilter& operator=(const SingleBeamFilter& other);
    ~SingleBeamFilter() override;

    // Runs gate, depth window and spike filter in turn; the first false stops the chain
    // (only the spike filter gives one, for the first block of a history it holds back).
    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    // Switches sub-filters on or off by their present attributes (a sub-filter already on
    // keeps its state), then lets each one on read its own settings.
    bool SetAttributes(CAttributeMap* attributes) override;
    // Delivers the block the spike filter still holds, once; false without one.
    bool GetRemainder(CDataBlock& block) override;
    // Soundings the spike filter passed on untested; 0 with it off.
    long long GetUntestedCount() const { return m_spike ? m_spike->GetUntestedCount() : 0; }

    // Status 30 (kvs::kStatusRejected) on every depth element 201 to 217 the block has.
    static void InvalidateDepths(CDataBlock& block);
    // The depth (use-as 201) and its status; false when the block has none.
    static bool GetDepth(const CDataBlock& block, double& depth, unsigned short& status);

    // The sub-filters, null when off.
    const SBGateFilter* GetGateFilter() const { return m_gate.get(); }
    const SBDepthFilter* GetDepthFilter() const { return m_depth.get(); }
    const SBSpikeFilter* GetSpikeFilter() const { return m_spike.get(); }

    using Filter::CreateFilter;

private:
    static constexpr int kFilterCount = 3;

    // Creates the sub-filter of entry index (0 gate, 1 depth, 2 spike) when it is off.
    void CreateFilter(int index);
    void DeleteFilter(int index);
    Filter* Entry(int index) const;

    std::unique_ptr<SBGateFilter> m_gate;
    std::unique_ptr<SBDepthFilter> m_depth;
    std::unique_ptr<SBSpikeFilter> m_spike;
};
