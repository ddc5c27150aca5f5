// The numbers of the Generic Sensor Format (GSF) that the reader, the block mapping and
// the flag writer share: record ids, beam array ids, flag bits, the "unknown" values and
// the names of the record types. GSF integers are big-endian; scaled values decode as
// raw / multiplier - offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kvs::gsf {

// Record ids (bits 21..0 of the record identifier word: registry 0 plus the data type).
inline constexpr uint32_t kRecordHeader = 1;
inline constexpr uint32_t kRecordPing = 2;
inline constexpr uint32_t kRecordSoundVelocityProfile = 3;
inline constexpr uint32_t kRecordProcessingParameters = 4;
inline constexpr uint32_t kRecordSensorParameters = 5;
inline constexpr uint32_t kRecordComment = 6;
inline constexpr uint32_t kRecordHistory = 7;
inline constexpr uint32_t kRecordNavigationError = 8;
inline constexpr uint32_t kRecordSummary = 9;
inline constexpr uint32_t kRecordSingleBeamPing = 10;
inline constexpr uint32_t kRecordHvNavigationError = 11;
inline constexpr uint32_t kRecordAttitude = 12;

// Record framing: size word, identifier word, then a checksum word when bit 31 is set.
inline constexpr uint32_t kChecksumFlag = 0x80000000u;
inline constexpr uint32_t kRecordIdMask = 0x003FFFFFu;
inline constexpr std::size_t kFramingSize = 8;
inline constexpr std::size_t kChecksumSize = 4;
inline constexpr std::size_t kSummarySize = 40;

// Ping header sizes: 56 bytes from major version 3 on, 42 before.
inline constexpr std::size_t kPingHeaderSize = 56;
inline constexpr std::size_t kPingHeaderSizeV2 = 42;
// Byte offset of the 16-bit ping flags in the ping record's data.
inline constexpr std::size_t kPingFlagsOffset = 20;

// Subrecord ids of a ping.
inline constexpr int kArrayDepth = 1;
inline constexpr int kArrayAcrossTrack = 2;
inline constexpr int kArrayAlongTrack = 3;
inline constexpr int kArrayBeamAngle = 5;
inline constexpr int kArrayDepthError = 11;        // obsolete, replaced by 19
inline constexpr int kArrayAcrossTrackError = 12;  // obsolete, replaced by 20
inline constexpr int kArrayAlongTrackError = 13;   // obsolete, replaced by 20
inline constexpr int kArrayBeamFlags = 16;
inline constexpr int kArrayVerticalError = 19;
inline constexpr int kArrayHorizontalError = 20;
inline constexpr int kArrayIntensitySeries = 21;
inline constexpr int kMaxArrayId = 31;
inline constexpr int kScaleFactors = 100;
inline constexpr int kFirstSensorSpecific = 102;

// Compression flag byte of a scale factor entry: high nibble field size, low nibble
// compression (1 = packed by the GSF 3.09+ library, not readable here).
inline constexpr uint8_t kFieldSizeMask = 0xF0;
inline constexpr uint8_t kCompressionMask = 0x0F;

// Ping flags.
inline constexpr uint16_t kPingIgnore = 0x0001;
inline constexpr uint16_t kPingGpsTide = 0x2000; // the GPS tide corrector was applied

// Beam flags: bit 0 set = ignore; bit 1 = selected sounding (never together with bit 0).
inline constexpr uint8_t kBeamIgnore = 0x01;
inline constexpr uint8_t kBeamSelected = 0x02;
inline constexpr uint8_t kBeamFilterEdited = 0x08;
// What a beam our filters rejected gets: ignore, filter edited.
inline constexpr uint8_t kBeamIgnoredByFilter = kBeamIgnore | kBeamFilterEdited;

// "Unknown" written in place of a corrector (99.99 m), in the header's raw units.
inline constexpr int32_t kUnknownCorrectorCm = 9999;
inline constexpr int32_t kUnknownCorrectorMm = 99990;
inline constexpr int32_t kUnknownHeightMm = 9999990;
inline constexpr double kUnknownCorrector = 99.99;  // metres
inline constexpr double kUnknownHeight = 9999.99;   // metres

struct RecordName
{
    uint32_t id;
    const char* name;
};

inline constexpr std::array<RecordName, 12> kRecordNames = {{
    {kRecordHeader, "header"},
    {kRecordPing, "swath bathymetry ping"},
    {kRecordSoundVelocityProfile, "sound velocity profile"},
    {kRecordProcessingParameters, "processing parameters"},
    {kRecordSensorParameters, "sensor parameters"},
    {kRecordComment, "comment"},
    {kRecordHistory, "history"},
    {kRecordNavigationError, "navigation error"},
    {kRecordSummary, "summary"},
    {kRecordSingleBeamPing, "single-beam ping"},
    {kRecordHvNavigationError, "HV navigation error"},
    {kRecordAttitude, "attitude"},
}};

// The name of a record type, or null for private and unknown ones.
constexpr const char* RecordTypeName(uint32_t id)
{
    for (const RecordName& r : kRecordNames)
        if (r.id == id) return r.name;
    return nullptr;
}

} // namespace kvs::gsf
