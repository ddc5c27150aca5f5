// UseAsCodes: the use-as codes (an element's role in its block) by which the filters, the
// tide data source, the GSF reader, the command-line tool and the Python module find
// elements, named once. By block group: single-beam soundings (1010), multibeam pings
// (1011), tide (1020) and pipe detection (1071); the positions are shared. "Carried" codes
// are exchanged by the multibeam filter without a role of their own there. The codes
// 220/221, 630 to 633 and 690 to 698 are the built-in definition's own
// (config/DataDefinitionDefault.cpp).
#pragma once

namespace UseAs {

// Positions, metres (a multibeam ping's, a sounding's, the tide station's, the pipe sensor's).
inline constexpr unsigned short kPositionX = 505;         // easting
inline constexpr unsigned short kPositionY = 506;         // northing
inline constexpr unsigned short kVerticalReference = 507; // multibeam: the datum of the IHO depth; pipe: sensor z

// Single-beam soundings (1010): the filters judge 201 and reject every depth 201 to 217.
inline constexpr unsigned short kDepth = 201; // metres
inline constexpr unsigned short kFirstDepth = 201;
inline constexpr unsigned short kLastDepth = 217;

// Tide (1020): the value and station id lie at positions 0 and 1 as well.
inline constexpr unsigned short kTideValue = 220; // metres
inline constexpr unsigned short kStationId = 221; // text

// Multibeam pings (1011), header values.
inline constexpr unsigned short kValue101 = 101; // carried
inline constexpr unsigned short kValue102 = 102; // carried
inline constexpr unsigned short kValue103 = 103; // carried
inline constexpr unsigned short kValue104 = 104; // carried
inline constexpr unsigned short kVerticalOffset = 212;        // metres, added to z for slant range and swath angle
inline constexpr unsigned short kNadirDepthBelowOffset = 213; // metres: the nadir depth less the vertical offset
inline constexpr unsigned short kNadirDepth = 214;            // metres, positive down
inline constexpr unsigned short kValue401 = 401; // carried
inline constexpr unsigned short kValue522 = 522; // carried
inline constexpr unsigned short kPingNumber = 601;
inline constexpr unsigned short kBeamCount = 602;
inline constexpr unsigned short kPingFlags = 607; // 32-bit flag word of the ping
inline constexpr unsigned short kValue609 = 609;  // carried, 16-bit unsigned
inline constexpr unsigned short kValue610 = 610;  // carried, 16-bit signed
inline constexpr unsigned short kValue611 = 611;  // carried, 16-bit unsigned
inline constexpr unsigned short kRejectedBeams = 612;
inline constexpr unsigned short kValue616 = 616; // carried
inline constexpr unsigned short kValue617 = 617; // carried
inline constexpr unsigned short kValue619 = 619; // carried, int; 672 stands in for it
inline constexpr unsigned short kValue620 = 620; // carried
inline constexpr unsigned short kValue624 = 624; // carried
inline constexpr unsigned short kValue625 = 625; // carried
inline constexpr unsigned short kValue626 = 626; // carried
inline constexpr unsigned short kValue627 = 627; // carried
inline constexpr unsigned short kValue649 = 649; // carried
inline constexpr unsigned short kValue672 = 672; // carried, float; read when 619 is absent
inline constexpr unsigned short kValue684 = 684; // carried
inline constexpr unsigned short kValue685 = 685; // carried

// Multibeam pings (1011), one item per beam.
inline constexpr unsigned short kAcrossTrack = 603;    // float, metres, starboard positive
inline constexpr unsigned short kAlongTrack = 604;     // float, metres, forward positive
inline constexpr unsigned short kBeamZ = 605;          // float, metres, up positive
inline constexpr unsigned short kBeamFlags = 606;      // 32-bit flag word
inline constexpr unsigned short kBeamValues16 = 608;   // 16-bit unsigned, carried; 618 stands in for it
inline constexpr unsigned short kBeamValuesFloat = 618;  // float, carried; read when 608 is absent or not valid
inline constexpr unsigned short kBeamValues621 = 621;  // float, carried
inline constexpr unsigned short kBeamAngle = 622;      // float, degrees, port negative
inline constexpr unsigned short kBeamValues623 = 623;  // float, carried
inline constexpr unsigned short kEstimatedVertError = 676; // float, metres
inline constexpr unsigned short kEstimatedHorError = 677;  // float, metres
inline constexpr unsigned short kAllowedVertError = 678;   // float, metres, filled by the multibeam filter
inline constexpr unsigned short kAllowedHorError = 679;    // float, metres, filled by the multibeam filter

// Multibeam pings (1011), the definition's own: what an imported ping needs for writing
// flags back and for lossless time and position.
inline constexpr unsigned short kGsfBeamFlags = 690;    // unsigned char per beam: the GSF beam flag byte
inline constexpr unsigned short kGsfPingFlags = 691;    // unsigned short: the GSF ping flags
inline constexpr unsigned short kLongitude = 692;       // double, degrees, east positive (format 11)
inline constexpr unsigned short kLatitude = 693;        // double, degrees, north positive (format 10)
inline constexpr unsigned short kTimeSeconds = 694;     // unsigned int, whole seconds since 1970 UTC
inline constexpr unsigned short kTimeNanoseconds = 695; // unsigned int, 0 .. 999 999 999
inline constexpr unsigned short kSonarPingCounter = 696; // unsigned int: the sonar's own ping counter
inline constexpr unsigned short kSwathPosition = 697;    // unsigned short: 0 first/aft-most swath of a ping
inline constexpr unsigned short kPingFrequency = 698;    // float, Hz; 0 when the file does not say

// Pipe detection (1071); its other elements are found by element id.
inline constexpr unsigned short kPipeBeamLookup = 615;      // float per beam, read at the pipe's mean beam
inline constexpr unsigned short kBeamPipeValue = 630;       // float per beam
inline constexpr unsigned short kPipeValue = 631;
inline constexpr unsigned short kPipeValueAtMeanBeam = 632;

} // namespace UseAs
