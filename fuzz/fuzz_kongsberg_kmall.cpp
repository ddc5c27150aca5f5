// Feeds arbitrary bytes to the Kongsberg .kmall reader as a whole file and maps every
// swath it delivers into a multibeam block (checks in KongsbergFuzz.h).
#include "KongsbergFuzz.h"

#include <KvsDataBlocks/formats/kongsberg/KongsbergKmallReader.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    kongsbergfuzz::Run<kvs::KongsbergKmallReader>(data, size);
    return 0;
}
