#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/datablocks/BaseDataSource.h>
#include <KvsDataBlocks/config/DataDefinition.h>

namespace {

constexpr int kDefaultSourceBufferLength = 10;

struct ItemLayout
{
    // Should an item read fail (within one view it cannot), the element is laid out
    // with type 0 and no bytes: no typed access succeeds on it.
    unsigned short length = 0;
    unsigned short type = 0;
    unsigned short format = 0;
    unsigned short useAs = 0;
};

ItemLayout ReadItem(const DataDefinition::View& definition, unsigned int group, unsigned int item)
{
    ItemLayout l;
    definition.GetGroupItemLength(group, item, l.length);
    definition.GetGroupItemType(group, item, l.type);
    definition.GetGroupItemFormat(group, item, l.format);
    definition.GetGroupItemUseas(group, item, l.useAs);
    return l;
}

} // namespace

bool BuildDataBlockFromDefinition(const CDataId& id, CDataBlock& block)
{
    // One view for the whole build, so that a definition loaded meanwhile is not mixed in.
    const DataDefinition::View definition = DataDefinition::GetDataDefinition().GetView();
    const unsigned int group = id.GetGroupId();
    int count = 0;
    if (!definition.GetGroupNumItems(group, count) || count < 0) return false;
    if (!block.Allocate(static_cast<unsigned int>(count))) return false;
    block.SetDataId(id);
    for (int i = 0; i < count; ++i) {
        const ItemLayout l = ReadItem(definition, group, static_cast<unsigned int>(i));
        block.InitDataElement(i, static_cast<unsigned short>(i), l.type, l.length, l.format, l.useAs);
    }
    return block.Init();
}

bool BuildDataBlockBufferFromDefinition(const CDataId& id, BaseDataSource* source)
{
    if (!source) return false;
    const DataDefinition::View definition = DataDefinition::GetDataDefinition().GetView();
    const unsigned int group = id.GetGroupId();
    int count = 0;
    definition.GetGroupNumItems(group, count);
    if (count < 0) count = 0;
    int bufferLength = kDefaultSourceBufferLength;
    definition.GetGroupBufferlength(group, bufferLength);

    source->Allocate(bufferLength);
    source->DataBlockSetup(static_cast<unsigned short>(count), id);
    for (int i = 0; i < count; ++i) {
        const ItemLayout l = ReadItem(definition, group, static_cast<unsigned int>(i));
        source->InitDataElement(i, static_cast<unsigned short>(i), l.type, l.length, l.format, l.useAs);
    }
    source->DataBlockInit();
    return true;
}
