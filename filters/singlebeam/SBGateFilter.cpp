#include <KvsDataBlocks/filters/singlebeam/SBGateFilter.h>

#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

bool SBGateFilter::SetAttributes(CAttributeMap* attributes)
{
    m_configuredWidth = -1.0;
    m_started = false;
    if (attributes) {
        unsigned int status = 0;
        attributes->GetAttribValue(ATTR_SBF_GATEVAL, m_configuredWidth, status);
    }
    return true;
}

bool SBGateFilter::Process(CDataBlock& block, COMPUPDATEMODE)
{
    if (!SingleBeamFilter::GetDepth(block, m_depth, m_status)) return true;
    if (m_status != 0) return true;

    if (!m_started) {
        m_centre = m_depth;
        if (m_configuredWidth < 0.0) m_configuredWidth = m_depth / 10.0;
        m_width = m_configuredWidth;
        m_started = true;
        return true;
    }
    const double half = m_width / 2.0;
    if (m_centre - half <= m_depth && m_depth <= m_centre + half) {
        m_width = m_configuredWidth;
        m_centre = m_depth;
    } else {
        m_width *= 2.0;
        SingleBeamFilter::InvalidateDepths(block);
    }
    return true;
}
