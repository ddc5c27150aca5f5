// FormatGeogs: text of a latitude or longitude in degrees, as the base library gives it
// to the value formatter. Three forms, chosen by the low bits of the format flags:
//   GEOG_FMT_DEGREES  "52.500000 N"       decimal degrees
//   GEOG_FMT_DM       "52 30.0000 N"      degrees and decimal minutes
//   GEOG_FMT_DMS      "52 30 00.00 N"     degrees, minutes and decimal seconds
// decimals (clamped to 0..9) apply to the last part; rounding carries into the larger
// parts (59.9999 minutes at two decimals give the next degree). Minutes and seconds
// always take two digits before their point.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

// Format flag bits (CKvsType::m_uGeogFmtFlags holds them).
constexpr unsigned int GEOG_FMT_DEGREES = 0x0;
constexpr unsigned int GEOG_FMT_DM = 0x1;
constexpr unsigned int GEOG_FMT_DMS = 0x2;
constexpr unsigned int GEOG_FMT_MASK = 0x3;    // the value 3 is taken as GEOG_FMT_DMS
constexpr unsigned int GEOG_FMT_HEMI_FIRST = 0x10; // "N 52 30.0000" instead of "52 30.0000 N"

// Element format codes of geographic coordinates: latitudes take N/S, longitudes E/W.
constexpr int GEOG_FORMAT_LATITUDE = 10;
constexpr int GEOG_FORMAT_LONGITUDE = 11;

// value: degrees, north and east positive. format: GEOG_FORMAT_LONGITUDE for a longitude,
// any other code for a latitude. hemisphere: write the hemisphere letter (else a leading
// '-' for south and west). padDegrees: zero-pad the degrees to 2 (latitude) or 3
// (longitude) digits so that columns line up. Returns true with the text; false and
// "---" for a value that is not finite or beyond 1e6 degrees.
KVS_API bool FormatGeogs(double value, unsigned int flags, int decimals, int format, CString& text, bool hemisphere,
                 bool padDegrees);
