// CKvsUnitCnv: converts values from the library's internal units (metres, metres per
// second, ...) to the display unit the user chose for each quantity, and names units.
// A "unit code" as passed between ConvertFMTtoUNIT, ConvertUnit and GetUnitMnem names a
// quantity (distance, depth, speed, ...); the converter instance holds the display unit
// chosen for each quantity.
#pragma once

#include <KvsDataBlocks/platform/CString.h>

class CKvsUnitCnv
{
public:
    // Maps an element format code to the unit code of its quantity (0: no unit).
    static int ConvertFMTtoUNIT(int format);
    // The internal value in the display unit chosen for the unit code's quantity.
    double ConvertUnit(int unit, double value) const;
    // Short text of the display unit chosen for the unit code's quantity ("m", "ft", "kn").
    CString GetUnitMnem(int unit) const;
};
