#include <KvsDataBlocks/formula/FormulaFunctions.h>

#include <iterator>

namespace kvs {

namespace {

// Angles are degrees; times are milliseconds since 1970 UTC unless said otherwise; texts
// are 8-bit. A call that cannot compute fails the formula with error 14.
constexpr FormulaFunction kFunctions[] = {
    {"Sqrt", "SQRT", 1, "x", "square root of x (x < 0 fails)"},
    {"Log", "LOG10", 1, "x", "base-10 logarithm of x (x <= 0 fails)"},
    {"RtoP", "RECTOPOL", 1, "vector", "reserved: not bound, a formula using it fails with error 5"},
    {"PtoR", "POLTORECT", 1, "vector", "reserved: not bound, a formula using it fails with error 5"},
    {"V2dR", "VEC2D_RECT", 2, "x, y", "reserved: not bound, a formula using it fails with error 5"},
    {"V3dR", "VEC3D_RECT", 3, "x, y, z", "reserved: not bound, a formula using it fails with error 5"},
    {"V2dP", "VEC2D_POL", 2, "distance, bearing", "reserved: not bound, a formula using it fails with error 5"},
    {"V3dP", "VEC3D_POL", 3, "distance, bearing, elevation", "reserved: not bound, a formula using it fails with error 5"},
    {"Att", "ATTITUDE", 3, "roll, pitch, heading", "reserved: not bound, a formula using it fails with error 5"},
    {"AttCor", "ATT_COR", 2, "vector, attitude", "reserved: binds but has no implementation, running it fails with error 1"},
    {"C2D", "C2D", 2, "x, y", "the 2-D vector (x, y)"},
    {"C3D", "C3D", 3, "x, y, z", "the 3-D vector (x, y, z)"},
    {"GetSubStr", "GSTR", 3, "text, start, count", "count characters of text from 0-based start (fewer at the end, empty past it)"},
    {"FindDel", "FINDDEL", 3, "delimiters, n, text", "the n-th field of text (n = 0 the first) split at delimiters; a space delimiter merges runs of spaces"},
    {"NMEAPosConv", "NPC", 2, "field, hemisphere", "decimal degrees of an NMEA dddmm.mmmm field, negative for S or W"},
    {"Map", "MAP", 3, "keys, values, text", "the item of the comma list values at the place of text in the comma list keys; empty when absent"},
    {"Value", "VALUE", 1, "text", "the number at the start of text"},
    {"DMStoDM", "POSSEC", 1, "text", "decimal degrees, 5 decimals, of a dddmm.mmm number in text"},
    {"Time", "TIME", 1, "text", "milliseconds of the day of an hhmmss.sss time in text"},
    {"TimeStr", "TIMESTR", 1, "time", "UTC time of day as hhmmss.hh"},
    {"Negate", "INV", 1, "text", "the number at the start of text, negated"},
    {"Int", "Int", 1, "x", "x truncated toward zero"},
    {"ValToStr", "ValToStr", 1, "x", "x as text with its natural precision"},
    {"ValToMyStr", "ValToMyStr", 2, "x, decimals", "x as text with the given decimals (0 to 15)"},
    {"EntryValue", "ElemToDouble", 1, "element", "the value of a bound data element (dataElemN) as a number"},
    {"IsNull", "IsNull", 1, "x", "1 when x is 0, else 0"},
    {"EntryStatus", "ElemStatusToDouble", 1, "element", "the status word of a bound data element"},
    {"Sign", "Sign", 1, "x", "1, 0 or -1 by the sign of x"},
    {"ExpandTime", "ExpandTime", 1, "ms of day", "today's UTC date plus the milliseconds of the day given"},
    {"HmsToMsec", "HmsToMsec", 1, "hhmmss.sss", "milliseconds of the day of an hhmmss.sss number"},
    {"UtcToLocal", "UtcToLocal", 1, "time", "the UTC time moved to the local time zone"},
    {"LocalToUtc", "LocalToUtc", 1, "time", "the local time moved to UTC"},
    {"YyToCcyy", "YyToCcyy", 1, "year", "a two-digit year made four-digit (00-79: 20xx, 80-99: 19xx)"},
    {"CYMDMsecToMsec", "CYMDMsecToMsec", 4, "year, month, day, ms of day", "milliseconds since 1970 of a UTC date and time of day (impossible dates fail)"},
    {"FtoS", "FtoS", 2, "x, decimals", "x as text with fixed decimals"},
    {"CheckSum", "ChkSum", 1, "text", "text followed by its additive check character (128 + sum of the codes mod 128)"},
    {"CHR", "CHR", 1, "code", "the one character of that code"},
    {"PackString", "P3S", 3, "text1, text2, text3", "the three texts joined"},
    {"Clip", "Clip", 3, "x, low, high", "x limited to [low, high]"},
    {"StrSign", "StrSign", 1, "text", "text with a '+' in front unless it starts with '-'"},
    {"LeadZero", "LeadZero", 2, "text, width", "text padded with zeros after any sign to width characters"},
    {"FixedLength", "FixedLength", 2, "text, width", "text padded with spaces to width, or its last width characters"},
    {"CurDateToYYYYMMDD", "CurDateToYYYYMMDD", 0, "", "the current UTC date as yyyymmdd"},
    {"CurTimeToHHMMSSTTTT", "CurTimeToHHMMSSTTTT", 0, "", "the current UTC time as hhmmss.0ttt"},
    {"ItoS", "ItoS", 1, "integer", "an integer (--int) as decimal text"},
    {"XYTLLWGS", "XTLWGS", 4, "x, y, height, kind", "grid position of the project to WGS 84, as NMEA text (kind Lat, Lon, Alt, LatS, LonS)"},
    {"XYTLLWGSVAL", "XTLWGSVAL", 4, "x, y, height, kind", "grid position of the project to WGS 84, as a number (kind Lat, Lon or Alt)"},
    {"XYTLL", "XYTLL", 4, "x, y, height, kind", "grid position of the project to its own geographic datum, as NMEA text"},
    {"NMEAPOS", "NMEAPOS", 3, "degrees, decimals, kind", "one NMEA position field: Lat ddmm.mm, Lon dddmm.mm, Alt, LatS N/S, LonS E/W"},
    {"NMEACS", "NMEACS", 1, "sentence", "the sentence ('$' or '!' then the body, no '*') followed by '*' and its NMEA checksum"},
    {"CurrentTime", "CurrentTime", 1, "digits", "the current UTC time as hhmmss. with that many fraction digits"},
    {"CurrentDate", "CurrentDate", 2, "order, separator", "the current local date in order YMD or DMY with the separator"},
    {"LocalZoneHr", "LocalZoneHr", 0, "", "hours of the local time zone's offset"},
    {"LocalZoneMin", "LocalZoneMin", 0, "", "minutes of the local time zone's offset"},
    {"FormatTime", "FormatTime", 2, "format, digits", "the current local time in a strftime format, then that many fraction digits"},
    {"FormatMyTime", "FormatMyTime", 3, "time, format, digits", "a time as local time in a strftime format, then that many fraction digits"},
    {"BinValue", "BinValue", 2, "text, bytes", "the unsigned little-endian number in the first 1 to 8 bytes of text"},
    {"OutString", "OutString", 1, "text", "text with its escapes (\\r, \\n, \\t, \\xHH...) turned into characters"},
    {"FormatGeogsDMS", "FormatGeogsDMS", 3, "degrees, decimals, kind", "degrees as degrees, minutes and seconds text (kind Lat or Lon)"},
    {"Sin", "SIN", 1, "angle", "sine of an angle in degrees"},
    {"Cos", "COS", 1, "angle", "cosine of an angle in degrees"},
    {"Asin", "ASIN", 1, "x", "arc sine of x in degrees (|x| > 1 fails)"},
    {"Acos", "ACOS", 1, "x", "arc cosine of x in degrees (|x| > 1 fails)"},
    {"Bearing", "BEARING", 2, "dx, dy", "bearing of (dx east, dy north) in degrees, 0 to 360"},
    {"Modulo", "MODULO", 2, "x, divisor", "the remainder of x by |divisor|, 0 or more (a divisor of 0 fails)"},
    {"JulianDay", "JulianDay", 1, "time", "day of the year of a time (local), 1 on 1 January"},
    {"MARSCS", "MARSCS", 1, "text", "text followed by its 16-bit CRC as four hex digits"},
    {"XYTXYVAL", "XTLXYVAL", 5, "x, y, height, kind, systems", "grid position of the project in a second system 'grid;datum', as a number (kind X, Y or Z)"},
};

} // namespace

const FormulaFunction* FormulaFunctions(size_t& count)
{
    count = std::size(kFunctions);
    return kFunctions;
}

} // namespace kvs
