#include <KvsDataBlocks/formula/Crc16.h>

#include <array>
#include <cstdint>

namespace {

constexpr uint16_t kPolynomial = 0x1021;

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned int byte = 0; byte < 256; ++byte) {
        uint16_t crc = static_cast<uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
        table[byte] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

} // namespace

unsigned short Compute16BitCRC(const unsigned char* begin, const unsigned char* end)
{
    if (!begin || !end || end <= begin) return 0;
    uint16_t crc = 0;
    for (const unsigned char* p = begin; p != end; ++p)
        crc = static_cast<uint16_t>((crc << 8) ^ kTable[((crc >> 8) ^ *p) & 0xFF]);
    return crc;
}
