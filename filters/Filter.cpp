#include <KvsDataBlocks/filters/Filter.h>

#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>

bool Filter::GetRemainder(CDataBlock&)
{
    return false;
}

Filter* Filter::CreateFilter(CDataBlock& block, CAttributeMap* attributes)
{
    switch (block.GetDataId().GetGroupId()) {
    case 1010: return new SingleBeamFilter(attributes);
    case 1071: return new PipedetectBeamFilter(attributes);
    default: return nullptr;
    }
}
