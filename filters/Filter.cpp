#include <KvsDataBlocks/filters/Filter.h>

#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>

bool Filter::GetRemainder(CDataBlock&)
{
    return false;
}

Filter* Filter::CreateFilter(CDataBlock& block, CAttributeMap* attributes)
{
    switch (block.GetDataId().GetGroupId()) {
    case 1011: return new MultibeamFilter(attributes);
    default: return nullptr;
    }
}
