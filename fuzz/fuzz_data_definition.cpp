// Feeds arbitrary text to the data definition loader: it must refuse or accept without
// crashing, and an accepted definition must lay out blocks that format safely.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/DefinitionBuild.h>
#include <KvsDataBlocks/config/DataDefinition.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DataDefinition& definition = DataDefinition::GetDataDefinition();
    CString error;
    const CString text(reinterpret_cast<const char*>(data), static_cast<int>(size));
    if (definition.LoadText(text, "fuzz", error)) {
        for (unsigned int group : {0u, 1u, 7u, 1010u, 1020u}) {
            CDataBlock block;
            if (!BuildDataBlockFromDefinition(CDataId(1, static_cast<unsigned short>(group), 1, 1), block)) continue;
            for (unsigned short i = 0; i < block.GetLength(); ++i) {
                CString value;
                block.GetDataValueStr(i, value, CDataBlock::kByPosition);
                block.GetDataValueStr(i, static_cast<unsigned short>(0), value, CDataBlock::kByPosition);
            }
        }
    }
    definition.UseDefault();
    return 0;
}
