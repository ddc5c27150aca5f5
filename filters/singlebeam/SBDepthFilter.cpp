#include <KvsDataBlocks/filters/singlebeam/SBDepthFilter.h>

#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/config/AttributeNames.h>

#include <utility>

bool SBDepthFilter::SetAttributes(CAttributeMap* attributes)
{
    if (attributes) {
        unsigned int status = 0;
        attributes->GetAttribValue(ATTR_SBF_DPTMIN, m_minimum, status);
        attributes->GetAttribValue(ATTR_SBF_DPTMAX, m_maximum, status);
    }
    if (m_maximum < m_minimum) std::swap(m_minimum, m_maximum);
    m_enabled = m_maximum != m_minimum;
    return true;
}

bool SBDepthFilter::Process(CDataBlock& block, COMPUPDATEMODE)
{
    if (!SingleBeamFilter::GetDepth(block, m_depth, m_status)) return true;
    if (m_status != 0 || !m_enabled) return true;
    if (m_depth < m_minimum || m_depth > m_maximum) SingleBeamFilter::InvalidateDepths(block);
    return true;
}
