// Test helper: the real GSF files beside the project (shared/data/gsf), read into memory,
// and a walk over their record framing for tests that edit bytes.
#pragma once

#include <KvsDataBlocks/datablocks/ByteLayout.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace gsftest {

inline const std::string kDir = KVS_SOURCE_DIR "/../shared/data/gsf/";

inline const char* const k0029 = "0029_20160323_185603_EX1604_MB.gsf.mb121";
inline const char* const k0059 = "0059_20181102_212138_EX1811_MB_EM302.gsf.mb121";
inline const char* const k0175 = "0175_20150322_232639_EX1502L2_MB.gsf.mb121";
inline const char* const k309 = "GSF3_09_test_file.gsf";
inline const char* const k6184 = "6_184_1440.mb121";

inline bool HaveFiles() { return std::filesystem::exists(kDir + k0175); }

#define GSF_FILES_OR_SKIP()                                                                       \
    do {                                                                                          \
        if (!gsftest::HaveFiles()) GTEST_SKIP() << "no GSF sample files in " << gsftest::kDir;    \
    } while (0)

inline std::vector<unsigned char> ReadFile(const std::string& name)
{
    std::ifstream in(kDir + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// size: the data bytes after the 8 framing bytes (no file here has checksums).
struct Record { size_t offset; uint32_t id, size; };

inline std::vector<Record> Records(const std::vector<unsigned char>& bytes)
{
    std::vector<Record> out;
    for (size_t at = 0; at + 8 <= bytes.size(); at += 8 + out.back().size)
        out.push_back({at, kvs::LoadBE<uint32_t>(bytes.data() + at + 4) & 0x3FFFFFu, kvs::LoadBE<uint32_t>(bytes.data() + at)});
    return out;
}

// The n-th (0-based) ping record.
inline Record PingRecord(const std::vector<unsigned char>& bytes, int n)
{
    for (const Record& r : Records(bytes))
        if (r.id == 2 && n-- == 0) return r;
    return {0, 0, 0};
}

} // namespace gsftest
