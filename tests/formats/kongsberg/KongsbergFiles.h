// Test helper: the real Kongsberg files beside the project (shared/data/kongsberg), a
// walk over a reader's swaths, and a builder of small .all files in either byte order for
// the cases no real file has (big-endian, two heads, fixes far from the pings, faults).
#pragma once

#include <KvsDataBlocks/formats/kongsberg/KongsbergSwath.h>
#include <KvsDataBlocks/platform/CString.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kongsbergtest {

inline const std::string kDir = KVS_SOURCE_DIR "/../shared/data/kongsberg/";

inline const char* const kYolla = "0001_20140213_052736_Yolla.all";
inline const char* const kAF = "all_a_f_ALL_6516408039690331208.all";
inline const char* const kG = "all_g_-7041029013895133878.all";
inline const char* const kHe = "all_he_-3092155654265012286.all";
inline const char* const kSimon = "all_simon_7287506659992808476.all";
inline const char* const kOS01 = "kmall_OS01_-1927233285749584930.kmall";
inline const char* const kEg = "kmall_eg_-7360358516350552537.kmall";

inline bool Have(const char* name) { return std::filesystem::exists(kDir + name); }

#define KONGSBERG_FILE_OR_SKIP(name)                                                                          \
    do {                                                                                                      \
        if (!kongsbergtest::Have(name)) GTEST_SKIP() << "no Kongsberg sample file " << kongsbergtest::kDir << name; \
    } while (0)

using Bytes = std::vector<unsigned char>;

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every swath of a reader (opened by the caller), and the error that ended it ("" at End).
template <typename Reader>
std::vector<kvs::KongsbergSwath> ReadAll(Reader& reader, std::string& error)
{
    std::vector<kvs::KongsbergSwath> out;
    CString e;
    typename Reader::Result r;
    while ((r = reader.Next(e)) == Reader::Result::Swath) out.push_back(reader.Swath());
    error = r == Reader::Result::Error ? std::string(e) : std::string();
    return out;
}

// A file's swaths in brief: swaths, beams, usable beams, the depth range below the water
// line over the usable beams; the first and last swath's time and position; the middle
// swath's first and last usable across-track distance.
inline std::string Summary(const std::vector<kvs::KongsbergSwath>& swaths)
{
    long beams = 0, usable = 0;
    double lo = 1e9, hi = -1e9;
    for (const kvs::KongsbergSwath& s : swaths)
        for (int i = 0; i < s.beamCount; ++i) {
            ++beams;
            if (!s.IsUsable(i)) continue;
            ++usable;
            lo = std::min(lo, static_cast<double>(s.depth[static_cast<size_t>(i)]));
            hi = std::max(hi, static_cast<double>(s.depth[static_cast<size_t>(i)]));
        }
    const kvs::KongsbergSwath& f = swaths.front();
    const kvs::KongsbergSwath& l = swaths.back();
    const kvs::KongsbergSwath& m = swaths[(swaths.size() - 1) / 2];
    float first = 0, last = 0;
    for (int i = 0; i < m.beamCount; ++i)
        if (m.IsUsable(i)) (first == 0 ? first : last) = m.across[static_cast<size_t>(i)], last = m.across[static_cast<size_t>(i)];
    char text[400];
    std::snprintf(text, sizeof text,
                  "swaths %zu beams %ld usable %ld depth %.2f..%.2f\nfirst %.3f %.7f %.7f last %.3f %.7f %.7f\nmiddle %.1f %.1f",
                  swaths.size(), beams, usable, lo, hi, f.Time(), f.latitude, f.longitude, l.Time(), l.latitude,
                  l.longitude, first, last);
    return text;
}

// Builds .all datagrams in one byte order: length, STX, type, model 2045, date, time,
// counter, serial, the body, a spare byte to even length, ETX and the checksum.
class AllBuilder
{
public:
    explicit AllBuilder(bool bigEndian) : m_big(bigEndian) {}

    // ms: ms after 2014-02-13 00:00:00 UTC.
    void Installation(uint16_t portSerial, uint16_t starboardSerial)
    {
        Bytes body;
        Put16(body, portSerial); // offsets 14 and 16: the header's serial field is the first
        Put16(body, starboardSerial);
        const std::string text = "WLZ=0.1,";
        body.insert(body.end(), text.begin(), text.end());
        // The header's counter and serial come first; the installation body starts at 18.
        Datagram('I', 0, 1, portSerial, Bytes(body.begin() + 2, body.end()));
    }
    void Position(uint32_t ms, double latitude, double longitude, bool active = true)
    {
        Bytes body;
        Put32(body, static_cast<uint32_t>(static_cast<int32_t>(latitude * 2e7)));
        Put32(body, static_cast<uint32_t>(static_cast<int32_t>(longitude * 1e7)));
        for (int i = 0; i < 4; ++i) Put16(body, 0);
        body.push_back(active ? 0x81 : 0x01);
        body.push_back(0); // no input sentence
        Datagram('P', ms, 1, 100, body);
    }
    // n beams at depth z (below the transducer), across -n/2 .. , flag bytes as given.
    void Xyz(uint32_t ms, uint16_t counter, uint16_t serial, int n, float z, uint8_t detection = 0)
    {
        Bytes body;
        Put16(body, 0), Put16(body, 15000), PutF(body, 0.5f), Put16(body, static_cast<uint16_t>(n)),
            Put16(body, static_cast<uint16_t>(n)), PutF(body, 1000.0f);
        for (int i = 0; i < 4; ++i) body.push_back(0);
        for (int i = 0; i < n; ++i) {
            PutF(body, z), PutF(body, static_cast<float>(i - n / 2) + 0.5f), PutF(body, 0.0f);
            Put16(body, 10), body.push_back(20), body.push_back(0), body.push_back(detection), body.push_back(0);
            Put16(body, 0);
        }
        Datagram('X', ms, counter, serial, body);
    }
    void Datagram(unsigned char type, uint32_t ms, uint16_t counter, uint16_t serial, const Bytes& body)
    {
        Bytes d = {0x02, type};
        Put16(d, 2045), Put32(d, 20140213), Put32(d, ms), Put16(d, counter), Put16(d, serial);
        d.insert(d.end(), body.begin(), body.end());
        if (d.size() % 2 == 1) d.push_back(0);
        uint32_t sum = 0;
        for (size_t i = 1; i < d.size(); ++i) sum += d[i];
        d.push_back(0x03);
        Put16(d, static_cast<uint16_t>(sum));
        Bytes length;
        Put32(length, static_cast<uint32_t>(d.size()));
        m_bytes.insert(m_bytes.end(), length.begin(), length.end());
        m_bytes.insert(m_bytes.end(), d.begin(), d.end());
    }
    Bytes& Bytes_() { return m_bytes; }

private:
    void PutN(Bytes& b, uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * (m_big ? n - 1 - i : i))));
    }
    void Put16(Bytes& b, uint16_t v) { PutN(b, v, 2); }
    void Put32(Bytes& b, uint32_t v) { PutN(b, v, 4); }
    void PutF(Bytes& b, float f)
    {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        Put32(b, v);
    }
    bool m_big;
    Bytes m_bytes;
};

// Seconds since 1970 of 2014-02-13 00:00:00 UTC.
inline constexpr uint32_t kBuilderDay = 1392249600u;

} // namespace kongsbergtest
