// The numbers of the Kongsberg .kmall format that the reader and the edit writer share:
// framing, the #MRZ sub-structures (each preceded by its own size, so that newer versions
// with longer structures still read) and the fields read from them, counted from the start
// of their sub-structure. Little-endian throughout; 4-byte packing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvs::kongsberg::kmall {

inline constexpr std::size_t kHeaderSize = 20;      // length, type, version, system, sounder, time
inline constexpr std::size_t kMinLength = 24;       // header and the trailing length
inline constexpr std::size_t kTypeAt = 4;           // "#MRZ" ...
inline constexpr std::size_t kSystemIdAt = 9;       // u8
inline constexpr std::size_t kSounderIdAt = 10;     // u16
inline constexpr std::size_t kSecondsAt = 12;       // u32
inline constexpr std::size_t kNanosecondsAt = 16;   // u32
inline constexpr std::size_t kPartitionAt = 20;     // u16 parts, u16 this part

// Common part of #MRZ.
inline constexpr std::size_t kCommonMin = 12;
inline constexpr std::size_t kCmnPingCounter = 2, kCmnFansPerPing = 4, kCmnFanIndex = 5, kCmnSwathsPerPing = 6,
                             kCmnSwathAlong = 7;
// pingInfo: the fields of version 0 (144 bytes) that are read.
inline constexpr std::size_t kInfoMin = 144;
inline constexpr std::size_t kInfoFrequencyMode = 16, kInfoTxSectors = 92, kInfoBytesPerTxSector = 94,
                             kInfoTxDepth = 104, kInfoWaterLevel = 108, kInfoLatitude = 124, kInfoLongitude = 132;
inline constexpr double kUnavailableDegrees = 200.0;
inline constexpr std::size_t kSectorMin = 24, kSectorFrequency = 20;
// rxInfo.
inline constexpr std::size_t kRxMin = 32;
inline constexpr std::size_t kRxSoundings = 2, kRxBytesPerSounding = 6, kRxExtraDetections = 26, kRxClasses = 28,
                             kRxBytesPerClass = 30;
// Sounding.
inline constexpr std::size_t kSoundingMin = 120;
inline constexpr std::size_t kSndDetectionType = 3, kSndMethod = 4, kSndRejection1 = 5, kSndRejection2 = 6,
                             kSndVerticalError = 20, kSndHorizontalError = 24, kSndBeamAngle = 72, kSndZ = 96,
                             kSndY = 100, kSndX = 104, kSndImageSamples = 118;
inline constexpr int kMaxSoundingsPerDatagram = 1024;

// Detection types.
inline constexpr uint8_t kDetectionNormal = 0;
inline constexpr uint8_t kDetectionExtra = 1;
inline constexpr uint8_t kDetectionRejected = 2; // what an edit writes

// #SPO: common part size at 20, sensor status (bit 0 active, bit 4 invalid) at 24; the
// data part after the common part: sensor time, fix quality, latitude, longitude.
inline constexpr std::size_t kSpoStatus = 24;
inline constexpr uint16_t kSpoActive = 0x0001, kSpoInvalid = 0x0010;
inline constexpr std::size_t kSpoTime = 0, kSpoLatitude = 12, kSpoLongitude = 20, kSpoDataMin = 28;

} // namespace kvs::kongsberg::kmall
