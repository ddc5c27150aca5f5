// MultibeamUseAs: the use-as codes of the multibeam block (group 1011) by name, for the
// code that fills such blocks from outside data. The codes 690 to 695 are the built-in
// definition's own (config/DataDefinitionDefault.cpp): they keep what an imported ping
// needs for writing flags back and for lossless time and position.
#pragma once

namespace MultibeamUseAs {

inline constexpr unsigned short kVerticalOffset = 212;   // metres, added to z for slant range
inline constexpr unsigned short kNadirDepthBelowOffset = 213;
inline constexpr unsigned short kNadirDepth = 214;
inline constexpr unsigned short kPositionX = 505;        // metres, easting
inline constexpr unsigned short kPositionY = 506;        // metres, northing
inline constexpr unsigned short kVerticalReference = 507; // metres
inline constexpr unsigned short kPingNumber = 601;
inline constexpr unsigned short kBeamCount = 602;
inline constexpr unsigned short kAcrossTrack = 603;      // float per beam, metres, starboard positive
inline constexpr unsigned short kAlongTrack = 604;       // float per beam, metres, forward positive
inline constexpr unsigned short kBeamZ = 605;            // float per beam, metres, up positive
inline constexpr unsigned short kBeamFlags = 606;        // 32-bit flag word per beam
inline constexpr unsigned short kPingFlags = 607;
inline constexpr unsigned short kBeamValues16 = 608;
inline constexpr unsigned short kRejectedBeams = 612;
inline constexpr unsigned short kBeamValues618 = 618;
inline constexpr unsigned short kBeamValues621 = 621;
inline constexpr unsigned short kBeamAngle = 622;        // float per beam, degrees, port negative
inline constexpr unsigned short kBeamValues623 = 623;
inline constexpr unsigned short kEstimatedVertError = 676; // float per beam, metres
inline constexpr unsigned short kEstimatedHorError = 677;  // float per beam, metres
inline constexpr unsigned short kAllowedVertError = 678;
inline constexpr unsigned short kAllowedHorError = 679;

// The definition's own codes.
inline constexpr unsigned short kGsfBeamFlags = 690;     // unsigned char per beam: the GSF beam flag byte
inline constexpr unsigned short kGsfPingFlags = 691;     // unsigned short: the GSF ping flags
inline constexpr unsigned short kLongitude = 692;        // double, degrees, east positive (format 11)
inline constexpr unsigned short kLatitude = 693;         // double, degrees, north positive (format 10)
inline constexpr unsigned short kTimeSeconds = 694;      // unsigned int, whole seconds since 1970 UTC
inline constexpr unsigned short kTimeNanoseconds = 695;  // unsigned int, 0 .. 999 999 999

} // namespace MultibeamUseAs
