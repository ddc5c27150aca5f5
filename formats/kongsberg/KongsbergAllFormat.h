// The numbers of the Kongsberg EM datagram format (.all) that the reader, the block
// mapping and the edit writer share: framing, datagram types and their names, the beam
// layouts of XYZ 88 and raw range and angle 78, and the flag bits. Offsets inside a
// datagram count from its STX byte (file offset of the datagram + 4).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kvs::kongsberg::all {

inline constexpr std::size_t kLengthSize = 4;      // the length field before STX
inline constexpr uint32_t kMinLength = 16;         // STX to checksum of a bodiless datagram
inline constexpr unsigned char kStx = 0x02;
inline constexpr unsigned char kEtx = 0x03;
inline constexpr std::size_t kHeaderSize = 16;     // STX, type, model, date, time, counter, serial

// Datagram types read.
inline constexpr unsigned char kXyz88 = 'X';
inline constexpr unsigned char kRawRange78 = 'N';
inline constexpr unsigned char kPosition = 'P';
inline constexpr unsigned char kInstallStart = 'I';
inline constexpr unsigned char kRuntime = 'R';
inline constexpr unsigned char kDepthOld = 'D'; // older sonars' depth datagram: not supported

// XYZ 88: header fields and the 20-byte beam entry.
inline constexpr std::size_t kXyzTransducerDepth = 20; // f32, metres
inline constexpr std::size_t kXyzBeamCount = 24;       // u16
inline constexpr std::size_t kXyzBeams = 36;
inline constexpr std::size_t kXyzBeamSize = 20;
inline constexpr std::size_t kBeamDetectionInfo = 16;  // u8
inline constexpr std::size_t kBeamCleaning = 17;       // i8, negative = flagged out
inline constexpr int kMaxBeamsPerDatagram = 1024;
inline constexpr std::size_t kMaxHeads = 2; // XYZ 88 datagrams of one ping joined into one swath

// Raw range and angle 78.
inline constexpr std::size_t kRawTxCount = 18;  // u16
inline constexpr std::size_t kRawRxCount = 20;  // u16
inline constexpr std::size_t kRawSectors = 32;
inline constexpr std::size_t kRawSectorSize = 24;
inline constexpr std::size_t kRawSectorFrequency = 12; // f32, Hz
inline constexpr std::size_t kRawBeamSize = 16;        // the angle (i16, 0.01 deg, port positive) first

// Position: latitude i32 / 2e7, longitude i32 / 1e7, descriptor u8.
inline constexpr std::size_t kPositionLatitude = 16;
inline constexpr std::size_t kPositionLongitude = 20;
inline constexpr std::size_t kPositionDescriptor = 32;
inline constexpr uint8_t kDescriptorActive = 0x80;

// Installation: system serial (port head) and secondary serial (starboard head).
inline constexpr std::size_t kInstallSerial = 14;
inline constexpr std::size_t kInstallSecondSerial = 16;
// Runtime: the mode byte; bits 7-6 non-zero = dual swath.
inline constexpr std::size_t kRuntimeMode = 20;
inline constexpr uint8_t kDualSwathMask = 0xC0;

// Detection information: bit 7 set = invalid detection.
inline constexpr uint8_t kDetectionInvalid = 0x80;
// What an edit writes into the real-time cleaning byte: -1 (bit 7 flagged, reason 127,
// this program's code among the reasons 0-127).
inline constexpr uint8_t kCleaningFlaggedOut = 0xFF;

struct DatagramName
{
    unsigned char type;
    const char* name;
};

inline constexpr std::array<DatagramName, 33> kDatagramNames = {{
    {'X', "XYZ 88"}, {'N', "raw range and angle 78"}, {'P', "position"}, {'I', "installation start"},
    {'i', "installation stop"}, {'r', "remote information"}, {'p', "remote information"},
    {'R', "runtime parameters"}, {'A', "attitude"}, {'C', "clock"}, {'U', "sound speed profile"},
    {'O', "quality factor 79"}, {'Y', "seabed image 89"}, {'h', "height"}, {'H', "heading"},
    {'n', "network attitude velocity"}, {'G', "surface sound speed"}, {'0', "PU ID"}, {'1', "PU status"},
    {'3', "extra parameters"}, {'k', "water column"}, {'l', "extra detections"}, {'D', "depth"},
    {'F', "raw range and angle"}, {'f', "raw range and angle"}, {'S', "seabed image"}, {'K', "central beams"},
    {'T', "tide"}, {'E', "single-beam depth"}, {'J', "mechanical transducer tilt"}, {'W', "SSP output"},
    {'B', "BIST result"}, {'j', "stave data"},
}};

// The name of a datagram type, or null for unknown ones.
constexpr const char* DatagramTypeName(unsigned char type)
{
    for (const DatagramName& d : kDatagramNames)
        if (d.type == type) return d.name;
    return nullptr;
}

} // namespace kvs::kongsberg::all
