// MultibeamSettings: the settings of the multibeam filter as it reads them from a
// CAttributeMap: the switch, limits and variants of every test of its chain. The table
// kMultibeamSettingFields names each setting once, with its attribute name, the type it
// is read as and the member it sets; Read walks it, and the list of known setting names
// (config/KnownAttributeNames) and the Python module take the names and types from it.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/config/AttributeNames.h>
#include <KvsDataBlocks/config/CAttributeMap.h>
#include <KvsDataBlocks/filters/multibeam/PingStruct.h>
#include <KvsDataBlocks/platform/CString.h>

#include <array>

struct KVS_API MultibeamSettings
{
    // Switches, each off until its attribute says otherwise.
    bool beamReject = false;
    bool quality = false;
    bool range = false;
    bool depth = false;
    bool nadir = false;         // the swath limits
    bool nadirDistance = false; // the swath distance test (within the swath limits)
    bool slope = false;
    bool angle = false;
    bool statistics = false;
    bool flyingObjects = false;
    bool smart = false;
    bool customError = false;
    bool ihoError = false;

    int nadirAngleMode = 1; // 1 angle from x, y, z; 3 the beam angle array (622); other: none
    std::array<bool, PingStruct::kMaxBeams> rejectList{}; // by beam number - 1
    int qualityMode = 0;           // 1, 2, 3: the sonar bits 0x1, 0x2, both required
    double minRange = 0.0;         // metres
    double maxRange = 0.0;
    double minDepth = 0.0;         // metres
    double maxDepth = 0.0;
    double portAngle = 0.0;        // degrees from the vertical
    double starboardAngle = 0.0;   // degrees from the vertical
    double portDistance = 0.0;     // metres, non-negative
    double starboardDistance = 0.0;
    double slopeLimit = 0.0;       // degrees
    double minAngle = 0.0;         // degrees
    int flyingSize = 4;            // beams
    int flyingBorder = 8;          // beams
    double customLimit = 0.0;      // metres
    int ihoOrder = 1;              // 0 .. 4
    int maxRejectPercent = 40;
    // The smart filter.
    double reliableAngle = 30.0;   // degrees
    double depthWidthRatio = 5.0;
    int averagingClips = 25;
    double nadirAreaPercent = 10.0;
    double vertTolReliable = 0.07;   // metres
    double vertTolUnreliable = 0.1;  // metres
    // Variants, off by default (see config/AttributeNames.h).
    bool smartSlopedNadir = false;
    bool smartSkipEmptyBins = false;
    int smartToleranceUnit = 0;
    bool smartMedianProfile = false; // the seabed profile, also drawn by the next three
    int smartBinBeams = 0;           // beams a bin; 0 off
    double smartBinDepthRatio = 0.0; // bin width of the median depth; 0 off
    bool smartSlopeTolerance = false;
    double smartFallbackRatio = 0.0; // of the depth, where 676 is missing; 0 off
    double slopeBaseRatio = 0.0; // of the nadir depth; 0: neighbouring beams
    bool statsJudgeEdges = false;  // the statistics filter judges the first and last pings too
    double statsFixedRatio = 0.03; // the fixed-ratio pass's step, of the median depth
    bool ihoByDepth = false;       // IHO Order 1 to 100 m, Order 2 beyond
    // The statistical filter.
    int windowSize = 3;      // pings: 3, 5 or 7
    double quantScale = 4.0; // the spread pass's threshold in spreads

    // Every switch off except the custom-error and IHO ones, which keep their value unless
    // their attributes are present; swath-angle mode 1. Each reading starts so.
    void ResetSwitches();
    // Reads every setting the map holds, in the order of kMultibeamSettingFields; a setting
    // the map lacks (or holds as another type) keeps its value.
    void Read(const CAttributeMap& map);
    // Items at ',' ; "a-b" lists beams a to b (both at least 1, a <= b), any other item one
    // beam number. Beam numbers start at 1; those from kMaxBeams up are ignored, as are
    // items that are not integers and ranges of other than two parts. Clears the list first.
    void ParseRejectList(const CString& list);
};

// How a setting's value reaches the settings, beyond a plain copy into its member.
enum class SettingReading : unsigned char
{
    Copy,
    Absolute,       // its absolute value into the member
    HalfToEachSide, // half of it into portAngle and starboardAngle (the swath's total angle)
    RejectList,     // the text parsed into rejectList (ParseRejectList)
    WindowSize,     // attribute n >= 0 gives 2n + 3 pings, at most 7; below 0 is ignored
    QuantileScale,  // attribute n: 0 ignored; n <= 5 gives 7 - n, 6 .. 9 give 1, 0.5, 0.2, 0.1, above 9 gives 1
};

// One setting: its attribute name, the type it is read as and where its value goes. Only
// the member of the setting's type is set, and none for the readings that need no member.
struct MultibeamSettingField
{
    const char* name = nullptr;
    CAttributeMap::Kind kind = CAttributeMap::Kind::Bool;
    SettingReading reading = SettingReading::Copy;
    bool MultibeamSettings::*flag = nullptr;
    int MultibeamSettings::*whole = nullptr;
    double MultibeamSettings::*real = nullptr;

    constexpr MultibeamSettingField(const char* n, bool MultibeamSettings::*m)
        : name(n), kind(CAttributeMap::Kind::Bool), flag(m)
    {
    }
    constexpr MultibeamSettingField(const char* n, int MultibeamSettings::*m, SettingReading r = SettingReading::Copy)
        : name(n), kind(CAttributeMap::Kind::Int), reading(r), whole(m)
    {
    }
    constexpr MultibeamSettingField(const char* n, double MultibeamSettings::*m,
                                    SettingReading r = SettingReading::Copy)
        : name(n), kind(CAttributeMap::Kind::Double), reading(r), real(m)
    {
    }
    constexpr MultibeamSettingField(const char* n, CAttributeMap::Kind k, SettingReading r)
        : name(n), kind(k), reading(r)
    {
    }
};

// Every setting of the multibeam filter, in reading order: the explicit per-side swath
// angles come after the total and win over it.
inline constexpr MultibeamSettingField kMultibeamSettingFields[] = {
    {ATTR_BEAMREJECTFILTER, &MultibeamSettings::beamReject},
    {ATTR_FILTERREJECTBEAMS, CAttributeMap::Kind::Text, SettingReading::RejectList},
    {ATTR_QUALITYFILTER, &MultibeamSettings::quality},
    {ATTR_FILTERQUALITY, &MultibeamSettings::qualityMode},
    {ATTR_RANGEFILTER, &MultibeamSettings::range},
    {ATTR_FILTERMINRANGE, &MultibeamSettings::minRange},
    {ATTR_FILTERMAXRANGE, &MultibeamSettings::maxRange},
    {ATTR_DEPTHFILTER, &MultibeamSettings::depth},
    {ATTR_FILTERMINDEPTH, &MultibeamSettings::minDepth},
    {ATTR_FILTERMAXDEPTH, &MultibeamSettings::maxDepth},
    {ATTR_NADIRFILTER, &MultibeamSettings::nadir},
    {"NadirAngleFilter", &MultibeamSettings::nadirAngleMode},
    {ATTR_FILTERNADIRANGLE, CAttributeMap::Kind::Double, SettingReading::HalfToEachSide},
    {ATTR_FILTERPORTNADIRANGLE, &MultibeamSettings::portAngle},
    {ATTR_FILTERSTARBOARDNADIRANGLE, &MultibeamSettings::starboardAngle},
    {"NadirDistanceFilter", &MultibeamSettings::nadirDistance},
    {"FilterPortNadirDistance", &MultibeamSettings::portDistance, SettingReading::Absolute},
    {"FilterStarboardNadirDistance", &MultibeamSettings::starboardDistance, SettingReading::Absolute},
    {"FlyingObjectsFilter", &MultibeamSettings::flyingObjects},
    {"FlyingObjectSize", &MultibeamSettings::flyingSize},
    {"FlyingObjectBorder", &MultibeamSettings::flyingBorder},
    {"SmartFilter", &MultibeamSettings::smart},
    {"ReliableAngleSector", &MultibeamSettings::reliableAngle},
    {"DepthWidthRatio", &MultibeamSettings::depthWidthRatio},
    {"NumberAveragingClips", &MultibeamSettings::averagingClips},
    {"NadirAreaPercentage", &MultibeamSettings::nadirAreaPercent},
    {"VertTolRelData", &MultibeamSettings::vertTolReliable},
    {"VertTolUnrelData", &MultibeamSettings::vertTolUnreliable},
    {ATTR_SMARTSLOPEDNADIR, &MultibeamSettings::smartSlopedNadir},
    {ATTR_SMARTSKIPEMPTYBINS, &MultibeamSettings::smartSkipEmptyBins},
    {ATTR_SMARTTOLERANCEUNIT, &MultibeamSettings::smartToleranceUnit},
    {ATTR_SMARTMEDIANPROFILE, &MultibeamSettings::smartMedianProfile},
    {ATTR_SMARTBINBEAMS, &MultibeamSettings::smartBinBeams},
    {ATTR_SMARTBINDEPTHRATIO, &MultibeamSettings::smartBinDepthRatio},
    {ATTR_SMARTSLOPETOLERANCE, &MultibeamSettings::smartSlopeTolerance},
    {ATTR_SMARTFALLBACKRATIO, &MultibeamSettings::smartFallbackRatio},
    {ATTR_SLOPEBASERATIO, &MultibeamSettings::slopeBaseRatio},
    {ATTR_STATSJUDGEEDGES, &MultibeamSettings::statsJudgeEdges},
    {ATTR_STATSFIXEDRATIO, &MultibeamSettings::statsFixedRatio},
    {ATTR_IHOORDERBYDEPTH, &MultibeamSettings::ihoByDepth},
    {ATTR_SLOPEFILTER, &MultibeamSettings::slope},
    {ATTR_FILTERSLOPEANGLE, &MultibeamSettings::slopeLimit},
    {ATTR_ANGLEFILTER, &MultibeamSettings::angle},
    {ATTR_FILTERMINANGLE, &MultibeamSettings::minAngle},
    {ATTR_IHOERRORCHECK, &MultibeamSettings::ihoError},
    {ATTR_IHOORDER, &MultibeamSettings::ihoOrder},
    {ATTR_CUSTOMERROR, &MultibeamSettings::customError},
    {ATTR_CUSTOMERRORVALUE, &MultibeamSettings::customLimit},
    {ATTR_STATISTICFILTER, &MultibeamSettings::statistics},
    {ATTR_FILTERWINDOWSIZE, &MultibeamSettings::windowSize, SettingReading::WindowSize},
    {ATTR_FILTERQUANTSCALE, CAttributeMap::Kind::Int, SettingReading::QuantileScale},
    {ATTR_MAXBEAMREJECT, &MultibeamSettings::maxRejectPercent},
};
