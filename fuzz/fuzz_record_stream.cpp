// Feeds arbitrary bytes to the record stream reader as a whole stream file: it must
// refuse a bad header, deliver the good records in order, and stop with the offset of the
// first bad one, never reading outside the bytes. Every delivered block packs again to
// exactly the record it was read from.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact copy on the heap lets AddressSanitizer see any read past the stream.
    const std::vector<unsigned char> stream(data, data + size);
    kvs::RecordStreamReader reader;
    CString error;
    if (!reader.OpenMemory(stream.data(), stream.size(), error)) {
        Check(!error.IsEmpty());
        return 0;
    }
    Check(reader.Offset() == kvs::kRecordStreamHeaderSize);
    CDataBlock block;
    for (;;) {
        const uint64_t offset = reader.Offset();
        const kvs::RecordStreamReader::Result r = reader.Next(block, error);
        if (r == kvs::RecordStreamReader::Result::End) {
            Check(offset == stream.size());
            break;
        }
        if (r == kvs::RecordStreamReader::Result::Error) {
            // The bad record is named by its offset, and the reader stays stopped.
            Check(reader.Offset() == offset && !error.IsEmpty());
            CString again;
            Check(reader.Next(block, again) == kvs::RecordStreamReader::Result::Error);
            break;
        }
        const uint64_t next = reader.Offset();
        Check(next > offset && next <= stream.size());
        const unsigned int packSize = block.GetPackSize(true);
        Check(packSize == next - offset);
        std::vector<unsigned char> packed(packSize);
        unsigned char* out = packed.data();
        unsigned int room = packSize;
        Check(block.Pack(&out, room, true) && room == 0);
        // The part sizes are not checked by the reader; the rest must match byte for byte.
        const size_t dynamicAt = 4 + block.GetStaticPackSize(true);
        const unsigned char* record = stream.data() + offset;
        std::memcpy(packed.data() + 4, record + 4, 2);
        std::memcpy(packed.data() + dynamicAt, record + dynamicAt, 4);
        Check(std::memcmp(packed.data(), record, packSize) == 0);
    }
    return 0;
}
