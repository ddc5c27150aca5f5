// SBDepthFilter: the fixed depth window of the single-beam chain. Depths outside
// [minimum, maximum] (both inclusive, same unit as the depth element) have every depth
// element of their block invalidated. Equal limits switch the window off. An object is
// for one thread at a time; the attribute map is only read, in SetAttributes.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/filters/Filter.h>

class KVS_API SBDepthFilter : public Filter
{
public:
    SBDepthFilter() = default;
    SBDepthFilter(const SBDepthFilter&) = default;
    SBDepthFilter& operator=(const SBDepthFilter&) = default;
    ~SBDepthFilter() override = default;

    // True for every block: a block without depth (use-as 201) or with a depth of non-zero
    // status passes unchanged (nothing to judge; never dropped). The mode is ignored.
    bool Process(CDataBlock& block, COMPUPDATEMODE mode) override;
    // Reads the limits; absent ones keep their value; swapped limits are put in order.
    bool SetAttributes(CAttributeMap* attributes) override;

    double GetMinimum() const { return m_minimum; }
    double GetMaximum() const { return m_maximum; }
    bool IsEnabled() const { return m_enabled; }

private:
    double m_minimum = 0.0;
    double m_maximum = 0.0;
    bool m_enabled = false;
    double m_depth = 0.0;
    unsigned short m_status = 0;
};
