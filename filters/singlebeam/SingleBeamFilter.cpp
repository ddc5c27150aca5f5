#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>

#include <KvsDataBlocks/datablocks/ElementTypes.h>
#include <KvsDataBlocks/config/AttributeNames.h>

namespace {

// The switch attribute of each chain entry, in chain order.
constexpr const char* kSwitchNames[] = {ATTR_SBF_GATE, ATTR_SBF_DEPTH, ATTR_SBF_SPIKE};


template <typename T>
std::unique_ptr<T> Clone(const std::unique_ptr<T>& source)
{
    return source ? std::make_unique<T>(*source) : nullptr;
}

// Copies into an existing sub-filter (no allocation) or clones / drops as needed.
template <typename T>
void AssignClone(std::unique_ptr<T>& target, const std::unique_ptr<T>& source)
{
    if (!source)
        target.reset();
    else if (target)
        *target = *source;
    else
        target = std::make_unique<T>(*source);
}

} // namespace

SingleBeamFilter::SingleBeamFilter(CAttributeMap* attributes)
{
    SetAttributes(attributes);
}

SingleBeamFilter::SingleBeamFilter(const SingleBeamFilter& other)
    : Filter(other), m_gate(Clone(other.m_gate)), m_depth(Clone(other.m_depth)), m_spike(Clone(other.m_spike))
{
}

SingleBeamFilter& SingleBeamFilter::operator=(const SingleBeamFilter& other)
{
    if (this == &other) return *this;
    AssignClone(m_gate, other.m_gate);
    AssignClone(m_depth, other.m_depth);
    AssignClone(m_spike, other.m_spike);
    return *this;
}

SingleBeamFilter::~SingleBeamFilter() = default;

Filter* SingleBeamFilter::Entry(int index) const
{
    switch (index) {
    case 0: return m_gate.get();
    case 1: return m_depth.get();
    case 2: return m_spike.get();
    default: return nullptr;
    }
}

void SingleBeamFilter::CreateFilter(int index)
{
    switch (index) {
    case 0:
        if (!m_gate) m_gate = std::make_unique<SBGateFilter>();
        break;
    case 1:
        if (!m_depth) m_depth = std::make_unique<SBDepthFilter>();
        break;
    case 2:
        if (!m_spike) m_spike = std::make_unique<SBSpikeFilter>();
        break;
    default: break;
    }
}

void SingleBeamFilter::DeleteFilter(int index)
{
    switch (index) {
    case 0: m_gate.reset(); break;
    case 1: m_depth.reset(); break;
    case 2: m_spike.reset(); break;
    default: break;
    }
}

bool SingleBeamFilter::SetAttributes(CAttributeMap* attributes)
{
    if (!attributes) return true;
    for (int i = 0; i < kFilterCount; ++i) {
        bool on = false;
        unsigned int status = 0;
        if (attributes->GetAttribValue(kSwitchNames[i], on, status)) {
            if (on)
                CreateFilter(i);
            else
                DeleteFilter(i);
        }
        if (Filter* filter = Entry(i)) filter->SetAttributes(attributes);
    }
    return true;
}

bool SingleBeamFilter::Process(CDataBlock& block, COMPUPDATEMODE mode)
{
    for (int i = 0; i < kFilterCount; ++i) {
        Filter* filter = Entry(i);
        if (filter && !filter->Process(block, mode)) return false;
    }
    return true;
}

bool SingleBeamFilter::GetRemainder(CDataBlock& block)
{
    return m_spike && m_spike->GetRemainder(block);
}

void SingleBeamFilter::InvalidateDepths(CDataBlock& block)
{
    for (unsigned short code = UseAs::kFirstDepth; code <= UseAs::kLastDepth; ++code)
        block.SetDataStatus(code, kvs::kStatusRejected, CDataBlock::kByUseAs);
}

bool SingleBeamFilter::GetDepth(const CDataBlock& block, double& depth, unsigned short& status)
{
    return block.GetDataValue(kDepthUseAs, depth, status, CDataBlock::kByUseAs);
}
