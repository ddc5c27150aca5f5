// Format detection from a file's first bytes, not its name: the tool's import and export
// choose their reader with it, and refuse a file of another kind in one line that says
// what it looks like. Recognised: the project's record stream, GSF, Kongsberg .all (either
// byte order) and .kmall; anything else is text (printable bytes only) or unknown.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <cstddef>

namespace kvs {

enum class FileFormat
{
    Unknown,       // none of the below (also an unreadable file)
    Empty,         // no bytes at all
    RecordStream,  // "KVSBLKS1": blocks written by kvsblocks
    Gsf,           // Generic Sensor Format: a header record "GSF-v..." first
    KongsbergAll,  // Kongsberg EM datagrams (.all), little- or big-endian
    KongsbergKmall,// Kongsberg EM datagrams (.kmall): "#" and three capitals at byte 4
    Text,          // printable characters, tabs and line ends only
};

// How many leading bytes DetectFileFormat looks at, at most (more are ignored; fewer
// still work, with less certainty for the Kongsberg formats).
inline constexpr std::size_t kFileFormatProbeSize = 4096;

// The format of a file whose first size bytes are data.
KVS_API FileFormat DetectFileFormat(const unsigned char* data, std::size_t size);

// The format of the file at path, from its first bytes; Unknown when it cannot be read.
KVS_API FileFormat DetectFileFormat(const char* path);

// A readable name: "KvsDataBlocks record stream", "GSF", "Kongsberg .all", ...
KVS_API const char* FileFormatName(FileFormat format);

} // namespace kvs
