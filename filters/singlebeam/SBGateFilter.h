// SBGateFilter: the moving depth gate of the single-beam chain. The gate is centred on
// the last accepted depth; a depth outside it is invalidated and the gate doubles, the
// next accepted depth snaps it back to the configured width. A configured width below
// zero is derived from the first depth (a tenth of it). Widths in the depth's unit. An
// object is for one thread at a time; the attribute map is only read, in SetAttributes.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/Filter.h>

class KVS_API SBGateFilter : public Filter
{
public:
    SBGateFilter() = default;
    SBGateFilter(const SBGateFilter&) = default;
    SBGateFilter& operator=(const SBGateFilter&) = default;
    ~SBGateFilter() override = default;

    // True for every block: a block without depth (use-as 201) or with a depth of non-zero
    // status passes unchanged (nothing to judge; never dropped). The first valid depth is
    // always accepted. The mode is ignored.
    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    // Reads the configured width and restarts the gate.
    bool SetAttributes(CAttributeMap* attributes) override;

    double GetCentre() const { return m_centre; }
    double GetWidth() const { return m_width; }
    double GetConfiguredWidth() const { return m_configuredWidth; }
    bool IsStarted() const { return m_started; }

private:
    double m_centre = 0.0;
    double m_width = 0.0;
    double m_configuredWidth = -1.0;
    bool m_started = false;
    unsigned short m_status = 0;
    double m_depth = 0.0;
};
