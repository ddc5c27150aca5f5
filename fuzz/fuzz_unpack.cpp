// Fuzzes CDataBlock::UnPack: the first byte chooses the form (bit 0 set: wide), the rest is
// the record. Each input is unpacked into an empty block and into a block that already
// has a layout, so both the allocating and the buffer-reusing paths run. A record that
// unpacks must pack again to the bytes it was read from.
#include <KvsDataBlocks/datablocks/CDataBlock.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

void UnPackInto(CDataBlock& block, const unsigned char* data, size_t size, bool wide)
{
    // An exact copy on the heap lets AddressSanitizer see any read past the record.
    std::vector<unsigned char> record(data, data + size);
    const unsigned char* pos = record.data();
    unsigned int remaining = static_cast<unsigned int>(record.size());
    const bool ok = block.UnPack(&pos, remaining, wide);
    Check(pos + remaining == record.data() + record.size());
    if (!ok) return;

    // The unpacked block is consistent: packing it again reproduces the bytes consumed,
    // apart from the total and the two part sizes, which UnPack does not compare.
    const size_t consumed = record.size() - remaining;
    Check(block.CanPack(wide));
    Check(block.GetPackSize(wide) == consumed);
    std::vector<unsigned char> again(consumed);
    unsigned char* out = again.data();
    unsigned int room = static_cast<unsigned int>(again.size());
    Check(block.Pack(&out, room, wide) && room == 0);
    const size_t totalField = wide ? 4 : 2;
    const size_t dynamicAt = totalField + block.GetStaticPackSize(wide);
    std::memcpy(again.data() + totalField, record.data() + totalField, 2);
    std::memcpy(again.data() + dynamicAt, record.data() + dynamicAt, wide ? 4 : 2);
    Check(std::memcmp(again.data() + totalField, record.data() + totalField, consumed - totalField) == 0);

    // Reading every element must stay inside the buffer.
    for (unsigned short i = 0; i < block.GetLength(); ++i) {
        CKvsBytePtr e;
        block.GetDataIdx(i, e);
        double d = 0;
        e.GetValueInDouble(d, false);
        e.GetValueInDouble(0, d, false);
        CString text;
        e.GetValue(text);
        CStringArray list;
        e.GetValue(list);
        CDataInfo info;
        e.GetValue(info);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const bool wide = (data[0] & 1) != 0;
    CDataBlock empty;
    UnPackInto(empty, data + 1, size - 1, wide);

    CDataBlock laidOut;
    laidOut.Allocate(2);
    laidOut.InitDataElement(0, 0, ET_DOUBLE, 8, 4, 120);
    laidOut.InitDataElement(1, 1, ET_INT, 4, 0, 121);
    laidOut.Init();
    UnPackInto(laidOut, data + 1, size - 1, wide);
    return 0;
}
