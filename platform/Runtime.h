// Runtime helpers of the original platform's C library that Linux lacks, with the same
// results: 64-bit calendar conversion and _fcvt's fixed-point digit string.
#pragma once

#include <KvsDataBlocks/platform/CString.h>

#include <cstdint>
#include <ctime>

// 0 on success, EINVAL when the time cannot be broken down (out is then zeroed).
int kvs_gmtime64_s(struct tm* out, const int64_t* time);
int kvs_localtime64_s(struct tm* out, const int64_t* time);

// _fcvt: the decimal digits of value rounded to count digits after the point, without
// point or sign; decimalPos receives the position of the point relative to the digits
// (may be negative or beyond the digits) and isNegative whether the value is negative.
// Writes into the caller's text instead of a static buffer so it is safe on any thread.
CString kvs_fcvt(double value, int count, int& decimalPos, int& isNegative);
