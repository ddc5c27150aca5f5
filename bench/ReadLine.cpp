// Reads a record stream to its end, every record unpacked into a block and nothing else:
// the baseline of bench/grid_speed.sh.
#include <KvsDataBlocks/datablocks/CDataBlock.h>
#include <KvsDataBlocks/datablocks/RecordStream.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    kvs::RecordStreamReader reader;
    CString error;
    CDataBlock block;
    if (!reader.Open(argv[1], error)) return 1;
    long blocks = 0;
    kvs::RecordStreamReader::Result r;
    while ((r = reader.Next(block, error)) == kvs::RecordStreamReader::Result::Record) ++blocks;
    std::printf("%ld blocks\n", blocks);
    return r == kvs::RecordStreamReader::Result::End ? 0 : 1;
}
