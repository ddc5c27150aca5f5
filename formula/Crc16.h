// Crc16: the 16-bit CRC of the base library, appended to telegrams by the checksum
// functions of the formula engine.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

// CRC-16/XMODEM of the bytes [begin, end): polynomial 0x1021, initial value 0, no bit
// reflection, no final XOR. The check value of "123456789" is 0x31C3. An empty or invalid
// range (null pointers, end before begin) gives 0.
KVS_API unsigned short Compute16BitCRC(const unsigned char* begin, const unsigned char* end);
