// CKvsUnitCnv: converts values from the library's internal units to the display unit the
// user chose for each quantity, and names the units. CKvsType::m_unitCnv is the
// process-wide instance the value formatter uses.
//
// A unit code (the UNIT_ constants) names a quantity and its internal unit. Element format
// codes map to unit codes through ConvertFMTtoUNIT; each unit code has a display unit
// (a DU_ constant, initially the internal unit) chosen with SetDisplayUnit.
//
//   format  unit code        internal   display units (mnemonic)
//   2       UNIT_DISTANCE    metre      m, ft (international foot 0.3048 m),
//   4       UNIT_DEPTH       metre        usft (US survey foot 1200/3937 m), fm (fathom 1.8288 m)
//   6       UNIT_HEIGHT      metre      as distance
//   3       UNIT_SPEED       m/s        m/s, kn (1852 m/h), km/h
//   35      UNIT_SOUNDSPEED  m/s        m/s, ft/s
//   7       UNIT_DENSITY     kg/m3      kg/m3, g/cm3
//   36      UNIT_PRESSURE    kPa        kPa, bar, dbar, psi
//   39      UNIT_WEIGHT      kg         kg, t, lb
//   8       UNIT_TEMPERATURE degC       degC, degF
//   9       UNIT_ANGLE       degree     deg
//   37      UNIT_ACCEL       m/s2       m/s2
//   38      UNIT_FREQUENCY   Hz         Hz, kHz
//   40      UNIT_DURATION    second     s, min, h
//   41      UNIT_VOLTAGE     volt       V
//   42      UNIT_CURRENT     ampere     A
//   43      UNIT_POWER       watt       W
// Any other format code has no unit (UNIT_NONE): values pass unchanged, mnemonic "".
#pragma once

#include <KvsDataBlocks/KvsExport.h>

#include <KvsDataBlocks/platform/CString.h>

#include <array>

class KVS_API CKvsUnitCnv
{
public:
    enum UnitCode {
        UNIT_NONE = 0,
        UNIT_DISTANCE,
        UNIT_DEPTH,
        UNIT_HEIGHT,
        UNIT_SPEED,
        UNIT_SOUNDSPEED,
        UNIT_DENSITY,
        UNIT_PRESSURE,
        UNIT_WEIGHT,
        UNIT_TEMPERATURE,
        UNIT_ANGLE,
        UNIT_ACCEL,
        UNIT_FREQUENCY,
        UNIT_DURATION,
        UNIT_VOLTAGE,
        UNIT_CURRENT,
        UNIT_POWER,
        UNIT_COUNT
    };

    enum DisplayUnit {
        DU_METRE = 0,
        DU_FOOT,
        DU_US_FOOT,
        DU_FATHOM,
        DU_METRE_PER_SECOND,
        DU_KNOT,
        DU_KM_PER_HOUR,
        DU_FOOT_PER_SECOND,
        DU_KG_PER_M3,
        DU_G_PER_CM3,
        DU_KILOPASCAL,
        DU_BAR,
        DU_DECIBAR,
        DU_PSI,
        DU_KILOGRAM,
        DU_TONNE,
        DU_POUND,
        DU_CELSIUS,
        DU_FAHRENHEIT,
        DU_DEGREE,
        DU_M_PER_S2,
        DU_HERTZ,
        DU_KILOHERTZ,
        DU_SECOND,
        DU_MINUTE,
        DU_HOUR,
        DU_VOLT,
        DU_AMPERE,
        DU_WATT,
        DU_COUNT
    };

    CKvsUnitCnv();

    // Maps an element format code to the unit code of its quantity (UNIT_NONE: no unit).
    static int ConvertFMTtoUNIT(int format);
    // The internal value in the display unit chosen for the unit code's quantity; the value
    // unchanged for UNIT_NONE and unknown codes.
    double ConvertUnit(int unit, double value) const;
    // A display-unit value back to the internal unit (the inverse of ConvertUnit).
    double ConvertToInternal(int unit, double value) const;
    // Short text of the display unit chosen for the unit code ("m", "ft", "kn"); "" for
    // UNIT_NONE and unknown codes.
    CString GetUnitMnem(int unit) const;

    // Chooses the display unit of a quantity; false (nothing changes) when the display unit
    // does not measure that quantity or either code is unknown.
    bool SetDisplayUnit(int unit, int displayUnit);
    // The same, naming the display unit by its mnemonic (exact case, e.g. "usft").
    bool SetDisplayUnit(int unit, const CString& mnemonic);
    // The display unit chosen for a quantity; -1 for UNIT_NONE and unknown codes.
    int GetDisplayUnit(int unit) const;

private:
    std::array<int, UNIT_COUNT> m_display;
};
