// Laying out data blocks from the process-wide data definition (DataDefinition): every
// block of a data group gets the group's items as elements, in definition order, with
// the item's position as element id. Used by producers of blocks and by data sources.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/datablocks/CDataId.h>

class BaseDataSource;
class CDataBlock;

// Lays block out for id's group: the definition's items as elements (status 40, zeroed
// values), data id id, block status word 40. False, block untouched, when the group is
// not defined; false also when memory runs out.
KVS_API bool BuildDataBlockFromDefinition(const CDataId& id, CDataBlock& block);

// Lays out a data source's internal block the same way through its virtual interface:
// Allocate(buffer length of the group, 10 when the definition gives none),
// DataBlockSetup(count, id), InitDataElement per item, DataBlockInit(). False only for
// a null source; the source's own results are not inspected.
KVS_API bool BuildDataBlockBufferFromDefinition(const CDataId& id, BaseDataSource* source);
