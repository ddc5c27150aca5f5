// KvsValueText: number <-> text conversions shared by the concrete value classes and the
// attribute map: whole-text parsing (no trailing characters) and shortest round-trip text.
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

namespace kvs {

// True and the number when text (surrounding blanks allowed) is one decimal number.
KVS_API bool ParseWholeDouble(const CString& text, double& out);
// True and the integer when text (surrounding blanks allowed) is one decimal integer
// within int range.
KVS_API bool ParseWholeInt(const CString& text, int& out);
// The shortest decimal text that reads back to the same double ("0.1", "12", "1e+300").
KVS_API CString ShortestText(double value);
// A double truncated toward zero into int / unsigned range; false when outside or NaN.
KVS_API bool DoubleToInt(double value, int& out);
KVS_API bool DoubleToUInt(double value, unsigned int& out);

} // namespace kvs
