// BlockDump: one data block as the text or JSON that "kvsblocks dump" prints: the block's
// header (time, data id, status) and every element with its name, codes, status and value.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

class CDataBlock;

namespace kvs::tool {

// The block at position index and byte offset of its stream as lines of text, each
// element's value formatted as the library shows it (with units when asked).
std::string BlockText(const CDataBlock& block, uint64_t index, uint64_t offset, bool units);
// The same as one JSON object; numbers that are not finite are null.
nlohmann::json BlockJson(const CDataBlock& block, uint64_t index, uint64_t offset);

} // namespace kvs::tool
