// How the formula catalogue's text, checksum and time functions read their arguments and
// write fixed-point numbers. Internal to the Ccalc sources.
#pragma once

#include <KvsDataBlocks/values/CKvsType.h>
#include <KvsDataBlocks/platform/CString.h>

#include <climits>
#include <cmath>

namespace kvs::calc {

// Most decimals written by the "%.nf" formats of the catalogue (FtoS, the NMEA minutes
// and altitude); larger counts write this many, negative counts none.
inline constexpr int kMaxDecimals = 20;

// A number used as a count, a position or a character code: truncated toward zero and
// held inside int range; NaN counts as 0.
inline int TruncToInt(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

inline CString TextOf(const CKvsType& value)
{
    CString text;
    value.GetName(text);
    return text;
}

inline double NumberOf(const CKvsType& value)
{
    double number = 0.0;
    value.GetDouble(number);
    return number;
}

// value written with printf's "%.nf" for n = decimals (held to 0 .. kMaxDecimals).
inline CString FixedText(double value, int decimals)
{
    if (decimals < 0) decimals = 0;
    if (decimals > kMaxDecimals) decimals = kMaxDecimals;
    CString text;
    text.Format("%.*f", decimals, value);
    return text;
}

} // namespace kvs::calc
