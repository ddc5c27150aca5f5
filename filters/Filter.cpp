#include <KvsDataBlocks/filters/Filter.h>

#include <KvsDataBlocks/filters/multibeam/MultibeamFilter.h>
#include <KvsDataBlocks/filters/pipedetect/PipedetectBeamFilter.h>
#include <KvsDataBlocks/filters/singlebeam/SingleBeamFilter.h>
#include <KvsDataBlocks/module/KvsDataBlocks.h>

bool Filter::GetRemainder(CDataBlock&)
{
    return false;
}

Filter* Filter::CreateFilter(CDataBlock& block, CAttributeMap* attributes)
{
    // A library whose start-up check refused it creates nothing.
    if (!KvsModuleIsReady()) return nullptr;
    switch (block.GetDataId().GetGroupId()) {
    case 1010: return new SingleBeamFilter(attributes);
    case 1011: return new MultibeamFilter(attributes);
    case 1071: return new PipedetectBeamFilter(attributes);
    default: return nullptr;
    }
}
